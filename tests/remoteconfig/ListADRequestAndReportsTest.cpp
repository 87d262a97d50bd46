#include "RemoteConfigTestSupport.h"
#include "ScopeGuard.h"

#include "foundation/WebFileStampStore.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "remoteconfig/NSADInfoManager.h"
#include "remoteconfig/NSListADInfoManager.h"

#include <QFile>
#include <QJsonDocument>
#include <QUrlQuery>

namespace {

constexpr auto kListAdReply =
    R"({"slots":[{"ads":[{"url":"http://ads.cfg.test/a","title":"A","t":"推广","w":2}]},)"
    R"({"ads":[{"url":"http://ads.cfg.test/b","title":"B","t":"广告"},{"title":"no address"}]}]})";

class ListADRequest : public LoopbackStoreTest
{
protected:
    void SetUp() override
    {
        LoopbackStoreTest::SetUp();
        Clock::setNow(QDateTime::currentDateTimeUtc());
        DatabaseOperate::installWebFileStampStore();
        pointUrls({{60, m_server.url(QStringLiteral("/receive/tidwenads.aspx")).toString()}});
        m_server.route("POST", QStringLiteral("/receive/tidwenads.aspx"), LoopbackReply::text(200, "ok"));
        m_token = NotificationCenter::defaultCenter().addObserver(QStringLiteral("reloadTableTuiguangAD"), nullptr,
                                                                  [this](const Notification&) { ++m_heard; });
    }
    void TearDown() override
    {
        NotificationCenter::defaultCenter().removeObserver(m_token);
        WebFileStampStore::setInstance(nullptr);
        Clock::reset();
        LoopbackStoreTest::TearDown();
    }

    RemoteConfig config() const
    {
        const QString xml = QStringLiteral("<c><listad u=\"%1\"><slot sp=\"3\" ep=\"5\"/><slot sp=\"11\" ep=\"13\"/></listad></c>")
                                .arg(m_server.url(QStringLiteral("/listad")).toString());
        return *RemoteConfig::fromXml(xml.toUtf8());
    }

    // Applies the configuration and waits for the list to hear of the ads.
    void apply(NSADInfoManager& manager)
    {
        const int before = m_heard;
        manager.getADDataFrom(config(), true);
        ASSERT_TRUE(waitUntil([&] { return m_heard == before + 1; }));
    }

    QList<LoopbackRequest> posts(const QString& path) const
    {
        QList<LoopbackRequest> found;
        for (const LoopbackRequest& request : m_server.requests()) {
            if (request.method == "POST" && request.path == path)
                found.append(request);
        }
        return found;
    }

    LoopbackHttpServer m_server;
    NSListADInfoManager m_listAds;
    NotificationCenter::Token m_token = 0;
    int m_heard = 0;
};

}  // namespace

TEST_F(ListADRequest, GoesOutOnceIn180SecondsWithItsSlotsAndItsAdsTakeTheSlots)
{
    LoopbackReply reply = LoopbackReply::text(200, kListAdReply, "application/json");
    reply.withHeader("Last-Modified", "Mon, 07 Dec 2026 08:00:00 GMT");
    reply.delayMs = 300;
    m_server.route("POST", QStringLiteral("/listad"), reply);
    NSADInfoManager manager(&m_listAds);
    manager.getADDataFrom(config(), true);
    EXPECT_FALSE(m_listAds.isAdDownloaded());
    ASSERT_TRUE(waitUntil([&] { return m_heard == 1; }));
    EXPECT_TRUE(m_listAds.isAdDownloaded());

    const QList<LoopbackRequest> sent = posts(QStringLiteral("/listad"));
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0].header("Content-Type"), QByteArray("application/json"));
    EXPECT_EQ(QJsonDocument::fromJson(sent[0].body),
              QJsonDocument::fromJson(R"({"slots":[{"sp":3,"ep":5},{"sp":11,"ep":13}]})"));
    const NSListADInfoPtr first = m_listAds.getUsedADForOrder(0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->adUrl, QStringLiteral("http://ads.cfg.test/a"));
    EXPECT_EQ(first->adType, QStringLiteral("推广"));
    EXPECT_EQ(first->listADType, 1);
    EXPECT_EQ(first->startPos, 3);
    ASSERT_TRUE(m_listAds.getUsedADForOrder(1));
    EXPECT_EQ(m_listAds.getUsedADForOrder(1)->adUrl, QStringLiteral("http://ads.cfg.test/b"));
    {
        DatabaseOperate::Lease store;
        EXPECT_EQ(store->getWebFileLastModifyTimeforFileType(WebFileType::kListAD), QStringLiteral("Mon, 07 Dec 2026 08:00:00 GMT"));
    }

    // A next start within the 180 s shows the kept ads at once and asks for none.
    NSListADInfoManager nextStart;
    NSADInfoManager nextManager(&nextStart);
    nextManager.getADDataFrom(config(), true);
    ASSERT_TRUE(nextStart.getUsedADForOrder(1));
    EXPECT_EQ(nextStart.getUsedADForOrder(1)->adUrl, QStringLiteral("http://ads.cfg.test/b"));
    ASSERT_TRUE(waitUntil([&] { return m_heard == 2; }));
    apply(manager);
    EXPECT_EQ(posts(QStringLiteral("/listad")).size(), 1);

    // Past them the request goes out again; a failed one keeps the ads.
    Clock::advance(180 * 1000);
    m_server.route("POST", QStringLiteral("/listad"), LoopbackReply::text(503, "busy"));
    apply(manager);
    EXPECT_EQ(posts(QStringLiteral("/listad")).size(), 2);
    ASSERT_TRUE(m_listAds.getUsedADForOrder(0));
    EXPECT_EQ(m_listAds.getUsedADForOrder(0)->adUrl, QStringLiteral("http://ads.cfg.test/a"));
    QFile kept(NSListADInfoManager::cacheFilePath());
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray(kListAdReply));
}

TEST_F(ListADRequest, OwnAdsAreReportedShownAndClickedOnlyWhileTheSwitchIsOn)
{
    ListADSlot slot;
    auto own = std::make_shared<NSListADInfo>();
    own->adUrl = QStringLiteral("http://ads.cfg.test/own?a=1&b=2");
    slot.ads = {own};
    slot.weights = {1};
    m_listAds.setADSlots({slot});
    auto outside = std::make_shared<NSListADInfo>();
    outside->adUrl = QStringLiteral("http://ads.cfg.test/outside");
    outside->listADType = 4;

    gbOwnAdReport = false;
    ASSERT_TRUE(m_listAds.getUsedADForOrder(0));
    m_listAds.postOwnAdClick(own);
    gbOwnAdReport = true;
    m_listAds.postOwnAdClick(outside);
    ASSERT_TRUE(m_listAds.getUsedADForOrder(0));
    m_listAds.postOwnAdClick(own);

    const QString path = QStringLiteral("/receive/tidwenads.aspx");
    ASSERT_TRUE(waitUntil([&] { return posts(path).size() >= 2; }));
    ASSERT_TRUE(m_server.waitForReplyAfter(100));
    const QList<LoopbackRequest> reports = posts(path);
    ASSERT_EQ(reports.size(), 2);
    QStringList events;
    for (const LoopbackRequest& report : reports) {
        const QUrlQuery fields(QString::fromUtf8(report.body));
        events.append(fields.queryItemValue(QStringLiteral("event")));
        EXPECT_EQ(fields.queryItemValue(QStringLiteral("url"), QUrl::FullyDecoded), own->adUrl);
    }
    events.sort();
    EXPECT_EQ(events, (QStringList{QStringLiteral("click"), QStringLiteral("show")}));
}
