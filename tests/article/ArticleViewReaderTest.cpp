// What the reader does in the detail pane beyond its links: the view's own menus, buttons and keys,
// the pane's back history, and the article's shared address.

#include "PictureBytes.h"
#include "RightViewFixture.h"
#include "WebViewTaming.h"

#include "article/ArticlePageBuilder.h"
#include "article/CommentHtmlManager.h"
#include "article/views/ArticleSchemeHandler.h"
#include "article/views/ArticleWebPage.h"
#include "article/views/RightViewController.h"
#include "article/views/popovers/ShareViewController.h"
#include "database/ServerUrls.h"
#include "foundation/NetworkStateSource.h"

#include <QScopeGuard>

// The article the pane put there is the view's only page: its history, its menus, the mouse's
// buttons and keys take the reader nowhere (the pane's back history is the only one), and the
// engine's zoom stays at 1.
TEST_F(RightViewControllerTest, NothingTheReaderDoesInTheViewLeavesTheArticle)
{
    const QString picture = server.url(QStringLiteral("/picture.png")).toString();
    server.route("GET", QStringLiteral("/picture.png"), LoopbackReply::text(200, pngPictureBytes(Qt::blue, QSize(120, 80)), "image/png"));
    routeArticle(QStringLiteral("第一篇"), QStringLiteral("<p>一</p>"));
    routeArticle(QStringLiteral("第二篇"),
                 QStringLiteral("<p id=\"words\">选中的字</p><p><a href=\"%1/2026/1208/711971.htm\" target=\"_blank\">相关报道</a> "
                                "<a id=\"web\" href=\"http://example.test/page.htm\" target=\"_blank\">外站</a></p>"
                                "<p><img src=\"%2\"/></p>%3")
                     .arg(kUrlWwwHtmlBase, picture, QStringLiteral("<p>很长的一段正文。</p>").repeated(80)),
                 QStringLiteral("/rss/654321.xml"), QStringLiteral("654321"));
    ASSERT_TRUE(openAndWait());
    view->pane()->showRelatedNews(QStringLiteral("654321"));
    const auto onScreen = [&] {
        return view->feed()->guid == QStringLiteral("654321") && view->pane()->bSucLoad() && text(QStringLiteral("h1")) == QStringLiteral("第二篇");
    };
    ASSERT_TRUE(waitUntil(onScreen, 30000)) << "the related article never showed";
    // The picture is the lazy loader's once it is in.
    ASSERT_TRUE(waitUntil([&] {
        return runScript(*view, QStringLiteral("(function(){var i=document.querySelector('img[originsrc]');"
                                               "return !!i&&i.src===%1&&i.complete&&i.naturalWidth>0;})()")
                                    .arg(HtmlTextLiteral(picture)))
            .toBool();
    }, 30000)) << "the picture never loaded";
    expectStaysOnItsPage(view->webView(), onScreen,
                         {{QStringLiteral("h1"), false, {}, {}},
                          {QStringLiteral("a[href^=\"javascript:\"]"), false, {}, {}},
                          {QStringLiteral("#web"), false, {QStringLiteral("复制链接地址")}, {QStringLiteral("http://example.test/page.htm")}},
                          {QStringLiteral("img[originsrc]"), false, {QStringLiteral("复制图片"), QStringLiteral("复制图片地址")},
                           {QStringLiteral("<picture>"), picture}},
                          {QStringLiteral("#words"), true, {QStringLiteral("复制")}, {QStringLiteral("选中的字")}}});
    EXPECT_EQ(historySize(), 2);
}

