#include "EndImageLoads.h"
#include "ModelProbe.h"
#include "NewsListTestSupport.h"
#include "PendingLayout.h"
#include "Library/FMDB/FMDatabase.h"
#include "comments/HotCommentListModel.h"
#include "comments/views/HotCommntTableViewController.h"
#include "deals/views/HotProductScrollView.h"
#include "newslist/SlideLinks.h"
#include "newslist/views/CenterTableCell.h"
#include "newslist/views/CenterTableView.h"
#include "newslist/views/CenterViewController.h"
#include "newslist/views/SlideView.h"
#include "newslist/views/search/SearchNewsViewController.h"
#include "platform/NotificationCenter.h"
#include "ui/controls/CustomButton.h"
#include "ui/controls/TrackingArea.h"
#include "ui/hud/DJProgressHUD.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTest>
#include <QWheelEvent>

namespace {

class FakeHotList : public QWidget, public ChannelListView
{
public:
    FakeHotList(const NewsListData& channel, QWidget* parent) : QWidget(parent), m_channel(channel) {}
    QWidget* listWidget() override { return this; }
    const NewsListData& newslistData() const override { return m_channel; }
    void showByClick(bool byClick) override { shows.append(byClick); }
    bool isHotCommentList() const override { return true; }
    QList<bool> shows;

private:
    NewsListData m_channel;
};

class FakeDeals : public QWidget, public DealsColumnView
{
public:
    using QWidget::QWidget;
    QWidget* dealsWidget() override { return this; }
    void showLastSelectedIndex() override { ++reselected; }
    int reselected = 0;
};

}  // namespace

class ListViewsTest : public NewsListTest
{
protected:
    void SetUp() override
    {
        NewsListTest::SetUp();
        // The built-in channels, moved onto the loopback server.
        {
            QList<NewsListDataPtr> shown;
            DatabaseOperate::Lease store;
            ASSERT_TRUE(store->NewsList_getCurrentDisplayNewsList(shown));
        }
        auto db = FMDatabase::databaseWithPath(QDir(StorageRoot::documentsPath()).filePath(QStringLiteral("tidwenMAC.db")));
        ASSERT_TRUE(db->open());
        const QString from = QStringLiteral("http://") + QLatin1String(ServerHosts::kNewsApi);
        for (const char* column : {"ListUrl", "SlideUrl", "LoadMoreUrl"})
            ASSERT_TRUE(db->executeUpdate(QStringLiteral("UPDATE CategoryList SET %1 = replace(%1, ?, ?)").arg(QLatin1String(column)),
                                          {from, base()}));
        db->close();
        ListColumnNeighbours::installHotCommentListMaker([this](const NewsListData& channel, QWidget* parent) {
            auto* list = new FakeHotList(channel, parent);
            hotLists.append(list);
            return list;
        });
        ListColumnNeighbours::installDealsViewMaker([this](QWidget* parent) {
            deals = new FakeDeals(parent);
            return deals;
        });
    }

    void TearDown() override
    {
        ListColumnNeighbours::installHotCommentListMaker(nullptr);
        ListColumnNeighbours::installDealsViewMaker(nullptr);
        NewsListTest::TearDown();
    }

    QList<FakeHotList*> hotLists;
    FakeDeals* deals = nullptr;
};

