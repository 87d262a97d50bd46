#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

// Size and clearing of the cache the settings pages show: the raw replies under Documents/tmp,
// the ad images of ads no longer current, the pictures in memory and the content-state tables.
class CacheCleaner
{
public:
    // The two owners outside the cache folders; the real ones unless a test puts others.
    struct Owners
    {
        std::function<void()> clearAdImages;     // NSADInfoManager clearDisk
        std::function<void()> clearImageMemory;  // SDImageCache clearMemory
    };

    CacheCleaner();
    explicit CacheCleaner(Owners owners);

    // Bytes of every file below the cache root; when that is not above zero, the sum of the
    // sizes of everything getCacheFilePath lists.
    int64_t getCacheFilesSize() const;
    // Full paths of everything below the cache root.
    QStringList getCacheFilePath() const;
    // The size as the pages show it.
    QString countCacheSize() const { return formatCacheSize(getCacheFilesSize()); }
    // "%lld Byte" below 1024, "%.2f KB" below 2^20, "%.2f MB" below 2^30, else "%.2f GB".
    static QString formatCacheSize(int64_t bytes);

    // Clears in this order: list and slide folders, the ad images, the comment folder, the
    // pictures in memory, the article folder, the deal folder, the nine tables. Returns the text
    // the pages show afterwards, "0.0B", whatever could not be removed.
    QString cleanCaches();
    void clearDisk();
    void clearCommentDisk();
    void clearNewsDisk();
    void clearHotDisk();

    static constexpr auto kClearedText = "0.0B";

private:
    Owners m_owners;
};
