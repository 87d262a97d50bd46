#include "DatabaseTestSupport.h"

namespace {

const QDateTime kNow(QDate(2024, 3, 10), QTime(8, 30, 15, 250), Qt::UTC);

Favrite_DataPtr favourite(const QString& newsID, const QString& account, const QDateTime& time = kNow)
{
    auto item = std::make_shared<Favrite_Data>();
    item->newsID = newsID;
    item->newsTitle = QStringLiteral("title ") + newsID;
    item->favritetime = time;
    item->userAccount = account;
    return item;
}

QStringList newsIDs(const QList<Favrite_DataPtr>& items)
{
    QStringList ids;
    for (const Favrite_DataPtr& item : items)
        ids.append(item->newsID);
    return ids;
}

FavriteUserAndContents syncRow(const QString& account, int64_t version, bool modified, const QDateTime& time)
{
    FavriteUserAndContents row;
    row.UserAccount = account;
    row.favritteVersion = version;
    row.bModified = modified;
    row.lastUpdateTime = time;
    return row;
}

}  // namespace

class FavouritesTest : public DatabaseTest
{
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        Clock::setNow(kNow);
    }

    FavriteUserAndContentsPtr sync(DatabaseOperate& store, const QString& account)
    {
        return store.FavriteUserAndContents_getDataByUser(account);
    }
};

TEST_F(FavouritesTest, AnArticleIsSavedOncePerAccountInAnyLetterCase)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    EXPECT_TRUE(store->Favrite_Data_setNewsFavriteData(*favourite("100", "Alice"), false));
    ASSERT_TRUE(sync(*store, "alice"));
    EXPECT_TRUE(sync(*store, "alice")->bModified);
    ASSERT_TRUE(store->FavriteUserAndContents_setModifiedNoUser("ALICE"));

    // The second save finds the first and changes nothing, not even the modified flag.
    EXPECT_TRUE(store->Favrite_Data_setNewsFavriteData(*favourite("100", "ALICE"), false));
    EXPECT_EQ(rowCount("Favrite_Data"), 1);
    EXPECT_FALSE(store->FavriteUserAndContents_bhaveModifiedByUser("Alice"));
    EXPECT_EQ(rowCount("FavriteUserAndContents"), 1);

    EXPECT_FALSE(store->Favrite_Data_isHaveSaveFavriteData("101", "Alice"));

    // Stored as whole seconds.
    EXPECT_EQ(file().doubleForQuery("SELECT ffavritetime FROM Favrite_Data"), double(kNow.toSecsSinceEpoch()));
    QList<Favrite_DataPtr> items;
    ASSERT_TRUE(store->Favrite_Data_getAllFavriteURLAndTitleData(items, "alice"));
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0]->favritetime, QDateTime::fromSecsSinceEpoch(kNow.toSecsSinceEpoch(), Qt::UTC));
    EXPECT_EQ(items[0]->userAccount, "Alice");
    EXPECT_EQ(items[0]->newsTitle, "title 100");
    EXPECT_GT(items[0]->favriteDataTag, 0);
}

TEST_F(FavouritesTest, LocalChangesRaiseTheVersionOncePerUpload)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    const QDateTime synced(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC);
    ASSERT_TRUE(store->FavriteUserAndContents_setNewsData(syncRow("bob", 5, false, synced)));

    // A favourite from the sync leaves the row as it is.
    EXPECT_TRUE(store->Favrite_Data_setNewsFavriteData(*favourite("1", "bob"), true));
    EXPECT_EQ(sync(*store, "bob")->favritteVersion, 5);
    EXPECT_FALSE(sync(*store, "bob")->bModified);
    EXPECT_EQ(sync(*store, "bob")->lastUpdateTime, synced);

    EXPECT_TRUE(store->Favrite_Data_setNewsFavriteData(*favourite("2", "Bob"), false));
    EXPECT_EQ(sync(*store, "bob")->favritteVersion, 6);
    EXPECT_TRUE(sync(*store, "bob")->bModified);

    Clock::advance(60 * 1000);
    EXPECT_TRUE(store->Favrite_Data_deleteFavriteDataWithNewsId("1", "BOB"));
    EXPECT_EQ(sync(*store, "bob")->favritteVersion, 6);
    EXPECT_EQ(sync(*store, "bob")->lastUpdateTime.toSecsSinceEpoch(), kNow.toSecsSinceEpoch() + 60);
    EXPECT_EQ(rowCount("Favrite_Data"), 1);

    // After an upload the next change makes version 7.
    EXPECT_TRUE(store->FavriteUserAndContents_setModifiedNoUser("bob"));
    EXPECT_TRUE(store->Favrite_Data_deleteFavriteDataWithNewsId("2", "bob"));
    EXPECT_EQ(sync(*store, "bob")->favritteVersion, 7);

    // Without a sync row nothing is marked, and nothing is made.
    EXPECT_FALSE(store->FavriteUserAndContents_updateLastDate(kNow, "nobody"));
    EXPECT_FALSE(sync(*store, "nobody"));
}

