#include "AppTestSupport.h"
#include "LoopbackHttpServer.h"
#include "ProgramSeams.h"
#include "TestEnvironment.h"

#include "app/views/MainSplitViewController.h"
#include "app/views/MainViewController.h"
#include "app/views/MainWindowController.h"
#include "app/views/PaneFactory.h"
#include "app/wiring/ProgramWiring.h"
#include "article/views/ArticleSchemeHandler.h"
#include "article/views/ArticleWebPage.h"
#include "article/views/RightViewController.h"
#include "comments/HotCommentListModel.h"
#include "comments/views/HotCommntTableViewController.h"
#include "deals/HotProductListModel.h"
#include "deals/views/HotProductScrollView.h"
#include "deals/views/HotProductWebView.h"
#include "newslist/views/CenterTableView.h"
#include "newslist/views/ChannelListView.h"
#include "newslist/views/SlideView.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListView>
#include <QTest>
#include <QUrlQuery>

// The article page's scheme must exist before the application object, as main.cpp has it.
void tidwenBeforeApplication()
{
    ArticleSchemeHandler::registerScheme();
}

namespace {

// The program's detail pane beside an empty list column, into which the test puts the deals
// column as the list column would.
class DealsPanes : public PaneFactory
{
public:
    QWidget* makeCenterViewController(QWidget* parent) override
    {
        center = new QWidget(parent);
        return center;
    }
    QWidget* makeRightViewController(QWidget* parent) override { return new RightViewController(parent); }
    QPointer<QWidget> center;
};

}  // namespace

// The deals column opens a chosen deal through the program's wiring, by the pane's getter and
// the work that waits for the first screen: a deal chosen before the pane exists opens once it
// does, not never.
class DealBeforePaneTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        PushService::install(std::make_shared<FakePushService>(log));
        installProgramWiring(delegate);
        PaneFactory::install(panes);
        // Start-up's network neighbours are fakes; every server, the deals service too, is the loopback server.
        delegate.setRemoteConfigurationService(std::make_shared<FakeRemoteConfiguration>(log));
        delegate.setAutomaticLoginService(login);
        delegate.setURLCacheInstaller(std::make_shared<FakeURLCache>(log));
        delegate.setLaunchReporter(std::make_shared<FakeLaunchReporter>(log));
        delegate.setLocationLookup(std::make_shared<FakeLocation>(log));
        QStringList urls = builtInUrlTable();
        for (QString& address : urls) {
            QUrl url(address);
            if (url.host().isEmpty())
                continue;
            url.setScheme(QStringLiteral("http"));
            url.setHost(QStringLiteral("127.0.0.1"));
            url.setPort(deals.port());
            address = url.toString();
        }
        loadUrlTable(urls);
    }

    void TearDown() override
    {
        login->release.signal();
        waitUntil([] { return !gbLoginInProgress.load(); }, 30000);
        loadUrlTable(builtInUrlTable());
    }

    MainWindowController* window() { return dynamic_cast<MainWindowController*>(delegate.MainWindowController()); }
    RightViewController* madePane() { return window()->findChild<RightViewController*>(); }

    // The detail request of the deal reached the deals service.
    bool detailAskedFor(const QString& productId) const
    {
        for (const LoopbackRequest& request : deals.requests()) {
            if (request.path == QLatin1String("/api/apps/detail") &&
                QUrlQuery(request.query).queryItemValue(QStringLiteral("productid")) == productId)
                return true;
        }
        return false;
    }

    decltype(restoreProcessState()) restore = restoreProcessState();
    decltype(restoreProgramSeams()) uninstall = restoreProgramSeams();
    std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
    std::shared_ptr<FakeAutomaticLogin> login = std::make_shared<FakeAutomaticLogin>(log);
    std::shared_ptr<DealsPanes> panes = std::make_shared<DealsPanes>();
    LoopbackHttpServer deals;
    AppDelegate delegate;
    // Inside the window's list column, which owns it.
    QPointer<QWidget> column;
};

