#include "images/SDImageCache.h"

#include "images/ImageDecoding.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/StorageRoot.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <vector>

namespace {

const QString kFullNamespacePrefix = QStringLiteral("com.velbrook.SDWebImageCache.");

// The extension of the key read as a path: from the last "." of its last "/"-separated part.
QString pathExtension(const QString& key)
{
    QString path = key;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    const QString last = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = last.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || dot == last.size() - 1)
        return {};
    return last.mid(dot + 1);
}

QString withoutExtension(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot < 0)
        return path;
    return path.left(path.size() - name.size() + dot);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray data = file.readAll();
    // A found file with nothing in it still counts as found, as an empty but non-null value.
    if (data.isNull())
        data = QByteArray("");
    return data;
}

}  // namespace

const std::shared_ptr<SDImageCache>& SDImageCache::sharedImageCache()
{
    // Never destroyed: image loads may still be finishing while the process ends.
    static auto* instance = new std::shared_ptr<SDImageCache>(std::make_shared<SDImageCache>());
    return *instance;
}

SDImageCache::SDImageCache() : SDImageCache(QStringLiteral("default")) {}

SDImageCache::SDImageCache(const QString& ns) : SDImageCache(ns, makeDiskCachePath(ns)) {}

SDImageCache::SDImageCache(const QString& ns, const QString& directory)
    : m_ioQueue(std::make_unique<dispatch::SerialQueue>(QStringLiteral("com.velbrook.SDWebImageCache")))
{
    const QString fullNamespace = kFullNamespacePrefix + ns;
    m_memCache.setName(fullNamespace);
    m_diskCachePath = directory.isNull() ? makeDiskCachePath(fullNamespace) : directory + QLatin1Char('/') + fullNamespace;
}

SDImageCache::~SDImageCache()
{
    m_ioQueue.reset();
}

QString SDImageCache::makeDiskCachePath(const QString& fullNamespace)
{
    return StorageRoot::cachesPath() + QLatin1Char('/') + fullNamespace;
}

void SDImageCache::addReadOnlyCachePath(const QString& path)
{
    std::lock_guard lock(m_customPathsMutex);
    if (!m_customPaths.contains(path))
        m_customPaths.append(path);
}

QStringList SDImageCache::customPaths() const
{
    std::lock_guard lock(m_customPathsMutex);
    return m_customPaths;
}

QString SDImageCache::cachedFileNameForKey(const QString& key)
{
    const QByteArray digest = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Md5).toHex();
    const QString extension = pathExtension(key);
    QString name = QString::fromLatin1(digest);
    if (!extension.isEmpty())
        name += QLatin1Char('.') + extension;
    return name;
}

QString SDImageCache::cachePathForKey(const QString& key, const QString& path)
{
    return path + QLatin1Char('/') + cachedFileNameForKey(key);
}

QString SDImageCache::diskCacheFolder() const
{
    const QFileInfo folder(m_diskCachePath);
    return StorageRoot::cacheFolderPath(folder.path(), folder.fileName());
}

QString SDImageCache::defaultCachePathForKey(const QString& key) const
{
    return cachePathForKey(key, m_diskCachePath);
}

uint64_t SDImageCache::cacheCostForImage(const QImage& image)
{
    return static_cast<uint64_t>(std::max(0, image.width())) * static_cast<uint64_t>(std::max(0, image.height()));
}

void SDImageCache::putInMemory(const QString& key, const QImage& image)
{
    if (m_shouldCacheImagesInMemory)
        m_memCache.setObject(key, image, cacheCostForImage(image));
}

void SDImageCache::storeImage(const QImage& image, bool recalculate, const QByteArray& imageData, const QString& key,
                              bool toDisk)
{
    if (image.isNull() || key.isEmpty())
        return;
    putInMemory(key, image);
    if (!toDisk)
        return;
    m_ioQueue->async([this, image, recalculate, imageData, key] {
        QByteArray data = imageData;
        if (recalculate || data.isEmpty())
            data = SDEncodedImageData(image, imageData);
        storeImageDataToDisk(data, key);
    });
}

void SDImageCache::storeImage(const QImage& image, const QString& key)
{
    storeImage(image, true, QByteArray(), key, true);
}

void SDImageCache::storeImage(const QImage& image, const QString& key, bool toDisk)
{
    storeImage(image, true, QByteArray(), key, toDisk);
}

