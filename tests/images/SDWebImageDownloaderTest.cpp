#include "ImageFixtures.h"
#include "LoadRecorder.h"

#include "LoopbackHttpServer.h"
#include "TestEnvironment.h"
#include "images/SDWebImageDownloader.h"
#include "platform/NotificationCenter.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace imagefixtures;

namespace {

class SDWebImageDownloaderTest : public ::testing::Test
{
protected:
    LoopbackHttpServer server;
    std::shared_ptr<SDWebImageDownloader> downloader = SDWebImageDownloader::create();

    void TearDown() override
    {
        downloader.reset();
        settleEvents();
    }
};

TEST_F(SDWebImageDownloaderTest, DefaultsAndTheRequestItSends)
{
    EXPECT_EQ(downloader->maxConcurrentDownloads(), 6);
    EXPECT_EQ(downloader->downloadTimeout(), 15.0);
    EXPECT_EQ(downloader->valueForHTTPHeaderField(QStringLiteral("Accept")), QStringLiteral("image/*;q=0.8"));

    server.route("GET", "/a.png", imageReply(png(16, 16, Qt::red)));
    auto record = std::make_shared<LoadRecord>();
    EXPECT_NE(downloader->downloadImageWithURL(server.url("/a.png"), 0, nullptr, recordDownload(record)), nullptr);
    ASSERT_TRUE(waitUntil([&] { return record->done(); }));
    EXPECT_EQ(record->image.size(), QSize(16, 16));
    EXPECT_TRUE(record->finished);
    EXPECT_TRUE(record->onMainThread);
    ASSERT_EQ(server.requestCount(), 1);
    EXPECT_EQ(server.requests().first().header("Accept"), QByteArray("image/*;q=0.8"));
    EXPECT_TRUE(server.requests().first().header("Cookie").isNull());
}

TEST_F(SDWebImageDownloaderTest, EmptyURLHearsNothingFinishedNo)
{
    auto record = std::make_shared<LoadRecord>();
    EXPECT_EQ(downloader->downloadImageWithURL(QUrl(), 0, nullptr, recordDownload(record)), nullptr);
    EXPECT_EQ(record->calls, 1);
    EXPECT_FALSE(record->finished);
    EXPECT_FALSE(record->error);
}

TEST_F(SDWebImageDownloaderTest, OnlyWebAddressesAreFetched)
{
    QTemporaryDir folder;
    QFile local(folder.filePath(QStringLiteral("local.png")));
    ASSERT_TRUE(local.open(QIODevice::WriteOnly));
    local.write(png(2, 2, Qt::red));
    local.close();
    auto record = std::make_shared<LoadRecord>();
    downloader->downloadImageWithURL(QUrl::fromLocalFile(local.fileName()), 0, nullptr, recordDownload(record));
    ASSERT_TRUE(waitUntil([&] { return record->done(); }));
    EXPECT_TRUE(record->image.isNull());
    EXPECT_EQ(record->code(), -1002);
    EXPECT_TRUE(record->finished);
}

TEST_F(SDWebImageDownloaderTest, SevenTransfersRunSixAtATime)
{
    // Qt opens at most six connections to one server, so the seven go to two.
    LoopbackHttpServer second;
    QList<QUrl> urls;
    for (int i = 0; i < 7; ++i) {
        LoopbackHttpServer& s = i % 2 ? second : server;
        const QString path = QStringLiteral("/p%1.png").arg(i);
        s.route("GET", path, imageReply(png(4, 4, Qt::blue), "image/png", 1500));
        urls << s.url(path);
    }
    QList<std::shared_ptr<LoadRecord>> records;
    for (const QUrl& url : urls) {
        records << std::make_shared<LoadRecord>();
        downloader->downloadImageWithURL(url, 0, nullptr, recordDownload(records.last()));
    }
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() + second.requestCount() >= 6; })) << "six downloads at once";
    EXPECT_EQ(server.requestCount() + second.requestCount(), 6);
    EXPECT_EQ(downloader->currentDownloadCount(), 7);
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() + second.requestCount() == 7; }));
    ASSERT_TRUE(waitUntil([&] {
        return std::all_of(records.begin(), records.end(), [](const auto& r) { return r->done(); });
    }));
    for (const auto& r : records)
        EXPECT_EQ(r->image.size(), QSize(4, 4));
    EXPECT_EQ(downloader->currentDownloadCount(), 0);
}

