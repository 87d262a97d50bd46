#include "ImageFixtures.h"
#include "LoadRecorder.h"

#include "EndlessBodyServer.h"
#include "LoopbackHttpServer.h"
#include "TestEnvironment.h"
#include "images/SDWebImageDownloader.h"

#include <QDirIterator>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <algorithm>

using namespace imagefixtures;

namespace {

// Files under the folder, its subfolders included.
int filesUnder(const QString& folder)
{
    int count = 0;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++count;
    }
    return count;
}

class DownloadLimitsTest : public ::testing::Test
{
protected:
    LoopbackHttpServer server;
    IsolatedManager isolated;

    // Loads through the manager, keeping the largest byte count progress reported.
    std::shared_ptr<LoadRecord> load(const QUrl& url, std::shared_ptr<qint64> largest = std::make_shared<qint64>(0))
    {
        auto record = std::make_shared<LoadRecord>();
        isolated.manager->loadImageWithURL(url, 0,
                                           [largest](qint64 received, qint64) { *largest = std::max(*largest, received); },
                                           recordLoad(record));
        return record;
    }
};

TEST_F(DownloadLimitsTest, SilentRequestsHoldBackNoGoodPictureOfTheirHost)
{
    server.route("GET", "/warm.png", imageReply(png(2, 2, Qt::red)));
    for (int i = 0; i < 3; ++i)
        server.route("GET", QStringLiteral("/silent%1.png").arg(i), LoopbackReply::silent());
    for (int i = 0; i < 3; ++i)
        server.route("GET", QStringLiteral("/good%1.png").arg(i), imageReply(png(3, 3, Qt::green)));
    // The host's kept-alive connections are known to speak HTTP/1.1 before the rest go out.
    auto warm = load(server.url("/warm.png"));
    ASSERT_TRUE(waitUntil([&] { return warm->done(); }));
    ASSERT_FALSE(warm->error);

    QList<std::shared_ptr<LoadRecord>> good;
    QList<std::shared_ptr<LoadRecord>> silent;
    for (int i = 0; i < 3; ++i) {
        silent << load(server.url(QStringLiteral("/silent%1.png").arg(i)));
        good << load(server.url(QStringLiteral("/good%1.png").arg(i)));
    }
    // A silent request ends only at the idle timeout; a good picture queued behind one on the
    // same connection would end no sooner. So every good picture must be done while all the
    // silent ones are still waiting, however slow the machine.
    const auto allDone = [](const QList<std::shared_ptr<LoadRecord>>& records) {
        return std::all_of(records.begin(), records.end(), [](const auto& r) { return r->done(); });
    };
    const auto anyDone = [](const QList<std::shared_ptr<LoadRecord>>& records) {
        return std::any_of(records.begin(), records.end(), [](const auto& r) { return r->done(); });
    };
    ASSERT_TRUE(waitUntil([&] { return allDone(good) || anyDone(silent); }, 60000));
    EXPECT_FALSE(anyDone(silent)) << "a silent request ended before every good picture was done";
    ASSERT_TRUE(allDone(good)) << "good pictures waited behind silent ones";
    for (const auto& r : good)
        EXPECT_EQ(r->image.size(), QSize(3, 3));
}

TEST_F(DownloadLimitsTest, EndlessBodyFailsPastTheSizeLimitAndLeavesNothingOnDisk)
{
    EndlessBodyServer endless("image/png", png(10, 10, Qt::red));
    auto largest = std::make_shared<qint64>(0);
    auto record = load(endless.url(QStringLiteral("/endless.png")), largest);
    ASSERT_TRUE(waitUntil([&] { return record->done(); }, 60000));
    EXPECT_EQ(record->code(), NSURLErrorDataLengthExceedsMaximum);
    EXPECT_TRUE(record->image.isNull());
    const qint64 limit = isolated.downloader->downloadSizeLimit();
    EXPECT_EQ(limit, SDWebImageDownloader::kDefaultDownloadSizeLimit);
    EXPECT_LE(*largest, limit) << "no more than the limit was ever held";
    // The transfer was dropped: the server sees its connection closed and stops sending.
    ASSERT_TRUE(waitUntil([&] { return endless.connectionsClosed() == 1; }));
    EXPECT_LT(endless.bytesSent(), 4 * limit);
    ASSERT_TRUE(drainMainQueue());
    EXPECT_EQ(filesUnder(isolated.folder.path()), 0);
    EXPECT_EQ(isolated.downloader->currentDownloadCount(), 0);
}

