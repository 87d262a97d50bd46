#include "FMDBTestSupport.h"
#include "Library/FMDB/FMDatabase.h"
#include "Library/FMDB/FMDatabasePool.h"
#include "Library/FMDB/FMDatabaseQueue.h"
#include "Library/FMDB/FMResultSet.h"

#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

class RefusingDelegate : public FMDatabasePoolDelegate
{
public:
    bool databasePool(FMDatabasePool&, FMDatabase& database) override
    {
        offered = &database;
        return false;
    }
    FMDatabase* offered = nullptr;
};

// A table whose rows need a parent, checked only at commit.
void createDeferredForeignKey(FMDatabase& db)
{
    ASSERT_TRUE(db.executeUpdate(QStringLiteral("PRAGMA foreign_keys = ON")));
    ASSERT_TRUE(db.executeUpdate(QStringLiteral("CREATE TABLE IF NOT EXISTS parent (id INTEGER PRIMARY KEY)")));
    ASSERT_TRUE(db.executeUpdate(QStringLiteral(
        "CREATE TABLE IF NOT EXISTS child (pid REFERENCES parent(id) DEFERRABLE INITIALLY DEFERRED)")));
}

}  // namespace

TEST(FMDatabasePool, AMaximumOfOneHandsOutOneConnectionAtATime)
{
    auto pool = FMDatabasePool::databasePoolWithPath(freshDatabasePath(QStringLiteral("pool-max")));
    pool->setMaximumNumberOfDatabasesToCreate(1);
    const std::shared_ptr<FMDatabase> db = pool->db();
    ASSERT_NE(db, nullptr);
    EXPECT_TRUE(db->goodConnection());

    LogCapture log;
    EXPECT_EQ(pool->db(), nullptr);
    EXPECT_EQ(log.count(QStringLiteral("Maximum number of databases (1) has already been reached!")), 1);
    EXPECT_EQ(pool->countOfCheckedOutDatabases(), 1);
    EXPECT_EQ(pool->countOfCheckedInDatabases(), 0);

    pool->pushDatabaseBackInPool(db);
    EXPECT_EQ(pool->countOfCheckedInDatabases(), 1);
    EXPECT_EQ(pool->countOfOpenDatabases(), 1);
    EXPECT_EQ(pool->db(), db);

    pool->pushDatabaseBackInPool(db);
    try {
        pool->pushDatabaseBackInPool(db);
        ADD_FAILURE() << "a second push-back must raise";
    } catch (const FMDatabasePoolException& exception) {
        EXPECT_EQ(exception.name(), QStringLiteral("Database already in pool"));
        EXPECT_EQ(exception.reason(),
                  QStringLiteral("The FMDatabase being put back into the pool is already present in the pool"));
    }
    EXPECT_EQ(pool->countOfOpenDatabases(), 1);  // the lock was released by the raise
    pool->releaseAllDatabases();
    EXPECT_EQ(pool->countOfOpenDatabases(), 0);
}

TEST(FMDatabasePool, ADelegateCanRefuseAConnection)
{
    auto pool = FMDatabasePool::databasePoolWithPath(freshDatabasePath(QStringLiteral("pool-delegate")));
    auto delegate = std::make_shared<RefusingDelegate>();
    pool->setDelegate(delegate);
    EXPECT_EQ(pool->db(), nullptr);
    EXPECT_NE(delegate->offered, nullptr);
    EXPECT_EQ(pool->countOfOpenDatabases(), 0);

    LogCapture log;
    auto unreachable = FMDatabasePool::databasePoolWithPath(QStringLiteral("/nonexistent/dir/x.db"));
    EXPECT_EQ(unreachable->db(), nullptr);
    EXPECT_EQ(log.count(QStringLiteral("Could not open up the database at path /nonexistent/dir/x.db")), 1);
}

TEST(FMDatabasePool, BlocksGiveTheConnectionBackAndEndTheirTransactions)
{
    auto pool = FMDatabasePool::databasePoolWithPath(freshDatabasePath(QStringLiteral("pool-blocks")));
    pool->inDatabase([](const std::shared_ptr<FMDatabase>& db) {
        ASSERT_TRUE(db->executeUpdate(QStringLiteral("CREATE TABLE t (a)")));
    });
    pool->inTransaction([](const std::shared_ptr<FMDatabase>& db, bool*) {
        db->executeUpdate(QStringLiteral("INSERT INTO t VALUES (1)"));
    });
    pool->inDeferredTransaction([](const std::shared_ptr<FMDatabase>& db, bool* rollback) {
        db->executeUpdate(QStringLiteral("INSERT INTO t VALUES (2)"));
        *rollback = true;
    });
    EXPECT_THROW(pool->inTransaction([](const std::shared_ptr<FMDatabase>& db, bool*) {
        db->executeUpdate(QStringLiteral("INSERT INTO t VALUES (3)"));
        throw std::runtime_error("block failed");
    }),
                 std::runtime_error);
    const std::optional<Error> error = pool->inSavePoint([](const std::shared_ptr<FMDatabase>& db, bool* rollback) {
        db->executeUpdate(QStringLiteral("INSERT INTO t VALUES (4)"));
        *rollback = true;
    });
    EXPECT_FALSE(error);
    EXPECT_EQ(pool->countOfCheckedOutDatabases(), 0);

    pool->inDatabase([](const std::shared_ptr<FMDatabase>& db) {
        EXPECT_EQ(db->stringForQuery(QStringLiteral("SELECT group_concat(a) FROM t")), QStringLiteral("1"));
        EXPECT_NE(sqlite3_get_autocommit(db->sqliteHandle()), 0);
    });
}

