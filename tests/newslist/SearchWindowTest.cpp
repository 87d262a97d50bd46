#include "PaintCounter.h"
#include "RememberedAccount.h"
#include "SearchTestSupport.h"
#include "newslist/search/SearchReply.h"
#include "newslist/views/search/SearchHistoryCell.h"
#include "newslist/views/search/SearchNewsViewController.h"
#include "ui/hud/DJActivityIndicator.h"
#include "ui/hud/DJProgressHUD.h"
#include "ui/controls/CustomButton.h"
#include "ui/controls/UILabel.h"

#include "platform/NotificationCenter.h"

#include <QAbstractItemModelTester>
#include <QDialog>
#include <QMessageBox>
#include <QScrollBar>
#include <QTimer>
#include <QLineEdit>
#include <QListView>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTabBar>
#include <QTest>

using namespace h24;

namespace {

const QString kNewsPage = QStringLiteral("/xml/search/fa4beb691647450f.xml");

class SearchWindowTest : public Fixture
{
protected:
    void SetUp() override
    {
        Fixture::SetUp();
        column = new QWidget;
        controller = openSearchWindow(column);
        presenter = controller->presenter();
        resultTester = std::make_unique<QAbstractItemModelTester>(presenter->resultModel(),
                                                                   QAbstractItemModelTester::FailureReportingMode::Fatal);
        historyTester = std::make_unique<QAbstractItemModelTester>(presenter->historyModel(),
                                                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    }
    void TearDown() override
    {
        resultTester.reset();
        historyTester.reset();
        delete column;
        Fixture::TearDown();
    }

    // Types the keyword and presses Return, as the user does.
    void type(const QString& keyword)
    {
        controller->searchBar()->setFocus();
        controller->searchBar()->setText(keyword);
        QTest::keyClick(controller->searchBar(), Qt::Key_Return);
    }
    bool settled() const { return !presenter->requestInFlight(); }
    QString label() const { return controller->tiShiLabel()->isVisibleTo(controller->window()) ? controller->tiShiLabel()->text() : QString(); }
    int resultRows() const { return presenter->resultModel()->rowCount(); }
    QString rowTitle(int row) const { return presenter->resultModel()->index(row).data().toString(); }
    // Results with ids from firstId down, titled prefix and their place.
    static QList<QByteArray> numberedItems(int count, int firstId, const QString& prefix)
    {
        QList<QByteArray> items;
        for (int i = 0; i < count; ++i)
            items.append(searchItem(QString::number(firstId - i), prefix + QString::number(i)));
        return items;
    }

    QWidget* column = nullptr;
    SearchNewsViewController* controller = nullptr;
    SearchNewsPresenter* presenter = nullptr;
    std::unique_ptr<QAbstractItemModelTester> resultTester;
    std::unique_ptr<QAbstractItemModelTester> historyTester;
};

}  // namespace

TEST_F(SearchWindowTest, NewsSearchDropsIncompleteItemsAndPagesFromTheSmallestId)
{
    server.route("GET", kNewsPage,
                 xml(searchPage({searchItem(QStringLiteral("105"), QStringLiteral("甲")),
                                 searchItem(QStringLiteral("101"), QString()),  // no title: dropped, no cursor
                                 searchItem(QString(), QStringLiteral("丙")),    // no id: dropped
                                 searchItem(QStringLiteral("102"), QStringLiteral("丁"))})));
    server.route("GET", QStringLiteral("/xml/search/fa4beb691647450f_102.xml"), xml(searchPage({})));
    ASSERT_TRUE(controller->window()->isVisible());
    type(QStringLiteral("苹果"));
    ASSERT_TRUE(waitUntil([&] { return settled() && resultRows() > 0; }));

    const QStringList first = sent();
    ASSERT_EQ(first.size(), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^GET /xml/search/fa4beb691647450f\\.xml\\?r=\\d+$")).match(first[0]).hasMatch())
        << first[0].toStdString();
    EXPECT_EQ(resultRows(), 3);
    EXPECT_EQ(rowTitle(0), QStringLiteral("甲"));
    EXPECT_EQ(rowTitle(1), QStringLiteral("丁"));
    ASSERT_NE(controller->MoreBtn(), nullptr);
    EXPECT_EQ(controller->MoreBtn()->text(), QStringLiteral("搜索更多"));
    EXPECT_TRUE(controller->searchResultTV()->isVisibleTo(controller->window()));
    EXPECT_FALSE(controller->searchHistoryTV()->isVisibleTo(controller->window()));
    EXPECT_EQ(presenter->cursor(SearchNewsPresenter::kNews), 102);

    controller->MoreBtn()->click();
    EXPECT_EQ(controller->MoreBtn()->text(), QStringLiteral("正在搜索..."));
    ASSERT_TRUE(waitUntil([&] { return settled() && server.requestCount() == 2; }));
    ASSERT_TRUE(waitUntil([&] { return controller->MoreBtn()->text() == QStringLiteral("已无更多数据"); }));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^GET /xml/search/fa4beb691647450f_102\\.xml\\?r=searchmore\\d+$"))
                    .match(sent().at(1))
                    .hasMatch())
        << sent().at(1).toStdString();
    EXPECT_EQ(resultRows(), 3);

    controller->MoreBtn()->click();
    controller->MoreBtn()->click();
    // The clicks are judged at once; the pause is room for a request that must not be logged.
    ASSERT_TRUE(drainMainQueue());
    spin(100);
    EXPECT_EQ(server.requestCount(), 2);
    EXPECT_TRUE(alerts->shown.isEmpty());
}

TEST_F(SearchWindowTest, EmptyFailedAndOfflineFirstPages)
{
    struct Case
    {
        LoopbackReply reply;
        bool online;
        QString label;
        QStringList alerts;
    };
    const QList<Case> cases = {
        {xml(searchPage({})), true, QStringLiteral("没有搜索到与\"苹果\"相匹配的数据"), {}},
        {xml("<html>not a list</html>"), true, QStringLiteral("没有搜索到与\"苹果\"相匹配的数据"), {}},
        {LoopbackReply::text(500, "oops"), true, QStringLiteral("搜索错误"), {}},
        {LoopbackReply::text(500, "oops"), false, QStringLiteral("搜索错误"), {QStringLiteral("网络不给力呀")}},
        // A page that arrives while the network reads down: the note, then the results.
        {xml(searchPage({searchItem(QStringLiteral("7"), QStringLiteral("甲"))})), false, QString(), {QStringLiteral("网络不给力啊")}},
    };
    for (const Case& c : cases) {
        alerts->shown.clear();
        server.route("GET", kNewsPage, c.reply);
        network->reachable = c.online;
        const qsizetype before = server.requestCount();
        type(QStringLiteral("苹果"));
        ASSERT_TRUE(waitUntil([&] { return settled() && server.requestCount() == before + 1; })) << "waited for the reply";
        ASSERT_TRUE(drainMainQueue());  // and for what it queued
        EXPECT_EQ(label(), c.label) << c.label.toStdString();
        QStringList texts;
        for (const ShownAlert& alert : alerts->shown) {
            texts.append(alert.informative);
            EXPECT_EQ(alert.window, controller->window());
            EXPECT_EQ(alert.button, QStringLiteral("确定"));
        }
        EXPECT_EQ(texts, c.alerts);
        if (c.label.isEmpty()) {
            EXPECT_EQ(resultRows(), 2);
        } else {
            EXPECT_EQ(resultRows(), 0);
            EXPECT_EQ(presenter->searchKey(), QStringLiteral(""));
            EXPECT_EQ(presenter->cursor(SearchNewsPresenter::kNews), SearchReply::kNoCursor);
            EXPECT_FALSE(controller->logoView()->isVisibleTo(controller->window()));
        }
    }
}

TEST_F(SearchWindowTest, KeywordLengthRule)
{
    server.route("GET", QStringLiteral("/xml/search/") + CommonFunction::EncrypteGB2312(QStringLiteral("ab"), kDesKeyRequest) + ".xml",
                 xml(searchPage({})));
    struct Case
    {
        QString keyword;
        bool sends;
    };
    const QList<Case> cases = {{QString(), false},
                               {QStringLiteral("a"), false},
                               {QString(21, QLatin1Char('x')), false},
                               {QStringLiteral("ab"), true},
                               {QString(20, QChar(0x4E2D)), true}};
    for (const Case& c : cases) {
        alerts->shown.clear();
        const qsizetype before = server.requestCount();
        type(c.keyword);
        if (c.sends) {
            EXPECT_TRUE(waitUntil([&] { return server.requestCount() == before + 1 && settled(); })) << c.keyword.size();
            EXPECT_TRUE(alerts->shown.isEmpty());
        } else {
            // The rule speaks at once; the pause is room for a request that must not be logged.
            ASSERT_TRUE(drainMainQueue());
            spin(50);
            EXPECT_EQ(server.requestCount(), before) << c.keyword.size();
            ASSERT_EQ(alerts->shown.size(), 1) << c.keyword.size();
            EXPECT_EQ(alerts->shown[0].informative, QStringLiteral("搜索关键词的字数必须在2到20个字之间"));
            EXPECT_EQ(alerts->shown[0].window, controller->window());
        }
    }
}

TEST_F(SearchWindowTest, HistoryListsDeletesClearsAndSearchesAgain)
{
    // No history: an empty window.
    EXPECT_FALSE(controller->searchHistoryTV()->isVisibleTo(controller->window()));
    EXPECT_FALSE(controller->searchResultTV()->isVisibleTo(controller->window()));

    for (const QString& keyword : {QStringLiteral("ab"), QStringLiteral("cd"), QStringLiteral("ab")}) {
        presenter->Search(keyword);
        ASSERT_TRUE(waitUntil([&] { return settled(); }));
    }
    {
        // A deals keyword stays out of the news history and survives its clearing.
        DatabaseOperate::Lease store;
        SearchInfo deal;
        deal.searchKey = QStringLiteral("ef");
        deal.searchType = 1;
        store->SearchHistory_insert(deal);
    }
    controller->window()->close();
    controller = openSearchWindow(column);
    ASSERT_EQ(presenter->historyModel()->rowCount(), 3);
    EXPECT_EQ(presenter->historyModel()->index(0).data().toString(), QStringLiteral("搜索历史"));
    EXPECT_EQ(presenter->historyModel()->index(1).data().toString(), QStringLiteral("ab"));
    EXPECT_EQ(presenter->historyModel()->index(2).data().toString(), QStringLiteral("cd"));
    EXPECT_TRUE(controller->searchHistoryTV()->isVisibleTo(controller->window()));

    // The cross on "cd" posts its keyword; the row and the stored entry go.
    auto* cell = qobject_cast<SearchHistoryCell*>(controller->searchHistoryTV()->indexWidget(presenter->historyModel()->index(2)));
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->selfTitle(), QStringLiteral("cd"));
    cell->deleteButton()->click();
    ASSERT_EQ(presenter->historyModel()->rowCount(), 2);
    {
        DatabaseOperate::Lease store;
        const auto news = store->SearchHistory_get(0);
        ASSERT_TRUE(news);
        ASSERT_EQ(news->size(), 1);
        EXPECT_EQ(news->at(0)->searchKey, QStringLiteral("ab"));
    }