TEST_F(DealBeforePaneTest, ADealChosenBeforeThePaneExistsOpensOnceItDoes)
{
    delegate.applicationDidFinishLaunching();
    ASSERT_NE(window(), nullptr);
    ASSERT_TRUE(panes->center);
    DealsColumnView* dealsColumn = ListColumnNeighbours::dealsViewMaker()(panes->center);
    ASSERT_NE(dealsColumn, nullptr);
    column = dealsColumn->dealsWidget();
    HotProductScrollView* dealsView = column->findChild<HotProductScrollView*>();
    ASSERT_NE(dealsView, nullptr);

    ASSERT_EQ(madePane(), nullptr) << "the detail pane was made before the first screen";
    emit dealsView->dealChosen(QStringLiteral("51001"));
    EXPECT_EQ(madePane(), nullptr) << "the deal made the pane before the first screen";

    // The first list is on screen: the pane is made, and the deal opens in it.
    delegate.firstScreenShown();
    RightViewController* pane = madePane();
    ASSERT_NE(pane, nullptr);
    ASSERT_EQ(pane->recordNewsAndHot().size(), 1) << "the deal chosen before the pane existed did not open";
    EXPECT_EQ(pane->recordNewsAndHot().first().kind, QStringLiteral("hot"));
    EXPECT_EQ(pane->recordNewsAndHot().first().dealId, QStringLiteral("51001"));
    HotProductWebView* dealPage = pane->findChild<HotProductWebView*>();
    ASSERT_NE(dealPage, nullptr);
    EXPECT_FALSE(dealPage->isHidden());
    EXPECT_TRUE(pane->webView()->isHidden());
    EXPECT_TRUE(waitUntil([&] { return detailAskedFor(QStringLiteral("51001")); }, 30000));

    // Once the pane exists a deal opens at once, starting the history again.
    emit dealsView->dealChosen(QStringLiteral("51002"));
    ASSERT_EQ(pane->recordNewsAndHot().size(), 1);
    EXPECT_EQ(pane->recordNewsAndHot().first().dealId, QStringLiteral("51002"));
    EXPECT_TRUE(waitUntil([&] { return detailAskedFor(QStringLiteral("51002")); }, 30000));
}

// A push notification's article that comes before the detail pane exists goes through the
// program's push targets and the work that waits for the first screen: it opens once the pane
// does, not never.
TEST_F(DealBeforePaneTest, APushedArticleBeforeThePaneExistsOpensOnceItDoes)
{
    delegate.applicationDidFinishLaunching();
    ASSERT_NE(window(), nullptr);
    ASSERT_EQ(madePane(), nullptr) << "the detail pane was made before the first screen";

    delegate.pushPayloadRouter()->route({{QStringLiteral("newsid"), QStringLiteral("123")}});
    EXPECT_EQ(madePane(), nullptr) << "the push made the pane before the first screen";

    delegate.firstScreenShown();
    RightViewController* pane = madePane();
    ASSERT_NE(pane, nullptr);
    ASSERT_EQ(pane->recordNewsAndHot().size(), 1) << "the article pushed before the pane existed did not open";
    EXPECT_EQ(pane->recordNewsAndHot().first().kind, QStringLiteral("news"));
    EXPECT_EQ(pane->feed() ? pane->feed()->guid : QString(), QStringLiteral("123"));
    EXPECT_TRUE(waitUntil([&] {
        for (const LoopbackRequest& request : deals.requests()) {
            // A pushed item has no date: its document is the feed's.
            if (request.method == "HEAD" && request.path.endsWith(QLatin1String("/123.xml")))
                return true;
        }
        return false;
    }, 30000)) << "the article's document was not asked for";
}

