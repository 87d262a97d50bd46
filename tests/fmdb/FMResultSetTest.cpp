#include "FMDBTestSupport.h"
#include "Library/FMDB/FMDatabase.h"
#include "Library/FMDB/FMResultSet.h"
#include "Library/FMDB/FMStatement.h"
#include "platform/Clock.h"

#include <QObject>

#include <gtest/gtest.h>

namespace {

class FMResultSetTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        db = FMDatabase::databaseWithPath(QString());
        ASSERT_TRUE(db->open());
    }
    void TearDown() override { Clock::resetLocalZone(); }

    // The first row of sql, stepped onto; null when there is none.
    std::shared_ptr<FMResultSet> row(const QString& sql)
    {
        auto rs = db->executeQuery(sql);
        if (!rs || !rs->next()) {
            ADD_FAILURE() << sql.toStdString() << ": " << db->lastErrorMessage().toStdString();
            return nullptr;
        }
        return rs;
    }

    std::shared_ptr<FMDatabase> db;
};

QDateTime utc(int year, int month, int day, int hour, int minute, int second)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC);
}

}  // namespace

TEST_F(FMResultSetTest, ColumnNamesAreCaseInsensitiveAndTheLaterDuplicateWins)
{
    auto rs = row(QStringLiteral("SELECT 1 AS Value, 2 AS VALUE, 3 AS Other"));
    ASSERT_TRUE(rs);
    EXPECT_EQ(rs->columnCount(), 3);
    EXPECT_EQ(rs->intForColumn(QStringLiteral("value")), 2);
    EXPECT_EQ(rs->columnIndexForName(QStringLiteral("OTHER")), 2);
    EXPECT_EQ(rs->columnNameForIndex(0), QStringLiteral("Value"));
    EXPECT_EQ(rs->columnNameToIndexMap().size(), 2);
}

TEST_F(FMResultSetTest, AMissingColumnGivesNothingAndWarnsPerLookup)
{
    auto rs = row(QStringLiteral("SELECT 'x' AS present"));
    ASSERT_TRUE(rs);
    LogCapture log;
    EXPECT_TRUE(rs->stringForColumn(QStringLiteral("Absent")).isNull());
    EXPECT_EQ(rs->intForColumn(QStringLiteral("absent")), 0);
    EXPECT_FALSE(rs->dateForColumn(QStringLiteral("absent")).isValid());
    EXPECT_TRUE(rs->dataForColumn(QStringLiteral("absent")).isNull());
    EXPECT_EQ(rs->objectForColumnName(QStringLiteral("absent")), FMDatabase::null());
    EXPECT_EQ(log.count(QStringLiteral("Warning: I could not find the column named 'absent'.")), 5);
    // An index lookup that failed leaves no error on the connection.
    EXPECT_FALSE(db->hadError());
}

TEST_F(FMResultSetTest, BeijingTimeTextsAreReadAsUTCPlusEight)
{
    auto rs = row(QStringLiteral("SELECT '2020-01-01 08:00:00' AS t, '2015-1-5 3:4:5' AS short, "
                                 "'2020-02-30 00:00:00' AS bad, 'yesterday' AS words, NULL AS empty"));
    ASSERT_TRUE(rs);
    EXPECT_EQ(rs->dateForColumnFromCSTDateTime(QStringLiteral("t")), utc(2020, 1, 1, 0, 0, 0));
    EXPECT_EQ(rs->dateForColumnFromCSTDateTime(QStringLiteral("short")), utc(2015, 1, 4, 19, 4, 5));
    EXPECT_FALSE(rs->dateForColumnFromCSTDateTime(QStringLiteral("bad")).isValid());
    EXPECT_FALSE(rs->dateForColumnFromCSTDateTime(QStringLiteral("words")).isValid());
    EXPECT_FALSE(rs->dateForColumnFromCSTDateTime(QStringLiteral("empty")).isValid());
    EXPECT_FALSE(rs->dateForColumnIndexFromCSTDateTime(-1).isValid());
}

TEST_F(FMResultSetTest, LocalTimeTextsFollowTheProcessZone)
{
    Clock::setLocalZone(QTimeZone(-5 * 3600));
    auto rs = row(QStringLiteral("SELECT '2020-01-01 08:00:00' AS t"));
    ASSERT_TRUE(rs);
    EXPECT_EQ(rs->dateForColumnFromDateTime(QStringLiteral("t")), utc(2020, 1, 1, 13, 0, 0));
    Clock::setLocalZone(QTimeZone(0));
    EXPECT_EQ(rs->dateForColumnIndexFromDateTime(0), utc(2020, 1, 1, 8, 0, 0));
}

