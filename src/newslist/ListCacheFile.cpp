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

QString hashName(const QString& url)
{
    return QString::number(urlHash(url), 16);
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
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (const QChar unit : url) {
        const char16_t code = unit.unicode();
        hash = (hash ^ (code & 0xffu)) * 0x100000001b3ULL;
        hash = (hash ^ (code >> 8)) * 0x100000001b3ULL;
    }
    return hash;
}

QString filePathForUrl(const QString& url)
{
    return QDir(listFolder()).filePath(hashName(url));
}

QString slideFilePathForUrl(const QString& url)
{
    return QDir(slideFolder()).filePath(hashName(url));
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
