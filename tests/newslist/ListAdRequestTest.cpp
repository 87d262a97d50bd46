#include "ModelProbe.h"
#include "NewsListTestSupport.h"
#include "RecordingUrlOpener.h"
#include "ScopeGuard.h"

#include "database/ServerUrls.h"
#include "platform/NotificationCenter.h"
#include "remoteconfig/NSListADInfoManager.h"

#include <QUrlQuery>

// The process's list-ad manager, its ads fetched by the list-ad request, in the main list.
class ListAdRequestTest : public NewsListTest
{
protected:
    void SetUp() override
    {
        NewsListTest::SetUp();
        ListADManagerLink::install(nullptr);
        UrlOpener::install(browser);
    }
    void TearDown() override
    {
        NSListADInfoManager::getInstance().setADSlots({});
        NSListADInfoManager::getInstance().setListADUrl(QString());
        UrlOpener::install(nullptr);
        NewsListTest::TearDown();
    }

    std::shared_ptr<RecordingUrlOpener> browser = std::make_shared<RecordingUrlOpener>();
};

TEST_F(ListAdRequestTest, TheRequestedAdsReachTheMainListAndAClickOnOneIsReported)
{
    const QString previousReport = kUrlOwnAdReport;
    const bool previousSwitch = gbOwnAdReport;
    const auto restore = onScopeExit([&] {
        kUrlOwnAdReport = previousReport;
        gbOwnAdReport = previousSwitch;
    });
    kUrlOwnAdReport = server.url(QStringLiteral("/receive/tidwenads.aspx")).toString();
    gbOwnAdReport = true;
    server.route("POST", QStringLiteral("/receive/tidwenads.aspx"), LoopbackReply::text(200, "ok"));
    server.route("POST", QStringLiteral("/listad"),
                 LoopbackReply::text(200, R"({"slots":[{"ads":[{"url":"http://ads.test/own.htm","title":"自家","t":"推广"}]}]})",
                                     "application/json"));
    int heard = 0;
    const auto token = NotificationCenter::defaultCenter().addObserver(QStringLiteral("reloadTableTuiguangAD"), nullptr,
                                                                       [&](const Notification&) { ++heard; });
    const auto unobserve = onScopeExit([&] { NotificationCenter::defaultCenter().removeObserver(token); });

    NSListADInfoManager& manager = NSListADInfoManager::getInstance();
    ListADSlot slot;
    slot.startPos = 2;
    slot.endPos = 2;
    manager.setADSlots({slot});
    manager.setListADUrl(server.url(QStringLiteral("/listad")).toString());
    manager.reloadListAD();
    ASSERT_TRUE(waitUntil([&] { return heard == 1; }));

    server.route("GET", QStringLiteral("/xml/newslist/news.xml"), xmlReply(newsFeed(descendingItems(12, 900)), "N1"));
    server.route("GET", QStringLiteral("/xml/slide/slide.xml"), xmlReply(slideFeed(1), "S"));
    CenterTableModel model(channel(101, QStringLiteral("/xml/newslist/news.xml"), QStringLiteral("/xml/slide/slide.xml")));
    model.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return idle(model) && model.newsListArray().size() == 13; }));
    const NSListADInfoPtr ad = adOf(model.newsListArray().at(2));
    ASSERT_TRUE(ad);
    EXPECT_EQ(ad->adUrl, QStringLiteral("http://ads.test/own.htm"));

    model.tableViewSelectionDidChange(3);  // below the slide row
    EXPECT_EQ(browser->urls, QList<QUrl>{QUrl(QStringLiteral("http://ads.test/own.htm"))});
    // Shown once when placed, clicked once.
    const auto reports = [&] {
        QStringList events;
        for (const LoopbackRequest& request : server.requests()) {
            if (request.path == QStringLiteral("/receive/tidwenads.aspx"))
                events.append(QUrlQuery(QString::fromUtf8(request.body)).queryItemValue(QStringLiteral("event")));
        }
        events.sort();
        return events;
    };
    ASSERT_TRUE(waitUntil([&] { return reports().size() >= 2; }));
    EXPECT_EQ(reports(), (QStringList{QStringLiteral("click"), QStringLiteral("show")}));
}