    // Choosing a history keyword searches it (and stores it as the newest).
    controller->searchHistoryTV()->setCurrentIndex(presenter->historyModel()->index(1));
    ASSERT_TRUE(waitUntil([&] { return settled() && server.requestCount() == 4; }));
    EXPECT_EQ(controller->searchBar()->text(), QStringLiteral("ab"));
    EXPECT_TRUE(sent().last().startsWith(QStringLiteral("GET /xml/search/") +
                                         CommonFunction::EncrypteGB2312(QStringLiteral("ab"), kDesKeyRequest)));

    controller->window()->close();
    controller = openSearchWindow(column);
    auto* header = qobject_cast<SearchHistoryHeader*>(controller->searchHistoryTV()->indexWidget(presenter->historyModel()->index(0)));
    ASSERT_NE(header, nullptr);
    header->clearButton()->click();
    EXPECT_EQ(presenter->historyModel()->rowCount(), 1);
    EXPECT_FALSE(controller->searchHistoryTV()->isVisibleTo(controller->window()));
    DatabaseOperate::Lease store;
    EXPECT_TRUE(store->SearchHistory_get(0)->isEmpty());
    ASSERT_EQ(store->SearchHistory_get(1)->size(), 1);
}

TEST_F(SearchWindowTest, HistoryOrderPutsTheRepeatedKeywordFirst)
{
    for (const QString& keyword : {QStringLiteral("ab"), QStringLiteral("cd"), QStringLiteral("ab")})
        presenter->Search(keyword);
    ASSERT_TRUE(waitUntil([&] { return settled(); }));
    DatabaseOperate::Lease store;
    const auto news = store->SearchHistory_get(0);
    ASSERT_TRUE(news);
    ASSERT_EQ(news->size(), 2);
    EXPECT_EQ(news->at(0)->searchKey, QStringLiteral("ab"));
    EXPECT_EQ(news->at(1)->searchKey, QStringLiteral("cd"));
}

