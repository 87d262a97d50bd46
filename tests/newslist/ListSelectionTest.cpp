#include "ModelProbe.h"
#include "NewsListTestSupport.h"
#include "newslist/views/CenterTableView.h"
#include "ui/controls/CustomButton.h"
#include "ui/controls/DDErrorView.h"
#include "ui/hud/DJActivityIndicator.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include <tuple>

namespace {

const QString kPhone = QStringLiteral("/xml/newslist/phone.xml");
const QString kPhoneMore = QStringLiteral("/xml/newslist/phone_");

// A press and release of the left button at a point of the list's viewport, as the mouse does.
void clickAt(CenterTableView& view, const QPoint& at)
{
    QWidget* viewport = view.viewport();
    QMouseEvent press(QEvent::MouseButtonPress, at, viewport->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, viewport->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(viewport, &release);
}

void clickRow(CenterTableView& view, int row)
{
    const QModelIndex index = view.model()->index(row, 0);
    view.scrollTo(index);
    clickAt(view, view.visualRect(index).center());
}

// A key as the window system delivers it to the focused list; a held key repeats its press and
// release until the last release.
void sendKey(CenterTableView& view, QEvent::Type type, Qt::Key key, bool autoRepeat = false)
{
    QKeyEvent event(type, key, Qt::NoModifier, QString(), autoRepeat);
    QApplication::sendEvent(&view, &event);
}

void tapKey(CenterTableView& view, Qt::Key key)
{
    sendKey(view, QEvent::KeyPress, key);
    sendKey(view, QEvent::KeyRelease, key);
}

// The guids of the list's items in order; only those marked selected when asked.
QStringList guids(const CenterTableModel& model, bool markedOnly = false)
{
    QStringList listed;
    for (const NewsListEntry& entry : model.newsListArray())
        if (!markedOnly || feedOf(entry)->isSelected)
            listed.append(feedOf(entry)->guid);
    return listed;
}

bool spinnerShown(const CenterTableView& view)
{
    const auto* spinner = view.findChild<DJActivityIndicator*>();
    return spinner && spinner->isVisibleTo(&view) && spinner->isAnimating();
}

}  // namespace

class ListSelectionTest : public NewsListTest
{
protected:
    // A shown list of the phone channel, its first item opened by itself.
    void showPhoneList(CenterTableView& view, int items)
    {
        server.route("GET", kPhone, xmlReply(newsFeed(descendingItems(items, 1000)), "P"));
        view.resize(300, 600);
        view.show();
        view.showByClick(true);
        ASSERT_TRUE(waitUntil([&] { return idle(*view.tableModel()) && view.tableModel()->rowCount() == items + 1; }));
        ASSERT_EQ(pane->shown, QStringList{QStringLiteral("1000")});
        server.clearRequests();
        pane->shown.clear();
    }
};

// A click on the row already selected opens nothing again; a click below the rows pages further
// items in and leaves the open row marked.
TEST_F(ListSelectionTest, TheSelectedRowOpensNothingAgainAndTheSpaceBelowTheRowsPagesOn)
{
    CenterTableView view(channel(103, kPhone, QString(), kPhoneMore));
    showPhoneList(view, 4);

    clickRow(view, 2);
    EXPECT_EQ(pane->shown, QStringList{QStringLiteral("998")});
    clickRow(view, 2);
    clickRow(view, 2);
    EXPECT_EQ(pane->shown, QStringList{QStringLiteral("998")}) << "the selected row opened its article again";
    clickRow(view, 0);
    EXPECT_EQ(pane->shown, (QStringList{QStringLiteral("998"), QStringLiteral("1000")}));

    // Below the "加载更多" row the list is empty space: a click there selects nothing.
    const QRect last = view.visualRect(view.model()->index(view.model()->rowCount() - 1, 0));
    ASSERT_LT(last.bottom() + 20, view.viewport()->height());
    clickAt(view, QPoint(150, last.bottom() + 20));
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 1; })) << "no next page was asked for";
    EXPECT_TRUE(sent().value(0).startsWith(QStringLiteral("GET ") + kPhoneMore)) << sent().value(0).toStdString();
    EXPECT_EQ(pane->shown.size(), 2);
    // The open row stays marked, and the keys go on from it.
    CenterTableModel& model = *view.tableModel();
    ASSERT_TRUE(waitUntil([&] { return !model.isLoadMore(); }));
    tapKey(view, Qt::Key_Down);
    EXPECT_EQ(pane->shown.last(), QStringLiteral("999"));

    // An article listed twice: the row clicked is the one marked, and opens nothing again.
    NewsListEntries twice = model.newsListArray();
    twice.append(std::make_shared<Feed>(Feed{.guid = QStringLiteral("999")}));
    model.setListEntries(twice);
    pane->shown.clear();
    clickRow(view, 4);
    clickRow(view, 4);
    EXPECT_EQ(pane->shown, QStringList{QStringLiteral("999")});
    EXPECT_EQ(model.selectedRow(), 4);
}