TEST_F(ListViewsTest, TheColumnLaysOutTabsAndSwitchesLists)
{
    server.route("GET", QStringLiteral("/xml/newslist/news.xml"), xmlReply(newsFeed(descendingItems(3, 30)), "N"));
    CenterViewController column;
    column.resize(300, 600);
    const QList<CustomButton*>& tabs = column.tabButtons();
    ASSERT_EQ(tabs.size(), 11);
    EXPECT_EQ(column.backView()->width(), 625);
    EXPECT_EQ(tabs[0]->property("tag").toInt(), 111);
    EXPECT_EQ(tabs[0]->x(), 15);
    int x = 15;
    for (CustomButton* tab : tabs) {
        const qsizetype letters = tab->text().size();
        const int expected = letters == 3 ? 55 : letters == 4 ? 70 : 40;
        EXPECT_EQ(tab->width(), expected) << tab->text().toStdString();
        EXPECT_EQ(tab->x(), x) << tab->text().toStdString();
        x += expected + 5;
    }
    // The first tab is chosen and its list loads.
    EXPECT_TRUE(tabs[0]->isChecked());
    EXPECT_EQ(column.bottomLineView()->x(), 15);
    EXPECT_EQ(column.bottomLineView()->width(), 32);
    ASSERT_TRUE(column.currentTableV());
    ASSERT_TRUE(waitUntil([&] { return column.currentTableV()->tableModel()->rowCount() >= 4; }));

    // Channel 153 gets the installed hot-comment list.
    ASSERT_EQ(hotLists.size(), 1);
    CustomButton* hot = nullptr;
    for (CustomButton* tab : tabs)
        hot = tab->property("tag").toInt() == 163 ? tab : hot;
    ASSERT_TRUE(hot);
    column.itemBtnClick(hot);
    EXPECT_EQ(hotLists[0]->shows, QList<bool>{true});
    EXPECT_EQ(column.currentHotTableV(), hotLists[0]);
    EXPECT_EQ(column.currentTableV(), nullptr);
    EXPECT_FALSE(tabs[0]->isChecked());
    column.refreshNews();
    EXPECT_EQ(hotLists[0]->shows, (QList<bool>{true, false}));

    // Deals and back re-selects the remembered tab.
    NotificationCenter::defaultCenter().post(QStringLiteral("ZQ"));
    ASSERT_TRUE(deals);
    EXPECT_EQ(deals->reselected, 1);
    EXPECT_TRUE(column.centerScrollV()->isHidden());
    EXPECT_TRUE(column.scrollViewNews()->isHidden());
    NotificationCenter::defaultCenter().post(QStringLiteral("NEWS"));
    EXPECT_EQ(hotLists[0]->shows, (QList<bool>{true, false, true}));
    EXPECT_TRUE(deals->isHidden());
    EXPECT_FALSE(column.centerScrollV()->isHidden());

    // A rebuilt strip without the remembered channel: "NEWS" chooses the first tab.
    QList<NewsListDataPtr> fewer;
    {
        DatabaseOperate::Lease store;
        store->NewsList_getCurrentDisplayNewsList(fewer);
    }
    fewer.removeIf([](const NewsListDataPtr& c) { return c->iListID == 153; });
    column.createNewsItemNewsListArray(fewer);
    EXPECT_EQ(column.tabButtons().size(), 10);
    for (CustomButton* tab : column.tabButtons())
        EXPECT_TRUE(tab->findChild<TrackingArea*>()) << tab->text().toStdString();  // rebuilt tabs hover too
    EXPECT_EQ(column.backView()->width(), 12 * 40 + 30 * 2 + 15 * 2);
    column.showNEWS();
    EXPECT_TRUE(column.tabButtons().first()->isChecked());
    EXPECT_EQ(column.lastSelectIndex(), 111);

    // The edit button opens the channel editor; the search button the search window, once each.
    column.editColumnBtn()->click();
    QWidget* editor = column.findChild<QWidget*>(QStringLiteral("editColumnPopover"));
    ASSERT_TRUE(editor);
    EXPECT_TRUE(editor->isVisible());
    editor->hide();
    column.searchNews();
    column.searchNews();
    EXPECT_EQ(column.findChildren<SearchNewsViewController*>().size(), 1);

    // A tab that the keys reach (here the last, as Shift+Tab from below reaches it) scrolls into view.
    column.show();
    column.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&column));
    QWidget* strip = column.scrollViewNews()->viewport();
    column.tabButtons().last()->setFocus(Qt::BacktabFocusReason);
    EXPECT_TRUE(strip->rect().contains(QRect(column.tabButtons().last()->mapTo(strip, QPoint()), column.tabButtons().last()->size())));
}

// With the deals view on show the refresh button asks for the deals category on show, not the
// hidden news channel.
TEST_F(ListViewsTest, RefreshOverTheDealsViewAsksForTheDealsCategory)
{
    CenterViewController column;
    NotificationCenter::defaultCenter().post(QStringLiteral("ZQ"));
    ASSERT_TRUE(deals);
    ASSERT_EQ(deals->reselected, 1);
    column.refreshButton()->click();
    EXPECT_EQ(deals->reselected, 2);
    NotificationCenter::defaultCenter().post(QStringLiteral("NEWS"));
    column.refreshButton()->click();
    EXPECT_EQ(deals->reselected, 2) << "the refresh of a news channel asked for the deals";
}

