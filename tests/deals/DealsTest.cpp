#include "../comments/CommentsTestSupport.h"
#include "RecordingUrlOpener.h"
#include "PictureBytes.h"
#include "WebClick.h"
#include "WebViewTaming.h"

#include "database/ServerUrls.h"
#include "deals/DealPageBlocks.h"
#include "deals/DealPageLoader.h"
#include "deals/DealsApi.h"
#include "deals/HotProductListModel.h"
#include "deals/views/HotProductScrollView.h"
#include "deals/views/HotProductWebView.h"
#include "foundation/CommonFunction.h"
#include "platform/Clock.h"
#include "ui/controls/LoadStateOverlay.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QListView>
#include <QScrollBar>
#include <QWheelEvent>
#include <QFile>
#include <QPushButton>
#include <QScopeGuard>
#include <QUrlQuery>
#include <QWebChannel>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

namespace {

QJsonObject dealObject(qint64 id, const QString& name, const QString& promotion = QStringLiteral("满减"))
{
    return QJsonObject{{QStringLiteral("productid"), id},
                       {QStringLiteral("ProductName"), name},
                       {QStringLiteral("CreateTime"), QStringLiteral("2026-12-07T08:30:00")},
                       {QStringLiteral("OriginStoreName"), QStringLiteral("商城")},
                       {QStringLiteral("Picture"), QStringLiteral("/2026/12/%1.jpg").arg(id)},
                       {QStringLiteral("PromotionInfo"), promotion}};
}

QByteArray detailReply(qint64 id, const QString& name, const QString& detail)
{
    QJsonObject object = dealObject(id, name);
    object.insert(QStringLiteral("Detail"), detail);
    object.insert(QStringLiteral("BuyUrl"), QStringLiteral("http://www.tidwen.example/deal/%1.htm").arg(id));
    object.insert(QStringLiteral("ShareUrl"), QStringLiteral("http://www.tidwen.example/deal/%1.htm").arg(id));
    return QJsonDocument(QJsonObject{{QStringLiteral("success"), 1}, {QStringLiteral("content"), object}}).toJson();
}

QByteArray listReply(const QJsonArray& items)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("success"), 1}, {QStringLiteral("content"), items}}).toJson();
}


class FakeBlocks : public DealPageBlocks
{
public:
    QString GetNewsPageHaiZaiMaiBody(const QVariantList& items, const QString& newsId) override
    {
        given = items.size();
        return newsId + QStringLiteral("<div class=\"also\">大家还在买%1</div>").arg(items.size());
    }
    qsizetype given = -1;
};

}  // namespace

TEST(DealsApi, ListAndDetailRepliesBecomeDeals)
{
    const auto deals = DealsApi::parseList(listReply(QJsonArray{dealObject(9, QStringLiteral("甲")), QJsonValue(3),
                                                                dealObject(0, QStringLiteral("零")),
                                                                QJsonObject{{QStringLiteral("productid"), QStringLiteral("8")}},
                                                                dealObject(7, QStringLiteral("乙"))}));
    ASSERT_TRUE(deals);
    ASSERT_EQ(deals->size(), 2);
    EXPECT_EQ(deals->at(0).model->pro_productid, QStringLiteral("9"));
    EXPECT_EQ(deals->at(0).model->pro_createTime, QStringLiteral("2026-12-07 08:30:00"));
    EXPECT_EQ(deals->at(1).storeName, QStringLiteral("商城"));

    for (const QByteArray& bad : {QByteArray("{\"success\":0,\"content\":[]}"), QByteArray("[]"), QByteArray("{"),
                                  QByteArray("{\"success\":1,\"content\":{}}")})
        EXPECT_FALSE(DealsApi::parseList(bad)) << bad.toStdString();
    EXPECT_TRUE(DealsApi::parseList("{\"success\":true,\"content\":[]}"));

    const auto detail = DealsApi::parseDetail(detailReply(12, QStringLiteral("丙"), QStringLiteral("<p>好</p>")));
    ASSERT_TRUE(detail);
    EXPECT_EQ(detail->model->pro_buyUrl, QStringLiteral("http://www.tidwen.example/deal/12.htm"));
    EXPECT_FALSE(DealsApi::parseDetail(listReply({})));
}

TEST(DealsApi, RequestsAreSignedWithTheirTimestamp)
{
    Clock::setNow(QDateTime::fromSecsSinceEpoch(1765000000));
    const QVariantMap list = DealsApi::listParameters(0, QStringLiteral("爆品"));
    EXPECT_EQ(list.value(QStringLiteral("productid")).toLongLong(), 0);
    EXPECT_EQ(list.value(QStringLiteral("count")).toInt(), 20);
    EXPECT_EQ(list.value(QStringLiteral("platform")).toString(), QStringLiteral("mac"));
    EXPECT_EQ(list.value(QStringLiteral("tag")).toString(), QStringLiteral("爆品"));
    EXPECT_EQ(list.value(QStringLiteral("timestamp")).toLongLong(), 1765000000);
    EXPECT_EQ(list.value(QStringLiteral("signature")).toString(), CommonFunction::getHotProductSignature(1765000000));
    EXPECT_FALSE(DealsApi::listParameters(5).contains(QStringLiteral("tag")));
    const QVariantMap detail = DealsApi::detailParameters(QStringLiteral("42"));
    EXPECT_EQ(detail.keys(), (QStringList{QStringLiteral("productid"), QStringLiteral("signature"), QStringLiteral("timestamp")}));
    Clock::reset();
}