// The keys move the selection as clicks do: Down and Up open the next and the previous item,
// Return the selected one again, Home the first, End the "加载更多" row, which pages on. Holding
// Down opens only the row it rests on.
TEST_F(ListSelectionTest, TheKeysOpenRowsAsClicksDo)
{
    CenterTableView view(channel(103, kPhone, QString(), kPhoneMore));
    showPhoneList(view, 6);  // items 1000 to 995, then the "加载更多" row

    clickRow(view, 1);
    tapKey(view, Qt::Key_Down);
    tapKey(view, Qt::Key_Return);
    tapKey(view, Qt::Key_Up);
    EXPECT_EQ(pane->shown, (QStringList{QStringLiteral("999"), QStringLiteral("998"), QStringLiteral("998"),
                                        QStringLiteral("999")}));

    pane->shown.clear();
    sendKey(view, QEvent::KeyPress, Qt::Key_Down);
    for (int repeat = 0; repeat < 2; ++repeat) {
        sendKey(view, QEvent::KeyRelease, Qt::Key_Down, true);
        sendKey(view, QEvent::KeyPress, Qt::Key_Down, true);
    }
    EXPECT_EQ(pane->shown, QStringList{QStringLiteral("998")}) << "a held key opened the rows it passed";
    sendKey(view, QEvent::KeyRelease, Qt::Key_Down);
    EXPECT_EQ(pane->shown, (QStringList{QStringLiteral("998"), QStringLiteral("996")}));

    tapKey(view, Qt::Key_Home);
    EXPECT_EQ(pane->shown.last(), QStringLiteral("1000"));
    tapKey(view, Qt::Key_End);
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 1; })) << "End asked for no page";
    EXPECT_TRUE(sent().value(0).startsWith(QStringLiteral("GET ") + kPhoneMore)) << sent().value(0).toStdString();
}

// The "加载更多" row moves down as each page is appended; pressed at its new place it is another
// row of the table, so every press pages on.
TEST_F(ListSelectionTest, TheLoadMoreRowPagesOnAtEachNewPlace)
{
    CenterTableView view(channel(103, kPhone, QString(), kPhoneMore));
    showPhoneList(view, 4);
    CenterTableModel& model = *view.tableModel();

    for (const int first : {996, 994}) {
        const qsizetype before = model.newsListArray().size();
        server.route("GET", QUrl(model.loadMoreUrl()).path(), xmlReply(newsFeed(descendingItems(2, first))));
        const int loadMoreRow = model.rowCount() - 1;
        ASSERT_EQ(model.data(model.index(loadMoreRow), CenterTableModel::RowKindRole).toInt(), int(NewsListRow::LoadMore));
        clickRow(view, loadMoreRow);
        ASSERT_TRUE(waitUntil([&] { return model.newsListArray().size() == before + 2 && !model.isLoadMore(); }))
            << "the \"加载更多\" row at row " << loadMoreRow << " asked for no page; sent: " << sent().join(u' ').toStdString();
    }
    EXPECT_EQ(server.requestCount(), 2);
    EXPECT_EQ(feedOf(model.newsListArray().last())->guid, QStringLiteral("993"));
    EXPECT_TRUE(pane->shown.isEmpty());
}

// A channel shown again, by its tab or by the refresh button, reopens its first item: the item
// open before is no longer marked, and the keys go on from the first.
TEST_F(ListSelectionTest, AChannelShownAgainMarksOnlyItsFirstItem)
{
    CenterTableView view(channel(103, kPhone, QString(), kPhoneMore));
    showPhoneList(view, 6);
    const CenterTableModel& model = *view.tableModel();
    for (const bool byTab : {true, false}) {
        clickRow(view, 3);
        view.showByClick(byTab);
        EXPECT_EQ(guids(model, true), QStringList{QStringLiteral("1000")}) << (byTab ? "tab" : "refresh");
        pane->shown.clear();
        tapKey(view, Qt::Key_Down);
        EXPECT_EQ(pane->shown, QStringList{QStringLiteral("999")}) << (byTab ? "tab" : "refresh");
    }
    // A refresh that fails leaves the open item marked, the keys going on from it; Home on the
    // first row does not open it again.
    clickRow(view, 3);
    server.route("GET", kPhone, LoopbackReply::text(502, "bad gateway"));
    Clock::advance(181 * 1000);
    view.showByClick(false);
    ASSERT_TRUE(waitUntil([&] { return idle(model); }));
    server.clearRequests();
    pane->shown.clear();
    for (const Qt::Key key : {Qt::Key_Up, Qt::Key_Down, Qt::Key_Home, Qt::Key_Home})
        tapKey(view, key);
    EXPECT_EQ(pane->shown, (QStringList{QStringLiteral("998"), QStringLiteral("997"), QStringLiteral("1000")}));
    EXPECT_EQ(server.requestCount(), 0) << sent().join(u' ').toStdString();
}