TEST(FMDatabasePool, ReentryIntoTheLockIsRefusedRatherThanHanging)
{
    auto pool = FMDatabasePool::databasePoolWithPath(freshDatabasePath(QStringLiteral("pool-reentry")));
    bool innerRan = false;
    LogCapture log;
    pool->executeLocked([&] { pool->executeLocked([&] { innerRan = true; }); });
    EXPECT_FALSE(innerRan);
    EXPECT_EQ(log.lines().size(), 1);
}

TEST(FMDatabaseQueue, AnUnopenableFileMakesNoQueue)
{
    LogCapture log;
    EXPECT_EQ(FMDatabaseQueue::databaseQueueWithPath(QStringLiteral("/nonexistent/dir/q.db")), nullptr);
    EXPECT_EQ(log.count(QStringLiteral("Could not create database queue for path /nonexistent/dir/q.db")), 1);
}

TEST(FMDatabaseQueue, WarnsAboutResultSetsLeftOpenAndReopensAfterClose)
{
    auto queue = FMDatabaseQueue::databaseQueueWithPath(freshDatabasePath(QStringLiteral("queue-basic")));
    ASSERT_NE(queue, nullptr);
    std::shared_ptr<FMResultSet> leftOpen;
    LogCapture log;
    queue->inDatabase([&](const std::shared_ptr<FMDatabase>& db) {
        ASSERT_TRUE(db->executeUpdate(QStringLiteral("CREATE TABLE t (a)")));
        leftOpen = db->executeQuery(QStringLiteral("SELECT a FROM t"));
    });
    EXPECT_EQ(log.count(QStringLiteral(
                  "Warning: there is at least one open result set around after performing [FMDatabaseQueue inDatabase:]")),
              1);
    leftOpen.reset();

    queue->close();
    queue->inDatabase([](const std::shared_ptr<FMDatabase>& db) {
        ASSERT_NE(db, nullptr);
        EXPECT_TRUE(db->tableExists(QStringLiteral("t")));
    });

    bool innerRan = false;
    queue->inDatabase([&](const std::shared_ptr<FMDatabase>&) {
        queue->inDatabase([&](const std::shared_ptr<FMDatabase>&) { innerRan = true; });
    });
    EXPECT_FALSE(innerRan);
}

TEST(FMDatabaseQueue, UsesFromSeveralThreadsTakeTurns)
{
    auto queue = FMDatabaseQueue::databaseQueueWithPath(freshDatabasePath(QStringLiteral("queue-threads")));
    ASSERT_NE(queue, nullptr);
    queue->inDatabase([](const std::shared_ptr<FMDatabase>& db) {
        ASSERT_TRUE(db->executeUpdate(QStringLiteral("PRAGMA synchronous = OFF")));  // no disk flush per commit
        ASSERT_TRUE(db->executeUpdate(QStringLiteral("CREATE TABLE counter (n INTEGER)")));
        ASSERT_TRUE(db->executeUpdate(QStringLiteral("INSERT INTO counter VALUES (0)")));
    });
    // Each increment reads and writes in two statements: interleaving would lose some.
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                queue->inTransaction([](const std::shared_ptr<FMDatabase>& db, bool*) {
                    const int n = db->intForQuery(QStringLiteral("SELECT n FROM counter"));
                    db->executeUpdate(QStringLiteral("UPDATE counter SET n = ?"), {n + 1});
                });
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    int total = 0;
    queue->inDatabase([&](const std::shared_ptr<FMDatabase>& db) {
        total = db->intForQuery(QStringLiteral("SELECT n FROM counter"));
    });
    EXPECT_EQ(total, 200);
}

TEST(FMDatabaseQueue, AFailedCommitStillEndsTheTransaction)
{
    auto queue = FMDatabaseQueue::databaseQueueWithPath(freshDatabasePath(QStringLiteral("queue-commit")));
    ASSERT_NE(queue, nullptr);
    queue->inDatabase([](const std::shared_ptr<FMDatabase>& db) { createDeferredForeignKey(*db); });
    queue->inTransaction([](const std::shared_ptr<FMDatabase>& db, bool*) {
        EXPECT_TRUE(db->executeUpdate(QStringLiteral("INSERT INTO child VALUES (42)")));  // no parent 42
    });
    queue->inDatabase([](const std::shared_ptr<FMDatabase>& db) {
        EXPECT_FALSE(db->inTransaction());
        EXPECT_NE(sqlite3_get_autocommit(db->sqliteHandle()), 0);
        EXPECT_EQ(db->intForQuery(QStringLiteral("SELECT count(*) FROM child")), 0);
    });

    const std::optional<Error> error = queue->inSavePoint([](const std::shared_ptr<FMDatabase>& db, bool*) {
        db->executeUpdate(QStringLiteral("INSERT INTO parent VALUES (42)"));
        db->executeUpdate(QStringLiteral("INSERT INTO child VALUES (42)"));
    });
    EXPECT_FALSE(error);
    queue->inDatabase([](const std::shared_ptr<FMDatabase>& db) {
        EXPECT_EQ(db->intForQuery(QStringLiteral("SELECT count(*) FROM child")), 1);
    });
}
