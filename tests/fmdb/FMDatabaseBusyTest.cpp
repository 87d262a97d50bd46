#include "FMDBTestSupport.h"
#include "Library/FMDB/FMDatabase.h"
#include "Library/FMDB/FMResultSet.h"

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

namespace {

// Counts the busy results a connection meets; answering 0 hands every one back to the caller.
int countBusy(void* counter, int)
{
    static_cast<std::atomic<int>*>(counter)->fetch_add(1);
    return 0;
}

// Two connections on one file; the first holds an exclusive transaction with one row in it.
class FMDatabaseBusyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        path = freshDatabasePath(QStringLiteral("busy"));
        first = FMDatabase::databaseWithPath(path);
        ASSERT_TRUE(first->open());
        ASSERT_TRUE(first->executeUpdate(QStringLiteral("CREATE TABLE t (a)")));
        second = FMDatabase::databaseWithPath(path);
        ASSERT_TRUE(second->open());
        // Loading the schema now keeps preparing free of the lock; only stepping meets it.
        ASSERT_TRUE(second->tableExists(QStringLiteral("t")));
        sqlite3_busy_handler(second->sqliteHandle(), countBusy, &busyResults);
        ASSERT_TRUE(first->beginTransaction());
        ASSERT_TRUE(first->executeUpdate(QStringLiteral("INSERT INTO t VALUES (1)")));
    }

    QString path;
    std::shared_ptr<FMDatabase> first;
    std::shared_ptr<FMDatabase> second;
    std::atomic<int> busyResults{0};
};

}  // namespace

TEST_F(FMDatabaseBusyTest, ASecondConnectionWaitsUntilTheFirstCommits)
{
    std::atomic<bool> done{false};
    bool inserted = false;
    std::thread writer([&] {
        inserted = second->executeUpdate(QStringLiteral("INSERT INTO t VALUES (2)"));
        done = true;
    });
    const bool metBusy = waitUntil([&] { return busyResults.load() > 0; }, 30000);
    EXPECT_TRUE(metBusy);
    EXPECT_FALSE(done.load());  // still waiting without a limit
    EXPECT_TRUE(first->commit());
    const bool finished = waitUntil([&] { return done.load(); }, 30000);
    if (!finished)
        second->setBusyRetryTimeout(1);  // the limit is read after every sleep: make the writer give up
    writer.join();
    EXPECT_TRUE(finished);
    EXPECT_TRUE(inserted);
    EXPECT_EQ(first->intForQuery(QStringLiteral("SELECT count(*) FROM t")), 2);
}

TEST_F(FMDatabaseBusyTest, ARetryLimitGivesUpAtTheLimitPlusTwo)
{
    second->setBusyRetryTimeout(3);
    LogCapture log;
    EXPECT_FALSE(second->executeUpdate(QStringLiteral("INSERT INTO t VALUES (2)")));
    EXPECT_EQ(busyResults.load(), 5);
    EXPECT_TRUE(log.lines().isEmpty());  // a step that gave up is not logged by an update

    busyResults = 0;
    auto rs = second->executeQuery(QStringLiteral("SELECT a FROM t"));
    ASSERT_TRUE(rs);
    EXPECT_FALSE(rs->next());
    EXPECT_EQ(busyResults.load(), 5);
    EXPECT_EQ(log.lines(), QStringList({QStringLiteral("-[FMResultSet next]:184 Database busy (%1)").arg(path),
                                        QStringLiteral("Database busy")}));
    EXPECT_EQ(rs->parentDB(), nullptr);

    ASSERT_TRUE(first->commit());
    EXPECT_TRUE(second->executeUpdate(QStringLiteral("INSERT INTO t VALUES (2)")));
    EXPECT_EQ(second->intForQuery(QStringLiteral("SELECT count(*) FROM t")), 2);
}

TEST_F(FMDatabaseBusyTest, PreparingOnALockedFileGivesUpWithTheBusyLines)
{
    // A fresh connection must read the schema to prepare, which the exclusive lock forbids.
    auto third = FMDatabase::databaseWithPath(path);
    ASSERT_TRUE(third->open());
    third->setBusyRetryTimeout(2);
    LogCapture log;
    Error error(QStringLiteral("untouched"), 0);
    EXPECT_FALSE(third->update(QStringLiteral("INSERT INTO t VALUES (3)"), &error));
    EXPECT_FALSE(third->validateSQL(QStringLiteral("SELECT a FROM t"), &error));
    EXPECT_EQ(error.domain, QStringLiteral("untouched"));
    EXPECT_EQ(log.lines(),
              QStringList({QStringLiteral("-[FMDatabase executeUpdate:error:withArgumentsInArray:orDictionary:orVAList:]"
                                          ":704 Database busy (%1)")
                               .arg(path),
                           QStringLiteral("Database busy"),
                           QStringLiteral("-[FMDatabase(FMDatabaseAdditions) validateSQL:error:]:135 Database busy (%1)")
                               .arg(path),
                           QStringLiteral("Database busy")}));
    EXPECT_TRUE(first->rollback());
    EXPECT_TRUE(third->validateSQL(QStringLiteral("SELECT a FROM t"), &error));
}