TEST_F(SearchWindowTest, DealsSearchSendsTheSignedQueryAndPages)
{
    server.route("GET", QStringLiteral("/api/apps/search"), [](const LoopbackRequest& request) {
        if (request.query.contains(QStringLiteral("productid=0")))
            return json(R"({"success":1,"content":[{"productid":88,"ProductName":"甲","CreateTime":"2023-11-14T10:00:00"},)"
                        R"({"productid":0,"ProductName":"零"},7,{"productid":"31","ProductName":"乙","CreateTime":"x"}]})");
        return json(R"({"success":1,"content":[]})");
    });
    controller->segmentControl()->setCurrentIndex(1);
    EXPECT_EQ(presenter->kind(), 1);
    EXPECT_EQ(server.requestCount(), 0);
    type(QStringLiteral("苹果"));
    ASSERT_TRUE(waitUntil([&] { return settled() && resultRows() == 4; }));
    ASSERT_EQ(server.requestCount(), 1);
    EXPECT_EQ(server.requests()[0].query,
              QStringLiteral("count=20&key=%E8%8B%B9%E6%9E%9C&platform=mac&productid=0&signature=186ABBD9F63CE071A77FD3C1B0F10225"
                             "&timestamp=1700000000&userid=0"));
    EXPECT_EQ(presenter->resultModel()->index(0).data(SearchResultModel::DateRole).toString(), QStringLiteral("2023-11-14 10:00:00"));
    EXPECT_EQ(presenter->cursor(SearchNewsPresenter::kDeals), 31);

    presenter->loadMoreBtnActive();
    ASSERT_TRUE(waitUntil([&] { return settled() && server.requestCount() == 2; }));
    EXPECT_EQ(server.requests()[1].query,
              QStringLiteral("count=20&key=%E8%8B%B9%E6%9E%9C&productid=31&signature=186ABBD9F63CE071A77FD3C1B0F10225"
                             "&timestamp=1700000000"));
    EXPECT_EQ(presenter->moreTitle(), QStringLiteral("已无更多数据"));

    // Back to news (no kept news: it searches) and to deals again with the same keyword: the
    // kept deals, no request; the news reply still on its way is dropped.
    LoopbackReply slow = xml(searchPage({searchItem(QStringLiteral("7"), QStringLiteral("甲"))}));
    slow.delayMs = 200;
    server.route("GET", kNewsPage, slow);
    controller->segmentControl()->setCurrentIndex(0);
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 3; }));
    const qsizetype afterNews = server.requestCount();
    controller->segmentControl()->setCurrentIndex(1);
    ASSERT_TRUE(server.waitForReplyAfter(300)) << "waited past the dropped news reply";
    spin(100);  // room for a request or rows that must not come
    EXPECT_EQ(server.requestCount(), afterNews);
    EXPECT_EQ(resultRows(), 4);
    EXPECT_TRUE(presenter->resultArray1().isEmpty());
    EXPECT_TRUE(controller->searchResultTV()->isVisibleTo(controller->window()));
}

