#include "NewsListTestSupport.h"
#include "newslist/SlideLinks.h"

#include <QScopeGuard>

namespace {

class SlideLinksTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ArticlePaneLink::install(pane);
        UrlOpener::install(opener);
    }
    void TearDown() override
    {
        ArticlePaneLink::install(nullptr);
        UrlOpener::install(nullptr);
    }
    std::shared_ptr<FakeArticlePane> pane = std::make_shared<FakeArticlePane>();
    std::shared_ptr<RecordingUrlOpener> opener = std::make_shared<RecordingUrlOpener>();
};

}  // namespace

TEST(SlidePositions, TurnInACircleAndStandStillWithoutSlides)
{
    EXPECT_EQ(SlideLinks::nextPosition(2, 3), 0);
    EXPECT_EQ(SlideLinks::nextPosition(0, 3), 1);
    EXPECT_EQ(SlideLinks::previousPosition(0, 3), 2);
    EXPECT_EQ(SlideLinks::previousPosition(2, 3), 1);
    EXPECT_EQ(SlideLinks::nextPosition(0, 1), 0);
    EXPECT_EQ(SlideLinks::previousPosition(0, 1), 0);
    EXPECT_EQ(SlideLinks::nextPosition(0, 0), 0);
    EXPECT_EQ(SlideLinks::previousPosition(0, 0), 0);
}

TEST_F(SlideLinksTest, EachLinkTypeOpensItsTarget)
{
    const QString dealHost = QStringLiteral("http://www.zefup.tidwen.example");
    const QString site = kUrlSiteHome;
    kUrlSiteHome = QStringLiteral("http://www.tidwen.example");
    const auto restore = qScopeGuard([&] { kUrlSiteHome = site; });
    struct Case
    {
        QString link;
        QString type;
        QStringList articles;
        QStringList deals;
        QStringList web;
    };
    const Case cases[] = {
        {QStringLiteral(" 123 "), QStringLiteral("1"), {QStringLiteral("123")}, {}, {}},
        {QStringLiteral("\t77\t"), QStringLiteral("1"), {QStringLiteral("77")}, {}, {}},
        {QStringLiteral("12a3"), QStringLiteral("1"), {}, {}, {}},
        {QStringLiteral("123"), QString(), {}, {}, {}},
        {QStringLiteral("  "), QStringLiteral("1"), {}, {}, {}},
        {dealHost + QStringLiteral("/item/2015/1234.htm"), QStringLiteral("2"), {}, {QStringLiteral("20151234")}, {}},
        {dealHost + QStringLiteral("/item/0/0.htm"), QStringLiteral("2"), {}, {}, {dealHost + QStringLiteral("/item/0/0.htm")}},
        {QStringLiteral("https://www.tidwen.example/a.htm"), QStringLiteral("2"), {}, {}, {QStringLiteral("https://www.tidwen.example/a.htm")}},
        {QStringLiteral("http://community.tidwen.example/t/2016/1/2.htm"), QStringLiteral("2"), {}, {}, {}},
        {QStringLiteral("file:///etc/passwd"), QStringLiteral("2"), {}, {}, {}},
        {QStringLiteral("javascript:alert(1)"), QStringLiteral("2"), {}, {}, {}},
        {QStringLiteral("www.tidwen.example"), QStringLiteral("2"), {}, {}, {}},
        {QStringLiteral("/special/9.htm"), QStringLiteral("2"), {}, {}, {QStringLiteral("http://www.tidwen.example/special/9.htm")}},
        {QStringLiteral("4567"), QStringLiteral("3"), {}, {QStringLiteral("4567")}, {}},
        {QStringLiteral("45x"), QStringLiteral("3"), {}, {}, {}},
        {QStringLiteral("1"), QStringLiteral("4"), {}, {}, {}},
    };
    for (const Case& c : cases) {
        pane->shown.clear();
        pane->deals.clear();
        opener->urls.clear();
        SlideLinks::clickLink(c.link, c.type);
        QStringList web;
        for (const QUrl& url : opener->urls)
            web.append(url.toString());
        EXPECT_EQ(pane->shown, c.articles) << c.link.toStdString();
        EXPECT_EQ(pane->deals, c.deals) << c.link.toStdString();
        EXPECT_EQ(web, c.web) << c.link.toStdString();
    }
}

// A slide of the deals channel names no link type: its deal opens, else its article, else its web
// link by the web-link rule; a news slide opens by its link type.
TEST_F(SlideLinksTest, ADealsSlideOpensItsDealElseItsArticleElseItsLink)
{
    struct Case
    {
        QString productId;
        QString newsId;
        QString link;
        QString type;
        QStringList articles;
        QStringList deals;
        QStringList web;
    };
    const Case cases[] = {
        {QStringLiteral("77"), QStringLiteral("5"), QStringLiteral("http://www.tidwen.example/deal/77.htm"), QString(), {}, {QStringLiteral("77")}, {}},
        {QString(), QStringLiteral("123"), QStringLiteral("http://www.tidwen.example/x.htm"), QString(), {QStringLiteral("123")}, {}, {}},
        {QString(), QString(), QStringLiteral("https://www.tidwen.example/a.htm"), QString(), {}, {}, {QStringLiteral("https://www.tidwen.example/a.htm")}},
        {QStringLiteral("77"), QString(), QStringLiteral("456"), QStringLiteral("1"), {QStringLiteral("456")}, {}, {}},
    };
    for (const Case& c : cases) {
        pane->shown.clear();
        pane->deals.clear();
        opener->urls.clear();
        slideData slide;
        slide.slideProductid = c.productId;
        slide.slideNewsid = c.newsId;
        slide.slideLinkUrl = c.link;
        slide.slideOpenType = c.type;
        SlideLinks::openSlide(slide);
        QStringList web;
        for (const QUrl& url : opener->urls)
            web.append(url.toString());
        EXPECT_EQ(pane->shown, c.articles) << c.link.toStdString();
        EXPECT_EQ(pane->deals, c.deals) << c.link.toStdString();
        EXPECT_EQ(web, c.web) << c.link.toStdString();
    }
}