TEST(DealsApi, PagesEscapeTheServiceTextsAndIdsAreDigitsOnly)
{
    DealItem deal;
    deal.model->pro_productName = QStringLiteral("<script>alert(1)</script>");
    deal.model->pro_detail = QStringLiteral("<p>第一 &amp; 二</p><script>evil()</script><img src=x onerror=y><p>&lt;b&gt;</p>");
    deal.model->pro_buyUrl = QStringLiteral("javascript:alert(2)");
    deal.storeName = QStringLiteral("\"><i>");
    const QString html = DealsApi::detailPageHtml(deal, QString(), 1);
    EXPECT_FALSE(html.contains(QStringLiteral("<script>alert")));
    EXPECT_FALSE(html.contains(QStringLiteral("evil")));
    EXPECT_FALSE(html.contains(QStringLiteral("onerror")));
    EXPECT_FALSE(html.contains(QStringLiteral("javascript:")));
    EXPECT_FALSE(html.contains(QStringLiteral("\"><i>")));
    EXPECT_TRUE(html.contains(QStringLiteral("第一 &amp; 二<br>&lt;b&gt;")));

    EXPECT_TRUE(DealsApi::detailCachePath(QStringLiteral("123")).endsWith(QStringLiteral("tmp/tidwenhotproductdetailpath/123.json")));
    for (const char* bad : {"", "1/2", "..", "12a", "-1", " 1"})
        EXPECT_TRUE(DealsApi::detailCachePath(QString::fromLatin1(bad)).isEmpty()) << bad;
}

// The deal page's text takes the article's family, then the sans face, never the engine's serif default.
TEST(DealsApi, ThePageFontFallsBackToSans)
{
    QWebEngineView view;
    view.setHtml(DealsApi::emptyPageHtml(0));
    const QString families = QStringLiteral("getComputedStyle(document.body).fontFamily.replace(/[\"']/g,'')");
    ASSERT_TRUE(waitUntil([&] { return evaluate(view, QStringLiteral("typeof SetFontFamily")).toString() == "function"; }, 30000));
    EXPECT_EQ(evaluate(view, families + "+' / '+(SetFontFamily('PingFangSC-Light')," + families + ")").toString().toStdString(),
              "PingFangSC-Regular, sans-serif / PingFangSC-Light, sans-serif");
}

class DealsRequests : public LoopbackStoreTest
{
protected:
    void SetUp() override
    {
        LoopbackStoreTest::SetUp();
        pointUrls({{36, m_server.url(QStringLiteral("/api/apps/indexlistsegbyid")).toString()},
                   {37, m_server.url(QStringLiteral("/api/apps/focus")).toString()},
                   {38, m_server.url(QStringLiteral("/api/apps/tag")).toString()},
                   {39, m_server.url(QStringLiteral("/api/apps/detail")).toString()},
                   {54, m_server.url(QStringLiteral("/api/apps/douzaimai")).toString()}});
    }
    QUrlQuery lastQuery(const QString& path)
    {
        QUrlQuery query;
        for (const LoopbackRequest& r : m_server.requests()) {
            if (r.path == path)
                query = QUrlQuery(r.query);
        }
        return query;
    }
    LoopbackHttpServer m_server;
};

// The whole list's first row holds the channel's top slides from the deals service's slide feed;
// the deals follow it. The other categories have no slide row.
TEST_F(DealsRequests, TheWholeListsFirstRowIsTheTopSlides)
{
    const QJsonArray focus{
        QJsonObject{{QStringLiteral("Title"), QStringLiteral("头条")}, {QStringLiteral("Picture"), QStringLiteral("/focus/1.jpg")},
                    {QStringLiteral("Url"), QStringLiteral("http://www.tidwen.example/deal/77.htm")},
                    {QStringLiteral("productid"), 77}, {QStringLiteral("newsid"), 0}},
        QJsonObject{{QStringLiteral("Title"), QStringLiteral("文章")}, {QStringLiteral("Picture"), QStringLiteral("https://img.example/2.jpg")},
                    {QStringLiteral("Url"), QString()}, {QStringLiteral("productid"), 0}, {QStringLiteral("newsid"), QStringLiteral("123456")}},
        QJsonObject{{QStringLiteral("Title"), QStringLiteral("无图")}, {QStringLiteral("productid"), 78}},
    };
    m_server.route("GET", QStringLiteral("/api/apps/focus"), LoopbackReply::text(200, listReply(focus)));
    m_server.route("GET", QStringLiteral("/api/apps/indexlistsegbyid"),
                   LoopbackReply::text(200, listReply({dealObject(5, QStringLiteral("甲")), dealObject(4, QStringLiteral("乙"))})));
    m_server.route("GET", QStringLiteral("/api/apps/tag"), LoopbackReply::text(200, listReply({dealObject(6, QStringLiteral("丙"))})));
    std::unique_ptr<HotProductScrollView> view(HotProductScrollView::init());
    QList<QList<slideDataPtr>> strips;
    view->setSlideStripMaker([&strips](const QList<slideDataPtr>& slides) {
        strips.append(slides);
        return new QWidget;
    });
    view->resize(300, 600);
    view->show();
    HotProductListModel* model = view->model();
    view->categoryButtons().at(0)->click();
    ASSERT_TRUE(waitUntil([&] { return !model->isLoading() && model->hasSlideRow() && view->slideStrip(); }))
        << "no slide row";
    ASSERT_EQ(model->rowCount(), 3);
    EXPECT_TRUE(model->index(0).data(HotProductListModel::SlideRowRole).toBool());
    EXPECT_EQ(view->listView()->indexWidget(model->index(0)), view->slideStrip());
    EXPECT_EQ(view->listView()->visualRect(model->index(0)).height(), HotProductScrollView::kSlideRowHeight);
    EXPECT_EQ(model->index(model->rowOfDeal(0)).data(HotProductListModel::ProductIdRole).toString(), QStringLiteral("5"));
    const QUrlQuery query = lastQuery(QStringLiteral("/api/apps/focus"));
    EXPECT_EQ(query.queryItemValue(QStringLiteral("signature")),
              CommonFunction::getHotProductSignature(query.queryItemValue(QStringLiteral("timestamp")).toDouble()));

    ASSERT_FALSE(strips.isEmpty());
    const QList<slideDataPtr> slides = strips.last();
    ASSERT_EQ(slides.size(), 2) << "a slide without a picture is left out";
    EXPECT_EQ(slides[0]->slideTitle, QStringLiteral("头条"));
    EXPECT_EQ(slides[0]->slideImageUrl, kUrlProductPictures + QStringLiteral("/focus/1.jpg"));
    EXPECT_EQ(slides[0]->slideLinkUrl, QStringLiteral("http://www.tidwen.example/deal/77.htm"));
    EXPECT_EQ(slides[0]->slideProductid, QStringLiteral("77"));
    EXPECT_TRUE(slides[0]->slideNewsid.isNull());
    EXPECT_EQ(slides[1]->slideImageUrl, QStringLiteral("https://img.example/2.jpg"));
    EXPECT_TRUE(slides[1]->slideProductid.isNull());
    EXPECT_EQ(slides[1]->slideNewsid, QStringLiteral("123456"));

    // A deal row opened is the deal's, past the slide row.
    model->markRead(model->rowOfDeal(1));
    EXPECT_TRUE(model->deals().at(1).model->isHaveRead);
    EXPECT_FALSE(model->deals().at(0).model->isHaveRead);

    view->categoryButtons().at(1)->click();
    ASSERT_TRUE(waitUntil([&] { return !model->isLoading() && model->rowCount() == 1; }));
    EXPECT_FALSE(model->hasSlideRow());
    EXPECT_FALSE(view->slideStrip());
}