// Whichever tab is chosen, its list fills the list area below the tabs, the news lists as the
// hot-comment list, at every height of the column.
TEST_F(ListViewsTest, TheChosenListFillsTheListArea)
{
    server.route("GET", QStringLiteral("/xml/newslist/news.xml"), xmlReply(newsFeed(descendingItems(3, 30)), "N"));
    QWidget window;
    CenterViewController* column = new CenterViewController(&window);
    window.show();
    const QList<CustomButton*>& tabs = column->tabButtons();
    ASSERT_GE(tabs.size(), 2);
    CustomButton* hot = nullptr;
    for (CustomButton* tab : tabs)
        hot = tab->property("tag").toInt() == 163 ? tab : hot;
    ASSERT_TRUE(hot);
    for (int height : {600, 900}) {
        column->setGeometry(0, 0, 300, height);
        for (CustomButton* tab : {tabs[1], hot, tabs[0]}) {
            column->itemBtnClick(tab);
            QWidget* shown = column->centerScrollV()->currentWidget();
            ASSERT_TRUE(shown);
            EXPECT_TRUE(waitUntil([&] { return shown->geometry() == column->centerScrollV()->rect(); }))
                << tab->text().toStdString() << " at " << height << ": the list is at "
                << shown->geometry().x() << "," << shown->geometry().y() << " " << shown->width() << "x" << shown->height()
                << ", the list area " << column->centerScrollV()->width() << "x" << column->centerScrollV()->height();
            EXPECT_EQ(column->centerScrollV()->geometry(), QRect(0, 80, 300, height - 80));
        }
    }
}