TEST_F(SDWebImageDownloaderTest, LastInFirstOutAndPriorityPickTheNextTransfer)
{
    downloader->setMaxConcurrentDownloads(1);
    downloader->setExecutionOrder(SDWebImageDownloaderLIFOExecutionOrder);
    for (const char* path : {"/first", "/second", "/third", "/urgent"})
        server.route("GET", QString::fromLatin1(path), imageReply(png(1, 1, Qt::red), "image/png", 50));
    std::vector<std::shared_ptr<LoadRecord>> records;
    for (const char* path : {"/first", "/second", "/third"}) {
        records.push_back(std::make_shared<LoadRecord>());
        downloader->downloadImageWithURL(server.url(QString::fromLatin1(path)), 0, nullptr, recordDownload(records.back()));
    }
    records.push_back(std::make_shared<LoadRecord>());
    downloader->downloadImageWithURL(server.url(QStringLiteral("/urgent")), SDDownloadHighPriority, nullptr,
                                     recordDownload(records.back()));
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 4; }));
    QStringList paths;
    for (const LoopbackRequest& r : server.requests())
        paths << r.path;
    // "/first" had started before the others came; then the high priority, then newest first.
    EXPECT_EQ(paths, (QStringList{"/first", "/urgent", "/third", "/second"}));
}

TEST_F(SDWebImageDownloaderTest, RequestFromACompletionStartsAFreshTransfer)
{
    server.route("GET", "/again.png", imageReply(png(3, 3, Qt::green)));
    auto second = std::make_shared<LoadRecord>();
    auto first = std::make_shared<LoadRecord>();
    const QUrl url = server.url("/again.png");
    std::weak_ptr<SDWebImageDownloader> weak = downloader;
    downloader->downloadImageWithURL(url, 0, nullptr,
                                     [first, second, weak, url](const QImage& image, const QByteArray& data,
                                                                const std::optional<Error>& error, bool finished) {
                                         recordDownload(first)(image, data, error, finished);
                                         if (const auto d = weak.lock())
                                             d->downloadImageWithURL(url, 0, nullptr, recordDownload(second));
                                     });
    ASSERT_TRUE(waitUntil([&] { return second->done(); }));
    EXPECT_EQ(second->image.size(), QSize(3, 3));
    EXPECT_EQ(server.requestCount(), 2);
}

TEST_F(SDWebImageDownloaderTest, WithdrawnRequesterIsNeverCalledTheOtherIs)
{
    server.route("GET", "/w.png", imageReply(png(5, 5, Qt::red), "image/png", 300));
    auto kept = std::make_shared<LoadRecord>();
    auto gone = std::make_shared<LoadRecord>();
    downloader->downloadImageWithURL(server.url("/w.png"), 0, nullptr, recordDownload(kept));
    auto token = downloader->downloadImageWithURL(server.url("/w.png"), 0, nullptr, recordDownload(gone));
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 1; })) << "waited for the shared download to start";
    downloader->cancel(token);
    ASSERT_TRUE(waitUntil([&] { return kept->done(); }));
    // Both requesters are answered from the one transfer's end, queued together.
    ASSERT_TRUE(drainMainQueue());
    EXPECT_EQ(kept->image.size(), QSize(5, 5));
    EXPECT_FALSE(gone->done());
    EXPECT_EQ(server.requestCount(), 1);
}

TEST_F(SDWebImageDownloaderTest, WithdrawalDuringDecodingStillSilencesTheRequester)
{
    // A large picture keeps the decoder busy after the last byte came in.
    server.route("GET", "/big.png", imageReply(encoded(filled(1500, 1500, Qt::red), "bmp"), "image/bmp"));
    auto gone = std::make_shared<LoadRecord>();
    auto other = std::make_shared<LoadRecord>();
    std::shared_ptr<SDWebImageDownloadToken> token;
    std::weak_ptr<SDWebImageDownloader> weak = downloader;
    // Withdrawn as soon as the transfer is over, before the decoded image can come back.
    const auto observer = NotificationCenter::defaultCenter().addObserver(
        QLatin1String(SDWebImageDownloadFinishNotification), nullptr, [&token, weak](const Notification&) {
            if (const auto d = weak.lock())
                d->cancel(token);
        });
    token = downloader->downloadImageWithURL(server.url("/big.png"), 0, nullptr, recordDownload(gone));
    downloader->downloadImageWithURL(server.url("/big.png"), 0, nullptr, recordDownload(other));
    const bool otherDone = waitUntil([&] { return other->done(); }, 30000);
    NotificationCenter::defaultCenter().removeObserver(observer);
    ASSERT_TRUE(otherDone);
    ASSERT_TRUE(drainMainQueue());  // both requesters are answered from the one decoded image
    spin(100);                      // room for an answer that must not come
    EXPECT_FALSE(gone->done());
}

