#include "../images/ImageFixtures.h"

#include "LoopbackHttpServer.h"
#include "TestEnvironment.h"
#include "images/SDWebImageManager.h"
#include "ui/imageview/ImageView.h"
#include "ui/imageview/ListRowImages.h"
#include "ui/imageview/WebCache.h"
#include "ui/imageview/WebCacheOperation.h"

#include <QListView>
#include <QStandardItemModel>

#include <gtest/gtest.h>

using namespace imagefixtures;

namespace {

QColor centreColour(QWidget& view)
{
    const QImage shot = view.grab().toImage();
    return QColor(shot.pixel(shot.width() / 2, shot.height() / 2));
}

struct Completion
{
    int calls = 0;
    QImage image;
    std::optional<Error> error;
    ImageCacheType cacheType = SDImageCacheTypeNone;
    QUrl url;
};

SDExternalCompletionBlock record(const std::shared_ptr<Completion>& c)
{
    return [c](const QImage& image, const std::optional<Error>& error, ImageCacheType type, const QUrl& url) {
        ++c->calls;
        c->image = image;
        c->error = error;
        c->cacheType = type;
        c->url = url;
    };
}

class ImageViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WebCache::setImageManager(isolated.manager);
        view.resize(64, 64);
        view.show();
    }
    void TearDown() override { WebCache::setImageManager(nullptr); }

    LoopbackHttpServer server;
    IsolatedManager isolated;
    ImageView view;
    const QImage blue = filled(64, 64, Qt::blue);
};

TEST_F(ImageViewTest, PlaceholderFirstThenThePicture)
{
    server.route("GET", "/red.png", imageReply(png(16, 16, Qt::red), "image/png", 100));
    WebCache::sd_setImageWithURL(&view, server.url("/red.png"), blue);
    EXPECT_EQ(centreColour(view), QColor(Qt::blue));
    EXPECT_EQ(WebCache::sd_imageURL(&view), server.url("/red.png"));
    ASSERT_TRUE(waitUntil([&] { return view.image().size() == QSize(16, 16); }));
    EXPECT_EQ(centreColour(view), QColor(Qt::red));
}

TEST_F(ImageViewTest, OnlyTheLastOfTwoLoadsIsEverShown)
{
    server.route("GET", "/green.png", imageReply(png(16, 16, Qt::green), "image/png", 300));
    server.route("GET", "/red.png", imageReply(png(16, 16, Qt::red), "image/png"));
    QList<QColor> shown;
    QObject::connect(&view, &ImageView::imageChanged, [&shown](const QImage& image) {
        shown << (image.isNull() ? QColor() : QColor(image.pixel(0, 0)));
    });
    auto first = std::make_shared<Completion>();
    WebCache::sd_setImageWithURL(&view, server.url("/green.png"), record(first));
    WebCache::sd_setImageWithURL(&view, server.url("/red.png"));
    ASSERT_TRUE(waitUntil([&] { return shown.contains(QColor(Qt::red)); }));
    ASSERT_TRUE(server.waitForReplyAfter(400)) << "waited past the withdrawn load's reply";
    spin(200);  // room for a picture that must not come
    EXPECT_FALSE(shown.contains(QColor(Qt::green)));
    EXPECT_EQ(first->calls, 0) << "a cancelled load never calls back";
    EXPECT_EQ(QColor(view.image().pixel(0, 0)), QColor(Qt::red));
}

TEST_F(ImageViewTest, FailureKeepsThePlaceholderDelayedPlaceholderComesWithTheFailure)
{
    server.route("GET", "/missing.png", LoopbackReply::text(404, "no"));
    auto failed = std::make_shared<Completion>();
    WebCache::sd_setImageWithURL(&view, server.url("/missing.png"), blue, record(failed));
    ASSERT_TRUE(waitUntil([&] { return failed->calls > 0; }));
    EXPECT_EQ(failed->error->code, 404);
    EXPECT_EQ(view.image(), blue);

    ImageView other;
    const QImage yellow = filled(8, 8, Qt::yellow);
    other.setImage(yellow);
    LoopbackReply slow = LoopbackReply::text(404, "no");
    slow.delayMs = 1000;  // long beside the wait for the request below, even on a busy machine
    server.route("GET", "/slow-missing.png", slow);
    auto delayed = std::make_shared<Completion>();
    const qsizetype before = server.requestCount();
    WebCache::sd_setImageWithURL(&other, server.url("/slow-missing.png"), blue, SDLoadDelayPlaceholder, record(delayed));
    // The load has begun; the failure is held back on the server, and the event loop does not run
    // between the wait's end and the check.
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() > before; })) << "waited for the load to reach the server";
    EXPECT_EQ(other.image(), yellow) << "unchanged until the failure";
    ASSERT_TRUE(waitUntil([&] { return delayed->calls > 0; }));
    EXPECT_EQ(other.image(), blue);
}

