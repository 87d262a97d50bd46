#include "database/CacheLayout.h"

#include "database/DatabaseOperate.h"
#include "platform/StorageRoot.h"

#include <QDir>

QString CacheLayout::cacheRoot()
{
    return QDir(StorageRoot::documentsPath()).filePath(QStringLiteral("tmp"));
}

QString CacheLayout::folderPath(const char* folder)
{
    // Every cache read and write asks for its folder: one look at the disk when all is well.
    return StorageRoot::cacheFolderPath(cacheRoot(), QLatin1String(folder));
}

QStringList CacheLayout::clearedFolders()
{
    return {folderPath(kNewsListFolder), folderPath(kSlideFolder), folderPath(kCommentManageFolder),
            folderPath(kSingleNewsFolder), folderPath(kHotProductDetailFolder)};
}

uint64_t CacheLayout::urlHash(const QString& url)
{
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (const QChar unit : url) {
        const char16_t code = unit.unicode();
        hash = (hash ^ (code & 0xffu)) * 0x100000001b3ULL;
        hash = (hash ^ (code >> 8)) * 0x100000001b3ULL;
    }
    return hash;
}

QString CacheLayout::filePathForUrl(const char* folder, const QString& url)
{
    const QString path = folderPath(folder);
    StorageRoot::ensureFolder(path);
    return QDir(path).filePath(QString::number(urlHash(url), 16));
}

bool CacheLayout::recreateFolder(const char* folder)
{
    const QString path = folderPath(folder);
    QDir(path).removeRecursively();
    StorageRoot::ensureFolder(path);
    const QDir dir(path);
    return dir.exists() && dir.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

int CacheLayout::clearContentStateTables()
{
    // One lease per table, so a reader waiting for the store gets in between two of them.
    using Clear = bool (DatabaseOperate::*)();
    static constexpr Clear kTables[] = {
        &DatabaseOperate::clearNewsStateDB,         &DatabaseOperate::clearForumStateDB,
        &DatabaseOperate::clearZefupStateDB,        &DatabaseOperate::clearHotCommentStateDB,
        &DatabaseOperate::clearListADStateDB,       &DatabaseOperate::clearListADDeleteStateDB,
        &DatabaseOperate::clearNewsLastUpdateTimeDB, &DatabaseOperate::clearForumLastUpdateTimeDB,
        &DatabaseOperate::clearReadedNewsDB,
    };
    int cleared = 0;
    for (const Clear clear : kTables) {
        DatabaseOperate::Lease store;
        if (store && ((*store).*clear)())
            ++cleared;
    }
    return cleared;
}