// The first showing, a click on a tab or on 刷新, the switch to the deals and back leave the keys in the list.
TEST_F(ListViewsTest, AClickOnATabOrOnRefreshLeavesTheKeysInTheList)
{
    server.route("GET", QStringLiteral("/xml/newslist/news.xml"), xmlReply(newsFeed(descendingItems(3, 30)), "N"));
    server.route("GET", QStringLiteral("/xml/newslist/phone.xml"), xmlReply(newsFeed(descendingItems(3, 70)), "P"));
    CenterViewController column;
    column.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&column) && waitUntil([&] { return !pane->shown.isEmpty(); }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(pane->shown.last(), QStringLiteral("29")) << "the first showing left the keys outside the list";
    QWidget* phone = *std::find_if(column.tabButtons().cbegin(), column.tabButtons().cend(),
                                   [](QWidget* tab) { return tab->property("tag") == 113; });
    for (QWidget* button : {phone, static_cast<QWidget*>(column.refreshButton())}) {
        QTest::mouseClick(button, Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] { return idle(*column.currentTableV()->tableModel()) && pane->shown.last() == "70"; }));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        EXPECT_EQ(pane->shown.last(), QStringLiteral("69"));
    }
    NotificationCenter::defaultCenter().post(QStringLiteral("ZQ"));
    EXPECT_EQ(QApplication::focusWidget(), deals);
    NotificationCenter::defaultCenter().post(QStringLiteral("NEWS"));
    ASSERT_TRUE(waitUntil([&] { return idle(*column.currentTableV()->tableModel()) && pane->shown.last() == "70"; }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(pane->shown.last(), QStringLiteral("69")) << "back in the news the keys were outside the list";
    // From a view beside the lists (the article), a tab leaves the keys in its list as well.
    QLineEdit article(&column);
    article.show();
    article.setFocus();
    QTest::mouseClick(column.tabButtons().first(), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return idle(*column.currentTableV()->tableModel()) && pane->shown.last() == "30"; }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(pane->shown.last(), QStringLiteral("29"));
    // A tab the program chooses by itself takes nothing from the article.
    article.setFocus();
    column.itemBtnClick(static_cast<QPushButton*>(phone), false);
    EXPECT_EQ(QApplication::focusWidget(), &article);
    // A rebuilt strip hands the keys on its old tab, reached by Tab, to the list.
    column.tabButtons().first()->setFocus(Qt::TabFocusReason);
    QList<NewsListDataPtr> channels;
    DatabaseOperate::Lease()->NewsList_getCurrentDisplayNewsList(channels);
    column.updateColumn(channels);
    ASSERT_TRUE(waitUntil([&] { return idle(*column.currentTableV()->tableModel()) && pane->shown.last() == "70"; }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(pane->shown.last(), QStringLiteral("69")) << "the keys went nowhere with the old tab";
}

// PageDown and PageUp open the row a view's height away as Down opens the next, and held, PageDown
// opens only where it rests: in the news list after a page came in, the hot list, deals and search.
TEST_F(ListViewsTest, PageKeysOpenTheRowAPageAwayInEveryList)
{
    QByteArray rows = "[";  // ids from 500 down, as comments' articles or as deals
    for (int id = 500; id > 470; --id)
        rows += QStringLiteral(R"({"I": %1, "productid": %1},)").arg(id).toLatin1();
    rows.back() = ']';
    kUrlZefupTag = base() + QStringLiteral("/api/apps/tag");  // a deals category
    server.route("GET", QStringLiteral("/api/apps/tag"), LoopbackReply::text(200, R"({"success": 1, "content": )" + rows + "}"));
    server.route("GET", QStringLiteral("/xml/newslist/phone.xml"), xmlReply(newsFeed(descendingItems(10, 1000)), "P"));
    CenterTableView news(channel(103, QStringLiteral("/xml/newslist/phone.xml"), QString(), QStringLiteral("/xml/newslist/phone_")));
    HotCommntTableViewController hot(std::make_shared<NewsListData>());
    hot.model()->setComments(*HotCommentListModel::parse(rows));
    HotProductScrollView deals;
    for (QWidget* list : std::initializer_list<QWidget*>{&news, &hot, &deals})
        list->resize(300, 600), list->show();
    news.showByClick(true);
    deals.categoryButtons().at(1)->click();
    ASSERT_TRUE(waitUntil([&] { return idle(*news.tableModel()) && deals.listView()->model()->rowCount() == 30; }));
    server.route("GET", QUrl(news.tableModel()->loadMoreUrl()).path(), xmlReply(newsFeed(descendingItems(30, 990))));
    QTest::keyClick(&news, Qt::Key_End);  // "加载更多" pages on
    ASSERT_TRUE(waitUntil([&] { return news.tableModel()->rowCount() == 41 && !news.tableModel()->isLoadMore(); }));
    SearchNewsViewController search;
    QList<FeedPtr> results;
    for (const FeedItem& item : descendingItems(30, 300))
        results.emplaceBack(std::make_shared<Feed>())->guid = item.id;
    search.presenter()->showNewsPage(results);
    search.showWindow();
    ASSERT_TRUE(applyPendingLayout(search.window()));
    QStringList hotOpened, dealsOpened;
    QObject::connect(&hot, &HotCommntTableViewController::hotCommentChosen, [&](const QString& id) { hotOpened.append(id); });
    QObject::connect(&deals, &HotProductScrollView::dealChosen, [&](const QString& id) { dealsOpened.append(id); });
    const struct { QAbstractItemView* view; QStringList* opened; int first; } lists[] = {  // first: the id of row 0
        {&news, &pane->shown, 1000}, {hot.listView(), &hotOpened, 500}, {deals.listView(), &dealsOpened, 500},
        {search.searchResultTV(), &pane->shown, 300}};
    for (int list = 0; list < 4; ++list) {
        const auto& [view, opened, first] = lists[list];
        const auto openRow = [&] { return first - opened->last().toInt(); };
        QTest::keyClick(view, Qt::Key_Down);
        const int from = openRow();
        const qsizetype count = opened->size();
        QTest::keyClick(view, Qt::Key_PageDown);
        const int to = openRow();
        const int moved = view->visualRect(view->model()->index(to, 0)).top() - view->visualRect(view->model()->index(from, 0)).top();
        EXPECT_TRUE(moved > view->viewport()->height() / 2 && moved <= view->viewport()->height()) << list << ": " << from << "->" << to;
        QTest::keyClick(view, Qt::Key_PageUp);
        EXPECT_EQ(openRow(), from) << list;
        QTest::keyPress(view, Qt::Key_PageDown);  // opens the first page, passes the second, rests on the third
        for (int repeat = 0; repeat < 4; ++repeat)
            QTest::simulateEvent(view, repeat % 2 == 1, Qt::Key_PageDown, Qt::NoModifier, QString(), true);
        QTest::keyRelease(view, Qt::Key_PageDown);
        EXPECT_EQ(openRow(), from + 3 * (to - from)) << list;
        EXPECT_EQ(opened->size(), count + 4) << list << ": a held PageDown opened the rows it passed";
    }
    endImageLoads();
}

TEST_F(ListViewsTest, LongListsKeepNoWidgetPerRow)
{
    const QString list = QStringLiteral("/xml/newslist/news.xml");
    const QString slides = QStringLiteral("/xml/slide/slide.xml");
    server.route("GET", list, xmlReply(newsFeed(descendingItems(260, 5000)), "N"));
    server.route("GET", slides, xmlReply(slideFeed(3), "S"));
    CenterTableView view(channel(101, list, slides));
    view.resize(300, 700);
    view.show();
    view.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return idle(*view.tableModel()) && view.tableModel()->rowCount() == 262; }));
    ASSERT_TRUE(view.slideStrip());
    EXPECT_EQ(view.slideStrip()->SlideCount(), 3);
    view.viewport()->repaint();
    const QList<QWidget*> children = view.viewport()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    EXPECT_EQ(children, QList<QWidget*>{view.slideStrip()});

    // New slides replace the strip and its timer.
    QPointer<SlideView> old = view.slideStrip();
    server.route("GET", slides, xmlReply(slideFeed(1), "S2"));
    server.route("GET", list, xmlReply(newsFeed(descendingItems(260, 6000)), "N2"));
    Clock::advance(181 * 1000);
    view.showByClick(false);
    ASSERT_TRUE(waitUntil([&] { return idle(*view.tableModel()) && view.slideStrip() && view.slideStrip()->SlideCount() == 1; }));
    EXPECT_TRUE(waitUntil([&] { return old.isNull(); })) << "waited for the old strip to go";
}

