#include "ModelProbe.h"
#include "NewsListTestSupport.h"
#include "PaintCounter.h"
#include "PictureBytes.h"
#include "ScopeGuard.h"
#include "foundation/GlobalValues.h"
#include "images/SDImageCache.h"
#include "images/SDWebImageDownloader.h"
#include "images/SDWebImageManager.h"
#include "newslist/NewsListFeeds.h"
#include "newslist/views/CenterTableCell.h"
#include "newslist/views/CenterTableView.h"
#include "newslist/views/SlideView.h"
#include "platform/NotificationCenter.h"
#include "ui/imageview/ImageView.h"
#include "ui/imageview/WebCache.h"

#include <QImage>
#include <QTemporaryDir>

namespace {

qsizetype requestsFor(const LoopbackHttpServer& server, const QString& path)
{
    qsizetype count = 0;
    for (const LoopbackRequest& request : server.requests())
        count += request.path == path ? 1 : 0;
    return count;
}

// The list's rows load their covers through the image view binding; here over a manager with
// a cache of its own, so no picture of another test is found in memory.
class ListCoversTest : public NewsListTest
{
protected:
    void SetUp() override
    {
        NewsListTest::SetUp();
        WebCache::setImageManager(manager);
    }
    void TearDown() override
    {
        WebCache::setImageManager(nullptr);
        NewsListTest::TearDown();
    }

    QString coverUrl(int id) const { return base() + QStringLiteral("/img/%1.png").arg(id); }

    QList<FeedItem> itemsWithCovers(int count)
    {
        QList<FeedItem> items = descendingItems(count, 90000);
        for (FeedItem& item : items)
            item.image = coverUrl(item.id.toInt());
        return items;
    }

    QTemporaryDir folder;
    std::shared_ptr<SDImageCache> cache = std::make_shared<SDImageCache>(QStringLiteral("covers"), folder.path());
    std::shared_ptr<SDWebImageManager> manager = SDWebImageManager::create(cache, SDWebImageDownloader::create());
};

}  // namespace

TEST_F(ListCoversTest, ACoverThatFailedLoadsOnTheNextShowOnceTheServerAnswers)
{
    // A server busy for a while, and one that said the picture was not there.
    const QList<int> statuses = {503, 404};
    const QString list = QStringLiteral("/xml/newslist/covers.xml");
    server.route("GET", list, xmlReply(newsFeed(itemsWithCovers(int(statuses.size()))), "N"));
    for (int i = 0; i < statuses.size(); ++i)
        server.route("GET", QStringLiteral("/img/%1.png").arg(90000 - i), LoopbackReply::text(statuses[i], "no", "text/plain"));
    CenterTableView view(channel(20, list));
    view.resize(300, 500);
    view.show();
    view.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return idle(*view.tableModel()) && view.tableModel()->rowCount() == 3; }))
        << "waited for the list";
    for (int i = 0; i < statuses.size(); ++i)
        ASSERT_TRUE(waitUntil([&] { return view.covers()->hasFailed(coverUrl(90000 - i)); }))
            << "waited for the load of the cover answered " << statuses[i] << " to fail";

    // The server answers again; repaints alone do not ask it, the next showing does.
    for (int i = 0; i < statuses.size(); ++i)
        server.route("GET", QStringLiteral("/img/%1.png").arg(90000 - i), LoopbackReply::text(200, pngPictureBytes(Qt::red), "image/png"));
    view.viewport()->repaint();
    // What the paint queued has run; the pause is room for a request that must not be logged.
    ASSERT_TRUE(drainMainQueue());
    spin(200);
    for (int i = 0; i < statuses.size(); ++i) {
        EXPECT_EQ(requestsFor(server, QStringLiteral("/img/%1.png").arg(90000 - i)), 1) << statuses[i];
        EXPECT_TRUE(view.coverFor(coverUrl(90000 - i)).isNull()) << statuses[i];
    }

    view.showByClick(true);
    view.viewport()->repaint();
    for (int i = 0; i < statuses.size(); ++i) {
        EXPECT_TRUE(waitUntil([&] { return !view.coverFor(coverUrl(90000 - i)).isNull(); }))
            << "waited for the cover answered " << statuses[i] << " before to arrive";
        EXPECT_EQ(requestsFor(server, QStringLiteral("/img/%1.png").arg(90000 - i)), 2) << statuses[i];
    }
    EXPECT_TRUE(manager->failedURLs().isEmpty());
}

