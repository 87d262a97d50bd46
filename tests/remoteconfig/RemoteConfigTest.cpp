#include "RemoteConfigTestSupport.h"
#include "ScopeGuard.h"

#include "Library/FMDB/FMDatabase.h"
#include "Library/KissXML/DDXMLDocument.h"
#include "database/ServerUrls.h"
#include "foundation/CommonFunction.h"
#include "foundation/WebFileStampStore.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "remoteconfig/ListADGoldCoinTask.h"
#include "remoteconfig/NSADInfoManager.h"
#include "remoteconfig/NSListADInfoManager.h"
#include "remoteconfig/RemoteConfig.h"

#include <QDir>
#include <QFile>

namespace {

// Where the configuration of the tests reports its download: nothing listens there.
const QString& kConfigReportUrl()
{
    static const QString url = QStringLiteral("http://127.0.0.1:%1/kv").arg(LoopbackHttpServer::closedPort());
    return url;
}

// Every element name of the configuration this client reads, as the data server writes them.
QByteArray configXml(const QString& extra = QString(), const QString& related = QStringLiteral("6"))
{
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<config>"
               "<avd>avatars.cfg.test</avd>"
               "<rcount o2=\"%1\"/>"
               "<newscore>10</newscore>"
               "<scorecount>7</scorecount>"
               "<apirandom>yes</apirandom>"
               "<ownadreport>yes</ownadreport>"
               "<coinshop>3</coinshop>"
               "<zefuphit>yes</zefuphit>"
               "<cfgreport>yes</cfgreport>"
               "<cfgreporturl>%3</cfgreporturl>"
               "<loadall>yes</loadall>"
               "<zqcategory>数码|家电||</zqcategory>"
               "<srp n=\"上热评\" lu=\"http://api.tidwen.example/api/comment/hotcommentlist\"/>"
               "<listad><slot sp=\"3\" ep=\"6\"/><slot sp=\"12\"/></listad>"
               "%2</config>")
        .arg(related, extra, kConfigReportUrl())
        .toUtf8();
}

QString urlListElement(const QString& version, const QString& host, int count = 100)
{
    QString xml = QStringLiteral("<us v=\"%1\">").arg(version);
    for (int i = 1; i <= count; ++i)
        xml += QStringLiteral("<u>https://%1/u%2</u>").arg(host).arg(i);
    return xml + QStringLiteral("</us>");
}

QString channelListElement(const QString& version)
{
    return QStringLiteral("<cgs v=\"%1\"><cg n=\"资讯\" id=\"101\" s=\"1\" lu=\"http://api.tidwen.example/xml/newslist/news.xml\" "
                          "su=\"http://api.tidwen.example/xml/slide/slide.xml\"/>"
                          "<cg n=\"新频道\" id=\"160\" s=\"1\" lu=\"http://api.tidwen.example/xml/newslist/new.xml\" su=\"\"/></cgs>")
        .arg(version);
}

// The hot-comments channel 153 as the store lists it, or null.
NewsListDataPtr hotCommentsChannel()
{
    QList<NewsListDataPtr> channels;
    DatabaseOperate::Lease store;
    store->NewsList_getCurrentDisplayNewsList(channels);
    store->NewsList_getCurrentNoDisplayNewsList(channels);
    for (const NewsListDataPtr& channel : std::as_const(channels)) {
        if (channel->iListID == 153)
            return channel;
    }
    return nullptr;
}

LoopbackReply configReply(const QByteArray& body, const QByteArray& lastModified)
{
    return LoopbackReply::text(200, body, "application/octet-stream").withHeader("Last-Modified", lastModified);
}

}  // namespace

// ---- parsing ----------------------------------------------------------------------------------