TEST_F(ListViewsTest, TheOfflineNoteLeavesRoomForLaterToasts)
{
    network->reachable = false;
    const QString list = QStringLiteral("/xml/newslist/phone.xml");
    server.route("GET", list, xmlReply(newsFeed(descendingItems(4, 40)), "P"));
    CenterTableView view(channel(103, list));
    view.resize(300, 500);
    view.show();
    view.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return idle(*view.tableModel()) && view.tableModel()->rowCount() == 5; }));
    ASSERT_TRUE(waitUntil([&] { return view.toastStrip() == nullptr && !DJProgressHUD::instance()->displaying(); }))
        << "the offline note gone";
    network->reachable = true;
    view.showByClick(false);  // within 180 s: "本栏目暂无更新"
    ASSERT_TRUE(view.toastStrip());
    DJProgressHUD* hud = DJProgressHUD::instance();
    EXPECT_TRUE(hud->displaying());
    ASSERT_TRUE(hud->label());
    EXPECT_EQ(hud->label()->text(), QStringLiteral("本栏目暂无更新"));
    EXPECT_EQ(hud->parentView(), view.toastStrip());
    // The strip goes a second later.
    ASSERT_TRUE(waitUntil([&] { return view.toastStrip() == nullptr; }, 30000));
}

TEST_F(ListViewsTest, AnUnchangedRefreshShowsItsTip)
{
    const QString list = QStringLiteral("/xml/newslist/phone.xml");
    server.route("GET", list, xmlReply(newsFeed(descendingItems(4, 40)), "P"));
    CenterTableView view(channel(103, list));
    view.resize(300, 500);
    view.show();
    view.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return idle(*view.tableModel()) && view.tableModel()->rowCount() == 5; }));
    ASSERT_TRUE(waitUntil([&] { return view.toastStrip() == nullptr && !DJProgressHUD::instance()->displaying(); }))
        << "the first refresh's toast gone";
    Clock::advance(181 * 1000);
    view.showByClick(false);  // the HUD is dismissed, then the tip comes
    ASSERT_TRUE(waitUntil([&] { return idle(*view.tableModel()) && view.toastStrip(); }));
    DJProgressHUD* hud = DJProgressHUD::instance();
    EXPECT_TRUE(hud->displaying());
    ASSERT_TRUE(hud->label());
    EXPECT_EQ(hud->label()->text(), QStringLiteral("本栏目暂无更新"));
}

