// The stand-in's feeds and articles through the news list's and the article pane's own readers,
// with the client's clock at the stand-in's content clock.
#include "StandinTestSupport.h"

#include "article/ArticleDocument.h"
#include "foundation/CommonFunction.h"
#include "newslist/NewsListFeeds.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

namespace {

struct ScopedClock
{
    explicit ScopedClock(const QDateTime& now) { Clock::setNow(now); }
    ~ScopedClock() { Clock::reset(); }
};

QString articleUrl(const QString& id)
{
    return QStringLiteral("http://api.tidwen.example/xml/newscontent/%1/%2.xml").arg(id.left(id.size() - 3), id.right(3));
}

}  // namespace

TEST(StandinFeatureReaders, ListRankSlidesAndArticlesReadAsTheClientReadsThem)
{
    standin::StandinService service(testOptions());
    ScopedClock clock(service.now());
    ProxyClient client(service);

    const QList<FeedPtr> list = parserNewsListXmlData(client.get(QStringLiteral("http://api.tidwen.example/xml/newslist/news.xml")).body);
    ASSERT_EQ(list.size(), 20);
    int pinned = 0;
    int closed = 0;
    for (const FeedPtr& feed : list) {
        EXPECT_TRUE(feed->imgurl.endsWith(QLatin1String("_240.jpg"))) << qPrintable(feed->imgurl);
        pinned += feed->isTop;
        closed += feed->forbidcomment == QLatin1String("true");
    }
    EXPECT_EQ(pinned, 1);
    EXPECT_EQ(closed, 1);  // the one the service closed itself; none is 30 days old

    const QList<QList<FeedPtr>> rank = parserRankNewsListXmlData(client.get(QStringLiteral("http://api.tidwen.example/xml/newslist/rank.xml")).body);
    ASSERT_EQ(rank.size(), 4);
    for (const QList<FeedPtr>& section : rank)
        EXPECT_EQ(section.size(), 12);

    QList<slideDataPtr> slides;
    ASSERT_TRUE(parserSlideXmlData(client.get(QStringLiteral("http://api.tidwen.example/xml/slide/slide.xml")).body, slides));
    EXPECT_EQ(slides.size(), 5);

    const QString page = CommonFunction::EncrypteUTF8(list.last()->guid, kDesKeyNextPage).toLower();
    const QList<FeedPtr> older =
        parserNewsListXmlData(client.get(QStringLiteral("http://api.tidwen.example/xml/newslist/news_%1.xml").arg(page)).body);
    ASSERT_EQ(older.size(), 4);

    int votes = 0;
    int scored = 0;
    for (const FeedPtr& item : list + older) {
        const FeedPtr article = ArticleDocument::parseXML(client.get(articleUrl(item->guid)).body);
        EXPECT_EQ(article->guid, item->guid);
        EXPECT_EQ(article->title, item->title);
        EXPECT_TRUE(article->detail.contains(QLatin1String("<img "))) << qPrintable(item->guid);
        votes += article->isTouPiao;
        scored += article->isScore;
    }
    EXPECT_EQ(votes, 1);
    EXPECT_EQ(scored, 23);  // one article switches the score block off
    // The article a month and a day old has its comments closed by the client's own rule.
    EXPECT_EQ(ArticleDocument::parseXML(client.get(articleUrl(older.last()->guid)).body)->forbidcomment, QStringLiteral("true"));
}