TEST(RemoteConfigParse, ReadsEveryValueOfTheFile)
{
    const auto config = RemoteConfig::fromXml(configXml(urlListElement(QStringLiteral("2"), QStringLiteral("h.test"))));
    ASSERT_TRUE(config);
    EXPECT_EQ(config->avatarHost, QStringLiteral("avatars.cfg.test"));
    EXPECT_EQ(config->relatedNewsCount, 6);
    EXPECT_EQ(config->newsScoreMax, 10);
    EXPECT_EQ(config->newsScoreMinRaters, 7);
    EXPECT_EQ(config->apiRandom, true);
    EXPECT_EQ(config->coinShopVersion, QStringLiteral("3"));
    EXPECT_EQ(config->configReportUrl, kConfigReportUrl());
    EXPECT_TRUE(config->loadAllData);
    EXPECT_EQ(config->dealCategories, (QStringList{QStringLiteral("数码"), QStringLiteral("家电")}));
    EXPECT_EQ(config->hotCommentChannelCount, 1);
    EXPECT_EQ(config->hotCommentName, QStringLiteral("上热评"));
    ASSERT_TRUE(config->urlList);
    EXPECT_EQ(config->urlList->version, QStringLiteral("2"));
    EXPECT_EQ(config->urlList->urls.size(), 100);
    EXPECT_EQ(config->urlList->urls.first(), QStringLiteral("https://h.test/u1"));
    ASSERT_TRUE(config->listADSlots);
    ASSERT_EQ(config->listADSlots->size(), 2);
    EXPECT_EQ(config->listADSlots->at(0).endPos, 6);
    EXPECT_EQ(config->listADSlots->at(1).startPos, 12);
    EXPECT_EQ(config->listADSlots->at(1).endPos, 12);
    EXPECT_TRUE(config->listADUrl.isEmpty());
    EXPECT_TRUE(config->version.isEmpty());
}

// The file names the slots and the list-ad request; the ads come from that request, never from
// the file.
TEST(RemoteConfigParse, ListAdsNameSlotsAndTheRequestButNoAds)
{
    const auto config = RemoteConfig::fromXml(
        "<config v=\"42\"><listad u=\" http://127.0.0.1:1/listad \"><slot sp=\"2\" ep=\"4\">"
        "<ad url=\"http://ads.cfg.test/a\"/></slot></listad></config>");
    ASSERT_TRUE(config);
    EXPECT_EQ(config->version, QStringLiteral("42"));
    EXPECT_EQ(config->listADUrl, QStringLiteral("http://127.0.0.1:1/listad"));
    ASSERT_TRUE(config->listADSlots);
    ASSERT_EQ(config->listADSlots->size(), 1);
    EXPECT_TRUE(config->listADSlots->at(0).ads.isEmpty());
}

TEST(RemoteConfigParse, OddValuesLeaveTheRunningOnesAlone)
{
    struct Case
    {
        const char* xml;
        std::optional<long> related;
        std::optional<long> scoreMax;
        std::optional<bool> apiRandom;
    };
    const Case cases[] = {
        {"<c><rcount o2=\"x\"/></c>", std::nullopt, std::nullopt, std::nullopt},
        {"<c><rcount o2=\"-2\"/><newscore>0</newscore></c>", std::nullopt, std::nullopt, std::nullopt},
        {"<c><rcount/><newscore>5x</newscore><apirandom>YES</apirandom></c>", std::nullopt, std::nullopt, false},
        {"<c><x><rcount o2=\"4\"/></x><rcount o2=\"9\"/><apirandom> yes </apirandom></c>", 4, std::nullopt, true},
    };
    for (const Case& c : cases) {
        const auto config = RemoteConfig::fromXml(c.xml);
        ASSERT_TRUE(config) << c.xml;
        EXPECT_EQ(config->relatedNewsCount, c.related) << c.xml;
        EXPECT_EQ(config->newsScoreMax, c.scoreMax) << c.xml;
        EXPECT_EQ(config->apiRandom, c.apiRandom) << c.xml;
    }
}

TEST(RemoteConfigParse, RefusesBrokenFilesAndNeverExpandsEntities)
{
    for (const QByteArray& bad : {QByteArray(), QByteArray("<config><avd>x</config>"), QByteArray("\x01\x02garbage")})
        EXPECT_FALSE(RemoteConfig::fromXml(bad)) << bad.toStdString();

    const auto config = RemoteConfig::fromXml(
        "<!DOCTYPE c [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><c><avd>&x;</avd></c>");
    if (config && config->avatarHost)
        EXPECT_FALSE(config->avatarHost->contains(QStringLiteral("root")));
}

TEST(RemoteConfigParse, DecipheringCutsTheZeroFill)
{
    const QByteArray plain = configXml();
    const QByteArray enciphered = encipherConfig(plain);
    EXPECT_NE(enciphered.left(5), plain.left(5));
    EXPECT_EQ(NSADInfoManager::DecypteData(enciphered), plain);
    EXPECT_TRUE(RemoteConfig::fromEnciphered(enciphered));
    // The plain file is not a configuration: it deciphers to noise.
    EXPECT_FALSE(RemoteConfig::fromEnciphered(plain));
}

