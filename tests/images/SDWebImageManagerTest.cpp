#include "ImageFixtures.h"
#include "LoadRecorder.h"

#include "LoopbackHttpServer.h"
#include "TestEnvironment.h"
#include "images/SDWebImageManager.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace imagefixtures;

namespace {

class SDWebImageManagerTest : public ::testing::Test
{
protected:
    LoopbackHttpServer server;
    IsolatedManager isolated;
    SDWebImageManager& manager = *isolated.manager;

    std::shared_ptr<LoadRecord> load(const QUrl& url, ImageLoadOptions options = 0)
    {
        auto record = std::make_shared<LoadRecord>();
        manager.loadImageWithURL(url, options, nullptr, recordLoad(record));
        return record;
    }
    std::shared_ptr<LoadRecord> loadAndWait(const QUrl& url, ImageLoadOptions options = 0, int timeoutMs = 5000)
    {
        auto record = load(url, options);
        EXPECT_TRUE(waitUntil([&] { return record->done(); }, timeoutMs)) << url.toString().toStdString();
        return record;
    }
};

TEST_F(SDWebImageManagerTest, TwoLoadsOfOneURLShareOneRequest)
{
    server.route("GET", "/a.png", imageReply(png(16, 16, Qt::red), "image/png", 300));
    const auto first = load(server.url("/a.png"));
    const auto second = load(server.url("/a.png"));
    EXPECT_TRUE(manager.isRunning());
    ASSERT_TRUE(waitUntil([&] { return first->done() && second->done(); }));
    ASSERT_EQ(server.requestCount(), 1);
    EXPECT_EQ(server.requests().first().header("Accept"), QByteArray("image/*;q=0.8"));
    for (const auto& r : {first, second}) {
        EXPECT_EQ(r->calls, 1);
        EXPECT_EQ(r->image.size(), QSize(16, 16));
        EXPECT_EQ(r->cacheType, SDImageCacheTypeNone);
        EXPECT_TRUE(r->finished);
        EXPECT_TRUE(r->onMainThread);
        EXPECT_FALSE(r->error);
    }
    EXPECT_FALSE(manager.isRunning());
}

TEST_F(SDWebImageManagerTest, DownloadedBytesAreStoredAsTheyCame)
{
    const QByteArray animated = gif(6, 4, {Qt::red, Qt::green, Qt::blue});
    server.route("GET", "/anim.gif", imageReply(animated, "image/gif"));
    const auto record = loadAndWait(server.url("/anim.gif"));
    EXPECT_EQ(record->image.size(), QSize(6, 4));
    EXPECT_EQ(record->data, animated);
    isolated.cache->ioQueue().sync([] {});
    QFile file(isolated.cache->defaultCachePathForKey(manager.cacheKeyForURL(server.url("/anim.gif"))));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), animated);
}

TEST_F(SDWebImageManagerTest, WithdrawingOneOfTwoLeavesTheOtherWithdrawingBothStopsAll)
{
    server.route("GET", "/one.png", imageReply(png(8, 8, Qt::red), "image/png", 300));
    auto kept = std::make_shared<LoadRecord>();
    auto gone = std::make_shared<LoadRecord>();
    manager.loadImageWithURL(server.url("/one.png"), 0, nullptr, recordLoad(kept));
    manager.loadImageWithURL(server.url("/one.png"), 0, nullptr, recordLoad(gone))->cancel();
    ASSERT_TRUE(waitUntil([&] { return kept->done(); }));
    EXPECT_EQ(kept->image.size(), QSize(8, 8));
    EXPECT_FALSE(gone->done());

    server.route("GET", "/two.png", imageReply(png(8, 8, Qt::red), "image/png", 300));
    auto a = std::make_shared<LoadRecord>();
    auto b = std::make_shared<LoadRecord>();
    const qsizetype before = server.requestCount();
    auto opA = manager.loadImageWithURL(server.url("/two.png"), 0, nullptr, recordLoad(a));
    auto opB = manager.loadImageWithURL(server.url("/two.png"), 0, nullptr, recordLoad(b));
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() > before; })) << "waited for the shared download to start";
    opA->cancel();
    opB->cancel();
    EXPECT_FALSE(manager.isRunning());
    ASSERT_TRUE(server.waitForReplyAfter(400)) << "waited past the withdrawn download's reply";
    spin(200);  // room for a completion that must not come
    EXPECT_FALSE(a->done());
    EXPECT_FALSE(b->done());
    EXPECT_FALSE(manager.isRunning());
}

TEST_F(SDWebImageManagerTest, CancelRightAwayMeansNoCompletion)
{
    server.route("GET", "/c.png", imageReply(png(8, 8, Qt::red), "image/png", 200));
    auto record = std::make_shared<LoadRecord>();
    manager.loadImageWithURL(server.url("/c.png"), 0, nullptr, recordLoad(record))->cancel();
    EXPECT_FALSE(manager.isRunning());
    ASSERT_TRUE(server.waitForReplyAfter(300)) << "waited past the time the reply would have come";
    spin(200);  // room for a completion that must not come
    EXPECT_FALSE(record->done());
}

