// Freshness, publishing, touching, control requests and determinism.
#include "StandinTestSupport.h"

#include "foundation/CommonFunction.h"
#include "foundation/xml/TBXML.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDiskCache>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString kNews = QStringLiteral("http://api.tidwen.example/xml/newslist/news.xml");

QList<qint64> ids(const QByteArray& feed)
{
    TBXML xml;
    Error error;
    xml.initWithXMLData(feed, &error);
    QList<qint64> result;
    TBXMLElement* channel = xml.rootXMLElement() ? TBXML::childElementNamed(QStringLiteral("channel"), xml.rootXMLElement()) : nullptr;
    for (TBXMLElement* item = channel ? TBXML::childElementNamed(QStringLiteral("item"), channel) : nullptr; item;
         item = TBXML::nextSiblingNamed(QStringLiteral("item"), item))
        result.append(TBXML::textForElement(TBXML::childElementNamed(QStringLiteral("newsid"), item)).toLongLong());
    return result;
}

}  // namespace

TEST(StandinVersions, HeadAndGetShareLastModifiedAndAMatchingDateGets304)
{
    standin::StandinService service(testOptions());
    ProxyClient client(service);
    const Fetched head = client.fetch("HEAD", kNews + QStringLiteral("?r=12345"));
    const Fetched get = client.get(kNews);
    ASSERT_EQ(head.status, 200);
    ASSERT_EQ(get.status, 200);
    EXPECT_TRUE(head.body.isEmpty());
    EXPECT_FALSE(get.header("Last-Modified").isEmpty());
    EXPECT_EQ(head.header("Last-Modified"), get.header("Last-Modified"));
    EXPECT_EQ(head.header("Content-Length"), QByteArray::number(get.body.size()));
    EXPECT_EQ(head.header("Last-Modified"), "Mon, 07 Dec 2026 07:00:00 GMT");

    const Fetched cached = client.fetch("GET", kNews, {{"If-Modified-Since", get.header("Last-Modified")}});
    EXPECT_EQ(cached.status, 304);
    EXPECT_TRUE(cached.body.isEmpty());
    const Fetched stale = client.fetch("GET", kNews, {{"If-Modified-Since", "Mon, 07 Dec 2026 06:59:59 GMT"}});
    EXPECT_EQ(stale.status, 200);

    // Publishing three: still twenty, the first three above the old highest, a new date.
    const QList<qint64> before = ids(get.body);
    const qint64 highest = *std::max_element(before.begin(), before.end());
    const QList<qint64> published = service.publish(3);
    ASSERT_EQ(published.size(), 3);
    const Fetched head2 = client.fetch("HEAD", kNews);
    const Fetched after = client.get(kNews);
    const QList<qint64> now = ids(after.body);
    ASSERT_EQ(now.size(), 20);
    for (int i = 0; i < 3; ++i)
        EXPECT_GT(now[i], highest) << i;
    EXPECT_EQ(now[3], before[0]);
    EXPECT_NE(head2.header("Last-Modified"), head.header("Last-Modified"));
    EXPECT_EQ(head2.header("Last-Modified"), after.header("Last-Modified"));
    EXPECT_GT(QLocale::c().toDateTime(QString::fromLatin1(after.header("Last-Modified")), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'")),
              QLocale::c().toDateTime(QString::fromLatin1(get.header("Last-Modified")), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'")));
    // The old date no longer matches.
    EXPECT_EQ(client.fetch("GET", kNews, {{"If-Modified-Since", get.header("Last-Modified")}}).status, 200);
    // A resource whose bytes did not change keeps its date.
    const QString slide = QStringLiteral("http://api.tidwen.example/xml/slide/slide.xml");
    const QByteArray slideDate = client.get(slide).header("Last-Modified");
    service.publish(1);
    EXPECT_EQ(client.get(slide).header("Last-Modified"), slideDate);
}

TEST(StandinVersions, TouchingAnArticleChangesItsBytesAndDateOnly)
{
    standin::StandinService service(testOptions());
    ProxyClient client(service);
    const qint64 id = ids(client.get(kNews).body).at(1);
    const QString address = QStringLiteral("http://api.tidwen.example/xml/newscontent/%1/%2.xml")
                                .arg(QString::number(id).left(3), QString::number(id).right(3));
    const Fetched first = client.get(address + QStringLiteral("?r=1"));
    EXPECT_EQ(client.get(address + QStringLiteral("?r=2")).header("Last-Modified"), first.header("Last-Modified"));
    // Through the control address, as the run script's user would.
    const Fetched touched = client.fetch("POST", service.controlUrl(QStringLiteral("touch?id=%1").arg(id)).toString());
    EXPECT_EQ(touched.status, 200);
    const Fetched second = client.get(address);
    EXPECT_NE(second.body, first.body);
    EXPECT_NE(second.header("Last-Modified"), first.header("Last-Modified"));
    EXPECT_EQ(client.fetch("POST", service.controlUrl(QStringLiteral("touch?id=1")).toString()).status, 404);
}

TEST(StandinVersions, ControlRequestsPublishSetFaultsAndReadTheLog)
{
    standin::StandinService service(testOptions());
    ProxyClient client(service);
    client.fetch("HEAD", kNews);
    const QString hex = CommonFunction::EncrypteUTF8(QStringLiteral("712003"), kDesKeyNextPage);
    client.get(QStringLiteral("http://api.tidwen.example/xml/newslist/news_%1.xml").arg(hex));
    const QString word = CommonFunction::EncrypteGB2312(QStringLiteral("手机"), kDesKeyRequest);
    client.get(QStringLiteral("http://api.tidwen.example/xml/search/%1.xml?r=9").arg(word));

    const Fetched published = client.fetch("POST", service.controlUrl(QStringLiteral("publish?n=2")).toString());
    EXPECT_EQ(QJsonDocument::fromJson(published.body).object().value(QStringLiteral("published")).toArray().size(), 2);
    const Fetched bad = client.fetch("POST", service.controlUrl(QStringLiteral("fault?rule=GET%20*%20/x%201%20explode")).toString());
    EXPECT_EQ(bad.status, 400);
    const Fetched fault = client.fetch("POST", service.controlUrl(QStringLiteral("fault")).toString(), {},
                                       "GET api.tidwen.example /xml/newslist/news.xml 1 status:500");
    EXPECT_EQ(fault.status, 200);
    EXPECT_EQ(client.get(kNews).status, 500);
    EXPECT_EQ(client.get(kNews).status, 200);  // counted: used up

    const Fetched log = client.get(service.controlUrl(QStringLiteral("log")).toString());
    const QList<QByteArray> lines = log.body.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 5);  // control requests are not logged
    const QJsonObject head = QJsonDocument::fromJson(lines[0]).object();
    EXPECT_EQ(head.value(QStringLiteral("method")).toString(), QStringLiteral("HEAD"));
    EXPECT_EQ(head.value(QStringLiteral("host")).toString(), QStringLiteral("api.tidwen.example"));
    EXPECT_EQ(head.value(QStringLiteral("target")).toString(), QStringLiteral("/xml/newslist/news.xml"));
    EXPECT_FALSE(head.value(QStringLiteral("lastModified")).toString().isEmpty());
    EXPECT_EQ(QJsonDocument::fromJson(lines[1]).object().value(QStringLiteral("fields")).toObject().value(QStringLiteral("page")).toString(),
              QStringLiteral("712003"));
    EXPECT_EQ(QJsonDocument::fromJson(lines[2]).object().value(QStringLiteral("fields")).toObject().value(QStringLiteral("keyword")).toString(),
              QStringLiteral("手机"));
    EXPECT_EQ(QJsonDocument::fromJson(lines[3]).object().value(QStringLiteral("status")).toInt(), 500);
    EXPECT_FALSE(QJsonDocument::fromJson(lines[3]).object().value(QStringLiteral("fault")).toString().isEmpty());
    EXPECT_EQ(client.get(service.controlUrl(QStringLiteral("ca.pem")).toString()).body, service.caCertificate().toPem());
}

TEST(StandinVersions, TwoServicesWithOneSeedAndClockAnswerByteForByteAlike)
{
    standin::StandinService one(testOptions(11));
    standin::StandinService two(testOptions(11));
    standin::StandinService other(testOptions(12));
    ProxyClient a(one, one.caCertificate());
    ProxyClient b(two, two.caCertificate());
    ProxyClient c(other, other.caCertificate());

    QStringList addresses;
    const QByteArray list = a.get(kNews).body;
    for (qint64 id : ids(list).mid(0, 8)) {
        const QString text = QString::number(id);
        addresses << QStringLiteral("http://api.tidwen.example/xml/newscontent/%1/%2.xml").arg(text.left(3), text.right(3))
                  << QStringLiteral("http://api.tidwen.example/json/tags/%1/%2.json").arg(id / 1000, 4, 10, QLatin1Char('0')).arg(id);
    }
    addresses << kNews << QStringLiteral("http://api.tidwen.example/xml/newslist/rank.xml")
              << QStringLiteral("http://api.tidwen.example/xml/slide/slide.xml")
              << QStringLiteral("http://api.tidwen.example/xml/newslist/phone.xml")
              << QStringLiteral("http://api.tidwen.example/xml/newslist/ios.xml")
              << QStringLiteral("http://api.tidwen.example/api/comment/hotcommentlist")
              << QStringLiteral("http://img.tidwen.example/newsuploadfiles/2/thumb/%1_240.jpg").arg(ids(list).first())
              << QStringLiteral("http://avatar.tidwen.example/avatars/001/23/45/67_60.jpg")
              << QStringLiteral("https://data.tidwen.example/tidwen/v2/mac.xml")
              << QStringLiteral("https://account.tidwen.example/api/User.asmx/G")
              << QStringLiteral("http://api.tidwen.example/xml/newslist/news_%1.xml").arg(CommonFunction::EncrypteUTF8(QString::number(ids(list).last()), kDesKeyNextPage))
              << QStringLiteral("http://api.tidwen.example/xml/search/%1.xml").arg(CommonFunction::EncrypteGB2312(QStringLiteral("手机"), kDesKeyRequest))
              << QStringLiteral("http://api.tidwen.example/api/newsgrade/get?newsid=%1&userid=0").arg(ids(list).first())
              << QStringLiteral("http://api.tidwen.example/xml/newslist/digi.xml");
    ASSERT_EQ(addresses.size(), 30);
    int differentSeed = 0;
    for (const QString& address : addresses) {
        const Fetched x = a.get(address);
        const Fetched y = b.get(address);
        ASSERT_EQ(x.status, 200) << qPrintable(address);
        EXPECT_EQ(x.body, y.body) << qPrintable(address);
        EXPECT_EQ(x.headers, y.headers) << qPrintable(address);
        differentSeed += c.get(address).body != x.body;
    }
    EXPECT_GE(differentSeed, 20);  // the seed matters
}

TEST(StandinVersions, AClientDiskCacheRevalidatesAndSeesAPublishAtOnce)
{
    standin::StandinService service(testOptions());
    QTemporaryDir dir;
    QNetworkAccessManager manager;
    manager.setProxy(service.proxy());
    auto* cache = new QNetworkDiskCache(&manager);
    cache->setCacheDirectory(dir.path());
    manager.setCache(cache);
    const auto get = [&] {
        QNetworkReply* reply = manager.get(QNetworkRequest(QUrl(kNews)));
        EXPECT_TRUE(waitUntil([&] { return reply->isFinished(); }));
        reply->deleteLater();
        return std::make_pair(reply->attribute(QNetworkRequest::SourceIsFromCacheAttribute).toBool(), reply->readAll());
    };
    const auto first = get();
    const auto second = get();
    EXPECT_FALSE(first.first);
    EXPECT_EQ(second.second, first.second);  // from the cache after a 304
    const QList<QJsonObject> log = service.requestLog();
    ASSERT_EQ(log.size(), 2);  // the cache asked again
    EXPECT_EQ(log[1].value(QStringLiteral("status")).toInt(), 304);
    EXPECT_EQ(log[1].value(QStringLiteral("ifModifiedSince")).toString(), log[0].value(QStringLiteral("lastModified")).toString());

    service.publish(2);
    const auto third = get();
    EXPECT_FALSE(third.first);
    EXPECT_NE(third.second, first.second);
    EXPECT_EQ(ids(third.second).size(), 20);
}

TEST(StandinVersions, TheLogShowsDecipheredFieldsButNeverThePassword)
{
    standin::StandinService service(testOptions());
    ProxyClient client(service, service.caCertificate());
    const QString hash = CommonFunction::EncrypteUTF8(QStringLiteral("tidwen_demo\fdemo2026"), kDesKeyRequest);
    const QByteArray form = "userHash=" + hash.toLatin1() + "&city=" +
                            CommonFunction::EncrypteGB2312(QStringLiteral("北京"), kDesKeyRequest).toLatin1() +
                            "&strNewsID=" + CommonFunction::EncrypteUTF8(QStringLiteral("712007"), kDesKeyRequest).toLatin1() +
                            "&content=plain%20text";
    EXPECT_EQ(client.fetch("POST", QStringLiteral("https://comment.tidwen.example/tidwen/postComment.aspx"), {}, form).status, 200);
    client.get(QStringLiteral("http://report.tidwen.example/receive/postdata.aspx?uid=%1")
                   .arg(CommonFunction::EncrypteUTF8(QStringLiteral("version:1.0;business:ponwel;"), kDesKeyLaunchReportUid)));

    const QList<QJsonObject> log = service.requestLog();
    ASSERT_EQ(log.size(), 3);  // CONNECT, POST, GET
    const QJsonObject posted = log[1].value(QStringLiteral("fields")).toObject();
    EXPECT_EQ(posted.value(QStringLiteral("city")).toString(), QStringLiteral("北京"));
    EXPECT_EQ(posted.value(QStringLiteral("userHash")).toString(), QStringLiteral("tidwen_demo"));
    EXPECT_EQ(posted.value(QStringLiteral("strNewsID")).toString(), QStringLiteral("712007"));
    EXPECT_FALSE(posted.contains(QStringLiteral("content")));
    EXPECT_EQ(log[2].value(QStringLiteral("fields")).toObject().value(QStringLiteral("uid")).toString(),
              QStringLiteral("version:1.0;business:ponwel;"));
    EXPECT_FALSE(service.requestLogJsonLines().contains("demo2026"));
}

TEST(StandinVersions, TheDemoAccountsCommentTopsTheCommentPageWithANewDate)
{
    standin::StandinService service(testOptions());
    ProxyClient client(service, service.caCertificate());
    const QList<qint64> news = ids(client.get(kNews).body);
    ASSERT_FALSE(news.isEmpty());
    const QString id = QString::number(news.first());
    const QString list = QStringLiteral("https://comment.tidwen.example/json/commentlist/%1/%2.json")
                             .arg(id.left(id.size() - 3), CommonFunction::EncrypteUTF8(id, kDesKeyRequest).toUpper());
    const Fetched before = client.get(list);
    ASSERT_EQ(before.status, 200);

    const auto post = [&](const QString& account, const QString& text) {
        const QString hash = CommonFunction::EncrypteUTF8(account + QStringLiteral("\fdemo2026"), kDesKeyRequest);
        const QByteArray form = "newsid=" + id.toLatin1() + "&parentid=0&userHash=" + hash.toLatin1() + "&content=" +
                                QUrl::toPercentEncoding(text);
        return client.fetch("POST", QStringLiteral("https://comment.tidwen.example/tidwen/postComment.aspx"), {}, form);
    };
    // Another account's comment is answered but not kept.
    EXPECT_EQ(post(QStringLiteral("someone"), QStringLiteral("不留")).status, 200);
    EXPECT_EQ(client.get(list).body, before.body);

    EXPECT_EQ(post(QStringLiteral("tidwen_demo"), QStringLiteral("第一条 & 评论")).status, 200);
    const Fetched after = client.get(list);
    ASSERT_EQ(after.status, 200);
    EXPECT_NE(after.header("Last-Modified"), before.header("Last-Modified"));
    ASSERT_TRUE(after.body.startsWith("showcomment(") && after.body.endsWith(")"));
    const QJsonArray comments = QJsonDocument::fromJson(after.body.mid(12, after.body.size() - 13)).array();
    ASSERT_GT(comments.size(), 1);
    const QJsonObject first = comments.first().toObject();
    EXPECT_EQ(first.value(QStringLiteral("C")).toString(), QStringLiteral("第一条 & 评论"));
    EXPECT_EQ(first.value(QStringLiteral("N")).toString(), QStringLiteral("演示用户"));
    EXPECT_EQ(first.value(QStringLiteral("Ui")).toInteger(), 1234567);
}