// The deals list takes the news list's keys: Up and Down open the next deal as a click does,
// passing over the slide row; Return opens the selected deal again. The open deal is marked by
// day and by night, and a click on a category leaves the keys in the list.
TEST_F(DealsRequests, KeysMoveAndOpenTheDealsAsClicksDo)
{
    m_server.route("GET", QStringLiteral("/api/apps/focus"),
                   LoopbackReply::text(200, listReply({QJsonObject{{QStringLiteral("Picture"), QStringLiteral("/f.jpg")},
                                                                   {QStringLiteral("productid"), 9}}})));
    m_server.route("GET", QStringLiteral("/api/apps/indexlistsegbyid"),
                   LoopbackReply::text(200, listReply({dealObject(5, QStringLiteral("甲")), dealObject(4, QStringLiteral("乙"))})));
    std::unique_ptr<HotProductScrollView> view(HotProductScrollView::init());
    view->setSlideStripMaker([](const QList<slideDataPtr>&) { return new QWidget; });
    view->resize(300, 600);
    view->show();
    QStringList chosen;
    QObject::connect(view.get(), &HotProductScrollView::dealChosen, [&chosen](const QString& id) { chosen.append(id); });
    view->categoryButtons().at(0)->click();
    ASSERT_TRUE(waitUntil([&] { return !view->model()->isLoading() && view->model()->rowCount() == 3; })) << "the slide row and two deals";
    const auto press = [&](Qt::Key key) {
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(view->listView(), &down);
        QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(view->listView(), &up);
    };
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    press(Qt::Key_Up);
    press(Qt::Key_Up);  // the slide row above takes no selection
    press(Qt::Key_Return);
    EXPECT_EQ(chosen, (QStringList{QStringLiteral("5"), QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("5")}));
    EXPECT_EQ(view->listView()->currentIndex().row(), 1);
    EXPECT_TRUE(view->model()->deals().at(1).model->isHaveRead) << "a deal opened by its key reads as read";
    EXPECT_GE(openRowContrast(view->listView(), 1, 2), 19);
    EXPECT_FALSE(view->categoryButtons().at(1)->focusPolicy() & Qt::ClickFocus);
    for (const int away : {0, 1}) {  // after 刷新, and 爆品 and back, the keys go on from the open deal
        view->categoryButtons().at(away)->click();
        view->categoryButtons().at(0)->click();
        ASSERT_TRUE(waitUntil([&] { return !view->model()->isLoading(); }));
        press(Qt::Key_Down);
        press(Qt::Key_Up);
        EXPECT_EQ(chosen.mid(chosen.size() - 2), (QStringList{QStringLiteral("4"), QStringLiteral("5")})) << away;
    }
}

TEST_F(DealsRequests, CategoriesAskTheIndexListFirstThenTheTaggedList)
{
    m_server.route("GET", QStringLiteral("/api/apps/indexlistsegbyid"), LoopbackReply::text(200, listReply({dealObject(5, QStringLiteral("全"))})));
    m_server.route("GET", QStringLiteral("/api/apps/tag"), LoopbackReply::text(200, listReply({dealObject(6, QStringLiteral("爆")), dealObject(4, QStringLiteral("品"))})));
    HotProductScrollView* view = HotProductScrollView::init();
    ASSERT_EQ(view->categoryButtons().size(), 4);  // the store's built-in names
    EXPECT_EQ(view->categoryButtons().at(0)->text(), QStringLiteral("全部"));
    int loads = 0;
    QObject::connect(view->model(), &HotProductListModel::loadFinished, view, [&](bool) { ++loads; });

    view->categoryButtons().at(1)->click();
    ASSERT_TRUE(waitUntil([&] { return loads == 1; }));
    EXPECT_EQ(view->model()->rowCount(), 2);
    const QUrlQuery tagged = lastQuery(QStringLiteral("/api/apps/tag"));
    EXPECT_EQ(tagged.queryItemValue(QStringLiteral("tag"), QUrl::FullyDecoded), view->categoryButtons().at(1)->text());
    EXPECT_EQ(tagged.queryItemValue(QStringLiteral("productid")), QStringLiteral("0"));
    EXPECT_EQ(tagged.queryItemValue(QStringLiteral("count")), QStringLiteral("20"));
    EXPECT_EQ(tagged.queryItemValue(QStringLiteral("platform")), QStringLiteral("mac"));
    EXPECT_EQ(tagged.queryItemValue(QStringLiteral("signature")),
              CommonFunction::getHotProductSignature(tagged.queryItemValue(QStringLiteral("timestamp")).toDouble()));

    // An opened deal reads as read from then on.
    view->model()->markRead(1);
    EXPECT_TRUE(view->model()->data(view->model()->index(1), HotProductListModel::ReadRole).toBool());
    view->categoryButtons().at(1)->click();
    ASSERT_TRUE(waitUntil([&] { return loads == 2; }));
    EXPECT_FALSE(view->model()->data(view->model()->index(0), HotProductListModel::ReadRole).toBool());
    EXPECT_TRUE(view->model()->data(view->model()->index(1), HotProductListModel::ReadRole).toBool());

    view->categoryButtons().at(0)->click();
    ASSERT_TRUE(waitUntil([&] { return loads == 3; }));
    EXPECT_EQ(view->model()->rowCount(), 1);
    EXPECT_FALSE(lastQuery(QStringLiteral("/api/apps/indexlistsegbyid")).hasQueryItem(QStringLiteral("tag")));

    // The remembered category again: the first.
    view->showLastSelectedIndex();
    ASSERT_TRUE(waitUntil([&] { return loads == 4; }));
    EXPECT_TRUE(view->categoryButtons().at(0)->isChecked());
    EXPECT_FALSE(view->categoryButtons().at(1)->isChecked());
    delete view;
}