// ---- download and apply -------------------------------------------------------------------------

class RemoteConfigDownload : public LoopbackStoreTest
{
protected:
    void SetUp() override
    {
        LoopbackStoreTest::SetUp();
        ASSERT_NE(m_https.port(), 0);
        ASSERT_NE(m_http.port(), 0);
        pointUrls({{99, m_https.url(QStringLiteral("/tidwen/v2/mac.xml")).toString()},
                   {59, m_http.url(QStringLiteral("/tidwen/v2/mac.xml")).toString()}});
        {
            DatabaseOperate::Lease store;
            ASSERT_TRUE(store);
            ASSERT_TRUE(store->NewsList_check());
        }
        m_reloadNewList = NotificationCenter::defaultCenter().addObserver(
            QStringLiteral("reloadNewList"), nullptr, [this](const Notification&) { ++m_newListPosts; });
        m_listAds.setRandomSource({});
    }
    void TearDown() override
    {
        NotificationCenter::defaultCenter().removeObserver(m_reloadNewList);
        LoopbackStoreTest::TearDown();
    }

    void reload(NSADInfoManager& manager)
    {
        manager.reloadADInfo();
        ASSERT_TRUE(waitUntil([&] { return !manager.isDownloading(); }, 30000));
    }

    QString storedUrl(int number)
    {
        auto db = FMDatabase::databaseWithPath(QDir(StorageRoot::documentsPath()).filePath(QStringLiteral("tidwenMAC.db")));
        EXPECT_TRUE(db->open());
        const QString value = db->stringForQuery(QStringLiteral("SELECT ListUrl FROM UrlList1 WHERE UrlName = ?"),
                                                 {ServerUrls::keyName(number)});
        db->close();
        return value;
    }

    QString storedLastModified()
    {
        DatabaseOperate::Lease store;
        return store->getWebFileLastModifyTimeforFileType(WebFileType::kRemoteConfig);
    }

    testcerts::ScopedTrustedRootCA m_trusted;
    LoopbackHttpServer m_https{testcerts::certificates().localhostChain(), testcerts::certificates().localhost.privateKey};
    LoopbackHttpServer m_http;
    NSListADInfoManager m_listAds;
    NotificationCenter::Token m_reloadNewList = 0;
    int m_newListPosts = 0;
};

TEST_F(RemoteConfigDownload, TheHttpsFileSetsTheSwitchesAndRewritesTheTablesForTheNextStart)
{
    const QString runningConfigUrl = kUrlRemoteConfig;
    const QString runningNewsList = kUrlNewsListXml;
    const QByteArray file =
        encipherConfig(configXml(urlListElement(QStringLiteral("2"), QStringLiteral("next.test")) + channelListElement(QStringLiteral("2"))));
    m_https.route("GET", QStringLiteral("/tidwen/v2/mac.xml"), configReply(file, "Mon, 07 Dec 2026 08:00:00 GMT"));

    NSADInfoManager manager(&m_listAds);
    reload(manager);

    EXPECT_EQ(gAvatarHost.get(), QStringLiteral("avatars.cfg.test"));
    EXPECT_EQ(gRelatedNewsCount.load(), 6);
    EXPECT_EQ(gNewsScoreMax.load(), 10);
    EXPECT_EQ(gNewsScoreMinRaters.load(), 7);
    EXPECT_TRUE(gbApiRandom);
    EXPECT_TRUE(gbOwnAdReport);
    EXPECT_EQ(gCoinShopVersion.get(), QStringLiteral("3"));
    EXPECT_TRUE(gbZefupHitReport);
    EXPECT_TRUE(gbConfigReportOn);
    EXPECT_EQ(gConfigReportUrl.get(), kConfigReportUrl());

    // The table and its version change; the running addresses stay until the next start.
    EXPECT_EQ(storedUrl(16), QStringLiteral("https://next.test/u16"));
    EXPECT_EQ(storedUrl(100), QStringLiteral("https://next.test/u100"));
    EXPECT_EQ(UserDefaults::standardUserDefaults().stringForKey(QStringLiteral("UrlsVersion1")), QStringLiteral("2"));
    EXPECT_EQ(kUrlRemoteConfig, runningConfigUrl);
    EXPECT_EQ(kUrlNewsListXml, runningNewsList);

    EXPECT_EQ(m_newListPosts, 1);
    EXPECT_EQ(UserDefaults::standardUserDefaults().stringForKey(QStringLiteral("NewsListVersion")), QStringLiteral("2"));
    QStringList categories;
    {
        DatabaseOperate::Lease store;
        store->HotProduct_getList(categories);
    }
    EXPECT_EQ(categories, (QStringList{QStringLiteral("全部"), QStringLiteral("数码"), QStringLiteral("家电")}));

    EXPECT_EQ(m_listAds.getUsedADCount(), 2);
    EXPECT_EQ(storedLastModified(), QStringLiteral("Mon, 07 Dec 2026 08:00:00 GMT"));
    QFile cache(NSADInfoManager::cacheFilePath());
    ASSERT_TRUE(cache.open(QIODevice::ReadOnly));
    EXPECT_EQ(cache.readAll(), file);
    EXPECT_EQ(countRequests(m_http.requests(), "GET"), 0);
}

