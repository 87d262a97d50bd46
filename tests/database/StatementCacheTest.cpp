#include "DatabaseTestSupport.h"

#include "Library/FMDB/FMStatement.h"

namespace {

constexpr int kRows = 10000;

const QString kInsertFavourite =
    QStringLiteral("INSERT INTO Favrite_Data (newsID,newsTitle,ffavritetime,userAccount) VALUES (?,?,?,?)");
const QString kNewsStateLookup = QStringLiteral("SELECT state FROM NewsState where guid = ?");
const QString kNewsStateInsert = QStringLiteral("INSERT INTO NewsState (guid, state, title) VALUES (?,?,?)");

FeedPtr feed(int id)
{
    auto item = std::make_shared<Feed>();
    item->guid = QString::number(id);
    return item;
}

}  // namespace

class StatementCacheTest : public DatabaseTest
{
protected:
    // The connection the store goes on with: opened here so the test can look into its cache.
    std::shared_ptr<FMDatabase> storeConnection(DatabaseOperate& store)
    {
        auto db = store.loadDB(QStringLiteral("tidwenMAC.db"));
        EXPECT_TRUE(db);
        EXPECT_TRUE(db && db->shouldCacheStatements());
        return db;
    }

    static qint64 uses(FMDatabase& db, const QString& sql)
    {
        const std::shared_ptr<FMStatement> statement = db.cachedStatementForQuery(sql);
        return statement ? statement->useCount() : -1;
    }
};

TEST_F(StatementCacheTest, TenThousandFavouritesAreWrittenThroughOnePreparedInsert)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    auto db = storeConnection(*store);
    ASSERT_TRUE(db);

    QList<Favrite_DataPtr> items;
    for (int i = 0; i < kRows; ++i) {
        auto item = std::make_shared<Favrite_Data>();
        item->newsID = QString::number(100000 + i);
        // Quotes and other text that would break a statement written with its values in it.
        item->newsTitle = QStringLiteral("it's 标题 %1; --").arg(i);
        item->favritetime = QDateTime::fromSecsSinceEpoch(1600000000 + i, Qt::UTC);
        item->userAccount = i % 2 ? QStringLiteral("Bulk") : QStringLiteral("n_o_u_s_e_r");
        items.append(item);
    }
    ASSERT_TRUE(store->Favrite_Data_setNewsFavriteDataArray(items));
    EXPECT_EQ(uses(*db, kInsertFavourite), kRows);

    EXPECT_EQ(rowCount("Favrite_Data"), kRows);
    EXPECT_EQ(rowCount("Favrite_Data", "WHERE userAccount = 'Bulk'"), kRows / 2);
    EXPECT_EQ(file().stringForQuery(QStringLiteral("SELECT newsTitle FROM Favrite_Data WHERE newsID = ?"), {"109999"}),
              QStringLiteral("it's 标题 9999; --"));
    EXPECT_EQ(file().longForQuery(QStringLiteral("SELECT sum(ffavritetime - 1600000000) FROM Favrite_Data")),
              qint64(kRows) * (kRows - 1) / 2);
    // Row ids follow the order of the list.
    EXPECT_EQ(file().stringForQuery(QStringLiteral("SELECT newsID FROM Favrite_Data ORDER BY favriteDataTag DESC LIMIT 1")),
              QStringLiteral("109999"));

    // Read back through the store, newest first.
    QList<Favrite_DataPtr> read;
    ASSERT_TRUE(store->Favrite_Data_getCurrentAccountAndNoAccountAllFavriteURLAndTitleData(read, "bulk"));
    ASSERT_EQ(read.size(), kRows);
    EXPECT_EQ(read.first()->newsID, "109999");
    EXPECT_EQ(read.first()->newsTitle, "it's 标题 9999; --");
    EXPECT_EQ(read.last()->newsID, "100000");
}

