// The client's own request entry against the stand-in as its proxy: plain http, https through
// CONNECT, the encodings the service reads, and the faults.
#include "EnvironmentSnapshot.h"
#include "StandinTestSupport.h"
#include "URLCacheScope.h"

#include "foundation/CommonFunction.h"
#include "foundation/xml/TBXML.h"
#include "foundation/xml/TTXMLParser.h"
#include "networking/URLSession.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkProxyFactory>

#include <gtest/gtest.h>

// The proxy variable the test below changes is there before any thread starts; empty, it names no
// proxy, and only that test turns the system's proxy configuration on.
void tidwenBeforeApplication()
{
    if (!qEnvironmentVariableIsSet("http_proxy"))
        qputenv("http_proxy", "");
}

namespace {

const QString kNews = QStringLiteral("http://api.tidwen.example/xml/newslist/news.xml");

QList<QPair<qint64, QString>> items(const QByteArray& feed)
{
    TBXML xml;
    Error error;
    xml.initWithXMLData(feed, &error);
    QList<QPair<qint64, QString>> result;
    TBXMLElement* channel = xml.rootXMLElement() ? TBXML::childElementNamed(QStringLiteral("channel"), xml.rootXMLElement()) : nullptr;
    for (TBXMLElement* item = channel ? TBXML::childElementNamed(QStringLiteral("item"), channel) : nullptr; item;
         item = TBXML::nextSiblingNamed(QStringLiteral("item"), item))
        result.append({TBXML::textForElement(TBXML::childElementNamed(QStringLiteral("newsid"), item)).toLongLong(),
                       TBXML::textForElement(TBXML::childElementNamed(QStringLiteral("title"), item))});
    return result;
}

std::shared_ptr<Outcome> await(std::shared_ptr<Outcome> outcome, int timeoutMs = 10000)
{
    EXPECT_TRUE(waitUntil([&] { return outcome->done(); }, timeoutMs));
    return outcome;
}

class StandinClient : public ::testing::Test
{
protected:
    standin::StandinService service{testOptions()};
    ScopedApplicationProxy proxy{service.proxy()};
};

}  // namespace

TEST_F(StandinClient, RequestEntryReachesThePlainHostsThroughTheProxy)
{
    const auto outcome = await(clientGet(QStringLiteral("http://api.tidwen.example/xml/slide/slide.xml")));
    ASSERT_EQ(outcome->finished, 1) << (outcome->error ? qPrintable(outcome->error->localizedDescription()) : "");
    EXPECT_TRUE(outcome->object.toByteArray().startsWith("<?xml"));
    const QList<QJsonObject> log = service.requestLog();
    ASSERT_EQ(log.size(), 1);
    EXPECT_EQ(log[0].value(QStringLiteral("host")).toString(), QStringLiteral("api.tidwen.example"));
    EXPECT_EQ(log[0].value(QStringLiteral("status")).toInt(), 200);
}

TEST_F(StandinClient, SystemProxySettingsFromTheEnvironmentReachTheStandin)
{
    // What the run script does: http_proxy in the environment and the system configuration on.
    // The variable exists since start-up, so changing it moves nothing under the threads reading
    // the environment.
    ASSERT_TRUE(qEnvironmentVariableIsSet("http_proxy"));
    const QByteArray previous = qgetenv("http_proxy");
    const EnvironmentSnapshot before = EnvironmentSnapshot::take();
    qputenv("http_proxy", QStringLiteral("http://127.0.0.1:%1").arg(service.port()).toLatin1());
    EXPECT_EQ(EnvironmentSnapshot::take().array, before.array);
    QNetworkProxy::setApplicationProxy(QNetworkProxy::DefaultProxy);
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    const auto outcome = await(clientGet(QStringLiteral("http://api.tidwen.example/xml/newslist/phone.xml")));
    QNetworkProxyFactory::setUseSystemConfiguration(false);
    qputenv("http_proxy", previous);
    EXPECT_EQ(outcome->finished, 1) << (outcome->error ? qPrintable(outcome->error->localizedDescription()) : "");
    EXPECT_EQ(service.requestLog().size(), 1);
}

TEST_F(StandinClient, HttpsThroughConnectIsTrustedOnlyWithTheStandinsAuthority)
{
    // Without the authority: the default trust evaluation refuses.
    const auto refused = await(clientGet(QStringLiteral("https://data.tidwen.example/tidwen/v2/mac.xml")));
    ASSERT_EQ(refused->failed, 1);
    EXPECT_EQ(refused->error->code, -1202);

    testcerts::ScopedTrustedCertificate trusted(service.caCertificate());
    const auto accepted = await(clientGet(QStringLiteral("https://account.tidwen.example/api/User.asmx/G")));
    ASSERT_EQ(accepted->finished, 1) << (accepted->error ? qPrintable(accepted->error->localizedDescription()) : "");
    EXPECT_TRUE(CommonFunction::parseXML(accepted->object.toByteArray()) != nullptr);

    bool connected = false;
    for (const QJsonObject& entry : service.requestLog()) {
        connected = connected || (entry.value(QStringLiteral("method")).toString() == QLatin1String("CONNECT") &&
                                  entry.value(QStringLiteral("target")).toString() == QLatin1String("account.tidwen.example:443") &&
                                  entry.value(QStringLiteral("status")).toInt() == 200);
    }
    EXPECT_TRUE(connected);
    // A host the stand-in does not serve gets no tunnel.
    const auto outside = await(clientGet(QStringLiteral("https://example.com/")));
    EXPECT_EQ(outside->failed, 1);
}

