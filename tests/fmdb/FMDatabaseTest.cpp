#include "FMDBTestSupport.h"
#include "Library/FMDB/FMDatabase.h"
#include "Library/FMDB/FMResultSet.h"
#include "Library/FMDB/FMStatement.h"

#include <QDateTime>

#include <limits>
#include <stdexcept>

#include <gtest/gtest.h>

namespace {

std::shared_ptr<FMDatabase> openMemoryDatabase()
{
    auto db = FMDatabase::databaseWithPath(QString());
    EXPECT_TRUE(db->open());
    return db;
}

int rowCount(FMDatabase& db, const QString& table)
{
    return db.intForQuery(QStringLiteral("SELECT count(*) FROM ") + table);
}

}  // namespace

TEST(FMDatabase, OpensClosesAndChecksTheConnection)
{
    auto db = FMDatabase::databaseWithPath(freshDatabasePath(QStringLiteral("open-close")));
    EXPECT_FALSE(db->goodConnection());
    EXPECT_EQ(db->executeQuery(QStringLiteral("SELECT 1")), nullptr);
    EXPECT_FALSE(db->executeUpdate(QStringLiteral("CREATE TABLE t (a)")));

    ASSERT_TRUE(db->open());
    EXPECT_TRUE(db->open());  // already open
    EXPECT_TRUE(db->databaseExists());
    EXPECT_TRUE(db->goodConnection());
    EXPECT_FALSE(db->hasOpenResultSets());  // goodConnection closed its set
    EXPECT_TRUE(db->close());
    EXPECT_FALSE(db->databaseExists());
    EXPECT_TRUE(db->close());  // closing a closed connection

    auto absent = FMDatabase::databaseWithPath(freshDatabasePath(QStringLiteral("open-flags")));
    EXPECT_FALSE(absent->openWithFlags(SQLITE_OPEN_READONLY));  // read-only creates nothing
    EXPECT_TRUE(absent->openWithFlags(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE));
    EXPECT_TRUE(absent->goodConnection());
}

TEST(FMDatabase, AFailedOpenStaysFailed)
{
    auto db = FMDatabase::databaseWithPath(QDir(TestEnvironment::rootPath()).filePath(QStringLiteral("no/such/dir/x.db")));
    EXPECT_FALSE(db->open());
    EXPECT_EQ(db->lastErrorCode(), SQLITE_CANTOPEN);
    // Opening again must not report the dead handle as an open connection.
    EXPECT_FALSE(db->open());
    EXPECT_FALSE(db->goodConnection());
}

TEST(FMDatabase, UnparsableStatementsFailAndDescribeTheError)
{
    auto db = openMemoryDatabase();
    EXPECT_EQ(db->executeQuery(QStringLiteral("SELEC nothing")), nullptr);
    EXPECT_TRUE(db->hadError());
    EXPECT_EQ(db->lastErrorCode(), SQLITE_ERROR);
    EXPECT_TRUE(db->lastErrorMessage().contains(QStringLiteral("syntax error")));
    const Error error = db->lastError();
    EXPECT_EQ(error.domain, QStringLiteral("FMDatabase"));
    EXPECT_EQ(error.code, SQLITE_ERROR);
    EXPECT_EQ(error.localizedDescription(), db->lastErrorMessage());

    Error updateError;
    EXPECT_FALSE(db->update(QStringLiteral("INSERT INTO missing VALUES (1)"), &updateError));
    EXPECT_EQ(updateError.domain, QStringLiteral("no such table: missing"));
    EXPECT_EQ(updateError.code, SQLITE_ERROR);
    EXPECT_TRUE(updateError.userInfo.isEmpty());

    // The connection stays usable.
    EXPECT_TRUE(db->goodConnection());
    EXPECT_FALSE(db->hadError());
}

TEST(FMDatabase, AnUpdateThatYieldsRowsFails)
{
    auto db = openMemoryDatabase();
    ASSERT_TRUE(db->executeUpdate(QStringLiteral("CREATE TABLE t (a)")));
    ASSERT_TRUE(db->executeUpdate(QStringLiteral("INSERT INTO t VALUES (1)")));
    EXPECT_FALSE(db->executeUpdate(QStringLiteral("SELECT * FROM t")));
    EXPECT_TRUE(db->executeUpdate(QStringLiteral("SELECT * FROM t WHERE 0")));  // no row: done
}

