// The deals column and the hot-comments channel, driven through the whole program against the
// stand-in: the left bar's deals item, a category, a deal page with its "大家还在买" rows and the
// back button; channel 153's rows opening their articles. Each test makes the state it needs.

#include "RoadFixture.h"

#include "RecordingUrlOpener.h"
#include "TestEnvironment.h"
#include "WebClick.h"
#include "app/views/LeftBarButton.h"
#include "app/views/LeftViewController.h"
#include "article/views/ArticleWebPage.h"
#include "article/views/RightViewController.h"
#include "comments/HotCommentListModel.h"
#include "comments/views/HotCommntTableViewController.h"
#include "deals/HotProductListModel.h"
#include "deals/views/HotProductScrollView.h"
#include "deals/views/HotProductWebView.h"
#include "newslist/views/CenterViewController.h"
#include "newslist/views/SlideView.h"
#include "ui/controls/CustomButton.h"
#include "ui/controls/ImageNamed.h"
#include "ui/imageview/ImageView.h"

#include <QApplication>
#include <QListView>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStackedWidget>
#include <QUrlQuery>

#include <cstdio>
#include <utility>

namespace road {
namespace {

const QString kDealsHost = QStringLiteral("api.zefup.tidwen.example");
const QString kDealPicturesHost = QStringLiteral("img.zefup.tidwen.example");
// The stand-in's deals are 51001 to 51030, in three categories by (id - 51001) % 3.
constexpr qint64 kFirstDeal = 51001;

// A real mouse click on the widget's middle.
void clickWidget(QWidget* widget)
{
    const QPoint at = widget->rect().center();
    QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

// The row's image view holds a picture from the network, not its placeholder.
bool showsPicture(QAbstractItemView* list, const QString& placeholder, int row = 0)
{
    QWidget* holder = list->indexWidget(list->model()->index(row, 0));
    ImageView* image = holder ? holder->findChild<ImageView*>() : nullptr;
    return image && !image->image().isNull() && image->image() != imageNamed(placeholder).toImage();
}

// The rows whose picture area the list shows, by whether their image view holds a picture from
// the network (not the placeholder): {loaded, visible}.
std::pair<int, int> visiblePictures(QAbstractItemView* list, const QString& placeholder, const QRect& pictureRect)
{
    const QImage stand = imageNamed(placeholder).toImage();
    int loaded = 0, visible = 0;
    for (int row = 0; row < list->model()->rowCount(); ++row) {
        // The slide row shows the top slides, not a thumbnail.
        if (list->model()->index(row, 0).data(HotProductListModel::SlideRowRole).toBool())
            continue;
        const QRect rowRect = list->visualRect(list->model()->index(row, 0));
        if (!list->viewport()->rect().intersects(pictureRect.translated(rowRect.topLeft())))
            continue;
        ++visible;
        QWidget* holder = list->indexWidget(list->model()->index(row, 0));
        ImageView* image = holder ? holder->findChild<ImageView*>() : nullptr;
        loaded += image && !image->image().isNull() && image->image() != stand ? 1 : 0;
    }
    return {loaded, visible};
}

// One program per process: the road of the news item (suite Road) counts on starting it fresh,
// and the web engine keeps the proxy of the first stand-in. When both suites are to run in one
// process (the whole binary run by hand), this one stands aside; ctest runs each test alone.
bool roadSuiteRunsHere()
{
    const ::testing::UnitTest* unit = ::testing::UnitTest::GetInstance();
    for (int i = 0; i < unit->total_test_suite_count(); ++i) {
        const ::testing::TestSuite* suite = unit->GetTestSuite(i);
        if (QLatin1String(suite->name()) == QLatin1String("Road") && suite->test_to_run_count() > 0)
            return true;
    }
    return false;
}

class RoadDeals : public Road
{
public:
    static void SetUpTestSuite()
    {
        s_standsAside = roadSuiteRunsHere();
        if (!s_standsAside)
            Road::SetUpTestSuite();
    }
    static void TearDownTestSuite()
    {
        if (!s_standsAside)
            Road::TearDownTestSuite();
    }

protected:
    void SetUp() override
    {
        if (s_standsAside)
            GTEST_SKIP() << "the suite Road runs in this process too: run these alone (--gtest_filter=RoadDeals.*), as ctest does";
        Road::SetUp();
    }

    static LeftViewController* leftBar()
    {
        QWidget* window = mainWindow();
        return window ? window->findChild<LeftViewController*>() : nullptr;
    }
    static HotProductScrollView* dealsView()
    {
        CenterViewController* column = listColumn();
        return column ? column->findChild<HotProductScrollView*>() : nullptr;
    }
    static HotProductWebView* dealPage()
    {
        RightViewController* pane = detailPane();
        return pane ? pane->findChild<HotProductWebView*>() : nullptr;
    }
    static QString dealText(const QString& script)
    {
        HotProductWebView* view = dealPage();
        return view ? runScript(view->page(), script).toString() : QString();
    }
    static QString dealTitle()
    {
        return dealText(QStringLiteral("(document.getElementById('title')||{}).textContent||''"));
    }
    static QString articleHeading()
    {
        RightViewController* pane = detailPane();
        if (!pane || !pane->webView())
            return {};
        return runScript(pane->webView()->page(), QStringLiteral("(function(){var h=document.querySelector('h1');return h?h.innerText:'';})()"))
            .toString();
    }
    static QString saveShot(const QString& name)
    {
        QImage picture;
        const QString path = saveScreenshot(mainWindow(), name, &picture);
        if (!path.isEmpty())
            std::printf("[road screenshot] %s\n", qPrintable(path));
        return path;
    }
    // Opens the deals column and waits for its first list.
    void openDealsColumn()
    {
        LeftViewController* bar = leftBar();
        ASSERT_NE(bar, nullptr) << "no left bar";
        clickWidget(bar->hotProductItem());
        ASSERT_TRUE(waitUntil([] { return dealsView() && dealsView()->isVisible(); }, 30000)) << "the deals column did not show";
        ASSERT_TRUE(waitUntil([] { return dealsView()->model()->deals().size() == 20; }, 30000))
            << dealsView()->model()->deals().size() << " deals shown";
    }

private:
    static bool s_standsAside;
};

bool RoadDeals::s_standsAside = false;

}  // namespace

TEST_F(RoadDeals, DealsColumnCategoryDealPageAlsoBuyingAndBack)
{
    openDealsColumn();
    HotProductScrollView* deals = dealsView();
    ASSERT_NE(deals, nullptr);
    EXPECT_FALSE(listColumn()->centerScrollV()->isVisible()) << "the news lists still show beside the deals";

    // The category bar holds the stored categories; the first list is the signed index list.
    QStringList names;
    for (QPushButton* button : deals->categoryButtons())
        names.append(button->text());
    EXPECT_EQ(names, (QStringList{QStringLiteral("全部"), QStringLiteral("爆品"), QStringLiteral("白菜价"), QStringLiteral("福利")}));
    EXPECT_TRUE(deals->categoryButtons().first()->isChecked());
    const auto index = waitForRequest(service(), QStringLiteral("GET"), kDealsHost,
                                      QStringLiteral("/api/apps/indexlistsegbyid\\?.*signature=[0-9A-F]{32}.*"));
    ASSERT_TRUE(index) << "no signed index list";
    EXPECT_NE(index->field(QStringLiteral("signature")), QStringLiteral("wrong"));
    // The whole list's first row is the focus-slide strip of the deals service's top slides.
    ASSERT_TRUE(waitForRequest(service(), QStringLiteral("GET"), kDealsHost, QStringLiteral("/api/apps/focus\\?.*signature=[0-9A-F]{32}.*")))
        << "no signed request of the top slides";
    ASSERT_TRUE(waitUntil([&] { return qobject_cast<SlideView*>(deals->slideStrip()) != nullptr; }, 30000))
        << "the first row holds no slide strip";
    EXPECT_EQ(qobject_cast<SlideView*>(deals->slideStrip())->SlideCount(), 4);
    EXPECT_EQ(deals->listView()->indexWidget(deals->model()->index(0, 0)), deals->slideStrip());
    EXPECT_EQ(deals->model()->data(deals->model()->index(deals->model()->rowOfDeal(0), 0), HotProductListModel::ProductIdRole).toString(),
              QString::number(kFirstDeal + 29));

    // The thumbnails come through the rows' image views.
    ASSERT_TRUE(waitForRequest(service(), QStringLiteral("GET"), kDealPicturesHost, QStringLiteral("/productpictures/.*")))
        << "no deal thumbnail was asked for";
    ASSERT_TRUE(waitUntil([&] { return showsPicture(deals->listView(), QStringLiteral("placeholder"), deals->model()->rowOfDeal(0)); }, 30000))
        << "the first row shows no thumbnail";
    // The picture is taken once every row on screen shows its thumbnail.
    std::pair<int, int> pictures;
    EXPECT_TRUE(waitUntil([&] {
        pictures = visiblePictures(deals->listView(), QStringLiteral("placeholder"), HotProductScrollView::kPictureRect);
        return pictures.second > 0 && pictures.first == pictures.second;
    }, 20000)) << pictures.first << " of the " << pictures.second << " thumbnails on screen loaded";
    const QString columnShot = saveShot(QStringLiteral("road-deals-column"));
    EXPECT_FALSE(columnShot.isEmpty());

    // A category: only its deals.
    const qint64 beforeCategory = lastSeq(service());
    clickWidget(deals->categoryButtons().at(2));
    const auto tag = waitForRequest(service(), QStringLiteral("GET"), kDealsHost, QStringLiteral("/api/apps/tag\\?.*"), beforeCategory);
    ASSERT_TRUE(tag) << "no category list request";
    EXPECT_EQ(QUrlQuery(tag->query()).queryItemValue(QStringLiteral("tag"), QUrl::FullyDecoded), QStringLiteral("白菜价"));
    EXPECT_TRUE(deals->categoryButtons().at(2)->isChecked());
    EXPECT_FALSE(deals->categoryButtons().first()->isChecked());
    ASSERT_TRUE(waitUntil([&] { return deals->model()->rowCount() == 10; }, 30000)) << deals->model()->rowCount() << " deals";
    for (int row = 0; row < deals->model()->rowCount(); ++row) {
        const qint64 id = deals->model()->data(deals->model()->index(row, 0), HotProductListModel::ProductIdRole).toLongLong();
        EXPECT_EQ((id - kFirstDeal) % 3, 1) << "deal " << id << " is not of the chosen category";
    }

    // A deal opens in the detail pane with its "大家还在买" rows.
    const QModelIndex first = deals->model()->index(0, 0);
    const QString firstName = first.data(HotProductListModel::NameRole).toString();
    const QString firstId = first.data(HotProductListModel::ProductIdRole).toString();
    clickIndex(deals->listView(), first);
    ASSERT_TRUE(waitUntil([] { return dealPage() && dealPage()->isVisible(); }, 30000)) << "the deal page did not show";
    RightViewController* pane = detailPane();
    EXPECT_EQ(pane->recordNewsAndHot().size(), 1) << "the deal did not start a new back history";
    EXPECT_FALSE(pane->toolBar()->backBtn->isVisible());
    EXPECT_TRUE(pane->webView()->isHidden());
    ASSERT_TRUE(waitUntil([&] { return dealTitle() == firstName; }, 30000)) << "the deal page shows \"" << qPrintable(dealTitle()) << "\"";
    ASSERT_TRUE(waitUntil([] { return dealText(QStringLiteral("String(document.querySelectorAll('#haizaimai li').length)")) == QStringLiteral("3"); }, 30000))
        << "no \"大家还在买\" rows on the deal page";
    EXPECT_TRUE(dealText(QStringLiteral("document.getElementById('haizaimai').innerText")).contains(QStringLiteral("大家还在买")));
    EXPECT_TRUE(first.data(HotProductListModel::ReadRole).toBool()) << "the opened deal is not marked read";
    EXPECT_TRUE(waitUntil([] {
        return dealText(QStringLiteral("String(Array.from(document.images).every(function(i){return i.complete&&i.naturalWidth>0;}))"))
            == QStringLiteral("true");
    }, 10000)) << "the deal page's pictures did not load";
    const QString pageShot = saveShot(QStringLiteral("road-deal-page"));
    EXPECT_FALSE(pageShot.isEmpty());

    // One of them: that deal opens.
    const QString script = QStringLiteral(
        "(function(){var rows=document.querySelectorAll('#haizaimai li');for(var i=0;i<rows.length;i++){"
        "var m=/clickDouZaiMai\\((\\d+)\\)/.exec(rows[i].getAttribute('onclick'));"
        "if(m&&m[1]!=='%1'){rows[i].setAttribute('id','chosen');return m[1]+'|'+rows[i].querySelector('a').textContent;}}return '';})()")
                               .arg(firstId);
    const QString chosen = dealText(script);
    ASSERT_TRUE(chosen.contains(QLatin1Char('|'))) << "no other deal among the rows";
    const QString chosenId = chosen.section(QLatin1Char('|'), 0, 0);
    const QString chosenName = chosen.section(QLatin1Char('|'), 1);
    const qint64 beforeChoice = lastSeq(service());
    dealText(QStringLiteral("document.getElementById('chosen').click(),''"));
    ASSERT_TRUE(waitUntil([&] { return dealTitle() == chosenName; }, 30000)) << "the deal page shows \"" << qPrintable(dealTitle()) << "\"";
    const auto detail = waitForRequest(service(), QStringLiteral("GET"), kDealsHost, QStringLiteral("/api/apps/detail\\?.*"), beforeChoice);
    ASSERT_TRUE(detail);
    EXPECT_EQ(QUrlQuery(detail->query()).queryItemValue(QStringLiteral("productid")), chosenId);
    EXPECT_TRUE(pane->toolBar()->backBtn->isVisible());

    // Its buy link goes to the browser, and the page stays.
    auto browser = std::make_shared<RecordingUrlOpener>();
    const std::shared_ptr<UrlOpener> previous = UrlOpener::shared();
    UrlOpener::install(browser);
    const auto restoreOpener = qScopeGuard([&] { UrlOpener::install(previous); });
    ASSERT_TRUE(clickElement(dealPage(), QStringLiteral("a.buy")));
    ASSERT_TRUE(waitUntil([&] { return !browser->urls.isEmpty(); }, 30000)) << "the buy link reached no browser";
    EXPECT_EQ(browser->urls.first(), QUrl(QStringLiteral("http://www.tidwen.example/deal/%1.htm").arg(chosenId)));
    EXPECT_EQ(dealTitle(), chosenName);

    // Back: the deal before it, and the one just left is not kept for another back.
    clickWidget(pane->toolBar()->backBtn);
    ASSERT_TRUE(waitUntil([&] { return dealTitle() == firstName; }, 30000)) << "back shows \"" << qPrintable(dealTitle()) << "\"";
    EXPECT_EQ(pane->recordNewsAndHot().size(), 1);
    EXPECT_FALSE(pane->toolBar()->backBtn->isVisible());
    EXPECT_TRUE(dealPage()->isVisible());

    // The news item brings the news lists back.
    clickWidget(leftBar()->newsItem());
    ASSERT_TRUE(waitUntil([] { return listColumn()->centerScrollV()->isVisible(); }));
    EXPECT_FALSE(deals->isVisible());
}

TEST_F(RoadDeals, HotCommentChannelShowsItsRowsAndOpensTheirArticles)
{
    CenterViewController* column = listColumn();
    ASSERT_NE(column, nullptr);
    ASSERT_NE(leftBar(), nullptr);
    clickWidget(leftBar()->newsItem());
    ASSERT_TRUE(waitUntil([&] { return column->centerScrollV()->isVisible(); })) << "the news lists do not show";
    CustomButton* tab = nullptr;
    for (CustomButton* button : column->tabButtons()) {
        if (button->text() == QStringLiteral("上热评"))
            tab = button;
    }
    ASSERT_NE(tab, nullptr) << "no tab \"上热评\"";
    clickWidget(tab);

    HotCommntTableViewController* list = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        list = column->findChild<HotCommntTableViewController*>();
        return list && list->isVisible();
    }, 10000)) << "channel 153 shows no hot-comment list";
    ASSERT_NE(column->currentHotTableV(), nullptr);
    EXPECT_EQ(column->currentTableV(), nullptr);
    ASSERT_TRUE(waitUntil([&] { return list->model()->rowCount() > 0; }, 30000)) << "no hot-comment rows";
    EXPECT_TRUE(waitForRequest(service(), QStringLiteral("GET"), QStringLiteral("api.tidwen.example"),
                               QStringLiteral("/api/comment/hotcommentlist.*")));
    ASSERT_TRUE(waitUntil([&] { return showsPicture(list->listView(), QStringLiteral("userLandPad_headImage_no")); }, 30000))
        << "the first row shows no avatar";
    const QString shot = saveShot(QStringLiteral("road-hot-comments"));
    EXPECT_FALSE(shot.isEmpty());

    // The refresh button asks again for the list on screen.
    const qint64 beforeRefresh = lastSeq(service());
    clickWidget(column->refreshButton());
    EXPECT_TRUE(waitForRequest(service(), QStringLiteral("GET"), QStringLiteral("api.tidwen.example"),
                               QStringLiteral("/api/comment/hotcommentlist.*"), beforeRefresh))
        << "the refresh button did not reload the hot-comment list";
    ASSERT_TRUE(waitUntil([&] { return list->model()->rowCount() > 0 && !list->model()->isLoading(); }, 30000));

    // A row opens its article.
    const QModelIndex row = list->model()->index(0, 0);
    const QString title = row.data(HotCommentListModel::NewsTitleRole).toString();
    const qint64 newsId = row.data(HotCommentListModel::NewsIdRole).toLongLong();
    ASSERT_GT(newsId, 0);
    clickIndex(list->listView(), row);
    RightViewController* pane = detailPane();
    ASSERT_TRUE(waitUntil([&] { return pane->feed() && pane->feed()->guid == QString::number(newsId); }, 30000))
        << "the pane did not take the row's article";
    ASSERT_TRUE(waitUntil([&] { return !title.isEmpty() && articleHeading() == title; }, 30000))
        << "the article page shows \"" << qPrintable(articleHeading()) << "\", not \"" << qPrintable(title) << "\"";
    EXPECT_TRUE(pane->webView()->isVisible());
}

}  // namespace road
