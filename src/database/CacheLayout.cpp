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
    return QDir(cacheRoot()).filePath(QLatin1String(folder));
}

QStringList CacheLayout::clearedFolders()
{
    return {folderPath(kNewsListFolder), folderPath(kSlideFolder), folderPath(kCommentManageFolder),
            folderPath(kSingleNewsFolder), folderPath(kHotProductDetailFolder)};
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