TEST(FMDatabase, EveryKindRoundTrips)
{
    auto db = openMemoryDatabase();
    // Columns without a declared type keep what was bound.
    ASSERT_TRUE(db->executeUpdate(QStringLiteral("CREATE TABLE kinds (n, b, e, d, t, i, l, u, f, r, s)")));
    const QDateTime date = QDateTime::fromMSecsSinceEpoch(1577836800123LL, Qt::UTC);
    const QByteArray blob("\x00\x01\xfe\xff", 4);
    const QString text = QStringLiteral("中文 text 'quoted'");
    const quint64 big = std::numeric_limits<quint64>::max();
    ASSERT_TRUE(db->executeUpdate(
        QStringLiteral("INSERT INTO kinds VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
        {FMDatabase::null(), blob, QByteArray(), date, true, -7, qint64(1) << 40, big, 1.5f, 2.25, text}));

    auto types = db->executeQuery(QStringLiteral(
        "SELECT typeof(n), typeof(b), typeof(e), typeof(d), typeof(t), typeof(i), typeof(l), typeof(u), "
        "typeof(f), typeof(r), typeof(s) FROM kinds"));
    ASSERT_TRUE(types && types->next());
    const QStringList expected{"null", "blob", "blob", "real", "integer", "integer", "integer", "integer",
                               "real", "real", "text"};
    for (int i = 0; i < expected.size(); ++i)
        EXPECT_EQ(types->stringForColumnIndex(i), expected[i]) << "column " << i;
    types->close();

    auto rs = db->executeQuery(QStringLiteral("SELECT * FROM kinds"));
    ASSERT_TRUE(rs && rs->next());
    EXPECT_TRUE(rs->columnIsNull(QStringLiteral("n")));
    EXPECT_TRUE(rs->stringForColumn(QStringLiteral("n")).isNull());
    EXPECT_EQ(rs->dataForColumn(QStringLiteral("b")), blob);
    const QByteArray empty = rs->dataForColumn(QStringLiteral("e"));
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_FALSE(empty.isNull());  // an empty blob is a value, not NULL
    EXPECT_EQ(rs->dateForColumn(QStringLiteral("d")), date);
    EXPECT_TRUE(rs->boolForColumn(QStringLiteral("t")));
    EXPECT_EQ(rs->intForColumn(QStringLiteral("i")), -7);
    EXPECT_EQ(rs->longLongIntForColumn(QStringLiteral("l")), qint64(1) << 40);
    EXPECT_EQ(rs->unsignedLongLongIntForColumn(QStringLiteral("u")), big);
    EXPECT_EQ(rs->doubleForColumn(QStringLiteral("f")), 1.5);
    EXPECT_EQ(rs->doubleForColumn(QStringLiteral("r")), 2.25);
    EXPECT_EQ(rs->stringForColumn(QStringLiteral("s")), text);
    EXPECT_FALSE(rs->next());
}

TEST(FMDatabase, ArgumentsAreCopiedIntoTheStatement)
{
    auto db = openMemoryDatabase();
    std::shared_ptr<FMResultSet> rs;
    {
        // Both values die before the row is stepped; reading them must not touch freed memory.
        QString text = QString(64, u'x');
        QByteArray blob(64, 'y');
        rs = db->executeQuery(QStringLiteral("SELECT ?, ?"), {text, blob});
        text.fill(u'z');
        blob.fill('w');
    }
    ASSERT_TRUE(rs && rs->next());
    EXPECT_EQ(rs->stringForColumnIndex(0), QString(64, u'x'));
    EXPECT_EQ(rs->dataForColumnIndex(1), QByteArray(64, 'y'));
    rs->close();
}

TEST(FMDatabase, ATooShortArgumentListFailsCleanly)
{
    auto db = openMemoryDatabase();
    ASSERT_TRUE(db->executeUpdate(QStringLiteral("CREATE TABLE t (a, b, c)")));
    LogCapture log;
    EXPECT_FALSE(db->executeUpdate(QStringLiteral("INSERT INTO t VALUES (?, ?, ?)"), {1, 2}));
    EXPECT_FALSE(db->executeUpdate(QStringLiteral("INSERT INTO t VALUES (?, ?, ?)")));
    EXPECT_EQ(rowCount(*db, QStringLiteral("t")), 0);
    EXPECT_TRUE(log.lines().isEmpty());  // updates stay silent

    EXPECT_EQ(db->executeQuery(QStringLiteral("SELECT ?, ?, ?"), {1, 2}), nullptr);
    EXPECT_EQ(log.count(QStringLiteral("Error: the bind count is not correct for the # of variables (executeQuery)")), 1);
    EXPECT_FALSE(db->hasOpenResultSets());

    // Surplus arguments are ignored.
    EXPECT_TRUE(db->executeUpdate(QStringLiteral("INSERT INTO t VALUES (?, ?, ?)"), {1, 2, 3, 4}));
    EXPECT_EQ(rowCount(*db, QStringLiteral("t")), 1);
}

TEST(FMDatabase, DictionaryBindingLeavesUnmatchedParametersNull)
{
    auto db = openMemoryDatabase();
    ASSERT_TRUE(db->executeUpdate(QStringLiteral("CREATE TABLE t (a, b, c)")));
    const QString insert = QStringLiteral("INSERT INTO t VALUES (:a, :b, :c)");
    db->setShouldCacheStatements(true);
    ASSERT_TRUE(db->executeUpdate(insert, QVariantMap{{"a", 1}, {"b", 2}, {"c", 3}}));
    // Three keys, one of them unknown: the count passes and :c is NULL, not the last run's 3.
    ASSERT_TRUE(db->executeUpdate(insert, QVariantMap{{"a", 4}, {"b", 5}, {"z", 6}}));
    EXPECT_EQ(db->cachedStatementForQuery(insert)->useCount(), 2);
    auto rs = db->executeQuery(QStringLiteral("SELECT a, b, c FROM t WHERE a = :a"), QVariantMap{{"a", 4}});
    ASSERT_TRUE(rs && rs->next());
    EXPECT_EQ(rs->intForColumn(QStringLiteral("b")), 5);
    EXPECT_TRUE(rs->columnIsNull(QStringLiteral("c")));
    rs->close();

    EXPECT_FALSE(db->executeUpdate(insert, QVariantMap{{"a", 7}, {"b", 8}}));  // two keys, three parameters

    LogCapture log;
    rs = db->executeQuery(QStringLiteral("SELECT :a"), QVariantMap{{"x", 1}});
    ASSERT_NE(rs, nullptr);
    EXPECT_EQ(log.count(QStringLiteral("Could not find index for x")), 1);
    ASSERT_TRUE(rs->next());
    EXPECT_TRUE(rs->columnIndexIsNull(0));
}

TEST(FMDatabase, FormatFormsTurnConversionsIntoBoundParameters)
{
    auto db = openMemoryDatabase();
    auto rs = db->executeQueryWithFormat(QStringLiteral("SELECT %d, %@"), {5, QStringLiteral("five")});
    ASSERT_TRUE(rs);
    EXPECT_EQ(rs->query(), QStringLiteral("SELECT ?, ?"));
    ASSERT_TRUE(rs->next());
    EXPECT_EQ(rs->objectForColumnIndex(0), QVariant(qint64(5)));
    EXPECT_EQ(rs->objectForColumnIndex(1), QVariant(QStringLiteral("five")));
    rs->close();

    rs = db->executeQueryWithFormat(QStringLiteral("SELECT %lld, %qu, %ld, %f, %g, %s, %c, %u, %hi"),
                                    {qint64(1) << 40, 9, 7, 0.5, 0.25, QByteArray("utf8 \xe4\xb8\xad"), 65, 3, 70000});
    ASSERT_TRUE(rs && rs->next());
    EXPECT_EQ(rs->longLongIntForColumnIndex(0), qint64(1) << 40);
    EXPECT_EQ(rs->longLongIntForColumnIndex(1), 9);
    EXPECT_EQ(rs->longLongIntForColumnIndex(2), 7);
    EXPECT_EQ(rs->doubleForColumnIndex(3), 0.5);
    EXPECT_EQ(rs->doubleForColumnIndex(4), 0.25);
    EXPECT_EQ(rs->stringForColumnIndex(5), QStringLiteral("utf8 中"));
    EXPECT_EQ(rs->stringForColumnIndex(6), QStringLiteral("A"));
    EXPECT_EQ(rs->objectForColumnIndex(7), QVariant(QStringLiteral("3")));  // unsigned int binds as text
    EXPECT_EQ(rs->intForColumnIndex(8), 4464);                             // narrowed to a short
    rs->close();

    // "%%" keeps one percent sign and the letter after it is still a conversion.
    EXPECT_EQ(db->intForQuery(QStringLiteral("SELECT 17")), 17);
    rs = db->executeQueryWithFormat(QStringLiteral("SELECT 17 %%d"), {5});
    ASSERT_TRUE(rs);
    EXPECT_EQ(rs->query(), QStringLiteral("SELECT 17 %?"));
    ASSERT_TRUE(rs->next());
    EXPECT_EQ(rs->intForColumnIndex(0), 2);
    rs->close();

    // An absent object makes no conversion and leaves the text invalid; the null object binds NULL.
    EXPECT_EQ(db->executeQueryWithFormat(QStringLiteral("SELECT %@"), {QVariant()}), nullptr);
    rs = db->executeQueryWithFormat(QStringLiteral("SELECT %@"), {FMDatabase::null()});
    ASSERT_TRUE(rs && rs->next());
    EXPECT_TRUE(rs->columnIndexIsNull(0));
    rs->close();

    // A list that runs out fails the bind count instead of reading past its end.
    LogCapture log;
    EXPECT_EQ(db->executeQueryWithFormat(QStringLiteral("SELECT %d, %d"), {1}), nullptr);
    EXPECT_EQ(log.count(QStringLiteral("Error: the bind count is not correct for the # of variables (executeQuery)")), 1);

    ASSERT_TRUE(db->executeUpdate(QStringLiteral("CREATE TABLE t (a, b)")));
    EXPECT_TRUE(db->executeUpdateWithFormat(QStringLiteral("INSERT INTO t VALUES (%d, %@)"), {1, QStringLiteral("x")}));
    EXPECT_EQ(db->stringForQuery(QStringLiteral("SELECT b FROM t WHERE a = ?"), {1}), QStringLiteral("x"));
}

TEST(FMDatabase, StatementCacheReusesOnlyFreeStatements)
{
    auto db = openMemoryDatabase();
    db->setShouldCacheStatements(true);
    ASSERT_TRUE(db->executeUpdate(QStringLiteral("CREATE TABLE t (a)")));
    for (int i = 1; i <= 3; ++i)
        ASSERT_TRUE(db->executeUpdate(QStringLiteral("INSERT INTO t VALUES (?)"), {i}));
    EXPECT_EQ(db->cachedStatementForQuery(QStringLiteral("INSERT INTO t VALUES (?)"))->useCount(), 3);

    const QString select = QStringLiteral("SELECT a FROM t ORDER BY a");
    auto first = db->executeQuery(select);
    ASSERT_TRUE(first && first->next());
    EXPECT_EQ(first->intForColumnIndex(0), 1);
    // The cached statement is being read; a second query of the same text must not step it.
    auto second = db->executeQuery(select);
    ASSERT_TRUE(second);
    EXPECT_NE(second->statement(), first->statement());
    ASSERT_TRUE(second->next());
    EXPECT_EQ(second->intForColumnIndex(0), 1);
    ASSERT_TRUE(first->next());
    EXPECT_EQ(first->intForColumnIndex(0), 2);
    first->close();
    second->close();

    // A statement whose binding failed leaves the cache.
    const QString pair = QStringLiteral("SELECT ?, ?");
    ASSERT_TRUE(db->executeQuery(pair, {1, 2}));
    EXPECT_NE(db->cachedStatementForQuery(pair), nullptr);
    LogCapture log;
    EXPECT_EQ(db->executeQuery(pair, {1}), nullptr);
    EXPECT_EQ(log.lines().size(), 1);
    EXPECT_EQ(db->cachedStatementForQuery(pair), nullptr);

    const std::shared_ptr<FMStatement> cached = db->cachedStatementForQuery(select);
    ASSERT_NE(cached, nullptr);
    db->clearCachedStatements();
    EXPECT_EQ(cached->statement(), nullptr);
    EXPECT_EQ(db->intForQuery(select), 1);

    db->setShouldCacheStatements(false);
    EXPECT_EQ(db->cachedStatementForQuery(select), nullptr);
    EXPECT_TRUE(db->executeUpdate(QStringLiteral("INSERT INTO t VALUES (4)")));
}

TEST(FMDatabase, CloseFinalizesOpenResultSetsAndStatements)
{
    auto db = openMemoryDatabase();
    ASSERT_TRUE(db->executeUpdate(QStringLiteral("CREATE TABLE t (a)")));
    ASSERT_TRUE(db->executeUpdate(QStringLiteral("INSERT INTO t VALUES (1), (2)")));
    auto rs = db->executeQuery(QStringLiteral("SELECT a FROM t"));
    ASSERT_TRUE(rs && rs->next());
    const std::shared_ptr<FMStatement> kept = rs->statement();
    EXPECT_TRUE(db->hasOpenResultSets());

    EXPECT_TRUE(db->close());
    EXPECT_FALSE(db->hasOpenResultSets());
    EXPECT_EQ(rs->parentDB(), nullptr);
    EXPECT_EQ(rs->statement(), nullptr);
    EXPECT_FALSE(rs->next());
    // A statement someone kept is finalized with its connection, not left dangling.
    EXPECT_EQ(kept->statement(), nullptr);
}

TEST(FMDatabase, AResultSetKeepsItsConnectionAlive)
{
    std::shared_ptr<FMResultSet> rs = openMemoryDatabase()->executeQuery(QStringLiteral("SELECT 1 UNION ALL SELECT 2"));
    ASSERT_TRUE(rs && rs->next());
    ASSERT_TRUE(rs->next());
    EXPECT_EQ(rs->intForColumnIndex(0), 2);
    EXPECT_FALSE(rs->next());
    EXPECT_FALSE(rs->next());
    EXPECT_EQ(rs->parentDB(), nullptr);
}

TEST(FMDatabase, TransactionsCommitAndRollBack)
{
    auto db = FMDatabase::databaseWithPath(freshDatabasePath(QStringLiteral("transactions")));
    ASSERT_TRUE(db->open());
    ASSERT_TRUE(db->executeUpdate(QStringLiteral("CREATE TABLE t (a)")));

    ASSERT_TRUE(db->beginTransaction());
    EXPECT_TRUE(db->inTransaction());
    ASSERT_TRUE(db->executeUpdate(QStringLiteral("INSERT INTO t VALUES (1)")));
    ASSERT_TRUE(db->rollback());
    EXPECT_FALSE(db->inTransaction());
    EXPECT_EQ(rowCount(*db, QStringLiteral("t")), 0);

    ASSERT_TRUE(db->beginDeferredTransaction());
    ASSERT_TRUE(db->executeUpdate(QStringLiteral("INSERT INTO t VALUES (2)")));
    EXPECT_EQ(db->lastInsertRowId(), 1);
    EXPECT_EQ(db->changes(), 1);
    ASSERT_TRUE(db->commit());
    EXPECT_FALSE(db->inTransaction());
    EXPECT_FALSE(db->commit());  // nothing to commit
    EXPECT_EQ(rowCount(*db, QStringLiteral("t")), 1);
}

TEST(FMDatabase, SavepointsReleaseAndRollBack)
{
    auto db = openMemoryDatabase();
    ASSERT_TRUE(db->executeUpdate(QStringLiteral("CREATE TABLE t (a)")));
    Error error;
    ASSERT_TRUE(db->startSavePointWithName(QStringLiteral("it's"), &error));  // a quote in the name
    ASSERT_TRUE(db->executeUpdate(QStringLiteral("INSERT INTO t VALUES (1)")));
    ASSERT_TRUE(db->rollbackToSavePointWithName(QStringLiteral("it's"), &error));
    ASSERT_TRUE(db->releaseSavePointWithName(QStringLiteral("it's"), &error));
    EXPECT_EQ(rowCount(*db, QStringLiteral("t")), 0);

    EXPECT_FALSE(db->releaseSavePointWithName(QStringLiteral("unknown"), &error));
    EXPECT_EQ(error.domain, QStringLiteral("FMDatabase"));
    EXPECT_EQ(error.code, SQLITE_ERROR);
    EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("no such savepoint")));

    EXPECT_FALSE(db->inSavePoint([&](bool*) { db->executeUpdate(QStringLiteral("INSERT INTO t VALUES (2)")); }));
    EXPECT_EQ(rowCount(*db, QStringLiteral("t")), 1);

    EXPECT_FALSE(db->inSavePoint([&](bool* rollback) {
        db->executeUpdate(QStringLiteral("INSERT INTO t VALUES (3)"));
        *rollback = true;
    }));
    EXPECT_EQ(rowCount(*db, QStringLiteral("t")), 1);
    // The savepoint opened the transaction; rolling back to it must not leave that open.
    EXPECT_NE(sqlite3_get_autocommit(db->sqliteHandle()), 0);

    EXPECT_THROW(db->inSavePoint([&](bool*) {
        db->executeUpdate(QStringLiteral("INSERT INTO t VALUES (4)"));
        throw std::runtime_error("block failed");
    }),
                 std::runtime_error);
    EXPECT_EQ(rowCount(*db, QStringLiteral("t")), 1);
    EXPECT_NE(sqlite3_get_autocommit(db->sqliteHandle()), 0);
}