TEST_F(DownloadLimitsTest, PaddedBodiesFailPastTheirLimits)
{
    const QByteArray picture = png(10, 10, Qt::blue);
    isolated.downloader->setDownloadSizeLimit(1024 * 1024);

    // Stated honestly, but longer than any picture may be.
    LoopbackReply padded = imageReply(picture + QByteArray(3 * 1024 * 1024, '\0'));
    server.route("GET", "/padded.png", padded);
    // Stated small, and compressed: what comes out is far more.
    LoopbackReply inflating = imageReply(qCompress(picture + QByteArray(3 * 1024 * 1024, '\0'), 9).mid(4));
    inflating.setHeader("Content-Encoding", "deflate");
    server.route("GET", "/inflating.png", inflating);
    ASSERT_LT(inflating.body.size(), 64 * 1024);

    for (const char* path : {"/padded.png", "/inflating.png"}) {
        auto largest = std::make_shared<qint64>(0);
        auto record = load(server.url(QString::fromLatin1(path)), largest);
        ASSERT_TRUE(waitUntil([&] { return record->done(); }, 60000)) << path;
        EXPECT_EQ(record->code(), NSURLErrorDataLengthExceedsMaximum) << path;
        EXPECT_TRUE(record->image.isNull()) << path;
        EXPECT_LE(*largest, 1024 * 1024) << path;
    }
    ASSERT_TRUE(drainMainQueue());
    EXPECT_EQ(filesUnder(isolated.folder.path()), 0);

    // The same picture without padding is fine.
    server.route("GET", "/plain.png", imageReply(picture));
    auto plain = load(server.url("/plain.png"));
    ASSERT_TRUE(waitUntil([&] { return plain->done(); }));
    EXPECT_EQ(plain->image.size(), QSize(10, 10));
}

TEST_F(DownloadLimitsTest, TricklingBodyEndsAtTheTimeLimitAndFreesItsSlot)
{
    EXPECT_EQ(isolated.downloader->downloadTimeLimit(), SDWebImageDownloader::kDefaultDownloadTimeLimit);
    isolated.downloader->setMaxConcurrentDownloads(1);
    isolated.downloader->setDownloadTimeLimit(1.5);
    // Sixteen bytes every 100 ms: never silent long enough for the idle timeout, done in minutes.
    LoopbackReply trickle = imageReply(png(10, 10, Qt::red) + QByteArray(64 * 1024, '\0'));
    trickle.dripSize = 16;
    trickle.dripDelayMs = 100;
    server.route("GET", "/trickle.png", trickle);
    server.route("GET", "/next.png", imageReply(png(4, 4, Qt::green)));

    QElapsedTimer clock;
    clock.start();
    auto slow = load(server.url("/trickle.png"));
    auto next = load(server.url("/next.png"));
    ASSERT_TRUE(waitUntil([&] { return slow->done(); }, 30000));
    EXPECT_GE(clock.elapsed(), 1500);
    EXPECT_EQ(slow->code(), NSURLErrorTimedOut);
    ASSERT_TRUE(waitUntil([&] { return next->done(); })) << "the slot went to the next picture";
    EXPECT_EQ(next->image.size(), QSize(4, 4));
    ASSERT_TRUE(drainMainQueue());
    EXPECT_EQ(server.requests().size(), 2);
}

}  // namespace