TEST_F(SearchWindowTest, DealsRepliesThatAreNoSuccessShowTheError)
{
    const QList<QByteArray> replies = {"not json", "[1,2]", R"({"success":0,"content":[]})", R"({"content":[]})"};
    controller->segmentControl()->setCurrentIndex(1);
    for (const QByteArray& body : replies) {
        server.route("GET", QStringLiteral("/api/apps/search"), json(body));
        const qsizetype before = server.requestCount();
        type(QStringLiteral("苹果"));
        ASSERT_TRUE(waitUntil([&] { return settled() && server.requestCount() == before + 1; }));
        EXPECT_EQ(label(), QStringLiteral("搜索错误")) << body.constData();
        EXPECT_FALSE(controller->logoView()->isVisibleTo(controller->window())) << body.constData();
    }
    // On a further page the more button comes back instead of spinning for ever.
    server.route("GET", QStringLiteral("/api/apps/search"), json(R"({"success":1,"content":[{"productid":5,"ProductName":"甲"}]})"));
    type(QStringLiteral("苹果果"));
    ASSERT_TRUE(waitUntil([&] { return settled() && resultRows() == 2; }));
    server.route("GET", QStringLiteral("/api/apps/search"), json("{"));
    presenter->loadMoreBtnActive();
    ASSERT_TRUE(waitUntil([&] { return settled() && presenter->moreTitle() == QStringLiteral("搜索更多"); }));
    EXPECT_EQ(resultRows(), 2);
}

TEST_F(SearchWindowTest, ChoosingRowsNeverReadsOutsideTheList)
{
    server.route("GET", kNewsPage, xml(searchPage(numberedItems(6, 50, QStringLiteral("新闻")))));
    type(QStringLiteral("苹果"));
    ASSERT_TRUE(waitUntil([&] { return settled() && resultRows() == 7; }));
    QListView* table = controller->searchResultTV();
    table->setCurrentIndex(presenter->resultModel()->index(5));
    ASSERT_EQ(pane->shown.size(), 1);
    EXPECT_EQ(pane->shown[0]->guid, QStringLiteral("45"));
    EXPECT_EQ(pane->shown[0]->postDate, QStringLiteral(""));
    EXPECT_TRUE(presenter->resultModel()->index(5).data(SearchResultModel::SelectedRole).toBool());

    table->clearSelection();                                    // deselecting
    table->setCurrentIndex(presenter->resultModel()->index(6));  // the more row
    EXPECT_EQ(pane->shown.size(), 1);

    server.route("GET", kNewsPage, xml(searchPage(numberedItems(2, 50, QStringLiteral("新闻")))));
    type(QStringLiteral("苹果"));
    ASSERT_TRUE(waitUntil([&] { return settled() && resultRows() == 3; }));
    EXPECT_EQ(presenter->lastSelectedIndex(), 5);
    table->setCurrentIndex(presenter->resultModel()->index(0));
    ASSERT_EQ(pane->shown.size(), 2);
    EXPECT_EQ(presenter->lastSelectedIndex(), 0);

    // A deal row opens the deal, as a click.
    server.route("GET", QStringLiteral("/api/apps/search"), json(R"({"success":1,"content":[{"productid":9,"ProductName":"甲"}]})"));
    controller->segmentControl()->setCurrentIndex(1);
    ASSERT_TRUE(waitUntil([&] { return settled() && resultRows() == 2; }));
    table->setCurrentIndex(presenter->resultModel()->index(0));
    EXPECT_EQ(pane->deals, QStringList{QStringLiteral("9")});
    EXPECT_EQ(pane->dealsByClick, QList<bool>{true});
}