TEST_F(FMResultSetTest, ObjectsFollowTheColumnType)
{
    auto rs = row(QStringLiteral("SELECT 7 AS i, 1.5 AS f, x'0102' AS b, 'text' AS s, NULL AS n"));
    ASSERT_TRUE(rs);
    EXPECT_EQ(rs->objectForColumnIndex(0), QVariant(qint64(7)));
    EXPECT_EQ(rs->objectForColumnIndex(1), QVariant(1.5));
    EXPECT_EQ(rs->objectForColumnIndex(2), QVariant(QByteArray("\x01\x02", 2)));
    EXPECT_EQ(rs->objectForColumnIndex(3), QVariant(QStringLiteral("text")));
    EXPECT_EQ(rs->objectForColumnIndex(4).typeId(), QMetaType::Nullptr);

    EXPECT_EQ(QString::fromUtf8(reinterpret_cast<const char*>(rs->UTF8StringForColumnName(QStringLiteral("S")))),
              QStringLiteral("text"));
    EXPECT_EQ(rs->UTF8StringForColumnIndex(4), nullptr);
    EXPECT_EQ(rs->dataNoCopyForColumn(QStringLiteral("b")), QByteArray("\x01\x02", 2));
    EXPECT_TRUE(rs->dataNoCopyForColumnIndex(4).isNull());
    EXPECT_TRUE(rs->hasAnotherRow());

    const std::optional<QVariantMap> spelled = rs->resultDictionary();
    ASSERT_TRUE(spelled);
    EXPECT_EQ(spelled->value(QStringLiteral("i")), QVariant(qint64(7)));
    EXPECT_EQ(spelled->size(), 5);
}

TEST_F(FMResultSetTest, RowDictionariesAndPropertyFilling)
{
    auto rs = row(QStringLiteral("SELECT 'Ann' AS UserName, 3 AS Level, NULL AS Phone"));
    ASSERT_TRUE(rs);
    const std::optional<QVariantMap> spelled = rs->resultDictionary();
    ASSERT_TRUE(spelled);
    EXPECT_TRUE(spelled->contains(QStringLiteral("UserName")));
    const std::optional<QVariantMap> lowered = rs->resultDict();
    ASSERT_TRUE(lowered);
    EXPECT_EQ(lowered->value(QStringLiteral("username")), QVariant(QStringLiteral("Ann")));
    EXPECT_EQ(lowered->value(QStringLiteral("level")), QVariant(qint64(3)));

    QObject target;
    target.setProperty("Phone", QStringLiteral("kept"));
    rs->kvcMagic(&target);
    EXPECT_EQ(target.property("UserName"), QVariant(QStringLiteral("Ann")));
    EXPECT_EQ(target.property("Level"), QVariant(QStringLiteral("3")));
    EXPECT_EQ(target.property("Phone"), QVariant(QStringLiteral("kept")));  // NULL columns are skipped

    EXPECT_FALSE(rs->next());
    LogCapture log;
    EXPECT_FALSE(rs->resultDictionary());
    EXPECT_FALSE(rs->resultDict());
    EXPECT_EQ(log.count(QStringLiteral("Warning: There seem to be no columns in this set.")), 2);
}

// A cached statement keeps its column names between result sets; when another connection changes
// the table under it, SQLite prepares it anew and the names follow the new columns.
TEST(FMResultSetColumns, NamesFollowAStatementPreparedAnew)
{
    const QString path = freshDatabasePath(QStringLiteral("columns"));
    auto db = FMDatabase::databaseWithPath(path);
    auto other = FMDatabase::databaseWithPath(path);
    ASSERT_TRUE(db->open());
    ASSERT_TRUE(other->open());
    db->setShouldCacheStatements(true);
    ASSERT_TRUE(db->executeUpdate(QStringLiteral("CREATE TABLE t (name text, score int)")));
    ASSERT_TRUE(db->executeUpdate(QStringLiteral("INSERT INTO t VALUES ('a', 1)")));

    const QString query = QStringLiteral("SELECT * FROM t");
    const auto read = [&] {
        std::pair<QString, int> values;
        auto rs = db->executeQuery(query);
        EXPECT_TRUE(rs && rs->next());
        if (rs) {
            values = {rs->stringForColumn(QStringLiteral("name")), rs->intForColumn(QStringLiteral("score"))};
            rs->close();
        }
        return values;
    };
    EXPECT_EQ(read(), std::make_pair(QStringLiteral("a"), 1));
    const std::shared_ptr<FMStatement> cached = db->cachedStatementForQuery(query);
    ASSERT_TRUE(cached);
    EXPECT_EQ(read(), std::make_pair(QStringLiteral("a"), 1));
    EXPECT_EQ(db->cachedStatementForQuery(query), cached);  // the same statement both times

    // The same names in the other order, and a column more.
    ASSERT_TRUE(other->executeUpdate(QStringLiteral("DROP TABLE t")));
    ASSERT_TRUE(other->executeUpdate(QStringLiteral("CREATE TABLE t (extra text, score int, name text)")));
    ASSERT_TRUE(other->executeUpdate(QStringLiteral("INSERT INTO t VALUES ('x', 2, 'b')")));
    EXPECT_EQ(read(), std::make_pair(QStringLiteral("b"), 2));
    EXPECT_EQ(db->cachedStatementForQuery(query), cached);
    db->close();
    other->close();
}