TEST_F(ListViewsTest, TheSlideStripTurnsInACircle)
{
    QList<slideDataPtr> slides;
    for (int i = 0; i < 3; ++i) {
        slides.append(std::make_shared<slideData>());
        slides.last()->slideTitle = QStringLiteral("s%1").arg(i);
        slides.last()->slideLinkUrl = QStringLiteral(" 12%1 ").arg(i);
        slides.last()->slideOpenType = QStringLiteral("1");
    }
    SlideView strip(slides);
    strip.resize(300, 150);
    EXPECT_EQ(strip.titleText(), QStringLiteral("s0"));
    EXPECT_TRUE(strip.timer().isActive());
    EXPECT_EQ(strip.timer().interval(), 6000);
    strip.leftSlide();
    EXPECT_EQ(strip.currentPosition(), 2);
    EXPECT_EQ(strip.titleText(), QStringLiteral("s2"));
    strip.rightSlide();
    EXPECT_EQ(strip.currentPosition(), 0);
    strip.rightArrow()->click();
    EXPECT_EQ(strip.titleText(), QStringLiteral("s1"));
    SlideLinks::clickLink(slides[1]->slideLinkUrl, slides[1]->slideOpenType);
    EXPECT_EQ(pane->shown, QStringList{QStringLiteral("121")});

    SlideView empty({});
    EXPECT_FALSE(empty.timer().isActive());
    empty.rightSlide();
    empty.leftSlide();
    EXPECT_EQ(empty.currentPosition(), 0);
}

// Only the primary button opens the slide on show; the wheel, a touchpad swipe and the keys move
// nothing: the strip turns a whole slide at a time, by its arrows and its timer alone.
TEST_F(ListViewsTest, TheSlideStripOpensOnThePrimaryButtonAndTurnsOnlyByWholeSlides)
{
    QList<slideDataPtr> slides;
    for (int i = 0; i < 3; ++i) {
        slides.append(std::make_shared<slideData>());
        slides.last()->slideLinkUrl = QStringLiteral("12%1").arg(i);
        slides.last()->slideOpenType = QStringLiteral("1");
    }
    SlideView strip(slides);
    strip.resize(300, 150);
    strip.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&strip));
    const QPoint middle(150, 100);
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton})
        QTest::mouseClick(strip.viewport(), button, {}, middle);
    EXPECT_TRUE(pane->shown.isEmpty()) << pane->shown.join(QLatin1Char(',')).toStdString();
    QTest::mouseClick(strip.viewport(), Qt::LeftButton, {}, middle);
    EXPECT_EQ(pane->shown, QStringList{QStringLiteral("120")});

    for (const QPoint& delta : {QPoint(-120, 0), QPoint(0, -120)}) {
        QWheelEvent wheel(middle, strip.viewport()->mapToGlobal(middle), QPoint(), delta, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(strip.viewport(), &wheel);
    }
    QWheelEvent swipe(middle, strip.viewport()->mapToGlobal(middle), QPoint(-40, 0), QPoint(), Qt::NoButton,
                      Qt::NoModifier, Qt::ScrollUpdate, false);
    QApplication::sendEvent(strip.viewport(), &swipe);
    for (Qt::Key key : {Qt::Key_Right, Qt::Key_End, Qt::Key_PageDown})
        QTest::keyClick(&strip, key);
    EXPECT_EQ(strip.horizontalScrollBar()->value(), 0);
    EXPECT_EQ(strip.currentPosition(), 0);
    strip.rightArrow()->click();
    EXPECT_EQ(strip.horizontalScrollBar()->value(), SlideView::kWidth);
}