TEST_F(StatementCacheTest, TenThousandKeyedReadsFindExactlyTheMarkedRows)
{
    // Every third id is marked read, one of them unread.
    ASSERT_TRUE(file().executeUpdate(
        QStringLiteral("CREATE TABLE NewsState (guid text PRIMARY KEY ,state Boolean,title text)")));
    ASSERT_TRUE(file().beginTransaction());
    for (int i = 0; i < kRows; i += 3)
        ASSERT_TRUE(file().executeUpdate(kNewsStateInsert, {QString::number(500000 + i), i == 300 ? 0 : 1, "t"}));
    ASSERT_TRUE(file().commit());

    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    auto db = storeConnection(*store);
    ASSERT_TRUE(db);
    DatabaseOperate::ReadMarkList<Feed> list;
    QList<FeedPtr> feeds;
    for (int i = 0; i < kRows; ++i) {
        feeds.append(feed(500000 + i));
        list.append(feeds.last());
    }
    ASSERT_TRUE(store->getNewsState(list));
    EXPECT_EQ(uses(*db, kNewsStateLookup), kRows);
    for (int i = 0; i < kRows; ++i)
        ASSERT_EQ(feeds[i]->isHaveRead, i % 3 == 0 && i != 300) << i;

    // A second pass over the same statement gives the same answers.
    for (const FeedPtr& f : feeds)
        f->isHaveRead = false;
    ASSERT_TRUE(store->getNewsState(list));
    EXPECT_EQ(uses(*db, kNewsStateLookup), 2 * kRows);
    EXPECT_EQ(std::count_if(feeds.cbegin(), feeds.cend(), [](const FeedPtr& f) { return f->isHaveRead; }),
              (kRows + 2) / 3 - 1);
}

TEST_F(StatementCacheTest, SchemaChangesOneOffTextsAndClosingEmptyTheCache)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    auto db = storeConnection(*store);
    ASSERT_TRUE(db);
    ASSERT_TRUE(store->setNewsState("1", true, "t"));
    EXPECT_EQ(uses(*db, kNewsStateInsert), 1);

    // Making a table is a schema change.
    store->setNewsLastUpdateTime("2020-01-01 00:00:00", 1, "g");
    EXPECT_EQ(uses(*db, kNewsStateInsert), -1);

    // A list's DELETE ... IN (?,?) is made for that list alone and does not stay.
    ASSERT_TRUE(store->setNewsState("2", true, "t"));
    ASSERT_TRUE(store->autoClearNewsLastUpdateTimeDB({"g_1", "x"}));
    EXPECT_EQ(uses(*db, QStringLiteral("DELETE FROM SingleNewsLastUpdateTime WHERE newguid IN (?,?)")), -1);
    EXPECT_TRUE(store->getNewsLastUpdateTimeforNewsType(1, "g").isEmpty());

    ASSERT_TRUE(store->setNewsState("3", true, "t"));
    EXPECT_EQ(uses(*db, kNewsStateInsert), 1);
    store->closeDB();
    EXPECT_EQ(uses(*db, kNewsStateInsert), -1);
    EXPECT_FALSE(db->databaseExists());
    EXPECT_EQ(rowCount("NewsState"), 3);
}

TEST_F(StatementCacheTest, ATableRemadeByAnotherConnectionIsReadAsItIsNow)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    ASSERT_TRUE(store->setNewsState("10", true, "t"));
    FeedPtr ten = feed(10);
    ASSERT_TRUE(store->getNewsState({ten}));
    EXPECT_TRUE(ten->isHaveRead);

    // Another program version remakes the table with its columns in another order.
    ASSERT_TRUE(file().executeUpdate(QStringLiteral("DROP TABLE NewsState")));
    ASSERT_TRUE(file().executeUpdate(
        QStringLiteral("CREATE TABLE NewsState (title text, state Boolean, guid text PRIMARY KEY)")));
    ASSERT_TRUE(file().executeUpdate(QStringLiteral("INSERT INTO NewsState VALUES ('t', 0, '10'), ('t', 1, '11')")));

    FeedPtr again = feed(10);
    FeedPtr eleven = feed(11);
    ASSERT_TRUE(store->getNewsState({again, eleven}));
    EXPECT_FALSE(again->isHaveRead);
    EXPECT_TRUE(eleven->isHaveRead);
    ASSERT_TRUE(store->setNewsState("12", true, "t"));
    EXPECT_EQ(file().stringForQuery(QStringLiteral("SELECT title FROM NewsState WHERE guid = '12'")), "t");
}
