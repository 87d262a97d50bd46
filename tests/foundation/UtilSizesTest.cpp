#include "foundation/Util.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

int64_t ownSize(const QString& path)
{
    struct stat status {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &status), 0) << path.toStdString();
    return status.st_size;
}

void writeFile(const QString& path, qsizetype size)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(QByteArray(size, 'x'));
}

}  // namespace

TEST(UtilSizesTest, MissingAndEmptyFolders)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath("missing");
    EXPECT_EQ(Util::folderSizeAtPath1(missing), 0);
    EXPECT_EQ(Util::folderSizeAtPath2(missing), 0);
    EXPECT_EQ(Util::folderSizeAtPath3(missing), 0);
    EXPECT_EQ(Util::fileSizeAtPath1(missing), 0);
    EXPECT_EQ(Util::fileSizeAtPath2(missing), 0);
    EXPECT_EQ(Util::folderSizeAtPath3(dir.path()), 0);
    EXPECT_EQ(Util::folderSizeAtPath2(dir.path()), 0);
}

TEST(UtilSizesTest, SubFolderEntriesCountButTheFolderItselfDoesNot)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("file"), 100);
    EXPECT_EQ(Util::fileSizeAtPath1(dir.filePath("file")), 100);
    EXPECT_EQ(Util::folderSizeAtPath2(dir.path()), 100);
    EXPECT_EQ(Util::folderSizeAtPath3(dir.path()), 100);
    EXPECT_EQ(Util::folderSizeAtPath3(dir.path() + "/"), 100);

    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    writeFile(dir.filePath("sub/inner"), 7);
    const int64_t subEntry = ownSize(dir.filePath("sub"));
    ASSERT_GT(subEntry, 0);
    EXPECT_EQ(Util::folderSizeAtPath3(dir.path()), 100 + 7 + subEntry);
    EXPECT_EQ(Util::folderSizeAtPath2(dir.path()), 100 + 7 + subEntry);
    EXPECT_EQ(Util::folderSizeAtPath1(dir.path()), 100 + 7 + subEntry);
}

TEST(UtilSizesTest, LinksCountByTheirOwnSize)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("big"), 5000);
    ASSERT_EQ(::symlink("big", QFile::encodeName(dir.filePath("link")).constData()), 0);
    ASSERT_EQ(::symlink("nowhere", QFile::encodeName(dir.filePath("dangling")).constData()), 0);
    const int64_t linkSize = ownSize(dir.filePath("link"));
    EXPECT_EQ(linkSize, 3);  // the length of "big"
    EXPECT_EQ(Util::fileSizeAtPath2(dir.filePath("link")), 3);
    EXPECT_EQ(Util::fileSizeAtPath2(dir.filePath("dangling")), 7);
    // Existence is asked through the link: a dangling link does not exist for the first size.
    EXPECT_EQ(Util::fileSizeAtPath1(dir.filePath("dangling")), 0);

    EXPECT_EQ(Util::folderSizeAtPath3(dir.path()), 5000 + 3 + 7);
    EXPECT_EQ(Util::folderSizeAtPath2(dir.path()), 5000 + 3 + 7);
    EXPECT_EQ(Util::folderSizeAtPath1(dir.path()), 5000 + 3);

    // A link to a folder is not walked into.
    ASSERT_TRUE(QDir(dir.path()).mkpath("real/deep"));
    writeFile(dir.filePath("real/deep/f"), 11);
    ASSERT_EQ(::symlink("real", QFile::encodeName(dir.filePath("folderlink")).constData()), 0);
    const int64_t folders = ownSize(dir.filePath("real")) + ownSize(dir.filePath("real/deep"));
    EXPECT_EQ(Util::folderSizeAtPath3(dir.path()), 5000 + 3 + 7 + 4 + folders + 11);
}

TEST(UtilSizesTest, LongPathsWork)
{
    QTemporaryDir dir;
    QString path = dir.path();
    const QString name(200, QLatin1Char('d'));
    while (path.size() < 3000)
        path += QLatin1Char('/') + name;
    ASSERT_TRUE(QDir().mkpath(path));
    writeFile(path + "/file", 100);

    int64_t folders = 0;
    for (QString at = path; at != dir.path(); at = at.left(at.lastIndexOf(QLatin1Char('/'))))
        folders += ownSize(at);
    EXPECT_GT(path.size() + 5, 3000);
    EXPECT_EQ(Util::folderSizeAtPath3(dir.path()), 100 + folders);
    EXPECT_EQ(Util::folderSizeAtPath2(dir.path()), 100 + folders);
}