TEST_F(SDWebImageDownloaderTest, RefusedStatusesReachEveryRequester)
{
    for (int status : {304, 404, 500}) {
        const QString path = QStringLiteral("/s%1").arg(status);
        LoopbackReply reply;
        reply.status = status;
        reply.delayMs = 100;
        server.route("GET", path, reply);
        auto a = std::make_shared<LoadRecord>();
        auto b = std::make_shared<LoadRecord>();
        downloader->downloadImageWithURL(server.url(path), 0, nullptr, recordDownload(a));
        downloader->downloadImageWithURL(server.url(path), 0, nullptr, recordDownload(b));
        ASSERT_TRUE(waitUntil([&] { return a->done() && b->done(); }, 30000)) << status;
        for (const auto& r : {a, b}) {
            EXPECT_EQ(r->calls, 1) << status;
            EXPECT_EQ(r->code(), status);
            EXPECT_EQ(r->error->domain, QLatin1String(Error::kURLErrorDomain));
            EXPECT_TRUE(r->finished);
        }
        EXPECT_TRUE(waitUntil([&] { return downloader->currentDownloadCount() == 0; }, 30000)) << status;
    }
}

TEST_F(SDWebImageDownloaderTest, LyingContentLengthCostsNoHugeBuffer)
{
    LoopbackReply reply = imageReply(QByteArray(1024, 'x'), "image/png");
    reply.setHeader("Content-Length", "9000000000000");
    server.route("GET", "/liar", reply);
    downloader->setDownloadTimeout(1);
    auto record = std::make_shared<LoadRecord>();
    qint64 statedLength = 0;
    downloader->downloadImageWithURL(server.url("/liar"), 0,
                                     [&statedLength](qint64, qint64 expected) { statedLength = std::max(statedLength, expected); },
                                     recordDownload(record));
    ASSERT_TRUE(waitUntil([&] { return record->done(); }, 30000));
    EXPECT_TRUE(record->error);
    EXPECT_TRUE(record->image.isNull());
    EXPECT_EQ(statedLength, 9000000000000LL) << "progress keeps the stated length";
}

TEST_F(SDWebImageDownloaderTest, ProgressStartsUnknownAndEndsAtTheLength)
{
    const QByteArray body = png(30, 30, Qt::red);
    server.route("GET", "/p.png", imageReply(body));
    QList<QPair<qint64, qint64>> steps;
    auto record = std::make_shared<LoadRecord>();
    downloader->downloadImageWithURL(server.url("/p.png"), 0,
                                     [&steps](qint64 received, qint64 expected) { steps.append({received, expected}); },
                                     recordDownload(record));
    ASSERT_TRUE(waitUntil([&] { return record->done(); }));
    ASSERT_GE(steps.size(), 3);
    EXPECT_EQ(steps.first(), (QPair<qint64, qint64>(0, -1)));
    EXPECT_EQ(steps.at(1), (QPair<qint64, qint64>(0, body.size())));
    EXPECT_EQ(steps.last(), (QPair<qint64, qint64>(body.size(), body.size())));
    EXPECT_EQ(record->data, body);
}

TEST_F(SDWebImageDownloaderTest, ProgressiveLoadsShowPartialPicturesBeforeTheWhole)
{
    // Noise, so that most of the bytes are picture data after the header.
    QImage noise(120, 90, QImage::Format_RGB32);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, qRgb((x * 37 + y * 11) % 256, (x * y) % 256, (x * 5 + y * 71) % 256));
    const QByteArray jpeg = encoded(noise, "jpeg", 90);
    ASSERT_GT(jpeg.size(), 4000);
    LoopbackReply reply = imageReply(jpeg, "image/jpeg");
    reply.dripSize = static_cast<int>(jpeg.size() / 3 + 1);
    reply.dripDelayMs = 150;
    server.route("GET", "/progressive.jpg", reply);
    QList<QPair<QSize, bool>> calls;
    auto record = std::make_shared<LoadRecord>();
    downloader->downloadImageWithURL(server.url("/progressive.jpg"), SDDownloadProgressive, nullptr,
                                     [&calls, record](const QImage& image, const QByteArray& data,
                                                      const std::optional<Error>& error, bool finished) {
                                         calls.append({image.size(), finished});
                                         if (finished)
                                             recordDownload(record)(image, data, error, finished);
                                     });
    ASSERT_TRUE(waitUntil([&] { return record->done(); }));
    ASSERT_GE(calls.size(), 2);
    EXPECT_EQ(calls.first(), (QPair<QSize, bool>(QSize(120, 90), false))) << "a partial picture at full size";
    EXPECT_EQ(calls.last(), (QPair<QSize, bool>(QSize(120, 90), true)));
    EXPECT_EQ(record->data, jpeg);
}

}  // namespace