// In 最新 the first bottom is passed over; a wheel turned down at the bottom pages on.
TEST_F(ListSelectionTest, TheWheelAtTheBottomOfTheFirstChannelPagesOn)
{
    CenterTableView view(channel(101, kPhone, QString(), kPhoneMore));
    showPhoneList(view, 12);
    QScrollBar* bar = view.verticalScrollBar();
    ASSERT_TRUE(waitUntil([&] { return bar->maximum() > 0; })) << "waited for the rows' layout";
    bar->setValue(bar->maximum());
    ASSERT_TRUE(drainMainQueue());
    ASSERT_EQ(server.requestCount(), 0);
    const QPoint at = view.viewport()->rect().center();
    QWheelEvent wheel(at, view.viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.viewport(), &wheel);
    EXPECT_TRUE(waitUntil([&] { return server.requestCount() == 1; })) << "the wheel at the bottom asked for no page";
}

// The keys read on through the pages: once a page has come in where the "加载更多" row stood,
// Down opens the first new item and Up the item above it.
TEST_F(ListSelectionTest, TheKeysGoOnFromWhereTheLoadMoreRowStood)
{
    CenterTableView view(channel(103, kPhone, QString(), kPhoneMore));
    showPhoneList(view, 4);  // items 1000 to 997, then the "加载更多" row
    CenterTableModel& model = *view.tableModel();
    clickRow(view, 3);
    for (const auto& [pageKey, first, then] : {std::tuple{Qt::Key_Down, 996, Qt::Key_Down}, std::tuple{Qt::Key_End, 994, Qt::Key_Up}}) {
        const qsizetype before = model.newsListArray().size();
        server.route("GET", QUrl(model.loadMoreUrl()).path(), xmlReply(newsFeed(descendingItems(2, first))));
        tapKey(view, pageKey);
        ASSERT_TRUE(waitUntil([&] { return model.newsListArray().size() == before + 2 && !model.isLoadMore(); }));
        tapKey(view, then);
    }
    EXPECT_EQ(pane->shown, (QStringList{QStringLiteral("997"), QStringLiteral("996"), QStringLiteral("995")}));
    EXPECT_EQ(server.requestCount(), 2);
}

// In a ranking list the section headers and the rows past the items take no selection: the
// selection stays where it was, so the selected row still opens nothing.
TEST_F(ListSelectionTest, RankingHeadersAndEmptyRowsKeepTheSelection)
{
    const QString rank = QStringLiteral("/xml/newslist/rank.xml");
    server.route("GET", rank, xmlReply(rankFeed(30, 300), "R"));
    CenterTableView view(channel(102, rank, QString(), QString(), 2));
    view.resize(300, 600);
    view.show();
    view.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return idle(*view.tableModel()) && view.tableModel()->rowCount() == 34; }));
    pane->shown.clear();

    clickRow(view, 14);  // item 12, under "周榜"
    EXPECT_EQ(pane->shown, QStringList{QStringLiteral("288")});
    for (int row : {13, 0, 33, 14})  // headers, a row past the items, the selected row
        clickRow(view, row);
    EXPECT_EQ(pane->shown, QStringList{QStringLiteral("288")});
    // The keys pass over the header: Up from the first item under "周榜" opens the last over it.
    tapKey(view, Qt::Key_Up);
    EXPECT_EQ(pane->shown, (QStringList{QStringLiteral("288"), QStringLiteral("289")}));
    pane->shown.removeLast();
    clickRow(view, 1);
    EXPECT_EQ(pane->shown, (QStringList{QStringLiteral("288"), QStringLiteral("300")}));
}

// An item picked while a refresh runs is the one reopened when the new list arrives with new
// items on top, not whatever item then sits at its place.
TEST_F(ListSelectionTest, APickDuringARefreshStaysTheSameItem)
{
    server.route("GET", kPhone, xmlReply(newsFeed(descendingItems(6, 50)), "P1"));
    CenterTableView view(channel(103, kPhone));
    CenterTableModel& model = *view.tableModel();
    model.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return idle(model) && model.rowCount() == 7; }));

    LoopbackReply slow = xmlReply(newsFeed(descendingItems(9, 53)), "P2");  // 53, 52, 51 new on top
    slow.delayMs = 400;
    server.route("GET", kPhone, slow);
    server.clearRequests();
    Clock::advance(181 * 1000);
    model.showByClick(false);
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 2; })) << "waited for the list's GET";
    pane->shown.clear();
    model.tableViewSelectionDidChange(3);  // item 47
    ASSERT_EQ(pane->shown, QStringList{QStringLiteral("47")});

    ASSERT_TRUE(waitUntil([&] { return idle(model) && firstGuid(model) == QStringLiteral("53"); })) << "waited for the new list";
    EXPECT_EQ(pane->shown.last(), QStringLiteral("47"));
    EXPECT_EQ(model.lastSelectIndex(), 6);
    for (qsizetype i = 0; i < model.newsListArray().size(); ++i) {
        const FeedPtr feed = feedOf(model.newsListArray().at(i));
        EXPECT_EQ(feed->isSelected, feed->guid == QStringLiteral("47")) << feed->guid.toStdString();
    }

    // A tab switch afterwards reopens the first item again.
    pane->shown.clear();
    model.showByClick(true);
    EXPECT_EQ(pane->shown, QStringList{QStringLiteral("53")});
}