TEST_F(StandinClient, LoadMoreNameSearchWordAndDealsSignatureAreRead)
{
    const auto list = await(clientGet(kNews));
    const auto first = items(list->object.toByteArray());
    ASSERT_EQ(first.size(), 20);
    const QString page = CommonFunction::EncrypteUTF8(QString::number(first[9].first), kDesKeyNextPage).toLower();
    const auto more = await(clientGet(QStringLiteral("http://api.tidwen.example/xml/newslist/news_%1.xml").arg(page)));
    const auto older = items(more->object.toByteArray());
    ASSERT_EQ(older.size(), 14);  // the ten below it on the page and the four after it
    EXPECT_EQ(older.first(), first[10]);
    for (const auto& item : older)
        EXPECT_LT(item.first, first[9].first);
    // A name that does not decipher is not a page.
    EXPECT_EQ(await(clientGet(QStringLiteral("http://api.tidwen.example/xml/newslist/news_zz.xml")))->failed, 1);

    const QString word = CommonFunction::EncrypteGB2312(QStringLiteral("手机"), kDesKeyRequest);
    const auto found = items(await(clientGet(QStringLiteral("http://api.tidwen.example/xml/search/%1.xml?r=7").arg(word)))->object.toByteArray());
    ASSERT_FALSE(found.isEmpty());
    for (const auto& item : found)
        EXPECT_TRUE(item.second.contains(QStringLiteral("手机"))) << qPrintable(item.second);
    const auto next = items(await(clientGet(QStringLiteral("http://api.tidwen.example/xml/search/%1_%2.xml?r=searchmore3")
                                                .arg(word).arg(found.last().first)))
                                ->object.toByteArray());
    for (const auto& item : next)
        EXPECT_LT(item.first, found.last().first);
    // The UTF-8 bytes of the word are not its GB 18030 bytes: nothing is found for them.
    const QString utf8 = CommonFunction::EncrypteUTF8(QStringLiteral("手机"), kDesKeyRequest);
    EXPECT_TRUE(items(await(clientGet(QStringLiteral("http://api.tidwen.example/xml/search/%1.xml").arg(utf8)))->object.toByteArray()).isEmpty());

    const qint64 t = 1796630400;
    const QString good = CommonFunction::getHotProductSignature(static_cast<double>(t));
    const auto deals = [&](const QString& signature) {
        const auto reply = await(clientGet(QStringLiteral("http://api.zefup.tidwen.example/api/apps/indexlistsegbyid?count=20&productid=0&signature=%1&timestamp=%2")
                                               .arg(signature)
                                               .arg(t)));
        return QJsonDocument::fromJson(reply->object.toByteArray()).object();
    };
    EXPECT_EQ(deals(good).value(QStringLiteral("success")).toInt(), 1);
    EXPECT_EQ(deals(good).value(QStringLiteral("content")).toArray().size(), 20);
    const QJsonObject wrong = deals(CommonFunction::getHotProductSignature(static_cast<double>(t + 1)));
    EXPECT_EQ(wrong.value(QStringLiteral("success")).toInt(), 0);
    EXPECT_FALSE(wrong.contains(QStringLiteral("content")));
}