// A click outside the open channel editor closes it and also chooses the tab it was aimed at: the
// window system sends the press to the editor, the release to the window under the pointer.
TEST_F(ListViewsTest, TheClickThatClosesTheChannelEditorReachesItsTarget)
{
    CenterViewController column;
    column.resize(300, 600);
    column.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&column));
    column.editColumnBtn()->click();
    QWidget* editor = column.findChild<QWidget*>(QStringLiteral("editColumnPopover"));
    ASSERT_TRUE(editor);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(editor));
    // The editor hangs below the edit button; a tab beside it is still on screen.
    CustomButton* tab = nullptr;
    for (CustomButton* candidate : column.tabButtons()) {
        if (!candidate->isChecked() && !editor->frameGeometry().contains(candidate->mapToGlobal(candidate->rect().center()))
            && column.rect().contains(candidate->mapTo(&column, candidate->rect().center()))) {
            tab = candidate;
            break;
        }
    }
    ASSERT_TRUE(tab);
    const QPoint global = tab->mapToGlobal(tab->rect().center());
    QTest::mousePress(editor->windowHandle(), Qt::LeftButton, {}, editor->windowHandle()->mapFromGlobal(global));
    QTest::mouseRelease(column.windowHandle(), Qt::LeftButton, {}, column.windowHandle()->mapFromGlobal(global));
    EXPECT_FALSE(editor->isVisible());
    EXPECT_TRUE(tab->isChecked()) << "the closing click was swallowed";
}

TEST(CenterTableCell, OnePinnedTagHoweverOftenTheRowIsRefreshed)
{
    CenterTableCell cell;
    auto feed = std::make_shared<Feed>();
    feed->isTop = true;
    cell.setCurrentFeed(feed);
    for (int i = 0; i < 3; ++i) {
        cell.updateCellTextColor();
        cell.updateCellBgImage();
    }
    EXPECT_EQ(cell.pinnedTagCount(), 1);
    feed->isTop = false;
    cell.updateCellBgImage();
    EXPECT_TRUE(cell.pinnedTag()->isHidden());

    cell.setIsShiPin(true);
    cell.setIsTouPiao(true);
    cell.setPostDateText(QStringLiteral("12月3日"));
    cell.updateCellTextColor();
    EXPECT_TRUE(cell.videoTag()->isHidden());
    EXPECT_TRUE(cell.voteTag()->isHidden());
    EXPECT_GE(cell.dateLabel()->width(), 50);
    cell.setPostDateText(QStringLiteral(""));
    cell.updateCellTextColor();
    EXPECT_EQ(cell.dateLabel()->width(), 30);

    // A title from the network is text, not markup.
    cell.setTitle(QStringLiteral("<img src=\"/etc/passwd\"><b>x</b>"));
    EXPECT_EQ(cell.titleLabel()->textFormat(), Qt::PlainText);
}

// A list that arrives while its channel is not on show takes nothing over: only the list on show
// opens its item in the article pane.
TEST_F(ListViewsTest, AListArrivingWhileItsChannelIsHiddenOpensNothing)
{
    server.route("GET", QStringLiteral("/xml/newslist/news.xml"), xmlReply(newsFeed(descendingItems(3, 30)), "N"));
    LoopbackReply slow = xmlReply(newsFeed(descendingItems(4, 70)), "P");
    slow.delayMs = 400;
    server.route("GET", QStringLiteral("/xml/newslist/phone.xml"), slow);
    server.route("GET", QStringLiteral("/xml/newslist/digi.xml"), xmlReply(newsFeed(descendingItems(4, 90)), "D"));
    CenterViewController column;
    column.resize(300, 600);
    const auto tabOf = [&](int64_t listId) {
        CustomButton* found = nullptr;
        for (CustomButton* tab : column.tabButtons())
            found = tab->property("tag").toInt() == int(listId) + 10 ? tab : found;
        return found;
    };
    CustomButton* phone = tabOf(103);
    CustomButton* digi = tabOf(104);
    ASSERT_TRUE(phone && digi);
    ASSERT_TRUE(waitUntil([&] { return !pane->shown.isEmpty(); })) << "waited for the first channel's item";

    column.itemBtnClick(phone);
    CenterTableView* phoneList = column.currentTableV();
    ASSERT_TRUE(phoneList);
    ASSERT_TRUE(waitUntil([&] { return sent().contains(QStringLiteral("GET /xml/newslist/phone.xml")); }));
    // The reader switches channels before the phone list is in, and opens a row there.
    column.itemBtnClick(digi);
    CenterTableView* digiList = column.currentTableV();
    ASSERT_TRUE(waitUntil([&] { return idle(*digiList->tableModel()) && digiList->tableModel()->rowCount() == 5; }));
    digiList->tableModel()->tableViewSelectionDidChange(2);
    ASSERT_EQ(pane->shown.last(), QStringLiteral("88"));
    const QStringList before = pane->shown;

    ASSERT_TRUE(waitUntil([&] { return idle(*phoneList->tableModel()) && phoneList->tableModel()->rowCount() == 5; }))
        << "waited for the late list";
    ASSERT_TRUE(drainMainQueue());
    EXPECT_EQ(pane->shown, before) << "the hidden channel's list opened " << pane->shown.last().toStdString();
    EXPECT_FALSE(feedOf(phoneList->tableModel()->newsListArray().at(0))->isSelected);

    // Chosen again, the channel opens its first item.
    column.itemBtnClick(phone);
    EXPECT_EQ(pane->shown.last(), QStringLiteral("70"));
}