// A cover that failed while the server could not answer is asked again when its row comes back
// into view; one the server said is not there is not.
TEST_F(ListCoversTest, ACoverThatFailedForAPassingReasonLoadsWhenItsRowIsDrawnAgain)
{
    QList<FeedItem> items = descendingItems(30, 90000);
    items[0].image = coverUrl(90000);
    items[1].image = coverUrl(89999);
    server.route("GET", QStringLiteral("/img/90000.png"), LoopbackReply::text(503, "busy", "text/plain"));
    server.route("GET", QStringLiteral("/xml/newslist/scrolled.xml"), xmlReply(newsFeed(items), "N"));
    CenterTableView view(channel(20, QStringLiteral("/xml/newslist/scrolled.xml")));
    view.resize(300, 300);
    view.show();
    view.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return view.covers()->hasFailed(coverUrl(90000)) && view.covers()->hasFailed(coverUrl(89999)); }));

    for (const QString& path : {QStringLiteral("/img/90000.png"), QStringLiteral("/img/89999.png")})
        server.route("GET", path, LoopbackReply::text(200, pngPictureBytes(Qt::red), "image/png"));
    view.scrollToBottom();
    view.viewport()->repaint();
    view.scrollToTop();
    view.viewport()->repaint();
    EXPECT_TRUE(waitUntil([&] { return !view.coverFor(coverUrl(90000)).isNull(); })) << "waited for the cover answered 503";
    EXPECT_EQ(requestsFor(server, QStringLiteral("/img/89999.png")), 1) << "answered 404 before";
}

TEST_F(ListCoversTest, TheCoverTableStaysBoundedAndEmptiesWithTheImageMemory)
{
    constexpr int kRows = 2000;
    const QList<FeedItem> items = itemsWithCovers(kRows);
    // Every cover is in the image cache's memory: each row's cover arrives as it is painted.
    QImage picture(120, 90, QImage::Format_ARGB32);
    picture.fill(Qt::blue);
    for (const FeedItem& item : items)
        cache->storeImage(picture, item.image, false);
    const QString list = QStringLiteral("/xml/newslist/many.xml");
    server.route("GET", list, xmlReply(newsFeed(items), "N"));
    CenterTableView view(channel(20, list));
    view.resize(300, 700);
    view.show();
    view.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return idle(*view.tableModel()) && view.tableModel()->rowCount() == kRows + 1; }))
        << "waited for the list";
    for (int row = 0; row < kRows; row += 10) {
        view.scrollTo(view.tableModel()->index(row), QAbstractItemView::PositionAtTop);
        view.viewport()->repaint();
    }
    EXPECT_FALSE(view.coverFor(items.last().image).isNull());
    EXPECT_GT(view.covers()->count(), 0);
    EXPECT_LE(view.covers()->count(), ListCovers::kMaxCovers);
    // Kept at the size a row shows it, not at the picture's own.
    EXPECT_EQ(view.coverFor(items.last().image).deviceIndependentSize().toSize(), CenterTableCell::kCoverSize);

    // The settings page's clearing empties the image cache's memory, and the lists' covers go too.
    SDImageCache::sharedImageCache()->clearMemory();
    EXPECT_EQ(view.covers()->count(), 0);
}

