#include "ModelProbe.h"
#include "NewsListTestSupport.h"
#include "platform/NotificationCenter.h"

#include <QAbstractItemModelTester>

namespace {

struct FakeSlot
{
    int64_t start;
    int64_t end;
    QList<NSListADInfoPtr> ads;
    int next = 0;
};

NSListADInfoPtr makeAd(const QString& url, int type = 1, const QString& label = QStringLiteral("广告"))
{
    auto ad = std::make_shared<NSListADInfo>();
    ad->adUrl = url;
    ad->listADType = type;
    ad->adType = label;
    ad->adTitle = url;
    return ad;
}

class FakeAdManager : public ListADManagerLink
{
public:
    bool downloaded = true;
    QList<FakeSlot> slotList;
    QList<NSListADInfoPtr> postbacks;
    int tasks = 0;

    bool isAdDownloaded() override { return downloaded; }
    int64_t getUsedADCount() override { return slotList.size(); }
    NSListADInfoPtr getUsedADInfo(int64_t slot) override
    {
        if (slot < 0 || slot >= slotList.size())
            return nullptr;
        auto info = std::make_shared<NSListADInfo>();
        info->startPos = slotList[slot].start;
        info->endPos = slotList[slot].end;
        return info;
    }
    NSListADInfoPtr getUsedADForOrder(int64_t slot) override
    {
        if (slot < 0 || slot >= slotList.size() || slotList[slot].ads.isEmpty())
            return nullptr;
        FakeSlot& s = slotList[slot];
        return s.ads[s.next++ % s.ads.size()];
    }
    void postbackAd(const NSListADInfoPtr& ad, bool) override { postbacks.append(ad); }
    void postAdvertiseTask() override { ++tasks; }
};

QList<qsizetype> adIndexes(const CenterTableModel& model)
{
    QList<qsizetype> indexes;
    for (qsizetype i = 0; i < model.newsListArray().size(); ++i)
        if (adOf(model.newsListArray().at(i)))
            indexes.append(i);
    return indexes;
}

}  // namespace

class ListAdsTest : public NewsListTest
{
protected:
    void SetUp() override
    {
        NewsListTest::SetUp();
        ListADManagerLink::install(ads);
        UrlOpener::install(browser);
    }
    void TearDown() override
    {
        UrlOpener::install(nullptr);
        NewsListTest::TearDown();
    }

    void load(CenterTableModel& model, int items, bool slides = false)
    {
        // A Last-Modified of its own, so no model takes the list of another for unchanged.
        server.route("GET", QStringLiteral("/xml/newslist/news.xml"),
                     xmlReply(newsFeed(descendingItems(items, 900)), "N" + QByteArray::number(++m_loads)));
        if (slides)
            server.route("GET", QStringLiteral("/xml/slide/slide.xml"), xmlReply(slideFeed(1), "S"));
        model.showByClick(true);
        ASSERT_TRUE(waitUntil([&] { return idle(model) && !model.newsListArray().isEmpty(); }));
    }

    NewsListData news(bool slides = false) const
    {
        return channel(101, QStringLiteral("/xml/newslist/news.xml"), slides ? QStringLiteral("/xml/slide/slide.xml") : QString());
    }

    std::shared_ptr<FakeAdManager> ads = std::make_shared<FakeAdManager>();
    std::shared_ptr<RecordingUrlOpener> browser = std::make_shared<RecordingUrlOpener>();

private:
    int m_loads = 0;
};

TEST_F(ListAdsTest, TenItemsGetTheSlotsAdsAndASlotPastTheEndStopsTheRest)
{
    ads->slotList = {{2, 2, {makeAd(QStringLiteral("http://a.test/1"))}},
                     {5, 5, {makeAd(QStringLiteral("http://a.test/2"))}},
                     {50, 50, {makeAd(QStringLiteral("http://a.test/3"))}},
                     {7, 7, {makeAd(QStringLiteral("http://a.test/4"))}}};
    CenterTableModel nine(news());
    QAbstractItemModelTester nineTester(&nine);
    load(nine, 9);
    EXPECT_TRUE(adIndexes(nine).isEmpty());

    CenterTableModel ten(news());
    QAbstractItemModelTester tenTester(&ten);
    load(ten, 10);
    EXPECT_EQ(adIndexes(ten), (QList<qsizetype>{2, 5}));
    EXPECT_EQ(ten.newsListArray().size(), 12);
    EXPECT_EQ(ten.rowCount(), 13);

    // Another channel never carries ads.
    server.route("GET", QStringLiteral("/xml/newslist/phone.xml"), xmlReply(newsFeed(descendingItems(12, 90)), "P"));
    CenterTableModel phone(channel(103, QStringLiteral("/xml/newslist/phone.xml")));
    phone.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return idle(phone) && phone.newsListArray().size() == 12; }));
    EXPECT_TRUE(adIndexes(phone).isEmpty());
}