// A row's picture that failed for a passing reason (the connection dropped) is asked again when
// the rows are rebuilt; one that failed for good (404) is not.
TEST_F(ImageViewTest, ListRowPicturesThatFailedForAPassingReasonComeBackWhenTheRowsAreRebuilt)
{
    server.route("GET", "/cover.png", LoopbackReply::closeConnection());
    server.route("GET", "/gone.png", LoopbackReply::text(404, "no"));
    constexpr int kUrlRole = Qt::UserRole + 1;
    QStandardItemModel model;
    const auto addRow = [&](const QString& path) {
        auto* item = new QStandardItem(path);
        item->setData(server.url(path), kUrlRole);
        model.appendRow(item);
    };
    addRow("/cover.png");
    addRow("/gone.png");
    QListView list;
    list.setModel(&model);
    list.resize(200, 200);
    list.show();
    auto* images = new ListRowImages(&list, kUrlRole, QRect(0, 0, 16, 16), blue);
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() >= 2 && !isolated.manager->isRunning(); }))
        << server.requestCount();
    ASSERT_TRUE(isolated.manager->failedURLs().contains(server.url("/gone.png")));
    ASSERT_FALSE(isolated.manager->failedURLs().contains(server.url("/cover.png")));

    server.route("GET", "/cover.png", imageReply(png(16, 16, Qt::red), "image/png"));
    server.route("GET", "/new.png", imageReply(png(16, 16, Qt::green), "image/png"));
    addRow("/new.png");
    ASSERT_TRUE(waitUntil([&] { return images->imageViewAt(0)->image().size() == QSize(16, 16); }));
    EXPECT_EQ(QColor(images->imageViewAt(0)->image().pixel(0, 0)), QColor(Qt::red));
    ASSERT_TRUE(waitUntil([&] { return !isolated.manager->isRunning(); }));
    int goneAsked = 0;
    for (const LoopbackRequest& r : server.requests())
        goneAsked += r.path == QLatin1String("/gone.png");
    EXPECT_EQ(goneAsked, 1);
}

TEST_F(ImageViewTest, EmptyURLShowsThePlaceholderAndReportsIt)
{
    auto completion = std::make_shared<Completion>();
    WebCache::sd_setImageWithURL(&view, QUrl(), blue, record(completion));
    EXPECT_EQ(view.image(), blue);
    ASSERT_EQ(completion->calls, 1);
    EXPECT_EQ(completion->error->domain, QLatin1String(SDWebImageErrorDomain));
    EXPECT_EQ(completion->error->code, -1);
    EXPECT_EQ(completion->error->localizedDescription(), QStringLiteral("Trying to load a nil url"));
    EXPECT_TRUE(WebCache::sd_imageURL(&view).isEmpty());
    EXPECT_TRUE(WebCacheOperation::operationDictionary(&view).isEmpty());
}

TEST_F(ImageViewTest, AvoidAutoSetImageLeavesTheViewToTheCaller)
{
    server.route("GET", "/red.png", imageReply(png(16, 16, Qt::red), "image/png"));
    auto completion = std::make_shared<Completion>();
    WebCache::sd_setImageWithURL(&view, server.url("/red.png"), blue, SDLoadAvoidAutoSetImage, record(completion));
    ASSERT_TRUE(waitUntil([&] { return completion->calls > 0; }));
    EXPECT_EQ(completion->image.size(), QSize(16, 16));
    EXPECT_EQ(view.image(), blue);

    // Without a completion block the picture is set as usual (from memory now).
    WebCache::sd_setImageWithURL(&view, server.url("/red.png"), blue, SDLoadAvoidAutoSetImage);
    EXPECT_EQ(view.image().size(), QSize(16, 16));
}