TEST_F(SDWebImageManagerTest, LoadFromInsideACompletionCompletes)
{
    server.route("GET", "/nested.png", imageReply(png(6, 6, Qt::green)));
    auto inner = std::make_shared<LoadRecord>();
    const QUrl url = server.url("/nested.png");
    std::weak_ptr<SDWebImageManager> weak = isolated.manager;
    manager.loadImageWithURL(url, 0, nullptr,
                             [inner, weak, url](const QImage&, const QByteArray&, const std::optional<Error>&,
                                                ImageCacheType, bool, const QUrl&) {
                                 if (const auto m = weak.lock())
                                     m->loadImageWithURL(url, 0, nullptr, recordLoad(inner));
                             });
    ASSERT_TRUE(waitUntil([&] { return inner->done(); }));
    EXPECT_EQ(inner->image.size(), QSize(6, 6));
}

TEST_F(SDWebImageManagerTest, MemoryHitAnswersBeforeTheCallReturnsDiskHitOnTheMainQueue)
{
    server.route("GET", "/m.png", imageReply(png(9, 9, Qt::blue)));
    ASSERT_FALSE(loadAndWait(server.url("/m.png"))->error);
    isolated.cache->ioQueue().sync([] {});
    server.clearRequests();

    auto record = std::make_shared<LoadRecord>();
    const auto operation = manager.loadImageWithURL(server.url("/m.png"), 0, nullptr, recordLoad(record));
    ASSERT_EQ(record->calls, 1) << "a memory hit completes before the call returns";
    EXPECT_EQ(record->cacheType, SDImageCacheTypeMemory);
    EXPECT_TRUE(record->data.isNull());
    EXPECT_EQ(operation->cacheOperation(), nullptr);
    EXPECT_FALSE(manager.isRunning());

    isolated.cache->clearMemory();
    auto fromDisk = load(server.url("/m.png"));
    EXPECT_FALSE(fromDisk->done());
    ASSERT_TRUE(waitUntil([&] { return fromDisk->done(); }));
    EXPECT_EQ(fromDisk->cacheType, SDImageCacheTypeDisk);
    EXPECT_TRUE(fromDisk->onMainThread);
    EXPECT_EQ(fromDisk->image.size(), QSize(9, 9));
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(SDWebImageManagerTest, InvalidURLsAreRefusedAtOnce)
{
    for (const QString& text : {QString(), QStringLiteral(""), QStringLiteral("http://exa mple.com/[bad")}) {
        auto record = std::make_shared<LoadRecord>();
        manager.loadImageWithURL(text, 0, nullptr, recordLoad(record));
        ASSERT_EQ(record->calls, 1) << text.toStdString();
        EXPECT_EQ(record->code(), -1100);
        EXPECT_TRUE(record->finished);
    }
    EXPECT_FALSE(manager.isRunning());
    EXPECT_EQ(manager.cacheKeyForURL(QUrl()), QStringLiteral(""));
    EXPECT_EQ(manager.cacheKeyForURL(QUrl(QStringLiteral("http://example.com/a/b.jpg?w=1"))),
              QStringLiteral("http://example.com/a/b.jpg?w=1"));
}

struct FailureCase
{
    const char* name;
    std::function<LoopbackReply()> reply;
    qint64 code;
    const char* description;  // nullptr: not checked
    bool blocksURL;
    double timeout = 0;
};

TEST_F(SDWebImageManagerTest, FailuresReportTheirErrorAndOnlyLastingOnesBlockTheURL)
{
    const FailureCase cases[] = {
        {"server error", [] { return LoopbackReply::text(500, "boom"); }, 500, nullptr, false},
        {"busy", [] { return LoopbackReply::text(503, "later"); }, 503, nullptr, false},
        {"too many requests", [] { return LoopbackReply::text(429, "slow down"); }, 429, nullptr, false},
        {"not modified", [] { LoopbackReply r; r.status = 304; return r; }, 304, nullptr, false},
        {"not found", [] { return LoopbackReply::text(404, "nope"); }, 404, nullptr, true},
        {"html page", [] { return LoopbackReply::text(200, "<html><body>moved</body></html>", "text/html"); }, 0,
         "Downloaded image has 0 pixels", true},
        {"empty body", [] { return imageReply(QByteArray()); }, 0, "Image data is nil", true},
        {"silent server", [] { return LoopbackReply::silent(); }, -1001, nullptr, false, 0.5},
        {"closed connection", [] { return LoopbackReply::closeConnection(); }, -1005, nullptr, false},
    };
    int index = 0;
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = QStringLiteral("/fail%1").arg(index++);
        server.route("GET", path, c.reply());
        isolated.downloader->setDownloadTimeout(c.timeout);
        const QUrl url = server.url(path);
        const auto record = loadAndWait(url, 0, 2000);
        ASSERT_TRUE(record->error);
        EXPECT_EQ(record->code(), c.code);
        if (c.description) {
            EXPECT_EQ(record->description(), QLatin1String(c.description));
        }
        EXPECT_TRUE(record->finished);
        EXPECT_TRUE(record->image.isNull());
        EXPECT_TRUE(waitUntil([&] { return !manager.isRunning(); }, 30000));
        EXPECT_EQ(manager.failedURLs().contains(url), c.blocksURL);

        // The next load asks again, or is refused without a request. (Qt itself may repeat a
        // request once when the server closes on it.)
        const qsizetype afterFirst = server.requestCount();
        const auto again = loadAndWait(url, 0, 2000);
        if (c.blocksURL) {
            EXPECT_EQ(again->code(), -1100);
            EXPECT_EQ(server.requestCount(), afterFirst);
        } else {
            EXPECT_EQ(again->code(), c.code);
            EXPECT_GT(server.requestCount(), afterFirst);
        }
    }
}