TEST_F(DealsRequests, TheCachedDetailShowsBeforeASlowReplyThenTheNewOne)
{
    auto blocks = std::make_shared<FakeBlocks>();
    DealPageBlocks::install(blocks);
    m_server.route("GET", QStringLiteral("/api/apps/douzaimai"),
                   LoopbackReply::text(200, listReply({dealObject(1, QStringLiteral("a")), dealObject(2, QStringLiteral("b"))})));
    // A first visit caches the detail.
    m_server.route("GET", QStringLiteral("/api/apps/detail"), LoopbackReply::text(200, detailReply(77, QStringLiteral("旧的"), QStringLiteral("<p>旧</p>"))));
    HotProductWebView view;
    view.resize(600, 500);
    view.QWebEngineView::show();
    int finished = 0;
    QObject::connect(view.loader(), &DealPageLoader::detailFinished, &view, [&](bool) { ++finished; });
    view.show(QStringLiteral("77"), true);
    ASSERT_TRUE(waitUntil([&] { return finished == 1; }));
    ASSERT_TRUE(QFile::exists(DealsApi::detailCachePath(QStringLiteral("77"))));

    LoopbackReply slow = LoopbackReply::text(200, detailReply(77, QStringLiteral("新的<script>x()</script>"), QStringLiteral("<p>新</p>")));
    // Long enough that the kept copy shows first also on a slow machine.
    slow.delayMs = 8000;
    m_server.route("GET", QStringLiteral("/api/apps/detail"), slow);
    QElapsedTimer clock;
    clock.start();
    view.show(QStringLiteral("77"), true);
    auto title = [&] { return evaluate(view, QStringLiteral("(document.getElementById('title')||{}).textContent||''")).toString(); };
    ASSERT_TRUE(waitUntil([&] { return title() == QStringLiteral("旧的"); }, 7500)) << "the kept copy before the slow reply";
    EXPECT_LT(clock.elapsed(), 8000);
    EXPECT_EQ(finished, 1);
    ASSERT_TRUE(waitUntil([&] { return title() == QStringLiteral("新的<script>x()</script>"); }, 30000));
    EXPECT_GE(clock.elapsed(), 7800);  // the server's timer may fire a little early
    EXPECT_EQ(evaluate(view, QStringLiteral("document.querySelectorAll('#title script').length")).toInt(), 0);
    EXPECT_EQ(evaluate(view, QStringLiteral("(document.querySelector('.also')||{}).textContent||''")).toString(),
              QStringLiteral("大家还在买2"));
    EXPECT_EQ(blocks->given, 2);
    EXPECT_EQ(view.recordHot(), (QStringList{QStringLiteral("77"), QStringLiteral("77")}));
    EXPECT_EQ(view.productModel()->pro_shareUrl, QStringLiteral("http://www.tidwen.example/deal/77.htm"));
    DealPageBlocks::install(nullptr);
}

TEST_F(DealsRequests, ABadIdOrABrokenReplyKeepsWhatIsShown)
{
    m_server.route("GET", QStringLiteral("/api/apps/detail"), LoopbackReply::text(200, "{\"success\":0}"));
    DealPageLoader loader;
    QList<bool> results;
    QObject::connect(&loader, &DealPageLoader::detailFinished, &loader, [&](bool ok) { results.append(ok); });
    loader.show(QStringLiteral("../9"), false);
    EXPECT_EQ(results, QList<bool>{false});
    EXPECT_EQ(m_server.requestCount(), 0);
    EXPECT_TRUE(loader.recordHot().isEmpty());

    loader.show(QStringLiteral("9"), false);
    ASSERT_TRUE(waitUntil([&] { return results.size() == 2; }));
    EXPECT_FALSE(results.last());
    EXPECT_FALSE(QFile::exists(DealsApi::detailCachePath(QStringLiteral("9"))));
    EXPECT_EQ(loader.productModel()->pro_productid, QStringLiteral("9"));
    EXPECT_TRUE(loader.productModel()->pro_productName.isEmpty());
}

namespace {

// "大家还在买" rows as the article folder's builder makes them: each calls the page bridge.
class RowBlocks : public DealPageBlocks
{
public:
    QString GetNewsPageHaiZaiMaiBody(const QVariantList& items, const QString& newsId) override
    {
        QString rows;
        for (const QVariant& item : items) {
            const QString id = item.toMap().value(QStringLiteral("productid")).toString();
            rows += QStringLiteral("<li id=\"row%1\" onclick=\"window.external.clickDouZaiMai(%1);\">%1</li>").arg(id);
        }
        return newsId + QStringLiteral("<ul>%1</ul>").arg(rows);
    }
};

}  // namespace

