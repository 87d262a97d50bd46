// The stand-in's feeds and articles through the news list's and the article pane's own readers,
// with the client's clock at the stand-in's content clock.
#include "StandinTestSupport.h"

#include "article/ArticleDocument.h"
#include "foundation/CommonFunction.h"
#include "foundation/EncryptionKeys.h"
#include "foundation/FavoriteFile.h"
#include "httpcore/HttpRouter.h"
#include "standin/Documents.h"
#include "standin/Sites.h"
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

// A file that went up in either form comes down in the current one, with every favourite.
TEST(StandinFeatureReaders, TheFavouritesServiceServesEveryUploadWholeInTheCurrentForm)
{
    const QString host = QStringLiteral("account.tidwen.example");
    const QByteArray pass = CommonFunction::EncrypteUTF8(QStringLiteral("p@ss"), kDesKeyFavorites).toLatin1();
    const auto request = [&](const QByteArray& method, const QString& path, const QByteArray& query, const QByteArray& body,
                             const QByteArray& contentType) {
        HttpRequest r;
        r.method = method;
        r.host = host;
        r.path = path;
        r.query = QString::fromLatin1(query);
        r.body = body;
        if (!contentType.isEmpty())
            r.headers.append({"Content-Type", contentType});
        return r;
    };
    FavriteUserAndContents header;
    header.favritteVersion = 4;
    QList<Favrite_DataPtr> favourites;
    for (const char* title : {"中文标题", "second"}) {
        auto favourite = std::make_shared<Favrite_Data>();
        favourite->newsID = QString::number(favourites.size() + 1);
        favourite->newsTitle = QString::fromUtf8(title);
        favourites.append(favourite);
    }
    const QByteArray oldForm =
        R"({"UserAccount":"reader","favritteVersion":4,"bModified":false,"flastUpdateTime":1700000000,"items":[)"
        R"({"newsID":"1","newsTitle":"中文标题","ffavritetime":1700000001},{"newsID":"2","newsTitle":"second","ffavritetime":1700000002}]})";
    for (const QByteArray& file : {FavoriteFile::write(header, favourites), oldForm}) {
        SCOPED_TRACE(file.left(20).toStdString());
        HttpRouter router;
        standin::sites::addFavouritesRoutes(router, host, std::make_shared<QString>(standin::documents::demoAccount().password));
        QByteArray body;
        for (const auto& [name, value] : {std::pair<QByteArray, QByteArray>{"user", "reader"}, {"pass", pass}, {"ver", "4"}})
            body += "--B\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
        body += "--B\r\nContent-Disposition: form-data; name=\"file\"; filename=\"reader.zip\"\r\n"
                "Content-Type: application/zip\r\n\r\n" +
                FavoriteFile::zip(file) + "\r\n--B--\r\n";
        const auto taken = router.dispatch(request("POST", QStringLiteral("/olvenna/userfileupload.aspx"), {}, body,
                                                   "multipart/form-data; boundary=B"));
        ASSERT_TRUE(taken);
        ASSERT_EQ(taken->body, QByteArray("true"));

        const auto served = router.dispatch(request("GET", QStringLiteral("/olvenna/GetUserFile.aspx"),
                                                    "user=reader&pass=" + pass, {}, {}));
        ASSERT_TRUE(served);
        const QByteArray kept = FavoriteFile::unzip(served->body);
        EXPECT_TRUE(kept.startsWith("<main")) << kept.toStdString();
        const auto contents = FavoriteFile::read(kept, QStringLiteral("reader"));
        ASSERT_TRUE(contents);
        EXPECT_EQ(contents->header.favritteVersion, 4);
        ASSERT_EQ(contents->favourites.size(), 2);
        EXPECT_EQ(contents->favourites[0]->newsTitle, QStringLiteral("中文标题"));
        EXPECT_EQ(contents->favourites[1]->newsID, QStringLiteral("2"));
    }
}