// The pane is handed each chosen result without a date, so that it asks for the article's own;
// the row keeps its date, and the item the pane holds keeps what the article gave it when the
// result is opened again.
TEST_F(SearchWindowTest, AResultOpenedAgainKeepsItsDate)
{
    server.route("GET", kNewsPage, xml(searchPage(numberedItems(2, 50, QStringLiteral("新闻")))));
    type(QStringLiteral("苹果"));
    ASSERT_TRUE(waitUntil([&] { return settled() && resultRows() == 3; }));
    const auto dateOf = [&](int row) { return presenter->resultModel()->index(row).data(SearchResultModel::DateRole).toString(); };
    const QString date = dateOf(0);
    ASSERT_FALSE(date.isEmpty());
    for (const int row : {0, 1, 0}) {
        controller->searchResultTV()->setCurrentIndex(presenter->resultModel()->index(row));
        ASSERT_FALSE(pane->shown.isEmpty());
        EXPECT_EQ(pane->shown.last()->postDate, QStringLiteral("")) << row;
        EXPECT_EQ(dateOf(row), date) << row;
        EXPECT_EQ(pane->shown.first()->postDate, pane->shown.size() == 1 ? QStringLiteral("") : date) << row;
        pane->shown.last()->postDate = date;  // as the article's own document fills it in
    }
}

TEST_F(SearchWindowTest, ItsOwnClosingEmptiesTheWindowAndLateRepliesFindNobody)
{
    LoopbackReply slow = xml(searchPage({searchItem(QStringLiteral("8"), QStringLiteral("乙"))}));
    slow.delayMs = 300;
    server.route("GET", kNewsPage, slow);
    type(QStringLiteral("苹果"));
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 1; }));
    QTest::keyClick(controller->searchBar(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(controller->window()->isVisible());
    EXPECT_EQ(resultRows(), 0);
    EXPECT_EQ(controller->searchBar()->text(), QString());
    EXPECT_EQ(presenter->cursor(SearchNewsPresenter::kNews), SearchReply::kNoCursor);
    ASSERT_TRUE(server.waitForReplyAfter(400)) << "waited past the late reply";
    spin(100);  // room for rows that must not come
    EXPECT_EQ(resultRows(), 0);
    EXPECT_FALSE(controller->searchResultTV()->isVisibleTo(controller->window()));
    ASSERT_EQ(openSearchWindow(column), controller);
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller->window()));
    QTest::keyClick(controller->searchBar(), Qt::Key_Escape);
    EXPECT_FALSE(controller->window()->isVisible()) << "Escape left the window open";
}