TEST_F(FavouritesTest, DeletingByRowIdTakesTheRowOfAnyAccount)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    ASSERT_TRUE(store->Favrite_Data_setNewsFavriteData(*favourite("7", "bob"), true));
    ASSERT_TRUE(store->Favrite_Data_setNewsFavriteData(*favourite("8", "bob"), true));
    const int64_t tag = file().longForQuery("SELECT favriteDataTag FROM Favrite_Data WHERE newsID = '7'");

    EXPECT_TRUE(store->Favrite_Data_deleteFavriteDataWithFavriteDataId(tag, "carol"));
    EXPECT_EQ(rowCount("Favrite_Data", "WHERE newsID = '7'"), 0);
    EXPECT_EQ(rowCount("Favrite_Data"), 1);
    // The account named in the call is the one marked.
    EXPECT_TRUE(store->FavriteUserAndContents_bhaveModifiedByUser("carol"));
    EXPECT_EQ(sync(*store, "carol")->favritteVersion, 1);
    EXPECT_FALSE(store->FavriteUserAndContents_bhaveModifiedByUser("bob"));
}

TEST_F(FavouritesTest, TheFirstReadMakesTheSyncRow)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    QList<Favrite_DataPtr> items{favourite("kept", "x")};
    ASSERT_TRUE(store->Favrite_Data_getAllFavriteURLAndTitleData(items, "Dave"));
    EXPECT_EQ(newsIDs(items), QStringList({"kept"}));
    const FavriteUserAndContentsPtr row = sync(*store, "dave");
    ASSERT_TRUE(row);
    EXPECT_EQ(row->UserAccount, "Dave");
    EXPECT_EQ(row->favritteVersion, 0);
    EXPECT_FALSE(row->bModified);
    EXPECT_EQ(row->lastUpdateTime.toSecsSinceEpoch(), kNow.toSecsSinceEpoch());
}

TEST_F(FavouritesTest, ListsAndCountIncludeTheLoggedOutFavourites)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    const QString noUser = QString::fromLatin1(kFavriteNoUserAccount);
    ASSERT_TRUE(store->Favrite_Data_setNewsFavriteData(*favourite("1", "erin", kNow.addSecs(-30)), true));
    ASSERT_TRUE(store->Favrite_Data_setNewsFavriteData(*favourite("2", noUser, kNow.addSecs(-10)), true));
    ASSERT_TRUE(store->Favrite_Data_setNewsFavriteData(*favourite("1", noUser, kNow.addSecs(-20)), true));
    ASSERT_TRUE(store->Favrite_Data_setNewsFavriteData(*favourite("3", "frank"), true));

    QList<Favrite_DataPtr> both;
    ASSERT_TRUE(store->Favrite_Data_getCurrentAccountAndNoAccountAllFavriteURLAndTitleData(both, "ERIN"));
    EXPECT_EQ(newsIDs(both), QStringList({"2", "1", "1"}));  // newest first
    EXPECT_EQ(store->Favrite_Data_getCurrentAccountAndNoAccountAllFavriteCountByUserAccount("erin"), 2);

    QList<Favrite_DataPtr> own;
    ASSERT_TRUE(store->Favrite_Data_getAllFavriteURLAndTitleData(own, "erin"));
    EXPECT_EQ(newsIDs(own), QStringList({"1"}));

    // Deleting all of an account's favourites leaves the others and its sync row.
    EXPECT_TRUE(store->Favrite_Data_deleteAllFavriteDataByUserAccount("Erin"));
    EXPECT_EQ(rowCount("Favrite_Data"), 3);
    EXPECT_TRUE(sync(*store, "erin"));
}

