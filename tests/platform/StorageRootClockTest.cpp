#include "platform/Clock.h"
#include "platform/StorageRoot.h"

#include "TestEnvironment.h"
#include "ScopeGuard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdlib>

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace {

mode_t modeOf(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return info.st_mode & 0777;
}

}  // namespace

TEST(StorageRoot, FoldersAreCreatedPrivateWithTheirParents)
{
    QTemporaryDir temp;
    const QString root = temp.path() + QStringLiteral("/new/root");
    const auto restoreRoot = onScopeExit([] { StorageRoot::setRoot(TestEnvironment::rootPath()); });
    StorageRoot::setRoot(root);
    const QString documents = StorageRoot::documentsPath();
    const QString caches = StorageRoot::cachesPath();
    const QString preferences = StorageRoot::preferencesPath();

    EXPECT_EQ(documents, root + QStringLiteral("/Documents"));
    EXPECT_EQ(caches, root + QStringLiteral("/Caches"));
    EXPECT_EQ(preferences, root + QStringLiteral("/Preferences"));
    for (const QString& folder : {documents, caches, preferences, root, temp.path() + QStringLiteral("/new")}) {
        EXPECT_TRUE(QFileInfo(folder).isDir()) << folder.toStdString();
        EXPECT_EQ(modeOf(folder), mode_t(0700)) << folder.toStdString();
    }

    const QString deep = temp.path() + QStringLiteral("/a/b/../c/d");
    EXPECT_TRUE(StorageRoot::ensureFolder(deep));
    EXPECT_TRUE(QFileInfo(temp.path() + QStringLiteral("/a/c/d")).isDir());
    EXPECT_EQ(modeOf(temp.path() + QStringLiteral("/a")), mode_t(0700));
    EXPECT_TRUE(StorageRoot::ensureFolder(deep));  // existing: still true
    EXPECT_FALSE(StorageRoot::ensureFolder(QString()));

    // A file in the way is not a folder.
    QFile blocker(temp.path() + QStringLiteral("/file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(StorageRoot::ensureFolder(temp.path() + QStringLiteral("/file/sub")));
}

TEST(StorageRoot, AtomicWritesMakeTheFolderAndReplaceTheFileWhole)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("a/b/file.xml"));
    ASSERT_TRUE(StorageRoot::writeFileAtomically(path, "first, longer text"));
    ASSERT_TRUE(StorageRoot::writeFileAtomically(path, "second"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("second"));
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("a/b"))).entryList(QDir::Files | QDir::Hidden), QStringList{"file.xml"})
        << "no temporary file is left beside it";

    // A folder that cannot be made (a file stands in its place) and an empty path write nothing.
    EXPECT_FALSE(StorageRoot::writeFileAtomically(dir.filePath(QStringLiteral("a/b/file.xml/inner")), "x"));
    EXPECT_FALSE(StorageRoot::writeFileAtomically(QString(), "x"));
}

TEST(Clock, SetAdvanceAndReset)
{
    const QDateTime fixed = QDateTime::fromMSecsSinceEpoch(1420000000000, Qt::UTC);
    const auto restoreClock = onScopeExit([] {
        Clock::reset();
        Clock::resetLocalZone();
    });
    Clock::setNow(fixed);
    EXPECT_EQ(Clock::now(), fixed);
    EXPECT_DOUBLE_EQ(Clock::nowSeconds(), 1420000000.0);
    Clock::advance(1500);
    EXPECT_EQ(Clock::now(), fixed.addMSecs(1500));
    Clock::advance(-3000);
    EXPECT_EQ(Clock::now().toMSecsSinceEpoch(), 1419999998500);

    Clock::reset();
    const qint64 real = QDateTime::currentMSecsSinceEpoch();
    EXPECT_LE(std::llabs(Clock::now().toMSecsSinceEpoch() - real), 1000);

    // Advancing a running clock fixes it relative to the real now.
    Clock::advance(3600 * 1000);
    EXPECT_NEAR(double(Clock::now().toMSecsSinceEpoch() - real), 3600.0 * 1000, 1000);
    Clock::setNow(QDateTime());
    EXPECT_LE(std::llabs(Clock::now().toMSecsSinceEpoch() - QDateTime::currentMSecsSinceEpoch()), 1000);

    EXPECT_EQ(Clock::beijingZone().offsetFromUtc(QDateTime::fromMSecsSinceEpoch(520000000000, Qt::UTC)), 8 * 3600);
    Clock::setLocalZone(QTimeZone(-5 * 3600));
    EXPECT_EQ(Clock::localZone().offsetFromUtc(fixed), -5 * 3600);
    Clock::resetLocalZone();
    EXPECT_EQ(Clock::localZone(), QTimeZone::systemTimeZone());
}