TEST_F(RemoteConfigDownload, AnUnchangedFileIsNotFetchedAgain)
{
    m_https.route("GET", QStringLiteral("/tidwen/v2/mac.xml"), configReply(encipherConfig(configXml()), "Tue, 01 Dec 2026 00:00:00 GMT"));
    NSADInfoManager manager(&m_listAds);
    reload(manager);
    ASSERT_EQ(countRequests(m_https.requests(), "GET"), 1);

    m_https.clearRequests();
    reload(manager);
    EXPECT_EQ(countRequests(m_https.requests(), "HEAD"), 1);
    EXPECT_EQ(countRequests(m_https.requests(), "GET"), 0);
}

TEST_F(RemoteConfigDownload, TheFileIsNotAskedForAgainWithin180Seconds)
{
    Clock::setNow(QDateTime::currentDateTimeUtc());
    DatabaseOperate::installWebFileStampStore();
    const auto restore = onScopeExit([] {
        WebFileStampStore::setInstance(nullptr);
        Clock::reset();
    });
    m_https.route("GET", QStringLiteral("/tidwen/v2/mac.xml"), configReply(encipherConfig(configXml()), "Tue, 01 Dec 2026 00:00:00 GMT"));
    NSADInfoManager manager(&m_listAds);
    reload(manager);
    ASSERT_EQ(m_https.requestCount(), 2);  // HEAD and GET

    Clock::advance(179 * 1000);
    manager.reloadADInfo();
    EXPECT_FALSE(manager.isDownloading());
    // Past the 180 s a HEAD finds the file unchanged, which counts as a fresh check.
    Clock::advance(1000);
    reload(manager);
    EXPECT_EQ(countRequests(m_https.requests(), "HEAD"), 2);
    EXPECT_EQ(countRequests(m_https.requests(), "GET"), 1);
    Clock::advance(60 * 1000);
    manager.reloadADInfo();
    EXPECT_FALSE(manager.isDownloading());
    EXPECT_EQ(m_https.requestCount(), 3);
}

TEST_F(RemoteConfigDownload, ADownloadIsReportedOnlyWhileTheFileSaysSo)
{
    const QString report = m_http.url(QStringLiteral("/receive/kvup.aspx")).toString();
    m_http.route("POST", QStringLiteral("/receive/kvup.aspx"), LoopbackReply::text(200, "ok"));
    const auto file = [&](const char* version, const char* on) {
        return encipherConfig(QStringLiteral("<config v=\"%1\"><cfgreport>%2</cfgreport><cfgreporturl>%3</cfgreporturl></config>")
                                  .arg(QLatin1String(version), QLatin1String(on), report)
                                  .toUtf8());
    };
    NSADInfoManager manager(&m_listAds);
    m_https.route("GET", QStringLiteral("/tidwen/v2/mac.xml"), configReply(file("6", "no"), "Tue, 01 Dec 2026 00:00:00 GMT"));
    reload(manager);
    EXPECT_FALSE(gbConfigReportOn);
    m_https.route("GET", QStringLiteral("/tidwen/v2/mac.xml"), configReply(file("7", "yes"), "Wed, 02 Dec 2026 00:00:00 GMT"));
    reload(manager);
    ASSERT_TRUE(waitUntil([&] { return countRequests(m_http.requests(), "POST") >= 1; }));
    ASSERT_TRUE(m_http.waitForReplyAfter(100));
    ASSERT_EQ(countRequests(m_http.requests(), "POST"), 1);
    const LoopbackRequest posted = m_http.requests().last();
    EXPECT_EQ(posted.path, QStringLiteral("/receive/kvup.aspx"));
    EXPECT_EQ(posted.body, QByteArray("version=7"));
}