TEST_F(ListCoversTest, ARowDrawnBeforeFontChangedIsDrawnInTheNewFontAtOnce)
{
    const auto restoreThin = restoreOnScopeExit(gbThinFont);
    gbThinFont = false;
    const QString list = QStringLiteral("/xml/newslist/font.xml");
    server.route("GET", list, xmlReply(newsFeed(descendingItems(3, 500)), "N"));
    auto shot = [](CenterTableView& view) {
        view.doItemsLayout();
        return view.viewport()->grab().toImage();
    };
    // Loaded, and its first item opened (selected), as the list does after every load.
    auto shown = [&](CenterTableView& view) {
        view.resize(300, 300);
        view.show();
        view.showByClick(true);
        return waitUntil([&] {
            return idle(*view.tableModel()) && view.tableModel()->rowCount() == 4
                   && feedOf(view.tableModel()->newsListArray().at(0))->isSelected;
        });
    };
    CenterTableView view(channel(20, list));
    ASSERT_TRUE(shown(view)) << "waited for the list";
    const QImage regular = shot(view);
    ASSERT_NE(regular.pixel(150, 20), regular.pixel(150, 280)) << "the rows are painted";

    // The thin font is switched on. A row painted before keeps its picture until told; the title
    // changed behind the row's back shows whether it is painted anew.
    gbThinFont = true;
    const QString newTitle = QStringLiteral("字体变了");
    feedOf(view.tableModel()->newsListArray().at(0))->title = newTitle;
    EXPECT_EQ(shot(view), regular);

    {
        const PaintCounter counter(view.viewport());
        NotificationCenter::defaultCenter().post(QStringLiteral("fontChanged"));
        EXPECT_TRUE(waitUntil([&] { return counter.paints() > 0; })) << "waited for the rows on screen to be painted again";
    }

    // Drawn as a list first painted in the thin font draws the same rows.
    QList<FeedItem> items = descendingItems(3, 500);
    items[0].title = newTitle;
    const QString thinList = QStringLiteral("/xml/newslist/thin.xml");
    server.route("GET", thinList, xmlReply(newsFeed(items), "T"));
    CenterTableView fresh(channel(21, thinList));
    ASSERT_TRUE(shown(fresh)) << "waited for the list painted in the thin font";
    EXPECT_EQ(shot(view), shot(fresh));
}

TEST_F(ListCoversTest, RowAndSlideTitlesShowTheirReferencesAndSurviveABadByte)
{
    const QByteArray listXml = "<?xml version=\"1.0\" encoding=\"utf-8\"?><rss><channel>"
                               "<item><newsid>11</newsid><title>A &amp; B &#x4E2D;</title><postdate>2026-12-07 10:00:00</postdate></item>"
                               "<item><newsid>10</newsid><title>\xe8\x8b\xb9\xe6\x9e\x9c\xff\xe6\x96\xb0\xe5\x93\x81</title>"
                               "<postdate>2026-12-07 10:00:00</postdate></item>"
                               "</channel></rss>";
    const QByteArray slideXml = "<rss><channel><item><title>焦点 &amp; &#x4E2D;&#20013;</title><link>1</link>"
                                "<opentype>1</opentype></item></channel></rss>";
    const QString list = QStringLiteral("/xml/newslist/titles.xml");
    const QString slides = QStringLiteral("/xml/slide/titles.xml");
    server.route("GET", list, xmlReply(listXml, "N"));
    server.route("GET", slides, xmlReply(slideXml, "S"));
    CenterTableView view(channel(101, list, slides));
    view.resize(300, 500);
    view.show();
    view.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return idle(*view.tableModel()) && view.tableModel()->rowCount() == 4; }))
        << "waited for the list and its slides";
    ASSERT_TRUE(view.slideStrip());
    EXPECT_EQ(view.slideStrip()->titleText(), QStringLiteral("焦点 & 中中"));

    auto* delegate = qobject_cast<CenterTableDelegate*>(view.itemDelegate());
    ASSERT_NE(delegate, nullptr);
    const CenterTableModel& model = *view.tableModel();
    EXPECT_EQ(delegate->fillCell(model, model.rowAt(1))->titleLabel()->text(), QStringLiteral("A & B 中"));
    EXPECT_EQ(delegate->fillCell(model, model.rowAt(2))->titleLabel()->text(), QStringLiteral("苹果\uFFFD新品"));
}