TEST_F(FavouritesTest, BulkInsertAddsAsItIs)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    EXPECT_TRUE(store->Favrite_Data_setNewsFavriteDataArray({}));
    EXPECT_FALSE(QFile::exists(databasePath()));

    EXPECT_TRUE(store->Favrite_Data_setNewsFavriteDataArray({favourite("1", "gina"), favourite("1", "gina")}));
    EXPECT_EQ(rowCount("Favrite_Data", "WHERE newsID = '1'"), 2);
    // The sync row is made by the check, and not marked.
    EXPECT_FALSE(store->FavriteUserAndContents_bhaveModifiedByUser("gina"));
}

TEST_F(FavouritesTest, AFailedReplaceKeepsTheOldFavourites)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    const QString noUser = QString::fromLatin1(kFavriteNoUserAccount);
    ASSERT_TRUE(store->Favrite_Data_setNewsFavriteDataArray({favourite("old1", "hank"), favourite("old2", "hank")}));
    ASSERT_TRUE(store->Favrite_Data_setNewsFavriteData(*favourite("other", noUser), true));

    ASSERT_TRUE(file().executeUpdate(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON Favrite_Data WHEN "
                                                    "new.newsID = 'bad' BEGIN SELECT RAISE(ABORT, 'refused'); END")));
    EXPECT_FALSE(store->Favrite_Data_replaceAllFavriteDataByUserAccount("HANK", {favourite("new1", "hank"),
                                                                                 favourite("bad", "hank")}));
    QList<Favrite_DataPtr> items;
    ASSERT_TRUE(store->Favrite_Data_getAllFavriteURLAndTitleData(items, "hank"));
    EXPECT_EQ(newsIDs(items), QStringList({"old1", "old2"}));

    ASSERT_TRUE(file().executeUpdate(QStringLiteral("DROP TRIGGER refuse")));
    EXPECT_TRUE(store->Favrite_Data_replaceAllFavriteDataByUserAccount(
        "HANK", {favourite("new1", "hank"), favourite("new2", "hank"), favourite("new3", "hank")}));
    items.clear();
    ASSERT_TRUE(store->Favrite_Data_getAllFavriteURLAndTitleData(items, "hank"));
    EXPECT_EQ(newsIDs(items), QStringList({"new1", "new2", "new3"}));
    EXPECT_EQ(rowCount("Favrite_Data", "WHERE userAccount = ?", {noUser}), 1);

    // An empty download empties the account, as the server's file says.
    EXPECT_TRUE(store->Favrite_Data_replaceAllFavriteDataByUserAccount("hank", {}));
    EXPECT_EQ(rowCount("Favrite_Data", "WHERE userAccount = 'hank'"), 0);
    EXPECT_FALSE(file().inTransaction());
}

TEST_F(FavouritesTest, SyncRowIsWrittenOnlyWhenItDiffers)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    const QDateTime whole(QDate(2024, 2, 2), QTime(2, 2, 2), Qt::UTC);
    ASSERT_TRUE(store->FavriteUserAndContents_setNewsData(syncRow("ivy", 3, true, whole)));
    // Any write now fails, so a true answer means nothing was written.
    ASSERT_TRUE(file().executeUpdate(QStringLiteral(
        "CREATE TRIGGER frozen BEFORE UPDATE ON FavriteUserAndContents BEGIN SELECT RAISE(ABORT, 'frozen'); END")));
    EXPECT_TRUE(store->FavriteUserAndContents_setNewsData(syncRow("IVY", 3, true, whole)));
    EXPECT_FALSE(store->FavriteUserAndContents_setNewsData(syncRow("ivy", 3, true, whole.addMSecs(1))));
    EXPECT_FALSE(store->FavriteUserAndContents_setNewsData(syncRow("ivy", 4, true, whole)));
    ASSERT_TRUE(file().executeUpdate(QStringLiteral("DROP TRIGGER frozen")));

    // A write takes the record's letter case.
    EXPECT_TRUE(store->FavriteUserAndContents_setNewsData(syncRow("IVY", 4, false, whole)));
    EXPECT_EQ(file().stringForQuery("SELECT UserAccount FROM FavriteUserAndContents"), "IVY");
    EXPECT_EQ(rowCount("FavriteUserAndContents"), 1);
    EXPECT_TRUE(store->FavriteUserAndContents_deleteDataByUser("ivy"));
    EXPECT_EQ(rowCount("FavriteUserAndContents"), 0);
}