TEST_F(RemoteConfigDownload, AGarbledFileKeepsTheCacheAndItsTime)
{
    const QByteArray good = encipherConfig(configXml());
    m_https.route("GET", QStringLiteral("/tidwen/v2/mac.xml"), configReply(good, "Tue, 01 Dec 2026 00:00:00 GMT"));
    NSADInfoManager manager(&m_listAds);
    reload(manager);
    gRelatedNewsCount = 3;

    QByteArray garbled = good;
    garbled[16] = char(garbled[16] ^ 0x5a);
    garbled.chop(40);
    m_https.route("GET", QStringLiteral("/tidwen/v2/mac.xml"), configReply(garbled, "Wed, 02 Dec 2026 00:00:00 GMT"));
    reload(manager);

    QFile cache(NSADInfoManager::cacheFilePath());
    ASSERT_TRUE(cache.open(QIODevice::ReadOnly));
    EXPECT_EQ(cache.readAll(), good);
    EXPECT_EQ(storedLastModified(), QStringLiteral("Tue, 01 Dec 2026 00:00:00 GMT"));
    EXPECT_EQ(gRelatedNewsCount.load(), 3);

    // A later start applies the good cache before anything is downloaded.
    m_https.route("GET", QStringLiteral("/tidwen/v2/mac.xml"), LoopbackReply::text(503, "down"));
    m_http.route("GET", QStringLiteral("/tidwen/v2/mac.xml"), LoopbackReply::text(503, "down"));
    NSADInfoManager nextStart(&m_listAds);
    reload(nextStart);
    EXPECT_EQ(gRelatedNewsCount.load(), 6);
}

TEST_F(RemoteConfigDownload, ALostCacheIsFetchedAgainEvenWhenTheServerCopyIsUnchanged)
{
    const QByteArray file = encipherConfig(configXml());
    m_https.route("GET", QStringLiteral("/tidwen/v2/mac.xml"), configReply(file, "Tue, 01 Dec 2026 00:00:00 GMT"));
    NSADInfoManager first(&m_listAds);
    reload(first);
    ASSERT_EQ(countRequests(m_https.requests(), "GET"), 1);

    // The cache file was cut short by a crash: the next start cannot apply it, so it must not
    // trust the stored time either.
    QFile cache(NSADInfoManager::cacheFilePath());
    ASSERT_TRUE(cache.open(QIODevice::WriteOnly | QIODevice::Truncate));
    cache.write(file.left(24));
    cache.close();
    gRelatedNewsCount = 3;
    m_https.clearRequests();
    NSADInfoManager nextStart(&m_listAds);
    reload(nextStart);
    EXPECT_EQ(countRequests(m_https.requests(), "GET"), 1);
    EXPECT_EQ(gRelatedNewsCount.load(), 6);
    ASSERT_TRUE(cache.open(QIODevice::ReadOnly));
    EXPECT_EQ(cache.readAll(), file);
}

TEST_F(RemoteConfigDownload, ThePlainHttpCopyCannotMoveServersOrChannels)
{
    m_https.route("GET", QStringLiteral("/tidwen/v2/mac.xml"), LoopbackReply::text(404, "none"));
    const QByteArray file = encipherConfig(
        configXml(urlListElement(QStringLiteral("7"), QStringLiteral("evil.test")) + channelListElement(QStringLiteral("7")),
                  QStringLiteral("8")));
    m_http.route("GET", QStringLiteral("/tidwen/v2/mac.xml"), configReply(file, "Thu, 03 Dec 2026 00:00:00 GMT"));

    NSADInfoManager manager(&m_listAds);
    reload(manager);

    EXPECT_EQ(countRequests(m_http.requests(), "GET"), 1);
    EXPECT_EQ(gRelatedNewsCount.load(), 8);  // the rest applies
    EXPECT_EQ(storedUrl(16), ServerUrls::builtInValue(16));
    EXPECT_EQ(UserDefaults::standardUserDefaults().stringForKey(QStringLiteral("UrlsVersion1")), QStringLiteral("1"));
    EXPECT_EQ(m_newListPosts, 0);
    EXPECT_EQ(UserDefaults::standardUserDefaults().stringForKey(QStringLiteral("NewsListVersion")), QStringLiteral("1"));
    EXPECT_FALSE(QFile::exists(NSADInfoManager::cacheFilePath()));
}