// The pinned tag stands where a title begins: every pinned row's title makes room for it.
TEST_F(ListCoversTest, EveryPinnedTitleMakesRoomForItsTag)
{
    const QByteArray listXml = "<rss><channel>"
                               "<item t=\"1\"><newsid>13</newsid><title>P1</title><postdate>2026-12-07 10:00:00</postdate></item>"
                               "<item t=\"1\"><newsid>12</newsid><title>P2</title><postdate>2026-12-07 10:00:00</postdate></item>"
                               "<item><newsid>11</newsid><title>N</title><postdate>2026-12-07 10:00:00</postdate></item>"
                               "<item><newsid>10</newsid><title>M</title><postdate>2026-12-07 10:00:00</postdate></item>"
                               "</channel></rss>";
    const QString list = QStringLiteral("/xml/newslist/pinned.xml");
    server.route("GET", list, xmlReply(listXml, "P"));
    CenterTableView view(channel(20, list));
    view.resize(300, 500);
    view.show();
    view.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return idle(*view.tableModel()) && view.tableModel()->rowCount() >= 4; }))
        << "waited for the list";
    auto* delegate = qobject_cast<CenterTableDelegate*>(view.itemDelegate());
    ASSERT_NE(delegate, nullptr);
    const CenterTableModel& model = *view.tableModel();
    QStringList titles;
    for (int r = 0; r < model.rowCount(); ++r) {
        const NewsListRow row = model.rowAt(r);
        if (row.kind == NewsListRow::Item)
            titles << delegate->fillCell(model, row)->titleLabel()->text();
    }
    const QString room = QStringLiteral("         ");
    EXPECT_EQ(titles, (QStringList{room + QStringLiteral("P1"), room + QStringLiteral("P2"), QStringLiteral("N"), QStringLiteral("M")}));
}

TEST_F(ListCoversTest, ASlidePictureSmallerThanTheSlideFillsIt)
{
    const QString list = QStringLiteral("/xml/newslist/slidepicture.xml");
    const QString slides = QStringLiteral("/xml/slide/slidepicture.xml");
    const QString picture = QStringLiteral("/img/slide.png");
    server.route("GET", list, xmlReply(newsFeed(descendingItems(1, 90000)), "N"));
    server.route("GET", slides,
                 xmlReply(("<rss><channel><item><title>t</title><link>1</link><opentype>1</opentype><image>" +
                           base() + picture + "</image></item></channel></rss>")
                              .toUtf8(),
                          "S"));
    // Half the slide's size each way, the slide's own proportions.
    server.route("GET", picture, LoopbackReply::text(200, pngPictureBytes(Qt::red, QSize(150, 75)), "image/png"));
    CenterTableView view(channel(101, list, slides));
    view.resize(300, 500);
    view.show();
    view.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return view.slideStrip() != nullptr; })) << "waited for the slides";
    SlideView* strip = view.slideStrip();
    ASSERT_TRUE(waitUntil([&] {
        const QList<ImageView*> pictures = strip->findChildren<ImageView*>();
        return !pictures.isEmpty() && !pictures.first()->image().isNull();
    })) << "waited for the slide's picture";
    const QImage shot = strip->grab().toImage();
    // The bottom corners: the title band lies over the top, the arrows halfway down.
    for (const QPoint corner : {QPoint(1, shot.height() - 2), QPoint(shot.width() - 2, shot.height() - 2)})
        EXPECT_EQ(QColor(shot.pixel(corner)), QColor(Qt::red)) << corner.x() << "," << corner.y();
}
