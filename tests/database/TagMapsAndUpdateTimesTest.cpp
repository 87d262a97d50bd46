#include "DatabaseTestSupport.h"

TEST_F(DatabaseTest, FreshMapsGiveTheBuiltInTags)
{
    DatabaseOperate::Lease store;
    EXPECT_EQ(store->WebFileLastUpdateTime_getWebFileLastUpdateTimeTypeByListType(101), 101);
    EXPECT_EQ(store->WebFileLastModifyTime_getWebFileLastModifyTimeTypeByListType(101, false), 101);
    EXPECT_EQ(store->WebFileLastModifyTime_getWebFileLastModifyTimeTypeByListType(101, true), 1010);
    EXPECT_EQ(store->ListMaxNewsID_getListMaxNewsIDByListType(101), 101);
    // The hot-comments channel has no rows.
    EXPECT_EQ(store->WebFileLastUpdateTime_getWebFileLastUpdateTimeTypeByListType(153), 0);
    EXPECT_EQ(store->WebFileLastModifyTime_getWebFileLastModifyTimeTypeByListType(153, false), 0);
    EXPECT_EQ(store->ListMaxNewsID_getListMaxNewsIDByListType(153), 0);
    // Channel 0 finds the rows of the favourites file and the configuration; the last one wins.
    EXPECT_EQ(store->WebFileLastUpdateTime_getWebFileLastUpdateTimeTypeByListType(0), 201);

    EXPECT_EQ(rowCount(QStringLiteral("NewWebFileLastUpdateTime")), 18);
    EXPECT_EQ(rowCount(QStringLiteral("NewWebFileLastModifyTime")), 32);
    EXPECT_EQ(rowCount(QStringLiteral("NewListMaxNewsID")), 16);
}

TEST_F(DatabaseTest, MapInsertsKeepOneRowPerTagAndDeletesTakeEveryRowOfTheChannel)
{
    DatabaseOperate::Lease store;
    EXPECT_TRUE(store->WebFileLastUpdateTime_insert(101));
    EXPECT_TRUE(store->WebFileLastModifyTime_insert(101));
    EXPECT_TRUE(store->ListMaxNewsID_insert(101));
    EXPECT_EQ(rowCount(QStringLiteral("NewWebFileLastUpdateTime"), QStringLiteral("WHERE fileTag = 101")), 1);
    EXPECT_EQ(rowCount(QStringLiteral("NewWebFileLastModifyTime"), QStringLiteral("WHERE newsListId = 101")), 2);
    EXPECT_EQ(rowCount(QStringLiteral("NewListMaxNewsID"), QStringLiteral("WHERE idTag = 101")), 1);

    EXPECT_TRUE(store->WebFileLastModifyTime_insert(160));
    EXPECT_EQ(store->WebFileLastModifyTime_getWebFileLastModifyTimeTypeByListType(160, true), 1600);

    EXPECT_TRUE(store->WebFileLastModifyTime_delete(109));
    EXPECT_EQ(rowCount(QStringLiteral("NewWebFileLastModifyTime"), QStringLiteral("WHERE fileTag IN (109, 1090)")), 0);
    EXPECT_EQ(rowCount(QStringLiteral("NewWebFileLastModifyTime")), 32);
    EXPECT_TRUE(store->ListMaxNewsID_delete(109));
    EXPECT_TRUE(store->WebFileLastUpdateTime_delete(109));
    EXPECT_EQ(store->ListMaxNewsID_getListMaxNewsIDByListType(109), 0);
    EXPECT_EQ(store->WebFileLastUpdateTime_getWebFileLastUpdateTimeTypeByListType(109), 0);
}

TEST_F(DatabaseTest, MapChecksDropTheTablesOfTheEarlierLayout)
{
    file().executeUpdate(QStringLiteral("CREATE TABLE WebFileLastUpdateTime (a)"));
    file().executeUpdate(QStringLiteral("CREATE TABLE WebFileLastModifyTime (a)"));
    file().executeUpdate(QStringLiteral("CREATE TABLE ListMaxNewsID (a)"));
    DatabaseOperate::Lease store;
    EXPECT_TRUE(store->WebFileLastUpdateTime_check());
    EXPECT_TRUE(store->WebFileLastModifyTime_check());
    EXPECT_TRUE(store->ListMaxNewsID_check());
    EXPECT_FALSE(file().tableExists(QStringLiteral("WebFileLastUpdateTime")));
    EXPECT_FALSE(file().tableExists(QStringLiteral("WebFileLastModifyTime")));
    EXPECT_FALSE(file().tableExists(QStringLiteral("ListMaxNewsID")));

    // An existing map keeps its rows.
    ASSERT_TRUE(store->ListMaxNewsID_delete(114));
    EXPECT_TRUE(store->ListMaxNewsID_check());
    EXPECT_EQ(rowCount(QStringLiteral("NewListMaxNewsID")), 15);
}

TEST_F(DatabaseTest, NewestIdsAreKeptPerTag)
{
    DatabaseOperate::Lease store;
    EXPECT_EQ(store->getCurrentMaxNewsIDforNewsType(101), -1);
    store->setCurrentMaxNewsID(123456, 101);
    EXPECT_EQ(store->getCurrentMaxNewsIDforNewsType(101), 123456);
    store->setCurrentMaxNewsID(123460, 101);
    EXPECT_EQ(store->getCurrentMaxNewsIDforNewsType(101), 123460);
    EXPECT_EQ(rowCount(QStringLiteral("CurrentMaxNewsID")), 1);
    // Ids past 32 bits come back whole.
    store->setCurrentMaxNewsID(int64_t(1) << 32 | 5, 102);
    EXPECT_EQ(store->getCurrentMaxNewsIDforNewsType(102), (int64_t(1) << 32) | 5);
}