// Every window of the program that closes empties the search window (the login window, a
// dialog accepted, any other window); tooltips, menus, popovers, alert sheets and the HUD's
// toasts are no windows of that kind.
TEST_F(SearchWindowTest, ClosingAnyWindowEmptiesTheSearchWindow)
{
    struct Case
    {
        const char* name;
        std::function<void()> openAndClose;
        bool empties;
    };
    const auto closed = [](QWidget* window) {
        window->show();
        window->close();
        delete window;
    };
    const QList<Case> cases{
        {"a window", [&] { closed(new QWidget(nullptr, Qt::Window)); }, true},
        {"a dialog closed", [&] { closed(new QDialog); }, true},
        {"a login dialog accepted",
         [] {
             QDialog login;
             login.setWindowModality(Qt::ApplicationModal);
             login.show();
             login.accept();
         },
         true},
        {"a popup", [&] { closed(new QWidget(nullptr, Qt::Popup)); }, false},
        {"a tooltip", [&] { closed(new QWidget(nullptr, Qt::ToolTip)); }, false},
        {"an alert sheet",
         [this] {
             auto* sheet = new QMessageBox(QMessageBox::Information, QString(), QStringLiteral("确定"), QMessageBox::Ok,
                                           controller->window());
             sheet->open();
             sheet->close();
             delete sheet;
         },
         false},
        {"the HUD's toast",
         [this] {
             DJProgressHUD::showMessage(QStringLiteral("提示"), controller->searchBar());
             DJProgressHUD::dismiss();
             ASSERT_TRUE(waitUntil([] { return !DJProgressHUD::instance()->displaying(); }));
         },
         false},
    };
    server.route("GET", kNewsPage, xml(searchPage({searchItem(QStringLiteral("7"), QStringLiteral("甲"))})));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!controller->window()->isVisible())
            openSearchWindow(column);
        type(QStringLiteral("苹果"));
        ASSERT_TRUE(waitUntil([&] { return settled() && resultRows() == 2; }));
        c.openAndClose();
        ASSERT_TRUE(drainMainQueue());  // what the closing queued has run
        EXPECT_EQ(resultRows(), c.empties ? 0 : 2);
        EXPECT_EQ(controller->searchBar()->text(), c.empties ? QString() : QStringLiteral("苹果"));
        EXPECT_EQ(controller->searchResultTV()->isVisibleTo(controller->window()), !c.empties);
    }
}

// A new search's results open at the top, not where the reader left the previous ones.
TEST_F(SearchWindowTest, ANewSearchsResultsOpenAtTheTop)
{
    server.route("GET", kNewsPage, xml(searchPage(numberedItems(30, 100, QStringLiteral("结果")))));
    type(QStringLiteral("苹果"));
    ASSERT_TRUE(waitUntil([&] { return settled() && resultRows() == 31; }));
    QScrollBar* bar = controller->searchResultTV()->verticalScrollBar();
    ASSERT_TRUE(waitUntil([&] { return bar->maximum() > 0; })) << "waited for the results to be laid out";
    controller->searchResultTV()->scrollToBottom();
    ASSERT_GT(bar->value(), 0);

    type(QStringLiteral("苹果"));
    ASSERT_TRUE(waitUntil([&] { return settled() && resultRows() == 31 && controller->searchResultTV()->isVisible(); }));
    ASSERT_TRUE(waitUntil([&] { return bar->maximum() > 0; })) << "waited for the new results to be laid out";
    EXPECT_EQ(bar->value(), 0);
}

TEST_F(SearchWindowTest, SwitchingKindWithoutAKeywordShowsThatKindsHistory)
{
    {
        DatabaseOperate::Lease store;
        SearchInfo deal;
        deal.searchKey = QStringLiteral("耳机");
        deal.searchType = 1;
        store->SearchHistory_insert(deal);
    }
    controller->segmentControl()->setCurrentIndex(1);
    ASSERT_EQ(presenter->historyModel()->rowCount(), 2);
    EXPECT_EQ(presenter->historyModel()->index(1).data().toString(), QStringLiteral("耳机"));
    EXPECT_TRUE(controller->searchHistoryTV()->isVisibleTo(controller->window()));

    // The news kind has no history: nothing shows, and nothing is sent.
    controller->searchBar()->setText(QStringLiteral("x"));
    controller->segmentControl()->setCurrentIndex(0);
    EXPECT_EQ(presenter->historyModel()->rowCount(), 1);
    EXPECT_FALSE(controller->searchHistoryTV()->isVisibleTo(controller->window()));
    EXPECT_FALSE(controller->searchResultTV()->isVisibleTo(controller->window()));
    EXPECT_FALSE(controller->scrollV()->isVisibleTo(controller->window()));
    // The switch is judged at once; the pause is room for a request that must not be logged.
    ASSERT_TRUE(drainMainQueue());
    spin(50);
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(SearchWindowTest, AnotherWindowTakingTheFocusIsNoEndOfEditing)
{
    controller->searchBar()->setFocus();
    QTest::keyClicks(controller->searchBar(), QStringLiteral("a"));
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QCoreApplication::sendEvent(controller->searchBar(), &away);
    ASSERT_TRUE(drainMainQueue());  // what the focus change queued has run
    EXPECT_TRUE(alerts->shown.isEmpty());
    EXPECT_EQ(controller->searchBar()->text(), QStringLiteral("a"));
    // Moving on inside the window does end it: the length rule speaks.
    controller->searchBar()->setFocus();
    QTest::keyClicks(controller->searchBar(), QStringLiteral("b"));
    controller->searchBar()->setText(QStringLiteral("x"));
    QTest::keyClick(controller->searchBar(), Qt::Key_Return);
    ASSERT_EQ(alerts->shown.size(), 1);
    EXPECT_EQ(alerts->shown[0].informative, QStringLiteral("搜索关键词的字数必须在2到20个字之间"));
}

TEST_F(SearchWindowTest, DealsSearchNamesTheRememberedAccount)
{
    rememberAccount(QStringLiteral("user"), QStringLiteral("pass"), false, true, QStringLiteral("4321"));
    server.route("GET", QStringLiteral("/api/apps/search"), json(R"({"success":1,"content":[]})"));
    controller->segmentControl()->setCurrentIndex(1);
    type(QStringLiteral("苹果"));
    ASSERT_TRUE(waitUntil([&] { return settled() && server.requestCount() == 1; }));
    EXPECT_TRUE(server.requests()[0].query.endsWith(QStringLiteral("&userid=4321"))) << server.requests()[0].query.toStdString();
}

TEST_F(SearchWindowTest, SwitchingKindWithAnEmptyFieldWhileAFirstPageLoadsStopsTheSpinner)
{
    LoopbackReply slow = xml(searchPage({searchItem(QStringLiteral("7"), QStringLiteral("甲"))}));
    slow.delayMs = 400;
    server.route("GET", kNewsPage, slow);
    type(QStringLiteral("苹果"));
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 1; })) << "waited for the first page to be asked for";
    ASSERT_TRUE(controller->logoView()->isAnimating());
    controller->searchBar()->setText(QString());
    controller->segmentControl()->setCurrentIndex(1);
    EXPECT_FALSE(presenter->requestInFlight());
    EXPECT_FALSE(controller->logoView()->isVisibleTo(controller->window()));
    EXPECT_TRUE(waitUntil([&] { return !controller->logoView()->isAnimating(); })) << "waited for the spinner to stop";
    // The cancelled page's time has passed: nothing comes back to turn it on again.
    ASSERT_TRUE(server.waitForReplyAfter(500)) << "waited past the cancelled page's reply";
    spin(100);
    EXPECT_FALSE(controller->logoView()->isAnimating());
    EXPECT_EQ(resultRows(), 0);
}