void SDImageCache::storeImageDataToDisk(const QByteArray& imageData, const QString& key)
{
    if (imageData.isEmpty())
        return;
    StorageRoot::writeFileAtomically(cachePathForKey(key, diskCacheFolder()), imageData);
}

QImage SDImageCache::imageFromMemoryCacheForKey(const QString& key)
{
    return m_memCache.objectForKey(key);
}

QImage SDImageCache::imageFromDiskCacheForKey(const QString& key)
{
    const QImage cached = imageFromMemoryCacheForKey(key);
    if (!cached.isNull())
        return cached;
    const QImage image = diskImageForKey(key);
    if (!image.isNull())
        putInMemory(key, image);
    return image;
}

QByteArray SDImageCache::diskImageDataBySearchingAllPathsForKey(const QString& key) const
{
    // The own folder first, then the read-only ones; in each the file with the extension, then
    // the bare digest.
    QStringList folders = customPaths();
    folders.prepend(m_diskCachePath);
    for (const QString& folder : std::as_const(folders)) {
        const QString path = cachePathForKey(key, folder);
        for (const QString& candidate : {path, withoutExtension(path)}) {
            const QByteArray data = readFile(candidate);
            if (!data.isNull())
                return data;
        }
    }
    return {};
}

QImage SDImageCache::imageFromData(const QString& key, const QByteArray& data) const
{
    if (data.isNull())
        return {};
    QImage image = scaledImageForKey(key, NSImage_MultiFormat::sd_imageWithData(data));
    if (m_shouldDecompressImages)
        image = NSImage_ForceDecode::decodedImageWithImage(image);
    return image;
}

QImage SDImageCache::diskImageForKey(const QString& key)
{
    return imageFromData(key, diskImageDataBySearchingAllPathsForKey(key));
}

std::shared_ptr<SDImageCacheQueryOperation> SDImageCache::queryDiskCacheForKey(const QString& key,
                                                                               SDWebImageQueryCompletedBlock done)
{
    if (!done)
        return nullptr;
    if (key.isEmpty()) {
        done(QImage(), QByteArray(), SDImageCacheTypeNone);
        return nullptr;
    }
    const QImage cached = imageFromMemoryCacheForKey(key);
    if (!cached.isNull()) {
        // Images here never have frames, so a memory hit needs no disk data.
        done(cached, QByteArray(), SDImageCacheTypeMemory);
        return nullptr;
    }
    auto operation = std::make_shared<SDImageCacheQueryOperation>();
    m_ioQueue->async([this, key, operation, done = std::move(done)]() mutable {
        if (operation->isCancelled())
            return;
        // The file is read once; the image is decoded from the same bytes.
        const QByteArray data = diskImageDataBySearchingAllPathsForKey(key);
        const QImage image = imageFromData(key, data);
        if (!image.isNull())
            putInMemory(key, image);
        dispatch::asyncMain([operation, image, data, done = std::move(done)] {
            // A cancel that came while the file was read still stops the answer.
            if (!operation->isCancelled())
                done(image, data, SDImageCacheTypeDisk);
        });
    });
    return operation;
}

bool SDImageCache::diskImageExistsWithKey(const QString& key) const
{
    const QString path = defaultCachePathForKey(key);
    return QFileInfo::exists(path) || QFileInfo::exists(withoutExtension(path));
}

void SDImageCache::diskImageExistsWithKey(const QString& key, SDWebImageCheckCacheCompletionBlock completion)
{
    m_ioQueue->async([this, key, completion = std::move(completion)]() mutable {
        const bool exists = diskImageExistsWithKey(key);
        if (completion)
            dispatch::asyncMain([exists, completion = std::move(completion)] { completion(exists); });
    });
}

void SDImageCache::removeImageForKey(const QString& key)
{
    removeImageForKey(key, true, nullptr);
}

void SDImageCache::removeImageForKey(const QString& key, SDWebImageNoParamsBlock completion)
{
    removeImageForKey(key, true, std::move(completion));
}

void SDImageCache::removeImageForKey(const QString& key, bool fromDisk)
{
    removeImageForKey(key, fromDisk, nullptr);
}