// The hot-comments channel's next-page address is reset by every file that names the channel,
// also when its name and address did not change.
TEST_F(RemoteConfigDownload, AnUnchangedHotCommentEntryIsWrittenAgain)
{
    const auto hotComments = [] { return hotCommentsChannel(); };
    const QString list = QStringLiteral("http://api.tidwen.example/api/comment/hotcommentlist");
    NSADInfoManager manager(&m_listAds);
    const auto config = RemoteConfig::fromXml(configXml());
    ASSERT_TRUE(config);
    manager.getADDataFrom(*config, true);
    ASSERT_TRUE(hotComments());
    ASSERT_EQ(hotComments()->LoadMoreUrl, list + QStringLiteral("?s="));

    auto db = FMDatabase::databaseWithPath(QDir(StorageRoot::documentsPath()).filePath(QStringLiteral("tidwenMAC.db")));
    ASSERT_TRUE(db->open());
    ASSERT_TRUE(db->executeUpdate(QStringLiteral("UPDATE CategoryList SET LoadMoreUrl = ? WHERE ListId = 153"),
                                  {QStringLiteral("http://api.tidwen.example/api/comment/hotcommentlist?s=40")}));
    db->close();
    manager.getADDataFrom(*config, true);
    const NewsListDataPtr channel = hotComments();
    ASSERT_TRUE(channel);
    EXPECT_EQ(channel->ListName, QStringLiteral("上热评"));
    EXPECT_EQ(channel->LoadMoreUrl.toStdString(), (list + QStringLiteral("?s=")).toStdString());
}

// The hot-comments channel is kept only by a file with exactly one "srp"; the server URL table
// moves only for a full list under a new version. Each file goes through the document tree.
TEST_F(RemoteConfigDownload, TheHandlerKeepsTheHotCommentsChannelAndTheUrlTableOnlyWhenTheFileSaysSo)
{
    const QString srp = QStringLiteral("<srp n=\"上热评\" lu=\"http://api.tidwen.example/api/comment/hotcommentlist\"/>");
    struct Case
    {
        const char* what;
        QString body;
        bool hotCommentsKept;
        QString url16;  // the stored value of u16 afterwards; empty: the built-in one
    };
    const Case cases[] = {
        {"no srp", QString(), false, {}},
        {"two srp", srp + QStringLiteral("<x>") + srp + QStringLiteral("</x>"), false, {}},
        {"one srp", srp, true, {}},
        {"99 urls under a new version", srp + urlListElement(QStringLiteral("5"), QStringLiteral("short.test"), 99), true, {}},
        {"100 urls under the stored version", srp + urlListElement(QStringLiteral("1"), QStringLiteral("same.test")), true, {}},
        {"100 urls under a new version", srp + urlListElement(QStringLiteral("6"), QStringLiteral("next.test")), true,
         QStringLiteral("https://next.test/u16")},
    };
    NSADInfoManager manager(&m_listAds);
    const auto apply = [&](const QString& body) {
        const auto document =
            DDXMLDocument::initWithXMLString(QStringLiteral("<config>%1</config>").arg(body), 0, nullptr);
        ASSERT_TRUE(document);
        const auto config = RemoteConfig::fromDocument(*document);
        ASSERT_TRUE(config);
        manager.getADDataFrom(*config, true);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        apply(srp);
        ASSERT_TRUE(hotCommentsChannel());
        apply(c.body);
        EXPECT_EQ(static_cast<bool>(hotCommentsChannel()), c.hotCommentsKept);
        EXPECT_EQ(storedUrl(16), c.url16.isEmpty() ? ServerUrls::builtInValue(16) : c.url16);
        EXPECT_EQ(UserDefaults::standardUserDefaults().stringForKey(QStringLiteral("UrlsVersion1")),
                  c.url16.isEmpty() ? QStringLiteral("1") : QStringLiteral("6"));
    }
}