// With a list request that never answers, the error view's reload shows that a reload runs, and
// a reload pressed once the server answers again is answered without waiting out the hung one.
TEST_F(ListSelectionTest, TheErrorViewsReloadShowsItRunsAndOvertakesAHungRequest)
{
    server.route("GET", kPhone, LoopbackReply::text(500, "down"));
    CenterTableView view(channel(103, kPhone));
    view.resize(300, 600);
    view.show();
    view.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return view.errorView() && view.errorView()->isVisible(); })) << "waited for the error view";
    EXPECT_FALSE(spinnerShown(view));

    server.route("GET", kPhone, LoopbackReply::silent());
    server.clearRequests();
    view.errorView()->reloadButton()->click();
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 1; })) << "waited for the reload's request";
    EXPECT_TRUE(spinnerShown(view)) << "a reload runs with no sign of it";

    // The server is back; the hung request is still waiting for its 60 s.
    server.route("GET", kPhone, xmlReply(newsFeed(descendingItems(3, 30)), "P"));
    view.errorView()->reloadButton()->click();
    EXPECT_TRUE(waitUntil([&] { return view.tableModel()->rowCount() == 4; }, 20000)) << "the second reload was not answered";
    EXPECT_TRUE(waitUntil([&] { return !spinnerShown(view); }));
    EXPECT_FALSE(view.errorView()->isVisible());
}

// Reading on with the keys through a list taller than its view: the "加载更多" row is scrolled into
// view and then opened, and its page is asked for once; items a page repeats are not listed again,
// and the open item is the one marked.
TEST_F(ListSelectionTest, ReadingOnWithTheKeysAsksForEachPageOnce)
{
    CenterTableView view(channel(103, kPhone, QString(), kPhoneMore));
    showPhoneList(view, 12);  // 1000 to 989, taller than the view
    CenterTableModel& model = *view.tableModel();
    for (int page = 0; page < 3; ++page) {
        const qsizetype before = model.newsListArray().size();
        // Each page starts with the last two items listed, as when newer items pushed the pages on.
        const int first = guids(model).last().toInt() + 1;
        server.route("GET", QUrl(model.loadMoreUrl()).path(), xmlReply(newsFeed(descendingItems(10, first))));
        for (int key = 0; key < 20 && !model.isLoadMore(); ++key)
            tapKey(view, Qt::Key_Down);
        ASSERT_TRUE(waitUntil([&] { return !model.isLoadMore() && model.newsListArray().size() > before; }));
        EXPECT_EQ(guids(model).removeDuplicates(), 0) << "page " << page;
        EXPECT_EQ(guids(model, true).size(), 1) << "page " << page;
    }
    EXPECT_EQ(model.newsListArray().size(), 12 + 3 * 8);
    EXPECT_EQ(model.startS(), 3) << "the pages were not asked for by scrolling to the bottom";
    EXPECT_EQ(sent().size(), 3) << sent().join(u' ').toStdString();
}

// A click on "加载更多" asks for its page whenever none is on its way: not when scrolling the row
// into view has asked for it, again after that page failed.
TEST_F(ListSelectionTest, AClickOnLoadMoreAsksForItsPageWhenNoneIsOnItsWay)
{
    CenterTableView view(channel(103, kPhone, QString(), kPhoneMore));
    showPhoneList(view, 12);
    const CenterTableModel& model = *view.tableModel();
    const QString page = QUrl(model.loadMoreUrl()).path();
    server.route("GET", page, LoopbackReply::text(500, "down"));
    clickRow(view, 12);
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() > 0 && !model.isLoadMore(); }));
    server.route("GET", page, xmlReply(newsFeed(descendingItems(3, 988))));
    clickRow(view, 12);
    EXPECT_TRUE(waitUntil([&] { return model.newsListArray().size() == 15; })) << "the click after the failure asked for nothing";
    EXPECT_EQ(server.requestCount(), 2) << sent().join(u' ').toStdString();
}