// The title takes two lines at most: a title that needs more is cut at the end of the second
// line, and nothing of a third reaches down towards the date.
TEST(CenterTableCell, ALongTitleDrawsTwoLines)
{
    CenterTableCell cell;
    cell.setIOdd(0);
    cell.setTitle(QString(60, QChar(0x6587)));  // far more than two lines of "文"
    cell.setPostDateText(QStringLiteral(""));
    cell.updateCellTextColor();
    cell.updateCellBgImage();
    QImage picture(cell.size(), QImage::Format_RGB32);
    picture.fill(Qt::white);
    cell.render(&picture);

    // Rows of the title's column with dark ink, counted as separate bands from the row top to
    // where the date begins.
    const QRect title = cell.titleLabel()->geometry();
    int bands = 0;
    bool inBand = false;
    for (int y = title.top(); y < 50; ++y) {
        bool ink = false;
        for (int x = title.left(); x <= title.right() && !ink; ++x)
            ink = qGray(picture.pixel(x, y)) < 128;
        bands += ink && !inBand ? 1 : 0;
        inBand = ink;
    }
    EXPECT_EQ(bands, 2);
}

TEST_F(ListViewsTest, APlainWheelScrollsTheTabStripSideways)
{
    server.route("GET", QStringLiteral("/xml/newslist/news.xml"), xmlReply(newsFeed(descendingItems(3, 30)), "N"));
    CenterViewController column;
    column.resize(300, 600);
    column.show();
    QScrollArea* strip = column.scrollViewNews();
    ASSERT_GT(strip->horizontalScrollBar()->maximum(), 0) << "the tabs fit: nothing to scroll";
    const auto wheel = [&](QPoint angle) {
        const QPointF at(strip->viewport()->width() / 2.0, strip->viewport()->height() / 2.0);
        QWheelEvent event(at, strip->viewport()->mapToGlobal(at), QPoint(), angle, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(strip->viewport(), &event);
    };
    // Turning the wheel towards the reader moves on to the later tabs, away from the reader back.
    wheel(QPoint(0, -120));
    const int moved = strip->horizontalScrollBar()->value();
    EXPECT_GT(moved, 0);
    wheel(QPoint(0, 120));
    EXPECT_LT(strip->horizontalScrollBar()->value(), moved);
    EXPECT_EQ(strip->verticalScrollBar()->value(), 0);
}

// Another program keeps the file locked against readers while the column is built: once the lock
// ends, the column shows its channels and the first one's list, with the keys, without a restart.
TEST_F(ListViewsTest, TheChannelsComeOnceALockThatBlocksReadsEnds)
{
    server.route("GET", QStringLiteral("/xml/newslist/news.xml"), xmlReply(newsFeed(descendingItems(3, 30)), "N"));
    DatabaseOperate::Lease()->closeDB();
    SettingsDatabaseOperate::Lease()->closeDB();
    auto other = FMDatabase::databaseWithPath(QDir(StorageRoot::documentsPath()).filePath(QStringLiteral("tidwenMAC.db")));
    ASSERT_TRUE(other->open());
    ASSERT_EQ(sqlite3_exec(other->sqliteHandle(), "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; COMMIT;", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);

    CenterViewController column;
    column.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&column) && column.tabButtons().isEmpty());
    other->close();
    ASSERT_TRUE(waitUntil([&] { return column.tabButtons().size() == 11; }));
    EXPECT_EQ(column.lastSelectIndex(), 111);
    ASSERT_TRUE(column.currentTableV() && waitUntil([&] { return !pane->shown.isEmpty(); }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(pane->shown.last(), QStringLiteral("29"));
}