TEST_F(RemoteConfigDownload, ListAdsWaitForTheirPicturesThenTheListHears)
{
    const QString image = m_http.url(QStringLiteral("/ad.png")).toString();
    m_http.route("GET", QStringLiteral("/ad.png"), [](const LoopbackRequest&) {
        LoopbackReply reply = LoopbackReply::text(200, "PNGDATA", "image/png");
        reply.delayMs = 600;
        return reply;
    });
    m_http.route("POST", QStringLiteral("/listad"),
                 LoopbackReply::text(200, QStringLiteral(R"({"slots":[{"ads":[{"url":"http://ads.cfg.test/x","img":"%1"}]}]})")
                                              .arg(image)
                                              .toUtf8(),
                                     "application/json"));
    const QByteArray xml = QStringLiteral("<c><listad u=\"%1\"><slot sp=\"1\" ep=\"4\"/></listad></c>")
                               .arg(m_http.url(QStringLiteral("/listad")).toString())
                               .toUtf8();
    m_https.route("GET", QStringLiteral("/tidwen/v2/mac.xml"), configReply(encipherConfig(xml), "Fri, 04 Dec 2026 00:00:00 GMT"));
    int heard = 0;
    const auto token = NotificationCenter::defaultCenter().addObserver(
        QStringLiteral("reloadTableTuiguangAD"), nullptr, [&](const Notification&) { ++heard; });

    NSADInfoManager manager(&m_listAds);
    reload(manager);
    EXPECT_FALSE(m_listAds.isAdDownloaded());
    EXPECT_EQ(heard, 0);
    ASSERT_TRUE(waitUntil([&] { return heard == 1; }));
    EXPECT_TRUE(m_listAds.isAdDownloaded());
    QFile picture(QDir(NSADInfoManager::adImageFolder()).filePath(NSADInfoManager::adImageFileName(image)));
    ASSERT_TRUE(picture.open(QIODevice::ReadOnly));
    EXPECT_EQ(picture.readAll(), QByteArray("PNGDATA"));
    NotificationCenter::defaultCenter().removeObserver(token);
}

TEST_F(RemoteConfigDownload, ClearDiskKeepsOnlyTheCurrentAdPicturesAndOnlyWhenEnabled)
{
    ListADSlot slot;
    auto ad = std::make_shared<NSListADInfo>();
    ad->adUrl = QStringLiteral("http://ads.cfg.test/k");
    ad->adImageUrl = QStringLiteral("http://img.cfg.test/keep.png");
    slot.ads = {ad};
    slot.weights = {1};
    m_listAds.setADSlots({slot});
    const QDir folder(NSADInfoManager::adImageFolder());
    ASSERT_TRUE(StorageRoot::ensureFolder(folder.path()));
    const QString keep = NSADInfoManager::adImageFileName(ad->adImageUrl);
    EXPECT_EQ(keep, CommonFunction::md5(ad->adImageUrl) + QStringLiteral(".png"));
    for (const QString& name : {keep, QStringLiteral("old.png")}) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    NSADInfoManager manager(&m_listAds);
    gbAdImageCleanEnabled = false;
    manager.clearDisk();
    EXPECT_EQ(folder.entryList(QDir::Files).size(), 2);
    gbAdImageCleanEnabled = true;
    manager.clearDisk();
    EXPECT_EQ(folder.entryList(QDir::Files), QStringList{keep});
}

// ---- list ads -------------------------------------------------------------------------------------

namespace {
ListADSlot weightedSlot()
{
    ListADSlot slot;
    slot.startPos = 2;
    slot.endPos = 5;
    for (const char* url : {"http://ads.cfg.test/one", "http://ads.cfg.test/three", "http://ads.cfg.test/last"}) {
        auto ad = std::make_shared<NSListADInfo>();
        ad->adUrl = QString::fromLatin1(url);
        slot.ads.append(ad);
    }
    slot.weights = {1, 3, 0};  // a weight below 1 counts as 1
    return slot;
}
}  // namespace

class ListADChoice : public LoopbackStoreTest
{
};

TEST_F(ListADChoice, FirstChoiceFollowsTheWeights)
{
    ListADSlot slot = weightedSlot();
    slot.ads.removeLast();
    slot.weights.removeLast();
    NSListADInfoManager manager;
    int first = 0;
    constexpr int kRuns = 4000;
    for (int run = 0; run < kRuns; ++run) {
        manager.setADSlots({slot});
        first += manager.getUsedADForOrder(0)->adUrl.endsWith(QStringLiteral("one"));
    }
    const double share = double(first) / kRuns;
    EXPECT_NEAR(share, 0.25, 0.03);
}

TEST_F(ListADChoice, LaterChoicesRotateInOrder)
{
    NSListADInfoManager manager;
    manager.setRandomSource([](int64_t bound) {
        EXPECT_EQ(bound, 5);
        return 3;  // past the first ad's weight: the second ad
    });
    manager.setADSlots({weightedSlot()});
    QStringList order;
    for (int i = 0; i < 5; ++i)
        order.append(manager.getUsedADForOrder(0)->adUrl.section(QLatin1Char('/'), -1));
    EXPECT_EQ(order, (QStringList{QStringLiteral("three"), QStringLiteral("last"), QStringLiteral("one"),
                                  QStringLiteral("three"), QStringLiteral("last")}));
}

TEST_F(ListADChoice, SlotsDescribeTheirRangeAndOutOfRangeGivesNothing)
{
    NSListADInfoManager manager;
    EXPECT_EQ(manager.getUsedADCount(), 0);
    EXPECT_EQ(manager.getUsedADForOrder(0), nullptr);
    manager.setADSlots({weightedSlot(), ListADSlot{}});
    EXPECT_EQ(manager.getUsedADCount(), 2);
    const auto info = manager.getUsedADInfo(0);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->startPos, 2);
    EXPECT_EQ(info->endPos, 5);
    for (const int64_t bad : {int64_t(-1), int64_t(2), int64_t(1000)}) {
        EXPECT_EQ(manager.getUsedADInfo(bad), nullptr) << bad;
        EXPECT_EQ(manager.getUsedADForOrder(bad), nullptr) << bad;
    }
    EXPECT_EQ(manager.getUsedADForOrder(1), nullptr);  // a slot without ads
    EXPECT_TRUE(manager.isAdDownloaded());
}

