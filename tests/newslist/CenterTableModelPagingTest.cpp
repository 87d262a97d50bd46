#include "HeldReply.h"
#include "ModelProbe.h"
#include "NewsListTestSupport.h"
#include "newslist/views/CenterTableView.h"

#include <QRegularExpression>
#include <QSize>

namespace {

const QString kPhone = QStringLiteral("/xml/newslist/phone.xml");
const QString kPhoneMore = QStringLiteral("/xml/newslist/phone_");
const QString kFirstPage = QStringLiteral("/xml/newslist/phone_63c7a4fc2b38587e.xml");  // page after id 1000123

QList<FeedItem> endingWith(int count, const QString& lastId)
{
    QList<FeedItem> items = descendingItems(count - 1, 2000000);
    items.append({lastId});
    return items;
}

}  // namespace

class PagingTest : public NewsListTest
{
protected:
    // Shows a channel and waits for its list.
    void showList(CenterTableModel& model, qsizetype entries)
    {
        model.showByClick(true);
        ASSERT_TRUE(waitUntil([&] { return idle(model) && model.newsListArray().size() == entries; }));
        server.clearRequests();
    }
};

TEST_F(PagingTest, TheBottomAsksForThePageAfterTheLastItemAndAppendsIt)
{
    server.route("GET", kPhone, xmlReply(newsFeed(endingWith(20, QStringLiteral("1000123"))), "P"));
    server.route("GET", kFirstPage, xmlReply(newsFeed(descendingItems(5, 1000122))));
    CenterTableModel model(channel(103, kPhone, QString(), kPhoneMore));
    showList(model, 20);
    EXPECT_EQ(model.rowCount(), 21);

    model.myBoundsChangeNotificationHandler();
    ASSERT_TRUE(waitUntil([&] { return model.newsListArray().size() == 25; }));
    EXPECT_EQ(sent(), QStringList{QStringLiteral("GET ") + kFirstPage});
    EXPECT_EQ(model.rowCount(), 26);
    EXPECT_EQ(feedOf(model.newsListArray().at(20))->guid, QStringLiteral("1000122"));
    EXPECT_FALSE(model.isLoadMore());
    EXPECT_EQ(model.startS(), 1);
    EXPECT_EQ(model.stopS(), 2);  // the gate is open again

    // With the random switch on, the page carries a cache-buster.
    gbApiRandom = true;
    EXPECT_TRUE(QRegularExpression(QStringLiteral("_[0-9a-f]{16}\\.xml\\?r=\\d+$")).match(model.loadMoreUrl()).hasMatch())
        << model.loadMoreUrl().toStdString();
}

TEST_F(PagingTest, ALongListPagesOnlyFromTheLoadMoreRow)
{
    server.route("GET", kPhone, xmlReply(newsFeed(endingWith(201, QStringLiteral("1000123"))), "P"));
    server.route("GET", kFirstPage, xmlReply(newsFeed(descendingItems(3, 1000122))));
    CenterTableModel model(channel(103, kPhone, QString(), kPhoneMore));
    showList(model, 201);

    model.myBoundsChangeNotificationHandler();
    // The bottom is judged at once; the pause is room for a page request that must not come.
    ASSERT_TRUE(drainMainQueue());
    spin(100);
    EXPECT_TRUE(sent().isEmpty());
    model.tableViewSelectionDidChange(201);  // the "加载更多" row
    ASSERT_TRUE(waitUntil([&] { return model.newsListArray().size() == 204; }));
    EXPECT_EQ(sent(), QStringList{QStringLiteral("GET ") + kFirstPage});
}