TEST_F(SearchWindowTest, DealsReplyWhoseSuccessIsTrueIsASuccess)
{
    controller->segmentControl()->setCurrentIndex(1);
    server.route("GET", QStringLiteral("/api/apps/search"),
                 json(R"({"success":true,"content":[{"productid":5,"ProductName":"甲","CreateTime":"2024-01-02T03:04:05"}]})"));
    type(QStringLiteral("苹果"));
    ASSERT_TRUE(waitUntil([&] { return settled() && server.requestCount() == 1; })) << "waited for the deals reply";
    EXPECT_EQ(label(), QString());
    ASSERT_EQ(resultRows(), 2);
    EXPECT_EQ(rowTitle(0), QStringLiteral("甲"));
    EXPECT_EQ(presenter->cursor(SearchNewsPresenter::kDeals), 5);
}

TEST_F(SearchWindowTest, FontChangedRepaintsTheResultRowsOnScreen)
{
    server.route("GET", kNewsPage, xml(searchPage({searchItem(QStringLiteral("7"), QStringLiteral("甲"))})));
    type(QStringLiteral("苹果"));
    ASSERT_TRUE(waitUntil([&] { return settled() && resultRows() == 2; })) << "waited for the results";
    QWidget* viewport = controller->searchResultTV()->viewport();
    ASSERT_TRUE(viewport->isVisible());
    // Paints now whatever the showing left pending, so that no first paint is counted below.
    viewport->repaint();
    QCoreApplication::sendPostedEvents();
    const PaintCounter counter(viewport);
    NotificationCenter::defaultCenter().post(QStringLiteral("fontChanged"));
    EXPECT_TRUE(waitUntil([&] { return counter.paints() > 0; })) << "waited for the result rows to be painted again";
}

// A modal loop running on a window that closes (a dialog made over it) ends with it, whether that
// window is the search window or another one.
TEST_F(SearchWindowTest, ClosingAWindowEndsAModalLoopRunningOnIt)
{
    QWidget other(nullptr, Qt::Window);
    other.show();
    for (QWidget* window : {controller->window(), &other}) {
        SCOPED_TRACE(window == &other ? "another window" : "the search window");
        QDialog dialog(window);
        bool endedByGuard = false;
        QTimer::singleShot(0, window, [window] { window->close(); });
        // Should the closing leave the loop running, the guard ends it so the test can report it.
        QTimer::singleShot(20000, &dialog, [&] {
            endedByGuard = true;
            dialog.reject();
        });
        dialog.exec();
        EXPECT_FALSE(endedByGuard);
        EXPECT_FALSE(window->isVisible());
        EXPECT_FALSE(dialog.isVisible());
    }
}