TEST_F(ListADChoice, ClosedAdsAreLeftOut)
{
    {
        DatabaseOperate::Lease store;
        ASSERT_TRUE(store->setListADDeleteState(QStringLiteral("http://ads.cfg.test/three"), true));
    }
    NSListADInfoManager manager;
    manager.setADSlots({weightedSlot()});
    for (int i = 0; i < 6; ++i)
        EXPECT_FALSE(manager.getUsedADForOrder(0)->adUrl.endsWith(QStringLiteral("three")));
}

TEST_F(ListADChoice, AnOutsideNetworkAdClosedByTitleIsLeftOutAndAnOwnAdOnlyByItsUrl)
{
    {
        DatabaseOperate::Lease store;
        ASSERT_TRUE(store->setListADDeleteState(QStringLiteral("已关闭的推广"), true));
    }
    ListADSlot slot = weightedSlot();
    slot.ads[0]->listADType = 4;  // an outside network's ad: closed under its title
    slot.ads[0]->adTitle = QStringLiteral("已关闭的推广");
    slot.ads[1]->adTitle = QStringLiteral("已关闭的推广");  // own ad: its URL was never closed
    NSListADInfoManager manager;
    manager.setADSlots({slot});
    QStringList chosen;
    for (int i = 0; i < 6; ++i)
        chosen.append(manager.getUsedADForOrder(0)->adUrl.section(QLatin1Char('/'), -1));
    EXPECT_FALSE(chosen.contains(QStringLiteral("one"))) << chosen.join(QLatin1Char(',')).toStdString();
    EXPECT_TRUE(chosen.contains(QStringLiteral("three")));
}

namespace {
class CountingTask : public ListADGoldCoinTask
{
public:
    void postAdvertiseTask() override { ++posts; }
    int posts = 0;
};
}  // namespace

TEST_F(ListADChoice, TheAdClickTaskGoesThroughTheInstalledTask)
{
    NSListADInfoManager manager;
    manager.postAdvertiseTask();  // nothing installed: nothing happens
    auto task = std::make_shared<CountingTask>();
    ListADGoldCoinTask::install(task);
    manager.postAdvertiseTask();
    manager.postbackAd(weightedSlot().ads.first(), false);
    ListADGoldCoinTask::install(nullptr);
    EXPECT_EQ(task->posts, 1);
}