TEST_F(DatabaseTest, LastModifiedTextsAndPageTimesKeepOneRowPerKey)
{
    DatabaseOperate::Lease store;
    EXPECT_TRUE(store->getWebFileLastModifyTimeforFileType(101).isNull());
    store->setWebFileLastModifyTime(QStringLiteral("Tue, 01 Jun 2021 10:00:00 GMT"), 101);
    store->setWebFileLastModifyTime(QStringLiteral("Wed, 02 Jun 2021 11:00:00 GMT"), 101);
    EXPECT_EQ(store->getWebFileLastModifyTimeforFileType(101), QStringLiteral("Wed, 02 Jun 2021 11:00:00 GMT"));
    EXPECT_EQ(rowCount(QStringLiteral("NewListLastUpdateTime")), 1);

    store->setNewsLastUpdateTime(QStringLiteral("2021-06-01 10:00:00"), 1, QStringLiteral("guid"));
    store->setNewsLastUpdateTime(QStringLiteral("2021-06-02 10:00:00"), 2, QStringLiteral("guid"));
    store->setNewsLastUpdateTime(QStringLiteral("2021-06-03 10:00:00"), 1, QStringLiteral("guid"));
    EXPECT_EQ(store->getNewsLastUpdateTimeforNewsType(1, QStringLiteral("guid")), QStringLiteral("2021-06-03 10:00:00"));
    EXPECT_EQ(store->getNewsLastUpdateTimeforNewsType(2, QStringLiteral("guid")), QStringLiteral("2021-06-02 10:00:00"));
    EXPECT_EQ(rowCount(QStringLiteral("SingleNewsLastUpdateTime"), QStringLiteral("WHERE newguid IN ('guid_1', 'guid_2')")), 2);
    EXPECT_EQ(rowCount(QStringLiteral("SingleNewsLastUpdateTime")), 2);

    store->setForumLastUpdateTime(QStringLiteral("2021-06-04 10:00:00"), QStringLiteral("it's"));
    store->setForumLastUpdateTime(QStringLiteral("2021-06-05 10:00:00"), QStringLiteral("it's"));
    EXPECT_EQ(store->getForumLastUpdateTimeforForumGuid(QStringLiteral("it's")), QStringLiteral("2021-06-05 10:00:00"));
    EXPECT_EQ(rowCount(QStringLiteral("SingleForumLastUpdateTime")), 1);
}

TEST_F(DatabaseTest, ClearingAMissingTableAnswersYesAndMakesNothing)
{
    DatabaseOperate::Lease store;
    EXPECT_TRUE(store->clearNewsLastUpdateTimeDB());
    EXPECT_TRUE(store->clearForumLastUpdateTimeDB());
    EXPECT_TRUE(store->autoClearNewsLastUpdateTimeDB({QStringLiteral("a_1")}));
    EXPECT_TRUE(store->autoClearForumLastUpdateTimeDB({QStringLiteral("a")}));
    EXPECT_FALSE(file().tableExists(QStringLiteral("SingleNewsLastUpdateTime")));
    EXPECT_FALSE(file().tableExists(QStringLiteral("SingleForumLastUpdateTime")));
}

TEST_F(DatabaseTest, AutoClearDeletesExactlyTheGivenKeys)
{
    DatabaseOperate::Lease store;
    for (const char* guid : {"a", "b", "c", "it's"})
        store->setNewsLastUpdateTime(QStringLiteral("2021-06-01 10:00:00"), 1, QLatin1String(guid));
    EXPECT_TRUE(store->autoClearNewsLastUpdateTimeDB({QStringLiteral("a_1"), QStringLiteral("it's_1")}));
    EXPECT_EQ(rowCount(QStringLiteral("SingleNewsLastUpdateTime")), 2);
    EXPECT_FALSE(store->getNewsLastUpdateTimeforNewsType(1, QStringLiteral("b")).isNull());
    EXPECT_TRUE(store->getNewsLastUpdateTimeforNewsType(1, QStringLiteral("it's")).isNull());
    EXPECT_TRUE(store->autoClearNewsLastUpdateTimeDB({}));
    EXPECT_EQ(rowCount(QStringLiteral("SingleNewsLastUpdateTime")), 2);
    EXPECT_TRUE(store->clearNewsLastUpdateTimeDB());
    EXPECT_EQ(rowCount(QStringLiteral("SingleNewsLastUpdateTime")), 0);

    store->setForumLastUpdateTime(QStringLiteral("t"), QStringLiteral("x"));
    store->setForumLastUpdateTime(QStringLiteral("t"), QStringLiteral("y"));
    EXPECT_TRUE(store->autoClearForumLastUpdateTimeDB({QStringLiteral("x")}));
    EXPECT_EQ(rowCount(QStringLiteral("SingleForumLastUpdateTime")), 1);
    EXPECT_TRUE(store->clearForumLastUpdateTimeDB());
    EXPECT_EQ(rowCount(QStringLiteral("SingleForumLastUpdateTime")), 0);
}