TEST(FMDatabase, RegisteredFunctionsAreCallable)
{
    auto db = openMemoryDatabase();
    db->makeFunctionNamed(QStringLiteral("twice"), 1, [](sqlite3_context* context, int argc, sqlite3_value** argv) {
        ASSERT_EQ(argc, 1);
        sqlite3_result_int64(context, 2 * sqlite3_value_int64(argv[0]));
    });
    EXPECT_EQ(db->intForQuery(QStringLiteral("SELECT twice(?)"), {21}), 42);

    db->makeFunctionNamed(QStringLiteral("fails"), 0, [](sqlite3_context*, int, sqlite3_value**) {
        throw std::runtime_error("no");
    });
    LogCapture log;
    auto rs = db->executeQuery(QStringLiteral("SELECT fails()"));
    ASSERT_TRUE(rs);
    EXPECT_FALSE(rs->next());
    EXPECT_EQ(log.count(QStringLiteral("Error calling sqlite3_step (1: function failed) rs")), 1);

    // While an update steps, the connection refuses to start another statement.
    int calls = 0;
    bool refused = false;
    db->makeFunctionNamed(QStringLiteral("nested"), 0, [&](sqlite3_context* context, int, sqlite3_value**) {
        ++calls;
        refused = db->executeQuery(QStringLiteral("SELECT 1")) == nullptr;
        sqlite3_result_int(context, 1);
    });
    ASSERT_TRUE(db->executeUpdate(QStringLiteral("CREATE TABLE t (a)")));
    EXPECT_TRUE(db->executeUpdate(QStringLiteral("INSERT INTO t VALUES (nested())")));
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(refused);
}

