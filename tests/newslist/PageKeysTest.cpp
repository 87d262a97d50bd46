#include "EndImageLoads.h"
#include "ModelProbe.h"
#include "NewsListTestSupport.h"
#include "PendingLayout.h"
#include "comments/HotCommentListModel.h"
#include "comments/views/HotCommntTableViewController.h"
#include "deals/views/HotProductScrollView.h"
#include "newslist/views/CenterTableView.h"
#include "newslist/views/search/SearchNewsViewController.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QTest>

// PageDown and PageUp open the row a view's height of rows further down and back up, as Down
// opens one row; held, PageDown opens the row it rests on, not those it passes. So in the news list
// once a page came in under the keys, in the hot-comment list, the deals list and the search results.
TEST_F(NewsListTest, PageKeysOpenTheRowAPageAwayInEveryList)
{
    QJsonArray rows;  // ids from 500 down, as comments' articles or as deals
    for (int id = 500; id > 470; --id)
        rows.append(QJsonObject{{QStringLiteral("I"), id}, {QStringLiteral("productid"), id}});
    QStringList urls = builtInUrlTable();
    urls[38 - 1] = base() + QStringLiteral("/api/apps/tag");  // a deals category
    loadUrlTable(urls);
    const QJsonObject page{{QStringLiteral("success"), 1}, {QStringLiteral("content"), rows}};
    server.route("GET", QStringLiteral("/api/apps/tag"), LoopbackReply::text(200, QJsonDocument(page).toJson()));
    const QString phone = QStringLiteral("/xml/newslist/phone.xml");
    server.route("GET", phone, xmlReply(newsFeed(descendingItems(10, 1000)), "P"));

    CenterTableView news(channel(103, phone, QString(), QStringLiteral("/xml/newslist/phone_")));
    HotCommntTableViewController hot(std::make_shared<NewsListData>());
    hot.model()->setComments(*HotCommentListModel::parse(QJsonDocument(rows).toJson()));
    std::unique_ptr<HotProductScrollView> deals(HotProductScrollView::init());
    for (QWidget* list : {static_cast<QWidget*>(&news), static_cast<QWidget*>(&hot), static_cast<QWidget*>(deals.get())})
        list->resize(300, 600), list->show();
    news.showByClick(true);
    deals->categoryButtons().at(1)->click();
    ASSERT_TRUE(waitUntil([&] { return idle(*news.tableModel()) && deals->listView()->model()->rowCount() == 30; }));
    server.route("GET", QUrl(news.tableModel()->loadMoreUrl()).path(), xmlReply(newsFeed(descendingItems(30, 990))));
    for (int row = 1; row <= 10; ++row)  // the tenth reaches "加载更多"
        QTest::keyClick(&news, Qt::Key_Down);
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
    QObject::connect(deals.get(), &HotProductScrollView::dealChosen, [&](const QString& id) { dealsOpened.append(id); });
    const struct
    {
        QAbstractItemView* view;
        QStringList* opened;
        int first;  // the id of row 0, ids going down by one a row
    } lists[] = {{&news, &pane->shown, 1000}, {hot.listView(), &hotOpened, 500}, {deals->listView(), &dealsOpened, 500},
                 {search.searchResultTV(), &pane->shown, 300}};
    for (int list = 0; list < 4; ++list) {
        const auto& [view, opened, first] = lists[list];
        QTest::keyClick(view, Qt::Key_Down);
        const auto openRow = [&] { return first - opened->last().toInt(); };
        const int from = openRow();
        const qsizetype count = opened->size();
        QTest::keyClick(view, Qt::Key_PageDown);
        const int to = openRow();
        const auto top = [&](int row) { return view->visualRect(view->model()->index(row, 0)).top(); };
        const int page = view->viewport()->height();
        EXPECT_TRUE(top(to) - top(from) > page / 2 && top(to) - top(from) <= page) << list << ": " << from << " to " << to;
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