// Through the program's wiring, the deals column's first row is the focus-slide strip filled from
// the deals service's slide feed, and a click on a deal slide opens that deal in the pane.
TEST_F(DealBeforePaneTest, TheDealsColumnsFirstRowIsTheSlideStripAndADealSlideOpensItsDeal)
{
    const auto reply = [](const QJsonArray& content) {
        return LoopbackReply::text(200, QJsonDocument(QJsonObject{{QStringLiteral("success"), 1}, {QStringLiteral("content"), content}}).toJson(),
                                   "application/json");
    };
    const auto slide = [](qint64 id) {
        return QJsonObject{{QStringLiteral("Title"), QStringLiteral("焦点%1").arg(id)}, {QStringLiteral("Picture"), QStringLiteral("/focus/%1.jpg").arg(id)},
                           {QStringLiteral("Url"), QStringLiteral("http://www.tidwen.example/deal/%1.htm").arg(id)},
                           {QStringLiteral("productid"), id}, {QStringLiteral("newsid"), 0}};
    };
    deals.route("GET", QStringLiteral("/api/apps/focus"), reply({slide(51007), slide(51008)}));
    deals.route("GET", QStringLiteral("/api/apps/indexlistsegbyid"),
                reply({QJsonObject{{QStringLiteral("productid"), 51001}, {QStringLiteral("ProductName"), QStringLiteral("甲")}},
                       QJsonObject{{QStringLiteral("productid"), 51008}, {QStringLiteral("ProductName"), QStringLiteral("乙")}}}));
    delegate.applicationDidFinishLaunching();
    delegate.firstScreenShown();
    ASSERT_TRUE(panes->center);
    DealsColumnView* dealsColumn = ListColumnNeighbours::dealsViewMaker()(panes->center);
    column = dealsColumn->dealsWidget();
    column->resize(300, 600);
    HotProductScrollView* dealsView = column->findChild<HotProductScrollView*>();
    ASSERT_NE(dealsView, nullptr);
    dealsColumn->showLastSelectedIndex();
    ASSERT_TRUE(waitUntil([&] { return qobject_cast<SlideView*>(dealsView->slideStrip()) != nullptr; }, 30000))
        << "the first row holds no slide strip";
    auto* strip = qobject_cast<SlideView*>(dealsView->slideStrip());
    EXPECT_EQ(strip->SlideCount(), 2);
    EXPECT_EQ(strip->titleText(), QStringLiteral("焦点51007"));
    EXPECT_EQ(dealsView->listView()->indexWidget(dealsView->model()->index(0)), strip);

    QTest::keyClick(dealsView->listView(), Qt::Key_Down);  // a listed deal open, then a slide's deal not listed
    QItemSelectionModel* marks = dealsView->listView()->selectionModel();
    QTest::mouseClick(strip->viewport(), Qt::LeftButton, {}, QPoint(150, 100));
    EXPECT_TRUE(marks->selectedRows().isEmpty()) << "a deal not listed opened and another stays marked";
    RightViewController* pane = madePane();
    ASSERT_NE(pane, nullptr);
    HotProductWebView* dealPage = pane->findChild<HotProductWebView*>();
    ASSERT_NE(dealPage, nullptr);
    EXPECT_FALSE(dealPage->isHidden()) << "the deal slide opened no deal page";
    EXPECT_TRUE(waitUntil([&] { return detailAskedFor(QStringLiteral("51007")); }, 30000)) << "the deal slide opened no deal";
    strip->rightSlide();
    QTest::mouseClick(strip->viewport(), Qt::LeftButton, {}, QPoint(150, 100));
    EXPECT_EQ(marks->selectedRows(), QModelIndexList{dealsView->model()->index(2)}) << "a listed deal opened unmarked";
}

// The hot-comment list marks its row only while the pane shows its article, not another or a deal.
TEST_F(DealBeforePaneTest, TheHotCommentListMarksOnlyTheArticleThePaneShows)
{
    delegate.applicationDidFinishLaunching();
    delegate.firstScreenShown();
    NewsListData channel;
    channel.iListID = 153;
    column = ListColumnNeighbours::hotCommentListMaker()(channel, panes->center)->listWidget();
    auto* hot = column->findChild<HotCommntTableViewController*>();
    hot->model()->setComments({std::make_shared<CommentFeed>(CommentFeed{.newsId = 101, .commentId = 1}),
                               std::make_shared<CommentFeed>(CommentFeed{.newsId = 102, .commentId = 2})});
    channel.iListID = 103;
    auto* news = new CenterTableView(channel, panes->center);
    news->tableModel()->setListEntries({std::make_shared<Feed>(Feed{.guid = QStringLiteral("30")}),
                                        std::make_shared<Feed>(Feed{.guid = QStringLiteral("29")})});
    RightViewController* pane = madePane();
    for (const bool deal : {false, true}) {
        news->tableModel()->tableViewSelectionDidChange(1);
        QTest::keyClick(hot->listView(), Qt::Key_End);
        deal ? pane->showDealByClick(QStringLiteral("51001"), true) : pane->show(std::make_shared<Feed>(Feed{.guid = QStringLiteral("777")}));
        QTest::keyClick(hot->listView(), Qt::Key_Down);
        EXPECT_EQ(pane->feed()->guid, QStringLiteral("101")) << (deal ? "a deal" : "an article") << " opened";
        QTest::keyClick(news, Qt::Key_Down);
        EXPECT_EQ(pane->feed()->guid, QStringLiteral("30")) << "the news list kept its mark after " << (deal ? "a deal" : "an article");
    }
}
