#pragma once

#include "images/AutoPurgeCache.h"
#include "images/ImageLoadTypes.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

// Posted (default centre, no object) after clearMemory: whoever keeps copies of the cached
// pictures lets them go too.
inline constexpr auto SDImageCacheDidClearMemoryNotification = "SDImageCacheDidClearMemory";
#include <mutex>

namespace dispatch {
class SerialQueue;
}

// The handle of a disk query: cancelling it before the query's result is handed over means the
// done block never runs.
class SDImageCacheQueryOperation
{
public:
    void cancel() { m_cancelled = true; }
    bool isCancelled() const { return m_cancelled; }

private:
    std::atomic<bool> m_cancelled{false};
};

using SDWebImageQueryCompletedBlock = std::function<void(const QImage& image, const QByteArray& data, ImageCacheType cacheType)>;
using SDWebImageCheckCacheCompletionBlock = std::function<void(bool isInCache)>;
using SDWebImageNoParamsBlock = std::function<void()>;
using SDWebImageCalculateSizeBlock = std::function<void(quint64 fileCount, quint64 totalSize)>;

// Images by key (the picture's URL text) in two levels: decoded images in memory, bounded by a
// total cost (width x height), and the image files in one folder on disk. All disk work of the
// asynchronous entry points runs on one serial queue; done and completion blocks run on the main
// thread, except that a memory hit answers at once on the caller's thread.
class SDImageCache
{
public:
    static constexpr uint64_t kDefaultMaxMemoryCost = 32000000;
    static constexpr int64_t kDefaultMaxCacheAge = 60 * 60 * 24 * 7;

    // The one cache of the program, in "<caches>/default/com.velbrook.SDWebImageCache.default".
    static const std::shared_ptr<SDImageCache>& sharedImageCache();

    // Namespace "default".
    SDImageCache();
    explicit SDImageCache(const QString& ns);
    // The folder is the directory followed by "com.velbrook.SDWebImageCache." and the namespace;
    // a null directory means the caches folder.
    SDImageCache(const QString& ns, const QString& directory);
    // Finishes the disk work still queued.
    ~SDImageCache();
    SDImageCache(const SDImageCache&) = delete;
    SDImageCache& operator=(const SDImageCache&) = delete;

    // The caches folder followed by the name.
    static QString makeDiskCachePath(const QString& fullNamespace);
    void addReadOnlyCachePath(const QString& path);
    QStringList customPaths() const;

    // Lower-case hex MD5 of the key's UTF-8 (a null key counts as ""), then "." and the key's
    // path extension when it has one (a query stays part of it).
    static QString cachedFileNameForKey(const QString& key);
    static QString cachePathForKey(const QString& key, const QString& path);
    QString defaultCachePathForKey(const QString& key) const;
    QString diskCachePath() const { return m_diskCachePath; }

    // Memory first, then (to disk) the given bytes on the io queue; when recalculate is set or
    // there are no bytes the image is encoded instead (PNG for PNG or GIF bytes, else JPEG).
    void storeImage(const QImage& image, bool recalculate, const QByteArray& imageData, const QString& key, bool toDisk);
    void storeImage(const QImage& image, const QString& key);
    void storeImage(const QImage& image, const QString& key, bool toDisk);
    // On the caller's thread; the file appears complete or not at all.
    void storeImageDataToDisk(const QByteArray& imageData, const QString& key);

    QImage imageFromMemoryCacheForKey(const QString& key);
    // Synchronous: memory, else the disk (then kept in memory).
    QImage imageFromDiskCacheForKey(const QString& key);
    // Default path, the bare digest, then each read-only folder the same way; null when none.
    QByteArray diskImageDataBySearchingAllPathsForKey(const QString& key) const;
    QImage diskImageForKey(const QString& key);

    // Null when done is empty or it already ran (empty key, memory hit).
    std::shared_ptr<SDImageCacheQueryOperation> queryDiskCacheForKey(const QString& key, SDWebImageQueryCompletedBlock done);
    bool diskImageExistsWithKey(const QString& key) const;
    void diskImageExistsWithKey(const QString& key, SDWebImageCheckCacheCompletionBlock completion);

    void removeImageForKey(const QString& key);
    void removeImageForKey(const QString& key, SDWebImageNoParamsBlock completion);
    void removeImageForKey(const QString& key, bool fromDisk);
    void removeImageForKey(const QString& key, bool fromDisk, SDWebImageNoParamsBlock completion);

    void clearMemory();
    void clearDisk();
    void clearDiskOnCompletion(SDWebImageNoParamsBlock completion);
    void cleanDisk();
    void cleanDiskWithCompletionBlock(SDWebImageNoParamsBlock completion);

    quint64 getSize();
    quint64 getDiskCount();
    void calculateSizeWithCompletionBlock(SDWebImageCalculateSizeBlock completion);

    QImage scaledImageForKey(const QString& key, const QImage& image) const;

    // Settings.
    bool shouldDecompressImages() const { return m_shouldDecompressImages; }
    void setShouldDecompressImages(bool value) { m_shouldDecompressImages = value; }
    // Desktop backups have no per-file exclusion mark; kept for callers that set it.
    bool shouldDisableiCloud() const { return m_shouldDisableiCloud; }
    void setShouldDisableiCloud(bool value) { m_shouldDisableiCloud = value; }
    bool shouldCacheImagesInMemory() const { return m_shouldCacheImagesInMemory; }
    void setShouldCacheImagesInMemory(bool value) { m_shouldCacheImagesInMemory = value; }
    int64_t maxCacheAge() const { return m_maxCacheAge; }
    void setMaxCacheAge(int64_t seconds) { m_maxCacheAge = seconds; }
    uint64_t maxCacheSize() const { return m_maxCacheSize; }
    void setMaxCacheSize(uint64_t bytes) { m_maxCacheSize = bytes; }
    // Total width x height kept in memory; 0 restores the default.
    uint64_t maxMemoryCost() const;
    void setMaxMemoryCost(uint64_t cost);
    // 0: no count limit.
    uint64_t maxMemoryCountLimit() const;
    void setMaxMemoryCountLimit(uint64_t count);

    AutoPurgeCache& memCache() { return m_memCache; }
    dispatch::SerialQueue& ioQueue() { return *m_ioQueue; }

    // Width times height.
    static uint64_t cacheCostForImage(const QImage& image);

private:
    // diskCachePath, cleared of a file standing in its place (or in its parent's): the writers ask
    // for it, so such a file never stops the disk level for good.
    QString diskCacheFolder() const;
    void putInMemory(const QString& key, const QImage& image);
    QImage imageFromData(const QString& key, const QByteArray& data) const;

    AutoPurgeCache m_memCache{kDefaultMaxMemoryCost};
    QString m_diskCachePath;
    mutable std::mutex m_customPathsMutex;
    QStringList m_customPaths;  // guarded by m_customPathsMutex
    std::unique_ptr<dispatch::SerialQueue> m_ioQueue;

    std::atomic<bool> m_shouldDecompressImages{true};
    std::atomic<bool> m_shouldDisableiCloud{true};
    std::atomic<bool> m_shouldCacheImagesInMemory{true};
    std::atomic<int64_t> m_maxCacheAge{kDefaultMaxCacheAge};
    std::atomic<uint64_t> m_maxCacheSize{0};
};