TEST_F(FavouritesTest, OlderTablesGainTheirTimeColumns)
{
    ASSERT_TRUE(file().executeUpdate(QStringLiteral(
        "CREATE TABLE Favrite_Data (favriteDataTag INTEGER PRIMARY KEY AUTOINCREMENT, newsID text, newsTitle text, "
        "favritetime text, userAccount text)")));
    ASSERT_TRUE(file().executeUpdate(QStringLiteral("INSERT INTO Favrite_Data (newsID, newsTitle, favritetime, userAccount) "
                                                    "VALUES ('1', 't1', '2016-05-04 11:02:03', 'jay'), ('2', 't2', "
                                                    "'not a time', 'jay')")));
    ASSERT_TRUE(file().executeUpdate(QStringLiteral("CREATE TABLE FavriteUserAndContents (UserAccount text PRIMARY KEY "
                                                    ",favritteVersion INTEGER,bModified BOOLEAN,lastUpdateTime text)")));
    ASSERT_TRUE(file().executeUpdate(QStringLiteral("INSERT INTO FavriteUserAndContents VALUES ('jay', 9, 1, '2017-01-02 "
                                                    "08:00:00'), ('kim', 2, 0, '2018-03-04 20:00:00')")));

    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    QList<Favrite_DataPtr> items;
    ASSERT_TRUE(store->Favrite_Data_getAllFavriteURLAndTitleData(items, "jay"));
    ASSERT_EQ(newsIDs(items), QStringList({"1", "2"}));
    // The old texts are UTC+8.
    EXPECT_EQ(items[0]->favritetime, QDateTime(QDate(2016, 5, 4), QTime(3, 2, 3), Qt::UTC));
    EXPECT_EQ(items[1]->favritetime.toSecsSinceEpoch(), 0);

    const FavriteUserAndContentsPtr jay = sync(*store, "jay");
    ASSERT_TRUE(jay);
    EXPECT_EQ(jay->favritteVersion, 9);
    EXPECT_EQ(jay->lastUpdateTime, QDateTime(QDate(2017, 1, 2), QTime(0, 0), Qt::UTC));
    EXPECT_EQ(sync(*store, "kim")->lastUpdateTime, QDateTime(QDate(2018, 3, 4), QTime(12, 0), Qt::UTC));
    // The old columns stay.
    EXPECT_TRUE(file().columnExists("Favrite_Data", "favritetime"));
    EXPECT_TRUE(file().columnExists("FavriteUserAndContents", "lastUpdateTime"));
}

TEST_F(FavouritesTest, TheSavedCheckComparesTheAccountExactly)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    ASSERT_TRUE(store->Favrite_Data_setNewsFavriteData(*favourite("100", "User"), true));
    EXPECT_TRUE(store->Favrite_Data_isHaveSaveFavriteData("100", "User"));
    EXPECT_FALSE(store->Favrite_Data_isHaveSaveFavriteData("100", "user"));
    EXPECT_FALSE(store->Favrite_Data_isHaveSaveFavriteData("100", "USER"));
    // The other operations still take "user" for the same account.
    QList<Favrite_DataPtr> items;
    ASSERT_TRUE(store->Favrite_Data_getAllFavriteURLAndTitleData(items, "user"));
    EXPECT_EQ(items.size(), 1);
}

TEST_F(FavouritesTest, AnUnusableStoreAnswersNo)
{
    QTemporaryDir blocked;
    blockDocumentsFolder(blocked);
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    QList<Favrite_DataPtr> items{favourite("kept", "x")};
    EXPECT_FALSE(store->Favrite_Data_getAllFavriteURLAndTitleData(items, "a"));
    EXPECT_EQ(items.size(), 1);
    EXPECT_FALSE(store->Favrite_Data_setNewsFavriteData(*favourite("1", "a"), false));
    EXPECT_FALSE(store->Favrite_Data_replaceAllFavriteDataByUserAccount("a", {favourite("1", "a")}));
    EXPECT_EQ(store->Favrite_Data_getCurrentAccountAndNoAccountAllFavriteCountByUserAccount("a"), 0);
    EXPECT_FALSE(store->FavriteUserAndContents_getDataByUser("a"));
    EXPECT_FALSE(store->FavriteUserAndContents_setNewsData(syncRow("a", 1, false, kNow)));
}