TEST_F(SearchWindowTest, HistoryButtonsClickedAfterReopeningNeverRunTheKeywordRule)
{
    for (const QString& keyword : {QStringLiteral("ab"), QStringLiteral("cd"), QStringLiteral("ef")}) {
        presenter->Search(keyword);
        ASSERT_TRUE(waitUntil([&] { return settled(); }));
    }
    controller->window()->close();
    controller = openSearchWindow(column);
    controller->window()->activateWindow();
    controller->searchBar()->setFocus();
    ASSERT_TRUE(waitUntil([&] { return controller->searchBar()->hasFocus(); })) << "the field never had the focus";
    const qsizetype requests = server.requestCount();
    const auto cellOf = [&](const QString& keyword) -> SearchHistoryCell* {
        for (int row = 1; row < presenter->historyModel()->rowCount(); ++row) {
            auto* cell = qobject_cast<SearchHistoryCell*>(controller->searchHistoryTV()->indexWidget(presenter->historyModel()->index(row)));
            if (cell && cell->selfTitle() == keyword)
                return cell;
        }
        return nullptr;
    };

    // With the field empty, and with a keyword typed but not sent: the cross only forgets its entry.
    for (const QString& typed : {QString(), QStringLiteral("xyz")}) {
        controller->searchBar()->setText(typed);
        const QString gone = presenter->historyModel()->index(1).data().toString();
        SearchHistoryCell* cell = cellOf(gone);
        ASSERT_NE(cell, nullptr) << gone.toStdString();
        QTest::mouseClick(cell->deleteButton(), Qt::LeftButton);
        ASSERT_TRUE(drainMainQueue());
        EXPECT_TRUE(alerts->shown.isEmpty()) << typed.toStdString();
        EXPECT_EQ(cellOf(gone), nullptr) << typed.toStdString();
        EXPECT_EQ(server.requestCount(), requests) << typed.toStdString();
        EXPECT_EQ(controller->searchBar()->text(), typed);
    }
    auto* header = qobject_cast<SearchHistoryHeader*>(controller->searchHistoryTV()->indexWidget(presenter->historyModel()->index(0)));
    ASSERT_NE(header, nullptr);
    controller->searchBar()->setFocus();
    QTest::mouseClick(header->clearButton(), Qt::LeftButton);
    ASSERT_TRUE(drainMainQueue());
    EXPECT_TRUE(alerts->shown.isEmpty());
    EXPECT_EQ(presenter->historyModel()->rowCount(), 1);
    EXPECT_EQ(server.requestCount(), requests);
}

TEST_F(SearchWindowTest, TheWholeNoResultMessageShows)
{
    for (const QString& keyword : {QString(20, QChar(0x4E2D)), QStringLiteral("abcdefghijklmnopqrst"), QStringLiteral("苹果手机")}) {
        server.route("GET", QStringLiteral("/xml/search/") + CommonFunction::EncrypteGB2312(keyword, kDesKeyRequest) + ".xml",
                     xml(searchPage({})));
        type(keyword);
        const QString message = QStringLiteral("没有搜索到与\"%1\"相匹配的数据").arg(keyword);
        ASSERT_TRUE(waitUntil([&] { return settled() && label() == message; })) << keyword.toStdString();
        UILabel* shown = controller->tiShiLabel();
        ASSERT_TRUE(waitUntil([&] { return shown->width() > 0; }));
        const QRect room = shown->contentsRect();
        const QFontMetrics metrics(shown->font());
        const QRect needed = metrics.boundingRect(QRect(0, 0, room.width(), 10000), Qt::AlignCenter | Qt::TextWordWrap, message);
        EXPECT_LE(needed.width(), room.width()) << keyword.toStdString();
        EXPECT_LE(needed.height(), room.height()) << keyword.toStdString();
        EXPECT_TRUE(controller->window()->rect().contains(shown->geometry())) << keyword.toStdString();
    }
}

// Markup in a keyword shows as written in the no-result message and in the history row.
TEST_F(SearchWindowTest, AKeywordWithMarkupShowsAsWritten)
{
    const QString keyword = QStringLiteral("<b>ab</b>");
    const auto asWritten = [](const QLabel* label) { return label->textFormat() == Qt::PlainText || !Qt::mightBeRichText(label->text()); };
    server.route("GET", QStringLiteral("/xml/search/") + CommonFunction::EncrypteGB2312(keyword, kDesKeyRequest) + ".xml", xml(searchPage({})));
    type(keyword);
    ASSERT_TRUE(waitUntil([&] { return settled() && label().contains(keyword); }));
    EXPECT_TRUE(asWritten(controller->tiShiLabel()));
    controller->window()->close();
    controller = openSearchWindow(column);
    auto* cell = qobject_cast<SearchHistoryCell*>(controller->searchHistoryTV()->indexWidget(presenter->historyModel()->index(1)));
    ASSERT_TRUE(cell && asWritten(cell->titleLabel()));
}
