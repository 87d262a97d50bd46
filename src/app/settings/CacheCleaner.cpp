#include "app/settings/CacheCleaner.h"

#include "database/CacheLayout.h"
#include "foundation/Util.h"
#include "images/SDImageCache.h"
#include "remoteconfig/NSADInfoManager.h"

#include <QDirIterator>
#include <QFileInfo>

CacheCleaner::CacheCleaner()
    : CacheCleaner(Owners{[] { NSADInfoManager::getInstance().clearDisk(); },
                          [] { SDImageCache::sharedImageCache()->clearMemory(); }})
{
}

CacheCleaner::CacheCleaner(Owners owners) : m_owners(std::move(owners)) {}

int64_t CacheCleaner::getCacheFilesSize() const
{
    int64_t total = Util::folderSizeAtPath3(CacheLayout::cacheRoot());
    if (total > 0)
        return total;
    total = 0;
    for (const QString& path : getCacheFilePath())
        total += QFileInfo(path).size();
    return total;
}

QStringList CacheCleaner::getCacheFilePath() const
{
    QStringList paths;
    QDirIterator it(CacheLayout::cacheRoot(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.append(it.next());
    return paths;
}

QString CacheCleaner::formatCacheSize(int64_t bytes)
{
    constexpr int64_t kKB = 1024;
    constexpr int64_t kMB = 1048576;
    constexpr int64_t kGB = 1073741824;
    if (bytes >= kGB)
        return QString::asprintf("%.2f GB", static_cast<double>(bytes) / kGB);
    if (bytes < kKB)
        return QString::asprintf("%lld Byte", static_cast<long long>(bytes));
    if (bytes < kMB)
        return QString::asprintf("%.2f KB", static_cast<double>(bytes) / kKB);
    return QString::asprintf("%.2f MB", static_cast<double>(bytes) / kMB);
}

QString CacheCleaner::cleanCaches()
{
    clearDisk();
    if (m_owners.clearAdImages)
        m_owners.clearAdImages();
    clearCommentDisk();
    if (m_owners.clearImageMemory)
        m_owners.clearImageMemory();
    clearNewsDisk();
    clearHotDisk();
    CacheLayout::clearContentStateTables();
    return QString::fromLatin1(kClearedText);
}

void CacheCleaner::clearDisk()
{
    CacheLayout::recreateFolder(CacheLayout::kNewsListFolder);
    CacheLayout::recreateFolder(CacheLayout::kSlideFolder);
}

void CacheCleaner::clearCommentDisk()
{
    CacheLayout::recreateFolder(CacheLayout::kCommentManageFolder);
}

void CacheCleaner::clearNewsDisk()
{
    CacheLayout::recreateFolder(CacheLayout::kSingleNewsFolder);
}

void CacheCleaner::clearHotDisk()
{
    CacheLayout::recreateFolder(CacheLayout::kHotProductDetailFolder);
}
