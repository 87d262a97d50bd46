// The lists off the happy road, acting while loads are slow: a channel switched during a delayed
// list, a row picked during a delayed refresh, and the search window emptied when the login
// window closes.

#include "RoadFixture.h"

#include "ScopeGuard.h"
#include "TestEnvironment.h"
#include "account/views/UserLandWD.h"
#include "article/views/ArticleNeighbours.h"
#include "article/views/RightViewController.h"
#include "newslist/CenterTableModel.h"
#include "newslist/views/CenterTableView.h"
#include "newslist/views/CenterViewController.h"
#include "newslist/views/search/SearchNewsViewController.h"
#include "platform/Clock.h"
#include "ui/controls/CustomButton.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>

#include <algorithm>

namespace road {
namespace {

const QString kNewsHost = QStringLiteral("api.tidwen.example");
constexpr int kDelayMs = 3000;

QPushButton* tabOf(CenterViewController* column, int64_t listId)
{
    NewsListData channel;
    channel.iListID = listId;
    for (CustomButton* tab : column->tabButtons()) {
        if (tab->property("tag").toInt() == CenterViewController::tabTag(channel))
            return tab;
    }
    return nullptr;
}

QString guidAt(CenterTableView* list, qsizetype entry)
{
    const NewsListEntries& entries = list->tableModel()->newsListArray();
    const FeedPtr feed = entry < entries.size() ? feedOf(entries.at(entry)) : nullptr;
    return feed ? feed->guid : QString();
}

qsizetype entryOf(CenterTableView* list, const QString& guid)
{
    const NewsListEntries& entries = list->tableModel()->newsListArray();
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (const FeedPtr feed = feedOf(entries.at(i)); feed && feed->guid == guid)
            return i;
    }
    return -1;
}

}  // namespace

TEST_F(Road, AChannelSwitchedAwayFromDuringADelayedListLeavesThePaneToTheListOnShow)
{
    CenterViewController* column = listColumn();
    RightViewController* pane = detailPane();
    ASSERT_TRUE(column && pane);
    QPushButton* phone = tabOf(column, 103);
    QPushButton* digi = tabOf(column, 104);
    ASSERT_TRUE(phone && digi);
    ASSERT_TRUE(service().addFault(QStringLiteral("GET %1 /xml/newslist/phone.xml 1 delay:%2").arg(kNewsHost).arg(kDelayMs)));
    const qint64 before = lastSeq(service());

    column->itemBtnClick(phone);
    CenterTableView* phoneList = column->currentTableV();
    ASSERT_TRUE(phoneList);
    ASSERT_TRUE(waitForRequest(service(), QStringLiteral("GET"), kNewsHost, QStringLiteral("/xml/newslist/phone\\.xml.*"), before))
        << describeRequests(service(), before).toStdString();
    ASSERT_TRUE(phoneList->tableModel()->newsListArray().isEmpty()) << "the delayed list came before the switch";

    // At once another channel; its list comes, its first item opens, and the reader opens a row.
    column->itemBtnClick(digi);
    CenterTableView* digiList = column->currentTableV();
    ASSERT_TRUE(digiList && digiList != phoneList);
    ASSERT_TRUE(waitUntil([&] { return digiList->tableModel()->rowCount() > 3 && shownGuid(pane) == guidAt(digiList, 0); }, 30000))
        << "the other channel's first item did not open";
    const QString picked = guidAt(digiList, 2);
    clickRow(digiList, rowOfEntry(digiList, 2));
    ASSERT_TRUE(waitUntil([&] { return shownGuid(pane) == picked; }));

    // The hidden channel's list arrives: it is shown in its own list, and takes nothing over.
    ASSERT_TRUE(waitUntil([&] { return !phoneList->tableModel()->newsListArray().isEmpty() && !phoneList->tableModel()->isLoading(); },
                          30000 + kDelayMs))
        << "waited for the delayed list";
    ASSERT_TRUE(drainMainQueue());
    EXPECT_EQ(shownGuid(pane), picked) << "the hidden channel's list took the pane over";
    EXPECT_EQ(column->currentTableV(), digiList);
    EXPECT_EQ(digiList->tableModel()->selectedRow(), rowOfEntry(digiList, 2));

    // Chosen again, that channel opens its first item.
    column->itemBtnClick(phone);
    EXPECT_TRUE(waitUntil([&] { return shownGuid(pane) == guidAt(phoneList, 0); }, 30000));
}