// The deal page's bridge: its one name, answered only while the view shows the deal page; its
// "去购买" link (a new window) and any link clicked leave for the browser, web addresses only.
TEST_F(DealsRequests, TheDealPageAnswersItsRowsOnlyOnItselfAndSendsLinksToTheBrowser)
{
    DealPageBlocks::install(std::make_shared<RowBlocks>());
    auto browser = std::make_shared<RecordingUrlOpener>();
    const std::shared_ptr<UrlOpener> previous = UrlOpener::shared();
    UrlOpener::install(browser);
    const auto restore = qScopeGuard([&] {
        UrlOpener::install(previous);
        DealPageBlocks::install(nullptr);
    });
    m_server.route("GET", QStringLiteral("/api/apps/douzaimai"),
                   LoopbackReply::text(200, listReply({dealObject(1234567, QStringLiteral("a")), dealObject(88, QStringLiteral("b"))})));
    m_server.route("GET", QStringLiteral("/api/apps/detail"),
                   LoopbackReply::text(200, detailReply(77, QStringLiteral("耳机"),
                                                        QStringLiteral("<p>好</p>"))));
    HotProductWebView view;
    view.resize(600, 500);
    view.QWebEngineView::show();
    SignalLog chosen(&view, &HotProductWebView::clickDouZaiMai);
    int finished = 0;
    QObject::connect(view.loader(), &DealPageLoader::detailFinished, &view, [&](bool) { ++finished; });
    // Each reply puts a new page into the view, as does a kept copy: a row is clicked once the
    // detail and the rows are in and the last page put has loaded, not on a page about to be
    // replaced by one whose rows are not there yet.
    int puts = 0;
    int loadedPuts = -1;
    QObject::connect(view.loader(), &DealPageLoader::pageReady, &view, [&] { ++puts; });
    QObject::connect(view.page(), &QWebEnginePage::loadFinished, &view, [&](bool ok) {
        if (ok)
            loadedPuts = puts;
    });
    const auto settled = [&](int details, const QString& row) {
        return waitUntil([&] {
            return finished == details && loadedPuts == puts
                && evaluate(view, QStringLiteral("document.querySelectorAll('li').length+','+!!document.getElementById('row%1')").arg(row)).toString()
                       == QStringLiteral("2,true");
        }, 30000);
    };
    view.show(QStringLiteral("77"), true);
    ASSERT_TRUE(settled(1, QStringLiteral("1234567"))) << "the rows did not reach the page";
    EXPECT_EQ(evaluate(view, QStringLiteral("Object.keys(window.external).join(',')")).toString(), QStringLiteral("clickDouZaiMai"));

    // A row: the deal it names, as digits (a large id is not written as a float).
    evaluate(view, QStringLiteral("document.getElementById('row1234567').click()"));
    ASSERT_TRUE(waitUntil([&] { return chosen.size() == 1; }, 30000)) << "the row's call was not answered";
    EXPECT_EQ(std::get<0>(chosen.last()), QStringLiteral("1234567"));

    // The buy link opens a new window: the browser gets its address, the page stays.
    ASSERT_TRUE(clickElement(&view, QStringLiteral("a.buy")));
    ASSERT_TRUE(waitUntil([&] { return browser->urls.size() == 1; })) << "the buy link reached no browser";
    EXPECT_EQ(browser->urls.first(), QUrl(QStringLiteral("http://www.tidwen.example/deal/77.htm")));
    // A plain link clicked on the page goes there too; a file address goes nowhere.
    evaluate(view, QStringLiteral("var a=document.createElement('a');a.href='http://example.test/p';a.id='plain';"
                                  "a.textContent='plain';document.body.prepend(a)"));
    ASSERT_TRUE(clickElement(&view, QStringLiteral("#plain")));
    ASSERT_TRUE(waitUntil([&] { return browser->urls.size() == 2; })) << "the clicked link reached no browser";
    EXPECT_EQ(browser->urls.last(), QUrl(QStringLiteral("http://example.test/p")));
    evaluate(view, QStringLiteral("var f=document.createElement('a');f.href='file:///etc/passwd';f.target='_blank';"
                                  "f.id='file';f.textContent='file';document.body.prepend(f)"));
    QList<QUrl> windows;
    QObject::connect(view.page(), &QWebEnginePage::newWindowRequested, &view,
                     [&](QWebEngineNewWindowRequest& request) { windows.append(request.requestedUrl()); });
    ASSERT_TRUE(clickElement(&view, QStringLiteral("#file")));
    // The click's window is asked for before the script runs: a script's window opened while the
    // click is still on its way would count as the reader's.
    ASSERT_TRUE(waitUntil([&] { return windows.size() == 1; }, 30000)) << "the file link's click asked for no window";
    // A script's own window goes nowhere: only a reader's click opens one.
    evaluate(view, QStringLiteral("window.open('http://example.test/popup')"));
    ASSERT_TRUE(waitUntil([&] { return windows.size() == 2; }, 30000)) << "the script asked for no window";
    EXPECT_EQ(evaluate(view, QStringLiteral("(document.getElementById('title')||{}).textContent")).toString(), QStringLiteral("耳机"));

    // Another document in the same view has the shim too, but its calls are dropped. The bridge's
    // calls arrive in order: the deal page's later call is the first one answered.
    view.page()->setHtml(QStringLiteral("<p>other</p>"), m_server.url(QStringLiteral("/other")));
    // The other document itself, not a load of the deal page that ended meanwhile.
    ASSERT_TRUE(waitUntil([&] { return evaluate(view, QStringLiteral("location.pathname")).toString() == QStringLiteral("/other"); }, 30000))
        << "the other document did not arrive";
    evaluate(view, QStringLiteral("window.external.clickDouZaiMai(5)"));
    // Rows new to this visit: they tell the page made with the rows' reply from the kept copy.
    m_server.route("GET", QStringLiteral("/api/apps/douzaimai"),
                   LoopbackReply::text(200, listReply({dealObject(88, QStringLiteral("b")), dealObject(99, QStringLiteral("c"))})));
    view.show(QStringLiteral("77"), true);
    ASSERT_TRUE(settled(2, QStringLiteral("99"))) << "the new rows did not reach the page";
    evaluate(view, QStringLiteral("document.getElementById('row88').click()"));
    ASSERT_TRUE(waitUntil([&] { return chosen.size() == 2; }, 30000));
    EXPECT_EQ(std::get<0>(chosen.last()), QStringLiteral("88"));
    EXPECT_EQ(browser->urls.size(), 2) << "the file address or the script's window reached the browser";

    // Back leaves a deal: every entry of it goes from the deal page's own list.
    EXPECT_EQ(view.recordHot(), (QStringList{QStringLiteral("77"), QStringLiteral("77")}));
    view.removeRecordHot(QStringLiteral("77"));
    EXPECT_TRUE(view.recordHot().isEmpty());
}