TEST_F(StandinClient, FaultsReachTheFailedBlockOrAreMeasured)
{
    struct Case
    {
        const char* action;
        bool fails;
    };
    const Case cases[] = {{"status:404", true}, {"status:500", true}, {"truncate", true}, {"close", true}, {"drip:2000:20", false}};
    for (const Case& c : cases) {
        // Every matching request while the rule stands: the network layer may resend a request
        // whose connection closed before any answer.
        ASSERT_TRUE(service.addFault(QStringLiteral("GET api.tidwen.example /xml/newslist/news.xml * ") + QLatin1String(c.action)));
        const auto outcome = await(clientGet(kNews));
        service.clearFaults();
        EXPECT_EQ(outcome->failed, c.fails ? 1 : 0) << c.action;
        EXPECT_EQ(outcome->finished, c.fails ? 0 : 1) << c.action;
    }

    ASSERT_TRUE(service.addFault(QStringLiteral("GET * /xml/slide/* 1 delay:300")));
    QElapsedTimer timer;
    timer.start();
    const auto slow = await(clientGet(QStringLiteral("http://api.tidwen.example/xml/slide/slide.xml")));
    EXPECT_EQ(slow->finished, 1);
    EXPECT_GE(timer.elapsed(), 300);

    ASSERT_TRUE(service.addFault(QStringLiteral("* api.tidwen.example /xml/newslist/phone.xml 1 silent")));
    const auto silent = await(clientGet(QStringLiteral("http://api.tidwen.example/xml/newslist/phone.xml"), 0.5), 5000);
    ASSERT_EQ(silent->failed, 1);
    EXPECT_EQ(silent->error->code, -1001);

    // GB 18030 bytes under a UTF-8 declaration: the article reader refuses them, and the list
    // reader's titles are not the service's titles.
    const auto clean = await(clientGet(QStringLiteral("http://api.tidwen.example/xml/newslist/vr.xml")));
    const auto cleanItems = items(clean->object.toByteArray());
    ASSERT_FALSE(cleanItems.isEmpty());
    ASSERT_TRUE(service.addFault(QStringLiteral("GET * /xml/newslist/vr.xml 1 charset")));
    const auto garbledList = await(clientGet(QStringLiteral("http://api.tidwen.example/xml/newslist/vr.xml")));
    ASSERT_EQ(garbledList->finished, 1);
    const auto garbledItems = items(garbledList->object.toByteArray());
    EXPECT_TRUE(garbledItems.isEmpty() || garbledItems.first().second != cleanItems.first().second);

    const QString id = QString::number(cleanItems.first().first);
    const QString article = QStringLiteral("http://api.tidwen.example/xml/newscontent/%1/%2.xml").arg(id.left(id.size() - 3), id.right(3));
    ASSERT_TRUE(service.addFault(QStringLiteral("GET * /xml/newscontent/* 1 charset")));
    const auto garbled = await(clientGet(article));
    ASSERT_EQ(garbled->finished, 1);
    TTXMLParser garbledParser(garbled->object.toByteArray());
    EXPECT_FALSE(garbledParser.parse());
    TTXMLParser cleanParser(await(clientGet(article))->object.toByteArray());
    EXPECT_TRUE(cleanParser.parse());

    // no-last-modified: the field is gone, the body stays.
    ASSERT_TRUE(service.addFault(QStringLiteral("GET * /xml/newslist/pc.xml 1 no-last-modified")));
    ProxyClient plain(service);
    EXPECT_TRUE(plain.get(QStringLiteral("http://api.tidwen.example/xml/newslist/pc.xml")).header("Last-Modified").isNull());
    EXPECT_FALSE(plain.get(QStringLiteral("http://api.tidwen.example/xml/newslist/pc.xml")).header("Last-Modified").isNull());

    // cacheable: the client's URL cache keeps what the service sends as no-store.
    URLCacheScope cache;
    testcerts::ScopedTrustedCertificate trusted(service.caCertificate());
    const QString sync = QStringLiteral("https://account.tidwen.example/olvenna/GetSyncFileVer.aspx?user=reader&pass=00");
    ASSERT_TRUE(service.addFault(QStringLiteral("GET account.tidwen.example /olvenna/GetSyncFileVer.aspx* * cacheable:600")));
    ASSERT_EQ(await(clientGet(sync))->finished, 1);
    EXPECT_TRUE(cache.holds(QUrl(sync)));
}

TEST(StandinFaults, RulesParseOrSayWhy)
{
    struct Case
    {
        const char* text;
        bool ok;
    };
    const Case cases[] = {
        {"GET api.tidwen.example /xml/newslist/news.xml 1 status:404", true},
        {"* * * * delay:300,drip", true},
        {"HEAD * /rss/* 0 truncate:10", true},
        {"GET * /x 1 status:700", false},
        {"GET * /x 1 delay", false},
        {"GET * /x 1 cacheable", false},
        {"GET * /x 1 cacheable:abc", false},
        {"GET * /x 1 cacheable:+60", false},
        {"GET * /x 1 delay:-0", false},
        {"GET * /x -1 close", false},
        {"GET * /x one close", false},
        {"GET * /x 1 explode", false},
        {"GET * /x 1", false},
        {"", false},
    };
    for (const Case& c : cases) {
        QString error;
        const standin::FaultRule rule = standin::FaultRule::parse(QString::fromLatin1(c.text), &error);
        EXPECT_EQ(!rule.actions.isEmpty(), c.ok) << c.text;
        EXPECT_EQ(error.isEmpty(), c.ok) << c.text;
    }
    // A bad rule given at start keeps the service from listening.
    standin::StandinOptions options = testOptions();
    options.faults = QStringList{QStringLiteral("GET * /x 1 explode")};
    standin::StandinService service(options);
    EXPECT_FALSE(service.isListening());
    EXPECT_TRUE(service.error().contains(QStringLiteral("explode")));
}