TEST(FMDatabase, SchemaQuestions)
{
    auto db = openMemoryDatabase();
    ASSERT_TRUE(db->executeUpdate(QStringLiteral("CREATE TABLE Settings (Name TEXT, Value INTEGER)")));
    EXPECT_TRUE(db->tableExists(QStringLiteral("Settings")));
    EXPECT_TRUE(db->tableExists(QStringLiteral("settings")));
    EXPECT_TRUE(db->tableExists(QStringLiteral("SETTINGS")));
    EXPECT_FALSE(db->tableExists(QStringLiteral("Setting")));

    EXPECT_TRUE(db->columnExists(QStringLiteral("settings"), QStringLiteral("VALUE")));
    EXPECT_FALSE(db->columnExists(QStringLiteral("Settings"), QStringLiteral("missing")));
    EXPECT_FALSE(db->columnExists(QStringLiteral("nowhere"), QStringLiteral("name")));
    EXPECT_FALSE(db->columnExists(QStringLiteral("x') --"), QStringLiteral("name")));
    EXPECT_FALSE(db->hasOpenResultSets());

    auto schema = db->getSchema();
    ASSERT_TRUE(schema && schema->next());
    EXPECT_EQ(schema->stringForColumn(QStringLiteral("type")), QStringLiteral("table"));
    EXPECT_EQ(schema->stringForColumn(QStringLiteral("name")), QStringLiteral("Settings"));
    EXPECT_FALSE(schema->next());

    auto columns = db->getTableSchema(QStringLiteral("Settings"));
    QStringList names;
    while (columns && columns->next())
        names << columns->stringForColumn(QStringLiteral("name"));
    EXPECT_EQ(names, QStringList({"Name", "Value"}));

    Error error;
    EXPECT_TRUE(db->validateSQL(QStringLiteral("SELECT Name FROM Settings"), &error));
    EXPECT_FALSE(db->validateSQL(QStringLiteral("SELECT nope FROM Settings"), &error));
    EXPECT_EQ(error.domain, QStringLiteral("NSCocoaErrorDomain"));
    EXPECT_EQ(error.code, SQLITE_ERROR);
    EXPECT_EQ(error.localizedDescription(), QStringLiteral("no such column: nope"));
    EXPECT_EQ(rowCount(*db, QStringLiteral("Settings")), 0);  // validated, never run
}