// The view shows the deal the program put there and no other: its history, its menus, the mouse's
// buttons and keys take the reader nowhere, and its zoom stays at 1.
TEST_F(DealsRequests, NothingTheReaderDoesLeavesTheDealShown)
{
    pointUrls({{12, m_server.url(QStringLiteral("/pictures")).toString()},
               {39, m_server.url(QStringLiteral("/api/apps/detail")).toString()}});
    m_server.route("GET", QStringLiteral("/pictures/2026/12/78.jpg"), LoopbackReply::text(200, pngPictureBytes(Qt::red, QSize(80, 60)), "image/png"));
    HotProductWebView view;
    view.resize(600, 300);
    view.QWebEngineView::show();
    const QString detail = QStringLiteral("一段很长的介绍。").repeated(200);
    for (const qint64 id : {77, 78}) {
        m_server.route("GET", QStringLiteral("/api/apps/detail"), LoopbackReply::text(200, detailReply(id, QString::number(id), detail)));
        view.show(QString::number(id), true);
        ASSERT_TRUE(waitUntil([&] {
            return evaluate(view, QStringLiteral("(function(){var i=document.querySelector('img.picture');"
                                                 "return (document.getElementById('title')||{}).textContent+(i&&i.complete&&i.naturalWidth>0);})()"))
                       .toString()
                == QString::number(id) + (id == 78 ? QStringLiteral("true") : QStringLiteral("false"));
        }, 30000)) << "deal " << id << " never showed";
    }
    const QString picture = m_server.url(QStringLiteral("/pictures/2026/12/78.jpg")).toString();
    expectStaysOnItsPage(&view, [&] { return evaluate(view, QStringLiteral("document.getElementById('title').textContent")).toString() == QStringLiteral("78"); },
                         {{QStringLiteral("#title"), false, {}, {}},
                          {QStringLiteral("a.buy"), false, {QStringLiteral("复制链接地址")}, {QStringLiteral("http://www.tidwen.example/deal/78.htm")}},
                          {QStringLiteral("img.picture"), false, {QStringLiteral("复制图片"), QStringLiteral("复制图片地址")}, {QStringLiteral("<picture>"), picture}},
                          {QStringLiteral("#detail"), true, {QStringLiteral("复制")}, {detail}}});
}

// A call made before the channel reached its document waits for it, and can arrive when the
// view's address is already the deal page's (here the document itself moved there): it is judged
// by the document that made it, and dropped.
TEST_F(DealsRequests, AWaitingCallIsJudgedByTheDocumentThatMadeIt)
{
    HotProductWebView view;
    view.resize(600, 500);
    view.QWebEngineView::show();
    SignalLog chosen(&view, &HotProductWebView::clickDouZaiMai);
    QWebChannel* channel = view.page()->webChannel();
    ASSERT_NE(channel, nullptr);
    view.page()->setWebChannel(nullptr);
    bool loaded = false;
    QObject::connect(view.page(), &QWebEnginePage::loadFinished, &view, [&] { loaded = true; });
    view.page()->setHtml(QStringLiteral("<p>other</p>"), QUrl(QStringLiteral("about:blank#other")));
    ASSERT_TRUE(waitUntil([&] { return loaded; }, 30000)) << "the other document to load";
    EXPECT_EQ(evaluate(view, QStringLiteral("window.external.clickDouZaiMai(5), location.hash = 'tidwen-deal', typeof qt")).toString(),
              QStringLiteral("undefined"));
    ASSERT_TRUE(waitUntil([&] { return view.page()->url() == QUrl(QStringLiteral("about:blank#tidwen-deal")); }, 30000))
        << "the view's address to become the deal page's";

    // Made at the deal page's address, this call follows the waiting one over the channel.
    evaluate(view, QStringLiteral("window.external.clickDouZaiMai(88)"));
    view.page()->setWebChannel(channel, QWebEngineScript::MainWorld);
    ASSERT_TRUE(waitUntil([&] { return !chosen.isEmpty(); }, 30000)) << "the later call to be answered";
    EXPECT_EQ(std::get<0>(chosen.at(0)), QStringLiteral("88")) << "the waiting call was taken for the deal page's";
    EXPECT_EQ(chosen.size(), 1);
}