TEST_F(SDWebImageManagerTest, RetryFailedAsksAgainAndASuccessClearsTheMark)
{
    server.route("GET", "/later.png", LoopbackReply::text(404, "not yet"));
    const QUrl url = server.url("/later.png");
    ASSERT_EQ(loadAndWait(url)->code(), 404);
    EXPECT_EQ(loadAndWait(url)->code(), -1100);
    EXPECT_EQ(server.requestCount(), 1);

    server.route("GET", "/later.png", imageReply(png(5, 5, Qt::red)));
    const auto retried = loadAndWait(url, SDLoadRetryFailed);
    EXPECT_FALSE(retried->error);
    EXPECT_EQ(server.requestCount(), 2);
    EXPECT_FALSE(manager.failedURLs().contains(url));
}

TEST_F(SDWebImageManagerTest, MemoryOnlyLoadsLeaveNoFile)
{
    server.route("GET", "/mem.png", imageReply(png(4, 4, Qt::red)));
    const QUrl url = server.url("/mem.png");
    ASSERT_FALSE(loadAndWait(url, SDLoadMemoryCacheOnly)->error);
    isolated.cache->ioQueue().sync([] {});
    EXPECT_TRUE(manager.cachedImageExistsForURL(url));
    EXPECT_FALSE(manager.diskImageExistsForURL(url));
}

class ForbiddingDelegate : public SDWebImageManagerDelegate
{
public:
    std::optional<bool> imageManagerShouldDownloadImageForURL(SDWebImageManager&, const QUrl&) override { return false; }
};

class GreyingDelegate : public SDWebImageManagerDelegate
{
public:
    std::optional<QImage> imageManagerTransformDownloadedImage(SDWebImageManager&, const QImage& image, const QUrl&) override
    {
        return image.convertToFormat(QImage::Format_Grayscale8);
    }
};

TEST_F(SDWebImageManagerTest, DelegateMayForbidOrTransform)
{
    server.route("GET", "/d.png", imageReply(png(4, 4, Qt::red)));
    const QUrl url = server.url("/d.png");
    auto forbidding = std::make_shared<ForbiddingDelegate>();
    manager.setDelegate(forbidding);
    const auto forbidden = loadAndWait(url);
    EXPECT_TRUE(forbidden->image.isNull());
    EXPECT_FALSE(forbidden->error);
    EXPECT_TRUE(forbidden->finished);
    EXPECT_EQ(server.requestCount(), 0);

    auto greying = std::make_shared<GreyingDelegate>();
    manager.setDelegate(greying);
    const auto transformed = loadAndWait(url);
    EXPECT_EQ(transformed->image.format(), QImage::Format_Grayscale8);
    EXPECT_TRUE(transformed->onMainThread);
    isolated.cache->ioQueue().sync([] {});
    // A changed image is encoded again, not written as the downloaded bytes.
    QFile file(isolated.cache->defaultCachePathForKey(manager.cacheKeyForURL(url)));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_NE(file.readAll(), png(4, 4, Qt::red));
}

TEST_F(SDWebImageManagerTest, ExistenceChecksAnswerOnTheMainQueue)
{
    const QUrl url(QStringLiteral("http://127.0.0.1:9/x.png"));
    std::optional<bool> answer;
    manager.cachedImageExistsForURL(url, [&answer](bool exists) { answer = exists; });
    ASSERT_TRUE(waitUntil([&] { return answer.has_value(); }));
    EXPECT_FALSE(*answer);
    manager.saveImageToCache(filled(3, 3, Qt::red), url);
    EXPECT_TRUE(manager.cachedImageExistsForURL(url));
    answer.reset();
    manager.diskImageExistsForURL(url, [&answer](bool exists) { answer = exists; });
    ASSERT_TRUE(waitUntil([&] { return answer.has_value(); }));
    EXPECT_TRUE(*answer) << "the io queue wrote the file before it answered";
}

}  // namespace