TEST_F(PagingTest, ChannelRulesAtTheBottom)
{
    const QString news = QStringLiteral("/xml/newslist/news.xml");
    const QString rank = QStringLiteral("/xml/newslist/rank.xml");
    server.route("GET", news, xmlReply(newsFeed(endingWith(12, QStringLiteral("1000123"))), "N"));
    server.route("GET", QStringLiteral("/xml/newslist/news_63c7a4fc2b38587e.xml"), xmlReply(newsFeed(descendingItems(2, 9))));
    server.route("GET", rank, xmlReply("<rss><channel48rank>" + itemXml({QStringLiteral("5")}) + "</channel48rank></rss>", "R"));

    CenterTableModel first(channel(101, news, QString(), QStringLiteral("/xml/newslist/news_")));
    showList(first, 12);
    first.myBoundsChangeNotificationHandler();  // the first bottom of channel 101 is passed over
    // The bottom is judged at once; the pause is room for a page request that must not come.
    ASSERT_TRUE(drainMainQueue());
    spin(100);
    EXPECT_TRUE(sent().isEmpty());
    first.myBoundsChangeNotificationHandler();
    ASSERT_TRUE(waitUntil([&] { return first.newsListArray().size() == 14; }));

    CenterTableModel ranking(channel(102, rank, QString(), QStringLiteral("/xml/newslist/rank_"), 2));
    showList(ranking, 1);
    for (int i = 0; i < 3; ++i)
        ranking.myBoundsChangeNotificationHandler();
    ranking.tableViewSelectionDidChange(-1);
    // The bottom is judged at once; the pause is room for a page request that must not come.
    ASSERT_TRUE(drainMainQueue());
    spin(100);
    EXPECT_TRUE(sent().isEmpty());
    EXPECT_EQ(ranking.startS(), 0);
}

TEST_F(PagingTest, AFailedPageClosesTheBottomUntilTheRowPathMergesOne)
{
    server.route("GET", kPhone, xmlReply(newsFeed(endingWith(10, QStringLiteral("1000123"))), "P"));
    server.route("GET", kFirstPage, LoopbackReply::text(500, "no"));
    CenterTableModel model(channel(103, kPhone, QString(), kPhoneMore));
    showList(model, 10);

    model.myBoundsChangeNotificationHandler();
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 1 && !model.isLoadMore(); }));
    EXPECT_EQ(model.newsListArray().size(), 10);
    model.myBoundsChangeNotificationHandler();
    // The bottom is judged at once; the pause is room for a page request that must not come.
    ASSERT_TRUE(drainMainQueue());
    spin(100);
    EXPECT_EQ(server.requestCount(), 1);

    server.route("GET", kFirstPage, xmlReply(newsFeed(descendingItems(2, 5))));
    model.tableViewSelectionDidChange(-1);  // no row selected: the row path
    ASSERT_TRUE(waitUntil([&] { return model.newsListArray().size() == 12; }));
    model.myBoundsChangeNotificationHandler();
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 3; }));
}

// A page asked for before a refresh replaced the list is dropped whether it comes, fails or is
// given up for the new list's own page, which comes or fails: the new list's bottom pages on.
TEST_F(PagingTest, APageThatCameAfterARefreshReplacedTheListIsDropped)
{
    const LoopbackReply came = xmlReply(newsFeed(descendingItems(5, 1000122))), failed = LoopbackReply::text(500, "no");
    const struct { LoopbackReply old; std::optional<LoopbackReply> own; qsizetype rows; } cases[] = {
        {came, xmlReply(newsFeed(descendingItems(3, 2999992))), 11}, {failed, std::nullopt, 8}, {came, failed, 8}};
    for (int i = 0; i < 3; ++i) {
        const auto& [old, own, rows] = cases[i];
        server.route("GET", kPhone, xmlReply(newsFeed(endingWith(10, QStringLiteral("1000123"))), "P"));
        // The held page holds its server's thread: the pages come from another.
        LoopbackHttpServer pages;
        HeldReply page;
        pages.route("GET", kFirstPage, page.handler(old));
        NewsListData phone = channel(103 + i, kPhone + QStringLiteral("?%1").arg(i));  // a cache of its own
        phone.LoadMoreUrl = pages.url(kPhoneMore).toString();
        CenterTableModel model(phone);
        showList(model, 10);
        model.myBoundsChangeNotificationHandler();
        ASSERT_TRUE(waitUntil([&] { return pages.requestCount() == 1; }));

        server.route("GET", kPhone, xmlReply(newsFeed(descendingItems(8, 3000000)), "Q"));
        Clock::advance(181 * 1000);  // past the pause between refreshes
        model.loadData(true);
        ASSERT_TRUE(waitUntil([&] { return model.newsListArray().size() == 8; }));
        // "加载更多" of the new list asks for its page at once, not after the old list's page.
        if (own) {
            pages.route("GET", QUrl(model.loadMoreUrl()).path(), *own);
            model.clickRow(model.rowCount() - 1);
        }
        page.release();
        ASSERT_TRUE(pages.waitForReplyAfter(0));
        ASSERT_TRUE(waitUntil([&] { return pages.requestCount() == (own ? 2 : 1) && !model.isLoadMore(); }));
        EXPECT_EQ(model.newsListArray().size(), rows) << i;  // no page of the old list after a gap
        EXPECT_GT(model.stopS(), model.startS()) << i;  // the bottom pages on from the new list
    }
}