TEST(FMDatabase, SingleValueQueries)
{
    auto db = openMemoryDatabase();
    ASSERT_TRUE(db->executeUpdate(QStringLiteral("CREATE TABLE t (s, i, d, b, w)")));
    ASSERT_TRUE(db->executeUpdate(QStringLiteral("INSERT INTO t VALUES (?, ?, ?, ?, ?)"),
                                  {QStringLiteral("text"), qint64(1) << 33, 0.75, QByteArray("ab"), 86400.5}));
    EXPECT_EQ(db->stringForQuery(QStringLiteral("SELECT s FROM t")), QStringLiteral("text"));
    EXPECT_EQ(db->longForQuery(QStringLiteral("SELECT i FROM t")), qint64(1) << 33);
    EXPECT_EQ(db->doubleForQuery(QStringLiteral("SELECT d FROM t")), 0.75);
    EXPECT_TRUE(db->boolForQuery(QStringLiteral("SELECT i > 0 FROM t")));
    EXPECT_EQ(db->dataForQuery(QStringLiteral("SELECT b FROM t")), QByteArray("ab"));
    EXPECT_EQ(db->dateForQuery(QStringLiteral("SELECT w FROM t")), QDateTime::fromMSecsSinceEpoch(86400500, Qt::UTC));

    const QString none = QStringLiteral("SELECT s FROM t WHERE 0");
    EXPECT_TRUE(db->stringForQuery(none).isNull());
    EXPECT_EQ(db->intForQuery(none), 0);
    EXPECT_FALSE(db->boolForQuery(none));
    EXPECT_TRUE(db->dataForQuery(none).isNull());
    EXPECT_FALSE(db->dateForQuery(none).isValid());
    EXPECT_FALSE(db->hasOpenResultSets());
}

TEST(FMDatabase, TracingLogsUpdatesAndBoundObjects)
{
    auto db = openMemoryDatabase();
    db->setTraceExecution(true);
    LogCapture log;
    ASSERT_TRUE(db->executeUpdate(QStringLiteral("CREATE TABLE t (a)")));
    EXPECT_EQ(log.count(db->description() + QStringLiteral(" executeUpdate: CREATE TABLE t (a)")), 1);
    auto rs = db->executeQuery(QStringLiteral("SELECT ?, ?"), {5, FMDatabase::null()});
    ASSERT_TRUE(rs);
    rs->close();
    EXPECT_EQ(log.count(QStringLiteral("obj: 5")), 1);
    EXPECT_EQ(log.count(QStringLiteral("obj: <null>")), 1);
}
