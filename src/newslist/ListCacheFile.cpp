#include "newslist/ListCacheFile.h"

#include "database/CacheLayout.h"
#include "platform/StorageRoot.h"

#include <QDir>
#include <QFile>

namespace ListCacheFile {

namespace {

QString madeFolder(const char* folder)
{
    const QString path = CacheLayout::folderPath(folder);
    StorageRoot::ensureFolder(path);
    return path;
}

}  // namespace

QString listFolder()
{
    return madeFolder(CacheLayout::kNewsListFolder);
}

QString slideFolder()
{
    return madeFolder(CacheLayout::kSlideFolder);
}

uint64_t urlHash(const QString& url)
{
    return CacheLayout::urlHash(url);
}

QString filePathForUrl(const QString& url)
{
    return CacheLayout::filePathForUrl(CacheLayout::kNewsListFolder, url);
}

QString slideFilePathForUrl(const QString& url)
{
    return CacheLayout::filePathForUrl(CacheLayout::kSlideFolder, url);
}

QByteArray read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool write(const QString& path, const QByteArray& bytes)
{
    return StorageRoot::writeFileAtomically(path, bytes);
}

}  // namespace ListCacheFile
