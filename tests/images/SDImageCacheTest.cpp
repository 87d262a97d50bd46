#include "ImageFixtures.h"

#include "images/ImageDecoding.h"
#include "images/SDImageCache.h"
#include "platform/Dispatch.h"
#include "TestEnvironment.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

using namespace imagefixtures;

namespace {

class SDImageCacheTest : public ::testing::Test
{
protected:
    QTemporaryDir folder;
    SDImageCache cache{QStringLiteral("test"), folder.path()};

    // Waits until everything queued on the io queue so far has run.
    void drainIoQueue() { cache.ioQueue().sync([] {}); }

    static QByteArray fileBytes(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

TEST_F(SDImageCacheTest, FileNamesAreTheDigestAndThePathExtension)
{
    struct Case
    {
        QString key;
        QString name;
    };
    const Case cases[] = {
        {QStringLiteral("http://example.com/a/b.jpg?w=1"), QStringLiteral("f6047f1b5034c647e1fbc1bf422e4fbb.jpg?w=1")},
        {QString(), QStringLiteral("d41d8cd98f00b204e9800998ecf8427e")},
        {QStringLiteral(""), QStringLiteral("d41d8cd98f00b204e9800998ecf8427e")},
        {QStringLiteral("http://example.com/a/photo"), QStringLiteral("") + QString::fromLatin1(
            QCryptographicHash::hash("http://example.com/a/photo", QCryptographicHash::Md5).toHex())},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SDImageCache::cachedFileNameForKey(c.key), c.name) << c.key.toStdString();
    EXPECT_EQ(cache.diskCachePath(), folder.path() + QStringLiteral("/com.velbrook.SDWebImageCache.test"));
}

TEST_F(SDImageCacheTest, SharedCacheLivesInTheCachesFolder)
{
    EXPECT_TRUE(SDImageCache::sharedImageCache()->diskCachePath().endsWith(
        QStringLiteral("/default/com.velbrook.SDWebImageCache.default")));
    EXPECT_EQ(SDImageCache::sharedImageCache()->maxMemoryCost(), 32000000u);
}

TEST_F(SDImageCacheTest, BareDigestFileIsFoundAndRemovedWithTheKey)
{
    const QString key = QStringLiteral("http://example.com/pic/x.png");
    const QByteArray bytes = png(3, 3, Qt::green);
    ASSERT_TRUE(QDir().mkpath(cache.diskCachePath()));
    const QString bare = cache.diskCachePath() + QLatin1Char('/')
                         + QString::fromLatin1(QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Md5).toHex());
    QFile file(bare);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    EXPECT_EQ(cache.diskImageDataBySearchingAllPathsForKey(key), bytes);
    EXPECT_TRUE(cache.diskImageExistsWithKey(key));
    // Stored again under the default name as well: removal must take both, or it comes back.
    cache.storeImageDataToDisk(bytes, key);
    ASSERT_TRUE(QFileInfo::exists(cache.defaultCachePathForKey(key)));

    bool removed = false;
    cache.removeImageForKey(key, [&removed] { removed = true; });
    ASSERT_TRUE(waitUntil([&] { return removed; }));
    EXPECT_FALSE(QFileInfo::exists(bare));
    EXPECT_FALSE(QFileInfo::exists(cache.defaultCachePathForKey(key)));
    EXPECT_TRUE(cache.diskImageDataBySearchingAllPathsForKey(key).isNull());
    EXPECT_TRUE(cache.imageFromDiskCacheForKey(key).isNull());
}

TEST_F(SDImageCacheTest, ReadOnlyFoldersAreSearchedAfterTheOwnFolder)
{
    QTemporaryDir extra;
    const QString key = QStringLiteral("http://example.com/old.png");
    const QByteArray bytes = png(2, 2, Qt::blue);
    QFile file(SDImageCache::cachePathForKey(key, extra.path()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    EXPECT_TRUE(cache.diskImageDataBySearchingAllPathsForKey(key).isNull());
    cache.addReadOnlyCachePath(extra.path());
    cache.addReadOnlyCachePath(extra.path());
    EXPECT_EQ(cache.customPaths().size(), 1);
    EXPECT_EQ(cache.diskImageDataBySearchingAllPathsForKey(key), bytes);
}

TEST_F(SDImageCacheTest, LargeStoreIsNeverSeenHalfWritten)
{
    const QString key = QStringLiteral("http://example.com/big.bin");
    const QByteArray bytes(8 * 1024 * 1024, 'x');
    const QString path = cache.defaultCachePathForKey(key);
    std::atomic<bool> writing{true};
    std::atomic<int> partialSeen{0};
    std::atomic<int> looks{0};
    const std::string nativePath = path.toStdString();
    std::thread watcher([&] {
        while (writing) {
            // One look at the file (a second could see the next round's removal).
            std::error_code error;
            const auto size = std::filesystem::file_size(nativePath, error);
            if (!error && size != static_cast<std::uintmax_t>(bytes.size()))
                ++partialSeen;
            ++looks;
        }
    });
    for (int round = 0; round < 5; ++round) {
        QFile::remove(path);
        cache.storeImageDataToDisk(bytes, key);
    }
    writing = false;
    watcher.join();
    EXPECT_GT(looks.load(), 0);
    EXPECT_EQ(partialSeen.load(), 0);
    EXPECT_EQ(QFileInfo(path).size(), bytes.size());
}

TEST_F(SDImageCacheTest, MemoryLevelIsBoundedByCost)
{
    cache.setMaxMemoryCost(30000);
    QStringList keys;
    for (int i = 0; i < 4; ++i) {
        keys << QStringLiteral("http://example.com/%1.png").arg(i);
        cache.storeImage(filled(100, 100, Qt::red), false, png(100, 100, Qt::red), keys.last(), true);
    }
    drainIoQueue();
    EXPECT_TRUE(cache.imageFromMemoryCacheForKey(keys[0]).isNull()) << "the oldest image leaves memory";
    for (int i = 1; i < 4; ++i)
        EXPECT_FALSE(cache.imageFromMemoryCacheForKey(keys[i]).isNull()) << i;
    for (const QString& key : keys)
        EXPECT_TRUE(QFileInfo::exists(cache.defaultCachePathForKey(key))) << key.toStdString();
    EXPECT_LE(cache.memCache().totalCost(), 30000u);

    // One image over the whole limit goes to disk only.
    const QString big = QStringLiteral("http://example.com/big.png");
    cache.storeImage(filled(200, 200, Qt::red), false, png(200, 200, Qt::red), big, true);
    drainIoQueue();
    EXPECT_TRUE(cache.imageFromMemoryCacheForKey(big).isNull());
    EXPECT_TRUE(QFileInfo::exists(cache.defaultCachePathForKey(big)));
    EXPECT_FALSE(cache.imageFromMemoryCacheForKey(keys[3]).isNull()) << "the refused image evicts nothing";

    cache.setMaxMemoryCost(0);
    EXPECT_EQ(cache.maxMemoryCost(), SDImageCache::kDefaultMaxMemoryCost);
    cache.setMaxMemoryCountLimit(1);
    EXPECT_EQ(cache.memCache().count(), 1);
}

TEST_F(SDImageCacheTest, StoresWithoutBytesAreEncodedDownloadsAreKeptAsTheyCame)
{
    const QString pngKey = QStringLiteral("http://example.com/p.png");
    cache.storeImage(filled(4, 4, Qt::red), pngKey);
    const QString gifKey = QStringLiteral("http://example.com/g.gif");
    const QByteArray gifBytes = gif(5, 5, {Qt::red, Qt::blue});
    const QImage gifImage = NSImage_MultiFormat::sd_imageWithData(gifBytes);
    ASSERT_FALSE(gifImage.isNull());
    cache.storeImage(gifImage, false, gifBytes, gifKey, true);
    drainIoQueue();
    EXPECT_TRUE(fileBytes(cache.defaultCachePathForKey(pngKey)).startsWith(QByteArray::fromHex("FFD8")));
    EXPECT_EQ(fileBytes(cache.defaultCachePathForKey(gifKey)), gifBytes);

    // Stored twice under one key: one file, the newer bytes.
    const QByteArray second = png(4, 4, Qt::blue);
    cache.storeImage(filled(4, 4, Qt::blue), false, second, pngKey, true);
    drainIoQueue();
    EXPECT_EQ(fileBytes(cache.defaultCachePathForKey(pngKey)), second);
    EXPECT_EQ(QDir(cache.diskCachePath()).entryList(QDir::Files).size(), 2);
}

TEST_F(SDImageCacheTest, QueryAnswersFromDiskThenFromMemory)
{
    const QString key = QStringLiteral("http://example.com/q.png");
    cache.storeImageDataToDisk(png(7, 5, Qt::blue), key);

    std::optional<ImageCacheType> firstType;
    bool firstOnMain = false;
    QImage firstImage;
    QByteArray firstData;
    const auto handle = cache.queryDiskCacheForKey(key, [&](const QImage& image, const QByteArray& data, ImageCacheType type) {
        firstType = type;
        firstOnMain = dispatch::isMainThread();
        firstImage = image;
        firstData = data;
    });
    EXPECT_NE(handle, nullptr);
    EXPECT_FALSE(firstType) << "a disk answer comes later, from the main queue";
    ASSERT_TRUE(waitUntil([&] { return firstType.has_value(); }));
    EXPECT_EQ(*firstType, SDImageCacheTypeDisk);
    EXPECT_TRUE(firstOnMain);
    EXPECT_EQ(firstImage.size(), QSize(7, 5));
    EXPECT_FALSE(firstData.isEmpty());

    std::optional<ImageCacheType> secondType;
    QByteArray secondData("x");
    EXPECT_EQ(cache.queryDiskCacheForKey(key, [&](const QImage&, const QByteArray& data, ImageCacheType type) {
        secondType = type;
        secondData = data;
    }), nullptr);
    ASSERT_TRUE(secondType) << "a memory hit answers at once";
    EXPECT_EQ(*secondType, SDImageCacheTypeMemory);
    EXPECT_TRUE(secondData.isNull());

    cache.clearMemory();
    EXPECT_TRUE(QFileInfo::exists(cache.defaultCachePathForKey(key)));
    EXPECT_TRUE(cache.imageFromMemoryCacheForKey(key).isNull());
}

TEST_F(SDImageCacheTest, QueryCancelledWhileTheQueueIsBusyNeverAnswers)
{
    const QString key = QStringLiteral("http://example.com/c.png");
    cache.storeImageDataToDisk(png(2, 2, Qt::red), key);
    dispatch::Semaphore release;
    cache.ioQueue().async([&release] { release.wait(); });
    bool called = false;
    const auto handle = cache.queryDiskCacheForKey(key, [&](const QImage&, const QByteArray&, ImageCacheType) { called = true; });
    ASSERT_NE(handle, nullptr);
    handle->cancel();
    release.signal();
    drainIoQueue();
    ASSERT_TRUE(drainMainQueue());  // an answer read on the io queue would have been queued before
    EXPECT_FALSE(called);
}

TEST_F(SDImageCacheTest, QueryCancelledAfterTheReadStillNeverAnswers)
{
    const QString key = QStringLiteral("http://example.com/c2.png");
    cache.storeImageDataToDisk(png(2, 2, Qt::red), key);
    bool called = false;
    const auto handle = cache.queryDiskCacheForKey(key, [&](const QImage&, const QByteArray&, ImageCacheType) { called = true; });
    ASSERT_NE(handle, nullptr);
    // The io queue has read the file and queued the answer; the main thread has not run it yet.
    drainIoQueue();
    handle->cancel();
    ASSERT_TRUE(drainMainQueue());  // the queued answer has had its turn
    EXPECT_FALSE(called);
}

TEST_F(SDImageCacheTest, CleanUpDropsOldFilesAndTrimsToHalfTheSize)
{
    for (int i = 0; i < 4; ++i)
        cache.storeImageDataToDisk(QByteArray(1000, char('a' + i)), QStringLiteral("k%1").arg(i));
    QFile old(cache.defaultCachePathForKey(QStringLiteral("k0")));
    ASSERT_TRUE(old.open(QIODevice::ReadWrite));
    ASSERT_TRUE(old.setFileTime(QDateTime::currentDateTimeUtc().addDays(-8), QFileDevice::FileModificationTime));
    old.close();
    for (int i = 1; i < 4; ++i) {
        QFile f(cache.defaultCachePathForKey(QStringLiteral("k%1").arg(i)));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-100 + i), QFileDevice::FileModificationTime);
    }
    bool done = false;
    cache.cleanDiskWithCompletionBlock([&done] { done = true; });
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_EQ(cache.getDiskCount(), 3u) << "only the file older than a week goes without a size limit";

    cache.setMaxCacheSize(2500);
    done = false;
    cache.cleanDiskWithCompletionBlock([&done] { done = true; });
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_EQ(cache.getDiskCount(), 1u) << "oldest first, until below half of the limit";
    EXPECT_TRUE(QFileInfo::exists(cache.defaultCachePathForKey(QStringLiteral("k3"))));
    EXPECT_EQ(cache.getSize(), 1000u);

    std::optional<std::pair<quint64, quint64>> counted;
    cache.calculateSizeWithCompletionBlock([&](quint64 count, quint64 total) { counted = {count, total}; });
    ASSERT_TRUE(waitUntil([&] { return counted.has_value(); }));
    EXPECT_EQ(counted->first, 1u);
    EXPECT_EQ(counted->second, 1000u);
}

}  // namespace