TEST_F(Road, ARowPickedDuringADelayedRefreshStaysTheSameItem)
{
    CenterViewController* column = listColumn();
    RightViewController* pane = detailPane();
    CenterTableView* list = channelList(101);
    ASSERT_TRUE(column && pane && list);
    if (column->currentTableV() != list) {
        column->itemBtnClick(tabOf(column, 101));
        ASSERT_TRUE(waitUntil([&] { return !list->tableModel()->isLoading() && !list->tableModel()->isLoadSlide(); }, 30000));
    }
    const QList<qint64> published = service().publish(3);
    ASSERT_EQ(published.size(), 3);
    Clock::advance(181 * 1000);
    ASSERT_TRUE(service().addFault(QStringLiteral("GET %1 /xml/newslist/news.xml 1 delay:%2").arg(kNewsHost).arg(kDelayMs)));
    const qint64 before = lastSeq(service());

    column->refreshNews();
    ASSERT_TRUE(waitForRequest(service(), QStringLiteral("GET"), kNewsHost, QStringLiteral("/xml/newslist/news\\.xml\\?r=[0-9]+"), before))
        << describeRequests(service(), before).toStdString();
    const QString picked = guidAt(list, 5);
    ASSERT_FALSE(picked.isEmpty());
    clickRow(list, rowOfEntry(list, 5));
    ASSERT_TRUE(waitUntil([&] { return shownGuid(pane) == picked; }));

    // The new list has the three new items on top: the pick is three rows further down, and stays.
    ASSERT_TRUE(waitUntil([&] { return guidAt(list, 0).toLongLong() == *std::max_element(published.cbegin(), published.cend()); },
                          30000 + kDelayMs))
        << "waited for the delayed list";
    ASSERT_TRUE(drainMainQueue());
    EXPECT_EQ(shownGuid(pane), picked) << "the pane went to the item at the pick's old place";
    const qsizetype now = entryOf(list, picked);
    ASSERT_EQ(now, 8);
    EXPECT_TRUE(feedOf(list->tableModel()->newsListArray().at(now))->isSelected);
    EXPECT_FALSE(feedOf(list->tableModel()->newsListArray().at(5))->isSelected);
    EXPECT_EQ(list->tableModel()->selectedRow(), rowOfEntry(list, now));
}

TEST_F(Road, ClosingTheLoginWindowEmptiesTheSearchWindow)
{
    CenterViewController* column = listColumn();
    ASSERT_TRUE(column && mainWindow());
    const qint64 before = lastSeq(service());

    column->searchNews();
    auto* search = column->findChild<SearchNewsViewController*>();
    ASSERT_TRUE(search && search->window());
    ScopeExit cleanUp([search] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (qobject_cast<UserLandWD*>(top) && top->isVisible())
                top->hide();
        }
        search->window()->hide();
    });
    ASSERT_TRUE(waitUntil([&] { return search->window()->isVisible(); }));
    QLineEdit* field = search->searchBar();
    submitSearch(field, QStringLiteral("手机"));
    QListView* results = search->searchResultTV();
    ASSERT_TRUE(waitUntil([&] { return results->isVisible() && results->model()->rowCount() > 1; }, 30000))
        << describeRequests(service(), before).toStdString();

    ArticleNeighbours::instance()->showLoginWindow(mainWindow());
    UserLandWD* login = mainWindow()->findChild<UserLandWD*>();
    ASSERT_TRUE(login && login->isVisible());
    login->close();
    ASSERT_TRUE(drainMainQueue());
    EXPECT_EQ(results->model()->rowCount(), 0);
    EXPECT_EQ(field->text(), QString());
    EXPECT_FALSE(results->isVisibleTo(search->window()));
    EXPECT_TRUE(search->window()->isVisible()) << "the search window itself stays open";
}

}  // namespace road