void SDImageCache::removeImageForKey(const QString& key, bool fromDisk, SDWebImageNoParamsBlock completion)
{
    if (key.isEmpty())
        return;
    if (m_shouldCacheImagesInMemory)
        m_memCache.removeObjectForKey(key);
    if (!fromDisk) {
        if (completion)
            completion();
        return;
    }
    m_ioQueue->async([this, key, completion = std::move(completion)]() mutable {
        // The search also finds the file under the bare digest, so that one goes too: otherwise
        // a removed picture would come back on the next load.
        const QString path = defaultCachePathForKey(key);
        QFile::remove(path);
        if (withoutExtension(path) != path)
            QFile::remove(withoutExtension(path));
        if (completion)
            dispatch::asyncMain(std::move(completion));
    });
}

void SDImageCache::clearMemory()
{
    m_memCache.removeAllObjects();
    NotificationCenter::defaultCenter().post(QLatin1String(SDImageCacheDidClearMemoryNotification));
}

void SDImageCache::clearDisk()
{
    clearDiskOnCompletion(nullptr);
}

void SDImageCache::clearDiskOnCompletion(SDWebImageNoParamsBlock completion)
{
    m_ioQueue->async([this, completion = std::move(completion)]() mutable {
        const QString folder = diskCacheFolder();
        QDir(folder).removeRecursively();
        StorageRoot::ensureFolder(folder);
        if (completion)
            dispatch::asyncMain(std::move(completion));
    });
}

void SDImageCache::cleanDisk()
{
    cleanDiskWithCompletionBlock(nullptr);
}

void SDImageCache::cleanDiskWithCompletionBlock(SDWebImageNoParamsBlock completion)
{
    m_ioQueue->async([this, completion = std::move(completion)]() mutable {
        const QDateTime expiry = QDateTime::currentDateTimeUtc().addSecs(-m_maxCacheAge);
        std::vector<QFileInfo> kept;
        quint64 total = 0;
        QDirIterator it(m_diskCachePath, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            const QFileInfo info = it.fileInfo();
            if (info.isDir())
                continue;
            if (info.lastModified().toUTC() <= expiry) {
                QFile::remove(info.absoluteFilePath());
                continue;
            }
            total += static_cast<quint64>(info.size());
            kept.push_back(info);
        }
        const quint64 limit = m_maxCacheSize;
        if (limit > 0 && total > limit) {
            const quint64 target = limit / 2;
            std::sort(kept.begin(), kept.end(),
                      [](const QFileInfo& a, const QFileInfo& b) { return a.lastModified() < b.lastModified(); });
            for (const QFileInfo& info : kept) {
                if (QFile::remove(info.absoluteFilePath())) {
                    total -= static_cast<quint64>(info.size());
                    if (total < target)
                        break;
                }
            }
        }
        if (completion)
            dispatch::asyncMain(std::move(completion));
    });
}

quint64 SDImageCache::getSize()
{
    quint64 size = 0;
    m_ioQueue->sync([this, &size] {
        const QFileInfoList entries = QDir(m_diskCachePath).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        for (const QFileInfo& info : entries)
            size += static_cast<quint64>(std::max<qint64>(0, info.size()));
    });
    return size;
}

quint64 SDImageCache::getDiskCount()
{
    quint64 count = 0;
    m_ioQueue->sync([this, &count] {
        QDirIterator it(m_diskCachePath, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            ++count;
        }
    });
    return count;
}

void SDImageCache::calculateSizeWithCompletionBlock(SDWebImageCalculateSizeBlock completion)
{
    m_ioQueue->async([this, completion = std::move(completion)]() mutable {
        quint64 count = 0;
        quint64 total = 0;
        QDirIterator it(m_diskCachePath, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            total += static_cast<quint64>(it.fileInfo().size());
            ++count;
        }
        if (completion)
            dispatch::asyncMain([count, total, completion = std::move(completion)] { completion(count, total); });
    });
}

QImage SDImageCache::scaledImageForKey(const QString& key, const QImage& image) const
{
    return SDScaledImageForKey(key, image);
}

uint64_t SDImageCache::maxMemoryCost() const
{
    return m_memCache.totalCostLimit();
}

void SDImageCache::setMaxMemoryCost(uint64_t cost)
{
    m_memCache.setTotalCostLimit(cost == 0 ? kDefaultMaxMemoryCost : cost);
}

uint64_t SDImageCache::maxMemoryCountLimit() const
{
    return m_memCache.countLimit();
}

void SDImageCache::setMaxMemoryCountLimit(uint64_t count)
{
    m_memCache.setCountLimit(count);
}
