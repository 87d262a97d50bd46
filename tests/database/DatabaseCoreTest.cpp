#include "DatabaseTestSupport.h"

#include <QElapsedTimer>
#include <QFile>

#include <atomic>
#include <chrono>
#include <thread>

#include <sys/stat.h>

using namespace std::chrono_literals;

namespace {

bool waitFor(const std::atomic<bool>& flag, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!flag.load()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// A thread that takes the store, notes it and gives it back.
struct Contender
{
    std::atomic<bool> entered{false};
    std::thread thread{[this] {
        DatabaseOperate::Lease store;
        entered = static_cast<bool>(store);
    }};
    ~Contender()
    {
        if (thread.joinable())
            thread.join();
    }
};

}  // namespace

TEST_F(DatabaseTest, TheBracketMakesAnotherThreadWaitUntilItIsGivenBack)
{
    auto outer = std::make_unique<DatabaseOperate::Lease>();
    ASSERT_TRUE(*outer);
    Contender other;
    EXPECT_FALSE(waitFor(other.entered, 200ms));
    outer.reset();
    EXPECT_TRUE(waitFor(other.entered, 30s));

    // The raw bracket serialises the same way.
    DatabaseOperate* store = DatabaseOperate::getInstance();
    ASSERT_NE(store, nullptr);
    Contender third;
    EXPECT_FALSE(waitFor(third.entered, 200ms));
    DatabaseOperate::revertInstance();
    EXPECT_TRUE(waitFor(third.entered, 30s));
}

TEST_F(DatabaseTest, ASecondGetInstanceOnTheHoldingThreadIsRefusedAtOnce)
{
    LogCapture log;
    auto outer = std::make_unique<DatabaseOperate::Lease>();
    ASSERT_TRUE(*outer);

    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(DatabaseOperate::getInstance(), nullptr);
    {
        DatabaseOperate::Lease inner;
        EXPECT_FALSE(inner);
    }
    EXPECT_LT(timer.elapsed(), 5000);  // at once: waiting on its own lock would never end
    EXPECT_EQ(log.count(QStringLiteral("DatabaseOperate getInstance refused: this thread already holds the store")), 2);

    // The revertInstance paired with the refused getInstance leaves the outer bracket held.
    DatabaseOperate::revertInstance();
    Contender other;
    EXPECT_FALSE(waitFor(other.entered, 200ms));
    EXPECT_TRUE((*outer)->setLastUpdateTime(QStringLiteral("2020-01-02 03:04:05"), 7));
    outer.reset();
    EXPECT_TRUE(waitFor(other.entered, 30s));
}

TEST_F(DatabaseTest, RevertInstanceWithoutTheLockGivesNothingBack)
{
    LogCapture log;
    DatabaseOperate::revertInstance();
    EXPECT_EQ(log.count(QStringLiteral("DatabaseOperate revertInstance ignored: this thread does not hold the store")), 1);
    DatabaseOperate::Lease store;
    EXPECT_TRUE(store);
}

TEST_F(DatabaseTest, FirstUseCreatesAPrivateFileAndTheTable)
{
    ASSERT_FALSE(QFile::exists(databasePath()));
    DatabaseOperate::Lease store;
    EXPECT_TRUE(store->getLastUpdateTime(5).isNull());

    ASSERT_TRUE(QFile::exists(databasePath()));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(databasePath()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_TRUE(file().tableExists(QStringLiteral("LastUpdateTime")));
    EXPECT_EQ(rowCount(QStringLiteral("LastUpdateTime")), 0);
}

TEST_F(DatabaseTest, LastUpdateTimeInsertsThenReplacesAndConfirmsItsOwnTag)
{
    DatabaseOperate::Lease store;
    const QString first = QStringLiteral("2021-05-06 07:08:09");
    const QString second = QStringLiteral("2021-05-06 07:11:00");
    EXPECT_TRUE(store->setLastUpdateTime(first, 101));
    EXPECT_EQ(store->getLastUpdateTime(101), first);
    EXPECT_TRUE(store->setLastUpdateTime(second, 101));
    EXPECT_EQ(store->getLastUpdateTime(101), second);
    EXPECT_EQ(rowCount(QStringLiteral("LastUpdateTime")), 1);

    // Two tags with the same text each confirm their own row.
    EXPECT_TRUE(store->setLastUpdateTime(second, 201));
    EXPECT_TRUE(store->updateSuccess(second, 101));
    EXPECT_TRUE(store->updateSuccess(second, 201));
    EXPECT_FALSE(store->updateSuccess(first, 101));

    // A quote in the text is stored as it is.
    const QString quoted = QStringLiteral("it's '); DROP TABLE LastUpdateTime; --");
    EXPECT_TRUE(store->setLastUpdateTime(quoted, 202));
    EXPECT_EQ(store->getLastUpdateTime(202), quoted);
    EXPECT_EQ(rowCount(QStringLiteral("LastUpdateTime")), 3);

    // Without a connection the confirmation does not open the file.
    store->closeDB();
    EXPECT_FALSE(store->updateSuccess(second, 101));
    EXPECT_TRUE(store->getLastUpdateTime(999).isNull());
}

TEST_F(DatabaseTest, AFileThatCannotBeOpenedGivesFailureValuesAndIsTriedAgain)
{
    QTemporaryDir blocked;
    blockDocumentsFolder(blocked);

    {
        DatabaseOperate::Lease store;
        EXPECT_FALSE(store->setLastUpdateTime(QStringLiteral("2020-01-01 00:00:00"), 1));
        EXPECT_TRUE(store->getLastUpdateTime(1).isNull());
        EXPECT_EQ(store->getCurrentMaxNewsIDforNewsType(101), -1);
        EXPECT_TRUE(store->getWebFileLastModifyTimeforFileType(101).isNull());
        EXPECT_FALSE(store->clearNewsLastUpdateTimeDB());
        EXPECT_FALSE(store->clearForumLastUpdateTimeDB());
        EXPECT_FALSE(store->NewsList_check());
        EXPECT_FALSE(store->UrlList_check());
        EXPECT_EQ(store->WebFileLastUpdateTime_getWebFileLastUpdateTimeTypeByListType(101), 0);
        EXPECT_EQ(store->ListMaxNewsID_getListMaxNewsIDByListType(101), 0);
        QList<NewsListDataPtr> shown;
        EXPECT_FALSE(store->NewsList_getCurrentDisplayNewsList(shown));
        EXPECT_TRUE(shown.isEmpty());
    }

    // Once the folder can be made, the next operation opens the file.
    ASSERT_TRUE(QFile::remove(QDir(blocked.path()).filePath(QStringLiteral("Documents"))));
    DatabaseOperate::Lease store;
    EXPECT_TRUE(store->setLastUpdateTime(QStringLiteral("2020-01-01 00:00:00"), 1));
    EXPECT_EQ(store->getLastUpdateTime(1), QStringLiteral("2020-01-01 00:00:00"));
    store->closeDB();
}

class DatabaseBusyTest : public DatabaseTest
{
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        DatabaseOperate::Lease store;
        ASSERT_TRUE(store->setLastUpdateTime(QStringLiteral("2020-01-01 00:00:00"), 1));
        // Another connection writes and keeps the file locked.
        ASSERT_TRUE(file().beginTransaction());
        ASSERT_TRUE(file().executeUpdate(QStringLiteral("INSERT INTO LastUpdateTime VALUES (2, 'x')")));
    }
};

TEST_F(DatabaseBusyTest, AWriteGivesUpAfterTheLimitWithALogLineWhileReadsGoOn)
{
    StoreConnection::setBusyTimeLimit(300ms);
    LogCapture log;
    DatabaseOperate::Lease store;

    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(store->setLastUpdateTime(QStringLiteral("2020-02-02 00:00:00"), 3));
    const qint64 waited = timer.elapsed();
    EXPECT_GE(waited, 250);
    EXPECT_LT(waited, 5000);
    EXPECT_GE(log.count(QStringLiteral("Database busy")), 1);

    // A reader is not held up by another connection's write, and sees what was committed.
    EXPECT_EQ(store->getLastUpdateTime(1), QStringLiteral("2020-01-01 00:00:00"));
    EXPECT_TRUE(store->getLastUpdateTime(2).isNull());

    ASSERT_TRUE(file().commit());
    EXPECT_TRUE(store->setLastUpdateTime(QStringLiteral("2020-02-02 00:00:00"), 3));
    EXPECT_EQ(store->getLastUpdateTime(2), QStringLiteral("x"));
}

TEST_F(DatabaseBusyTest, ATableThatCannotBeLookedUpIsNotTakenForAMissingOne)
{
    StoreConnection::setBusyTimeLimit(300ms);
    // A connection that keeps the file to itself shuts the readers out as well; it can take the
    // file only while no other connection is open.
    ASSERT_TRUE(file().commit());
    DatabaseOperate::Lease()->closeDB();
    const std::shared_ptr<FMResultSet> mode = file().executeQuery(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE"));
    ASSERT_TRUE(mode && mode->next());
    mode->close();
    ASSERT_TRUE(file().executeUpdate(QStringLiteral("INSERT INTO LastUpdateTime VALUES (4, 'y')")));
    DatabaseOperate::Lease store;
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(store->getLastUpdateTime(1).isNull());
    EXPECT_FALSE(store->clearNewsLastUpdateTimeDB());
    EXPECT_LT(timer.elapsed(), 5000);
    ASSERT_TRUE(file().close());
    EXPECT_EQ(store->getLastUpdateTime(4), QStringLiteral("y"));
}

TEST_F(DatabaseBusyTest, AnOperationWaitsForALockThatEndsWithinTheLimit)
{
    StoreConnection::setBusyTimeLimit(5000ms);
    DatabaseOperate::Lease store;
    std::atomic<bool> started{false};
    // The lock ends 150 ms after the operation began, however long opening the store took.
    std::thread committer([this, &started] {
        while (!started.load())
            std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(150ms);
        file().commit();
    });
    QElapsedTimer timer;
    timer.start();
    started = true;
    EXPECT_TRUE(store->setLastUpdateTime(QStringLiteral("2020-02-02 00:00:00"), 3));
    EXPECT_GE(timer.elapsed(), 100);
    committer.join();
    EXPECT_EQ(store->getLastUpdateTime(2), QStringLiteral("x"));
}

// A file last written in the rollback journal's mode, opened while another connection reads it:
// the switch to the write-ahead log waits for the reader like any other statement.
TEST_F(DatabaseTest, AnOldFileOpenedWhileAnotherConnectionReadsStillMovesToTheLog)
{
    StoreConnection::setBusyTimeLimit(5000ms);
    const std::shared_ptr<FMResultSet> mode = file().executeQuery(QStringLiteral("PRAGMA journal_mode=DELETE"));
    ASSERT_TRUE(mode && mode->next());
    ASSERT_EQ(mode->stringForColumnIndex(0), QStringLiteral("delete"));
    mode->close();
    ASSERT_EQ(sqlite3_exec(file().sqliteHandle(), "BEGIN; SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr),
              SQLITE_OK);
    std::atomic<bool> started{false};
    std::thread reader([this, &started] {
        while (!started.load())
            std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(150ms);
        sqlite3_exec(file().sqliteHandle(), "COMMIT;", nullptr, nullptr, nullptr);
    });
    started = true;
    EXPECT_TRUE(DatabaseOperate::Lease()->setLastUpdateTime(QStringLiteral("2020-02-02 00:00:00"), 3));
    reader.join();
    // The file's own mark (its header), which a connection that switched nothing may not see yet.
    QFile header(databasePath());
    ASSERT_TRUE(header.open(QIODevice::ReadOnly));
    EXPECT_EQ(header.read(20).mid(18, 2), QByteArray("\x02\x02")) << "still in the rollback journal";
}