TEST_F(ImageViewTest, PreviousCachedImageServesAsThePlaceholder)
{
    server.route("GET", "/cached.png", imageReply(png(16, 16, Qt::red), "image/png", 200));
    const QUrl url = server.url("/cached.png");
    const QImage green = filled(10, 10, Qt::green);
    isolated.cache->storeImageDataToDisk(png(10, 10, Qt::green), isolated.manager->cacheKeyForURL(url));
    QList<QSize> shown;
    QObject::connect(&view, &ImageView::imageChanged, [&shown](const QImage& image) { shown << image.size(); });
    auto completion = std::make_shared<Completion>();
    WebCache::sd_setImageWithPreviousCachedImageWithURL(&view, url, blue, 0, nullptr, record(completion));
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_EQ(shown.first(), QSize(10, 10));
    ASSERT_EQ(completion->calls, 1) << "the synchronous read put it into memory";
    EXPECT_EQ(completion->cacheType, SDImageCacheTypeMemory);
    EXPECT_EQ(server.requestCount(), 0);
}

class CountingOperation : public SDWebImageOperation
{
public:
    void cancel() override { ++cancels; }
    int cancels = 0;
};

TEST(WebCacheOperationTest, OneOperationPerKeyTheOldOneCancelled)
{
    QObject object;
    const QString key = QStringLiteral("k");
    auto first = std::make_shared<CountingOperation>();
    auto second = std::make_shared<CountingOperation>();
    WebCacheOperation::sd_setImageLoadOperation(&object, first, key);
    WebCacheOperation::sd_setImageLoadOperation(&object, second, key);
    EXPECT_EQ(first->cancels, 1);
    EXPECT_EQ(second->cancels, 0);

    WebCacheOperation::sd_removeImageLoadOperationWithKey(&object, key);
    EXPECT_EQ(second->cancels, 0) << "removing does not cancel";
    EXPECT_TRUE(WebCacheOperation::operationDictionary(&object).isEmpty());

    auto a = std::make_shared<CountingOperation>();
    auto b = std::make_shared<CountingOperation>();
    WebCacheOperation::sd_setImageLoadOperations(&object, {a, b}, key);
    WebCacheOperation::sd_cancelImageLoadOperationWithKey(&object, key);
    WebCacheOperation::sd_cancelImageLoadOperationWithKey(&object, key);
    EXPECT_EQ(a->cancels, 1);
    EXPECT_EQ(b->cancels, 1);

    WebCacheOperation::sd_setImageLoadOperation(&object, a, QString());
    EXPECT_TRUE(WebCacheOperation::operationDictionary(&object).isEmpty()) << "a null key stores nothing";
    WebCacheOperation::sd_setImageLoadOperation(&object, nullptr, key);
    EXPECT_TRUE(WebCacheOperation::operationDictionary(&object).isEmpty());
}

TEST(ImageViewPaintTest, PicturesAreScaledDownProportionallyAndCentred)
{
    ImageView view;
    view.resize(60, 60);
    view.setImage(filled(120, 40, Qt::red));  // 60 x 20 once scaled, rows 20..39
    QImage shot = view.grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(30, 30)), QColor(Qt::red));
    EXPECT_EQ(QColor(shot.pixel(1, 21)), QColor(Qt::red));
    EXPECT_NE(QColor(shot.pixel(30, 5)), QColor(Qt::red));
    EXPECT_NE(QColor(shot.pixel(30, 55)), QColor(Qt::red));

    view.setImage(filled(10, 10, Qt::blue));  // small pictures keep their size
    shot = view.grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(30, 30)), QColor(Qt::blue));
    EXPECT_NE(QColor(shot.pixel(10, 10)), QColor(Qt::blue));

    view.setImageScaling(ImageView::ImageScaleProportionallyUpOrDown);  // now up to 60 x 60
    shot = view.grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(1, 1)), QColor(Qt::blue));
    EXPECT_EQ(QColor(shot.pixel(58, 58)), QColor(Qt::blue));
}

}  // namespace