TEST_F(ListAdsTest, LateAdsAndRotationKeepTheModelConsistent)
{
    ads->downloaded = false;
    // Ranges of one place each: the position is certain, and an ad in range blocks a late one.
    ads->slotList = {{1, 2, {makeAd(QStringLiteral("http://a.test/1")), makeAd(QStringLiteral("http://a.test/1b"))}},
                     {4, 5, {makeAd(QStringLiteral("http://a.test/2")), makeAd(QStringLiteral("http://a.test/2b"))}}};
    CenterTableModel model(news(true));
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    load(model, 12, true);
    ASSERT_TRUE(waitUntil([&] { return idle(model) && model.rowCount() == 14; }));
    EXPECT_TRUE(adIndexes(model).isEmpty());

    ads->downloaded = true;
    NotificationCenter::defaultCenter().post(QStringLiteral("reloadTableTuiguangAD"));
    EXPECT_EQ(adIndexes(model), (QList<qsizetype>{1, 4}));
    EXPECT_EQ(model.rowCount(), 16);
    // Slots already holding an ad get none again.
    NotificationCenter::defaultCenter().post(QStringLiteral("reloadTableTuiguangAD"));
    EXPECT_EQ(model.newsListArray().size(), 14);

    // A pretend refresh swaps the ads in place.
    const NSListADInfoPtr before = adOf(model.newsListArray().at(1));
    model.loadData(false);
    EXPECT_EQ(model.rowCount(), 16);
    EXPECT_NE(adOf(model.newsListArray().at(1)), before);
    EXPECT_EQ(adOf(model.newsListArray().at(1))->adUrl, QStringLiteral("http://a.test/1b"));
    ASSERT_TRUE(waitUntil([&] { return idle(model); }));
}

TEST_F(ListAdsTest, AdClicksOpenReportAndCountOnlyWebAddresses)
{
    const NSListADInfoPtr outside = makeAd(QStringLiteral("http://ads.test/x.htm"), 3, QStringLiteral("推广"));
    const NSListADInfoPtr nodot = makeAd(QStringLiteral("nodot"), 5);
    const NSListADInfoPtr file = makeAd(QStringLiteral("file:///etc/passwd"), 5);
    const NSListADInfoPtr own = makeAd(QStringLiteral("https://own.test/a"), 1, QStringLiteral("活动"));
    const NSListADInfoPtr replacement = makeAd(QStringLiteral("http://ads.test/next"));
    // The first slot has a range to search when its ad is swapped; a slot of equal ends is not searched.
    ads->slotList = {{0, 1, {outside, replacement}}, {2, 2, {nodot}}, {4, 4, {file}}, {6, 6, {own}}};
    CenterTableModel model(news(true));
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    load(model, 12, true);
    ASSERT_EQ(adIndexes(model), (QList<qsizetype>{0, 2, 4, 6}));

    model.tableViewSelectionDidChange(1);  // row 1: entry 0, the outside ad
    EXPECT_EQ(browser->urls, QList<QUrl>{QUrl(QStringLiteral("http://ads.test/x.htm"))});
    EXPECT_EQ(ads->postbacks, QList<NSListADInfoPtr>{outside});
    EXPECT_EQ(ads->tasks, 1);
    EXPECT_EQ(adOf(model.newsListArray().at(0)), replacement);  // swapped
    EXPECT_EQ(model.lastSelectIndex(), 0);

    for (const qsizetype entry : {2, 4}) {
        model.tableViewSelectionDidChange(entry + 1);
        EXPECT_EQ(browser->urls.size(), 1);
        EXPECT_EQ(ads->postbacks.size(), 1);
        EXPECT_EQ(ads->tasks, 1);
    }
    model.tableViewSelectionDidChange(7);  // the own ad typed "活动"
    EXPECT_EQ(browser->urls.size(), 2);
    EXPECT_EQ(ads->tasks, 1);
    EXPECT_EQ(adOf(model.newsListArray().at(6)), own);  // equal ends: nothing swapped
    EXPECT_TRUE(pane->shown.size() <= 1);  // no ad reached the article pane
}