// The deals list sits where the news lists sit and looks like them: no frame and no scroll bar
// beside the rows, which take the column's whole width whether or not they overflow; the wheel
// still scrolls a long list.
TEST_F(DealsRequests, TheListRowsTakeTheWholeWidthWithoutAScrollBar)
{
    QJsonArray items;
    for (int id = 1; id <= 20; ++id)
        items.append(dealObject(id, QStringLiteral("商品%1").arg(id)));
    m_server.route("GET", QStringLiteral("/api/apps/indexlistsegbyid"), LoopbackReply::text(200, listReply(items)));
    struct Case
    {
        int height;
        bool overflows;
    };
    for (const Case& c : {Case{400, true}, Case{20 * HotProductScrollView::kRowHeight + 200, false}}) {
        // Placed in a 300-wide column, as the list column places it.
        QWidget column;
        column.resize(300, c.height);
        HotProductScrollView* view = HotProductScrollView::init(&column);
        view->setGeometry(0, 0, 300, c.height);
        column.show();
        int loads = 0;
        QObject::connect(view->model(), &HotProductListModel::loadFinished, view, [&](bool) { ++loads; });
        view->showLastSelectedIndex();
        ASSERT_TRUE(waitUntil([&] { return loads == 1 && view->model()->rowCount() == 20; })) << "the list of 20 deals";
        QListView* list = view->listView();
        QScrollBar* bar = list->verticalScrollBar();
        ASSERT_TRUE(waitUntil([&] { return (bar->maximum() > 0) == c.overflows; })) << c.height << ": the list's range";
        EXPECT_FALSE(bar->isVisible()) << c.height;
        EXPECT_EQ(list->viewport()->width(), 300) << c.height;
        EXPECT_EQ(list->visualRect(view->model()->index(0, 0)).width(), 300) << c.height;
        if (c.overflows) {
            QWheelEvent wheel(QPointF(150, 100), list->viewport()->mapToGlobal(QPointF(150, 100)), QPoint(), QPoint(0, -120),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(list->viewport(), &wheel);
            EXPECT_GT(bar->value(), 0) << "the wheel did not scroll the list";
        }
    }
}

// A new category's deals are asked for under its button: the old ones leave at once, the spinner
// stands in their place, and a failure with nothing to show is the error view, whose reload asks
// again.
TEST_F(DealsRequests, ACategoryShowsItsOwnLoadAndFailureNeverTheOldDeals)
{
    m_server.route("GET", QStringLiteral("/api/apps/indexlistsegbyid"),
                   LoopbackReply::text(200, listReply({dealObject(5, QStringLiteral("全")), dealObject(4, QStringLiteral("部"))})));
    m_server.route("GET", QStringLiteral("/api/apps/tag"), LoopbackReply::silent());
    HotProductScrollView* view = HotProductScrollView::init();
    view->resize(300, 500);
    view->show();
    QList<bool> loads;
    QObject::connect(view->model(), &HotProductListModel::loadFinished, view, [&](bool ok) { loads.append(ok); });
    view->showLastSelectedIndex();
    ASSERT_TRUE(waitUntil([&] { return loads.size() == 1; }));
    ASSERT_EQ(view->model()->rowCount(), 2);
    EXPECT_FALSE(view->loadState()->isLoadingShown());

    view->categoryButtons().at(1)->click();
    EXPECT_EQ(view->model()->rowCount(), 0) << "the first category's deals under the second's button";
    EXPECT_TRUE(view->loadState()->isLoadingShown());

    // Refused: nothing to show, so the error view; the reload asks again and shows the answer.
    m_server.route("GET", QStringLiteral("/api/apps/tag"), LoopbackReply::text(500, "no"));
    view->categoryButtons().at(2)->click();
    ASSERT_TRUE(waitUntil([&] { return !loads.isEmpty() && loads.size() == 2; }));
    EXPECT_FALSE(loads.last());
    EXPECT_TRUE(view->loadState()->isFailureShown());
    EXPECT_FALSE(view->loadState()->isLoadingShown());
    EXPECT_EQ(view->loadState()->errorView()->title(), QStringLiteral("新闻加载失败"));
    m_server.route("GET", QStringLiteral("/api/apps/tag"), LoopbackReply::text(200, listReply({dealObject(6, QStringLiteral("爆"))})));
    view->loadState()->errorView()->reloadButton()->click();
    ASSERT_TRUE(waitUntil([&] { return loads.size() == 3; }));
    EXPECT_TRUE(loads.last());
    EXPECT_EQ(view->model()->rowCount(), 1);
    EXPECT_TRUE(view->categoryButtons().at(2)->isChecked());
    EXPECT_FALSE(view->loadState()->isFailureShown());
    delete view;
}

// The deal page says it is loading while the detail is on its way with nothing kept, and that it
// failed when it could not be had; the reload asks again without a second step in the history.
TEST_F(DealsRequests, ADealPageShowsItsLoadAndItsFailure)
{
    m_server.route("GET", QStringLiteral("/api/apps/detail"), LoopbackReply::silent());
    HotProductWebView view;
    view.resize(600, 500);
    view.QWebEngineView::show();
    QList<bool> results;
    QObject::connect(view.loader(), &DealPageLoader::detailFinished, &view, [&](bool ok) { results.append(ok); });
    view.show(QStringLiteral("81"), true);
    EXPECT_TRUE(view.loadState()->isLoadingShown());
    EXPECT_FALSE(view.loadState()->isFailureShown());

    m_server.route("GET", QStringLiteral("/api/apps/detail"), LoopbackReply::text(500, "no"));
    view.show(QStringLiteral("82"), true);
    ASSERT_TRUE(waitUntil([&] { return results.size() == 1; }));
    EXPECT_FALSE(results.last());
    EXPECT_TRUE(view.loadState()->isFailureShown()) << "a failed deal stayed a blank page";
    EXPECT_FALSE(view.loadState()->isLoadingShown());

    m_server.route("GET", QStringLiteral("/api/apps/detail"), LoopbackReply::text(200, detailReply(82, QStringLiteral("好物"), QStringLiteral("<p>x</p>"))));
    view.loadState()->errorView()->reloadButton()->click();
    EXPECT_TRUE(view.loadState()->isLoadingShown());
    ASSERT_TRUE(waitUntil([&] { return results.size() == 2; }));
    EXPECT_TRUE(results.last());
    EXPECT_FALSE(view.loadState()->isFailureShown());
    EXPECT_FALSE(view.loadState()->isLoadingShown());
    auto title = [&] { return evaluate(view, QStringLiteral("(document.getElementById('title')||{}).textContent||''")).toString(); };
    EXPECT_TRUE(waitUntil([&] { return title() == QStringLiteral("好物"); }));
    EXPECT_EQ(view.recordHot(), (QStringList{QStringLiteral("81"), QStringLiteral("82")}));
}

// A deal page whose renderer ended says so, as every web view does, until the next deal shown.
TEST_F(DealsRequests, ADealPageWhoseRendererEndedSaysSoUntilTheNextDeal)
{
    m_server.route("GET", QStringLiteral("/api/apps/detail"), LoopbackReply::text(200, detailReply(82, QStringLiteral("好物"), QString())));
    QWidget window;  // the keys stay in a list beside the page, as the deals list's
    QListView keys(&window);
    HotProductWebView view(&window);
    view.QWebEngineView::show();
    window.show();
    ASSERT_TRUE(waitUntil([&] { return window.isActiveWindow(); }));
    keys.setFocus();
    view.show(QStringLiteral("82"), true);
    const auto title = [&] { return evaluate(view, QStringLiteral("(document.getElementById('title')||{}).textContent||''")).toString(); };
    ASSERT_TRUE(waitUntil([&] { return title() == QStringLiteral("好物"); }, 30000));
    ASSERT_EQ(::kill(static_cast<pid_t>(view.page()->renderProcessPid()), SIGKILL), 0);
    const auto notice = [&] { return view.findChild<DDErrorView*>(); };
    ASSERT_TRUE(waitUntil([&] { return notice() && notice()->isVisible(); }, 30000)) << "a blank page that says nothing";
    EXPECT_EQ(notice()->title(), ProgramWebView::webViewFailedTitle());
    ASSERT_TRUE(waitUntil([&] { return !view.focusProxy(); }, 30000));  // the ended renderer's view went
    view.show(QStringLiteral("82"), true);
    EXPECT_TRUE(waitUntil([&] { return !notice()->isVisible() && title() == QStringLiteral("好物"); }, 30000));
    EXPECT_EQ(QApplication::focusWidget(), &keys) << "the next page's view took the keys";
}

// A row's foot: the day stays whole and the store's name gives way, cut at its end; a name that
// fits is shown whole, and with no room for a name the day stands alone.
TEST(DealRowFoot, TheDayStaysWholeAndTheStoreGivesWay)
{
    const QFontMetrics metrics(QApplication::font());
    const QString store = QStringLiteral("远帆官方旗舰店");
    const QString time = QStringLiteral("2026-12-05 08:30:00");
    const QString day = QStringLiteral("2026-12-05");
    const int whole = metrics.horizontalAdvance(store + QLatin1Char(' ') + day);
    struct Case
    {
        const char* name;
        QString store;
        int width;
        QString expected;  // empty: checked by the rule below
    };
    const Case cases[] = {
        {"room for both", store, whole + 4, store + QLatin1Char(' ') + day},
        {"no store", QString(), whole, day},
        {"no room for a name", store, metrics.horizontalAdvance(day) + 2, day},
        {"a name cut short", store, whole - metrics.horizontalAdvance(store) / 2, QString()},
    };
    for (const Case& c : cases) {
        const QString text = HotProductScrollView::storeAndDayText(metrics, c.store, time, c.width);
        if (!c.expected.isEmpty()) {
            EXPECT_EQ(text, c.expected) << c.name;
            continue;
        }
        EXPECT_TRUE(text.endsWith(QLatin1Char(' ') + day)) << c.name << ": " << qPrintable(text);
        EXPECT_TRUE(text.startsWith(store.left(1))) << c.name << ": the name is cut at its start: " << qPrintable(text);
        EXPECT_TRUE(text.contains(QStringLiteral("…"))) << c.name << ": " << qPrintable(text);
        EXPECT_LE(metrics.horizontalAdvance(text), c.width) << c.name;
    }
}

namespace {

// The far end of a page's "external" object, counting the calls it gets.
class PingBridge : public QObject
{
    Q_OBJECT
public:
    QStringList pings;
    Q_INVOKABLE void ping(const QVariant& value) { pings.append(ExternalShim::textOf(value)); }
};

}  // namespace

// The channel's transport can reach a new document after the document's own scripts ran (a busy
// machine shows it): a call made meanwhile is delivered once the transport is there, not lost.
TEST(ExternalShimTest, ACallMadeBeforeTheTransportArrivesIsDeliveredWhenItDoes)
{
    QWebEngineView view;
    view.page()->scripts().insert(ExternalShim::script({QStringLiteral("ping")}));
    bool loaded = false;
    QObject::connect(view.page(), &QWebEnginePage::loadFinished, &view, [&] { loaded = true; });
    view.page()->setHtml(QStringLiteral("<p>page</p>"), QUrl(QStringLiteral("about:blank#shim")));
    ASSERT_TRUE(waitUntil([&] { return loaded; }, 30000));
    EXPECT_EQ(evaluate(view, QStringLiteral("window.external.ping(7), typeof qt")).toString(), QStringLiteral("undefined"));

    PingBridge bridge;
    ExternalShim::publish(view.page(), &bridge, {QStringLiteral("ping")}, [](const QUrl&) { return true; });
    ASSERT_TRUE(waitUntil([&] { return !bridge.pings.isEmpty(); }, 30000)) << "the waiting call was not delivered";
    EXPECT_EQ(bridge.pings, QStringList{QStringLiteral("7")});
}

// A page may leave out an argument the slot ignores (the article's hot comments call
// "showpagecomment()"): the call still arrives, the argument empty. A call with more arguments than
// any slot of its name takes arrives nowhere.
TEST(ExternalShimTest, ACallLeavingOutArgumentsStillArrives)
{
    QWebEngineView view;
    PingBridge bridge;
    ExternalShim::install(view.page(), &bridge, {QStringLiteral("ping")}, [](const QUrl&) { return true; });
    bool loaded = false;
    QObject::connect(view.page(), &QWebEnginePage::loadFinished, &view, [&] { loaded = true; });
    view.page()->setHtml(QStringLiteral("<p>page</p>"), QUrl(QStringLiteral("about:blank#shim")));
    ASSERT_TRUE(waitUntil([&] { return loaded; }, 30000));
    // The channel answers calls in order: the last one's arrival says the ones before were handled.
    evaluate(view, QStringLiteral("window.external.ping(), window.external.ping(1, 2), window.external.ping('last')"));
    ASSERT_TRUE(waitUntil([&] { return bridge.pings.contains(QStringLiteral("last")); }, 30000)) << "no call arrived";
    EXPECT_EQ(bridge.pings, (QStringList{QString(), QStringLiteral("last")}));
}

#include "DealsTest.moc"