// A list row chosen again while its article is on screen, loading or loaded (the network list
// selects the row the cached one opened), leaves that article in the emptied back history: back
// from a related article returns to it.
TEST_F(RightViewControllerTest, BackReturnsToTheArticleAListChoseAgain)
{
    routeArticle(QStringLiteral("第一篇"), QStringLiteral("<p>一</p>"));
    routeArticle(QStringLiteral("相关文章"), QStringLiteral("<p>r</p>"), QStringLiteral("/rss/654321.xml"), QStringLiteral("654321"));
    const auto shows = [&](const QString& title) { return view->pane()->bSucLoad() && text(QStringLiteral("h1")) == title; };
    for (const bool loadedFirst : {false, true}) {
        SCOPED_TRACE(loadedFirst ? "chosen again once loaded" : "chosen again while loading");
        for (int choice = 0; choice < 2; ++choice) {
            view->recordNewsAndHot().clear();
            view->show(item(QStringLiteral("123456")));
            if (loadedFirst || choice == 1)
                ASSERT_TRUE(waitUntil([&] { return shows(QStringLiteral("第一篇")); }, 30000));
        }
        EXPECT_EQ(historySize(), 1);
        view->pane()->showRelatedNews(QStringLiteral("654321"));
        ASSERT_TRUE(waitUntil([&] { return shows(QStringLiteral("相关文章")); }, 30000));
        EXPECT_TRUE(view->toolBar()->backBtn->isVisible());
        view->back();
        EXPECT_TRUE(waitUntil([&] { return shows(QStringLiteral("第一篇")); }, 30000)) << "back did not return to the first article";
        EXPECT_EQ(view->feed()->guid, QStringLiteral("123456"));
        EXPECT_FALSE(view->toolBar()->backBtn->isVisible());
    }
}

// The shared and copied address is the web site's followed by the article's path, as the lists
// give the link; a link that is a whole address already is shared as it is.
TEST_F(RightViewControllerTest, TheSharedAddressIsTheSitesPageOfTheArticle)
{
    routeArticle(QStringLiteral("第一篇"), QStringLiteral("<p>一</p>"));
    ASSERT_TRUE(openAndWait());
    const QString page = kUrlSiteHome + QStringLiteral("/html/2026/1208/123456.htm");
    for (const QString& link : {QStringLiteral("/html/2026/1208/123456.htm"), page}) {
        view->feed()->link = link;
        view->share();
        auto* share = view->toolBarPopover()->findChild<ShareViewController*>();
        ASSERT_NE(share, nullptr);
        EXPECT_EQ(share->Purl().toStdString(), page.toStdString()) << link.toStdString();
        view->toolBarPopover()->hide();
    }
}

namespace {
class Offline : public NetworkStateSource
{
public:
    bool isReachable() override { return false; }
    void startMonitoring(StatusHandler) override {}
};
}  // namespace

// Offline, the deals block's pictures wait behind the bundle's placeholder, which shows on the
// article page and on the deal page, whose base is no page of the bundle.
TEST(DealsBlockOffline, ThePlaceholderShowsOnTheArticleAndOnTheDealPage)
{
    NetworkStateSource::setInstance(std::make_shared<Offline>());
    const auto restore = qScopeGuard([] { NetworkStateSource::setInstance(nullptr); });
    const QVariantList deals{QVariantMap{{QStringLiteral("productid"), 88.0}, {QStringLiteral("ProductName"), QStringLiteral("耳机")},
                                         {QStringLiteral("Picture"), QStringLiteral("/a.jpg")}}};
    const QString block = CommentHtmlManager::GetNewsPageHaiZaiMaiBody(deals, QStringLiteral("5")).mid(1);
    for (const QUrl& base : {QUrl(QLatin1String(ArticleBundle::kBaseUrl) + QStringLiteral("page.html")),
                             QUrl(QStringLiteral("about:blank#tidwen-deal"))}) {
        QWebEngineView view;
        ArticleSchemeHandler::forProfile(view.page()->profile());
        view.resize(400, 300);
        view.show();
        view.setHtml(QStringLiteral("<html><body>%1</body></html>").arg(block), base);
        EXPECT_TRUE(waitUntil([&] {
            return pageValue(&view, QStringLiteral("(function(){var i=document.querySelector('img[data-original]');"
                                                   "return !!i&&i.complete&&i.naturalWidth>0;})()"))
                .toBool();
        })) << "no placeholder on a page at " << base.toString().toStdString();
    }
}
