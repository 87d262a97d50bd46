#include "DatabaseTestSupport.h"

#include "database/CacheLayout.h"

#include <QFileInfo>

namespace {

void putFileAt(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a folder");
}

}  // namespace

// A file left where a cache folder belongs (or where the cache root belongs) never stops the
// cache: clearing makes each folder a folder again, and so does the next writer.
TEST_F(DatabaseTest, AFileInACacheFolderPlaceGivesWayToClearingAndToWriters)
{
    const QStringList folders = CacheLayout::clearedFolders();
    for (const QString& folder : folders)
        putFileAt(folder);
    for (const char* folder : {CacheLayout::kNewsListFolder, CacheLayout::kSlideFolder, CacheLayout::kCommentManageFolder,
                               CacheLayout::kSingleNewsFolder, CacheLayout::kHotProductDetailFolder})
        EXPECT_TRUE(CacheLayout::recreateFolder(folder)) << folder;
    for (const QString& folder : folders)
        EXPECT_TRUE(QFileInfo(folder).isDir()) << folder.toStdString();

    // The writers: one through the list folder's file names, one making its folder itself.
    QDir(CacheLayout::cacheRoot()).removeRecursively();
    putFileAt(CacheLayout::cacheRoot());
    const QString listFile = CacheLayout::filePathForUrl(CacheLayout::kNewsListFolder, QStringLiteral("http://x/list"));
    EXPECT_TRUE(QFileInfo(QFileInfo(listFile).path()).isDir());
    const QString articles = QDir(CacheLayout::cacheRoot()).filePath(QLatin1String(CacheLayout::kSingleNewsFolder));
    QDir(articles).removeRecursively();
    putFileAt(articles);
    EXPECT_TRUE(StorageRoot::ensureFolder(CacheLayout::folderPath(CacheLayout::kSingleNewsFolder)));
    EXPECT_TRUE(QFileInfo(articles).isDir());
}