TEST_F(PagingTest, NothingToPageFromEndsQuietly)
{
    server.route("GET", kPhone, xmlReply(newsFeed(endingWith(3, QStringLiteral("1000123"))), "P"));
    CenterTableModel noPrefix(channel(103, kPhone));
    showList(noPrefix, 3);
    EXPECT_TRUE(noPrefix.loadMoreUrl().isNull());
    noPrefix.myBoundsChangeNotificationHandler();
    // The bottom is judged at once; the pause is room for a page request that must not come.
    ASSERT_TRUE(drainMainQueue());
    spin(100);
    EXPECT_TRUE(sent().isEmpty());
    EXPECT_EQ(noPrefix.stopS(), noPrefix.startS());  // the bottom stays closed
}

class SelectionTest : public NewsListTest
{
};

TEST_F(SelectionTest, RowsOpenTheirItemsAndATabSwitchReopensTheFirst)
{
    const QString news = QStringLiteral("/xml/newslist/news.xml");
    const QString slides = QStringLiteral("/xml/slide/slide.xml");
    server.route("GET", news, xmlReply(newsFeed(descendingItems(5, 50)), "N"));
    server.route("GET", slides, xmlReply(slideFeed(2), "S"));
    // The list's view marks what the pane shows.
    CenterTableView view(channel(101, news, slides));
    CenterTableModel& model = *view.tableModel();
    model.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return idle(model) && model.rowCount() == 7; }));
    pane->shown.clear();
    pane->emptied = 0;

    model.tableViewSelectionDidChange(3);
    EXPECT_EQ(pane->shown, QStringList{QStringLiteral("48")});
    EXPECT_EQ(pane->emptied, 1);
    EXPECT_EQ(model.lastSelectIndex(), 2);
    EXPECT_TRUE(feedOf(model.newsListArray().at(2))->isSelected);
    model.tableViewSelectionDidChange(0);  // the strip row does nothing
    model.tableViewSelectionDidChange(1);
    EXPECT_FALSE(feedOf(model.newsListArray().at(2))->isSelected);
    EXPECT_EQ(pane->shown.size(), 2);

    // Indexes outside the list open nothing and un-mark nothing.
    pane->shown.clear();
    model.selectCellRow(40, 40);
    model.selectCellRow(-1, -1);
    model.ADselectCellRow(9, 9);
    EXPECT_TRUE(pane->shown.isEmpty());
    EXPECT_TRUE(feedOf(model.newsListArray().at(0))->isSelected);

    pane->shown.clear();
    model.showByClick(true);  // a tab switch within 180 s
    EXPECT_EQ(pane->shown, QStringList{QStringLiteral("50")});
    push->flag = true;
    model.showByClick(true);
    EXPECT_EQ(pane->shown.size(), 1);  // the pushed article stays
    EXPECT_FALSE(push->flag);
}

TEST_F(SelectionTest, RankingRowsWithoutItemsIgnoreSelection)
{
    const QString rank = QStringLiteral("/xml/newslist/rank.xml");
    server.route("GET", rank, xmlReply(rankFeed(30, 300), "R"));
    CenterTableModel model(channel(102, rank, QString(), QString(), 2));
    model.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return idle(model) && model.rowCount() == 34; }));
    pane->shown.clear();
    EXPECT_EQ(model.flags(model.index(33)), Qt::NoItemFlags);
    EXPECT_EQ(model.flags(model.index(13)), Qt::NoItemFlags);
    EXPECT_EQ(model.data(model.index(26)).toString(), QStringLiteral("热评"));
    EXPECT_EQ(model.data(model.index(26), Qt::SizeHintRole).toSize().height(), 30);
    model.tableViewSelectionDidChange(33);
    model.tableViewSelectionDidChange(13);
    EXPECT_TRUE(pane->shown.isEmpty());
    model.tableViewSelectionDidChange(14);
    EXPECT_EQ(pane->shown, QStringList{QStringLiteral("288")});
}
