#include "DatabaseTestSupport.h"

#include <QStringList>

namespace {

QDateTime utc(int day, int hour, int minute = 0)
{
    return QDateTime(QDate(2024, 3, day), QTime(hour, minute), QTimeZone::utc());
}

NSAppInfoPtr app(const QString& name)
{
    auto info = std::make_shared<NSAppInfo>();
    info->appName = name;
    info->appUrl = QStringLiteral("http://apps.example/") + name;
    info->appImageUrl = QStringLiteral("http://apps.example/") + name + QStringLiteral(".png");
    info->appDescribe = name + QStringLiteral(" describes itself");
    info->appOpenUrl = name + QStringLiteral("://open");
    return info;
}

SearchInfo search(const QString& key, int64_t type = 0)
{
    SearchInfo info;
    info.searchKey = key;
    info.searchType = type;
    return info;
}

QStringList keys(const std::optional<QList<SearchInfoPtr>>& history)
{
    QStringList texts;
    for (const SearchInfoPtr& info : history.value_or(QList<SearchInfoPtr>{}))
        texts << info->searchKey;
    return texts;
}

}  // namespace

class SmallTablesTest : public DatabaseTest
{
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        // Local time is UTC: Beijing's day begins at 16:00 local.
        Clock::setLocalZone(QTimeZone::utc());
    }

    void TearDown() override
    {
        Clock::resetLocalZone();
        DatabaseTest::TearDown();
    }
};

TEST_F(SmallTablesTest, ArticlesReadAreCountedOncePerUserAndDay)
{
    DatabaseOperate::Lease store;
    // 10:00, 15:00 and 15:59 UTC are all on 10 March in Beijing.
    EXPECT_EQ(store->addReadedNews(QStringLiteral("1"), 7, utc(10, 10), true), 1);
    EXPECT_EQ(store->addReadedNews(QStringLiteral("2"), 7, utc(10, 15), true), 2);
    EXPECT_EQ(store->addReadedNews(QStringLiteral("3"), 7, utc(10, 15, 59), true), 3);
    // Read again, the same day or later: not counted, nothing added.
    EXPECT_EQ(store->addReadedNews(QStringLiteral("1"), 7, utc(10, 11), true), 0);
    EXPECT_EQ(store->addReadedNews(QStringLiteral("1"), 7, utc(12, 11), true), 0);
    EXPECT_EQ(rowCount(QStringLiteral("UserReadNews")), 3);
    // Another user reading it is counted for that user.
    EXPECT_EQ(store->addReadedNews(QStringLiteral("1"), 8, utc(10, 10), true), 1);
    EXPECT_EQ(file().stringForQuery(QStringLiteral("SELECT userID FROM UserReadNews WHERE newid = 4")), QStringLiteral("8"));
}

TEST_F(SmallTablesTest, LocalAndBeijingCountsDifferNearMidnight)
{
    DatabaseOperate::Lease store;
    EXPECT_EQ(store->addReadedNews(QStringLiteral("1"), 7, utc(10, 12), true), 1);
    // 16:30 UTC is 00:30 on 11 March in Beijing but still 10 March here.
    EXPECT_EQ(store->addReadedNews(QStringLiteral("2"), 7, utc(10, 16, 30), true), 1);
    EXPECT_EQ(store->addReadedNews(QStringLiteral("3"), 7, utc(10, 17), false), 3);
    EXPECT_EQ(file().stringForQuery(QStringLiteral("SELECT BJZoneDate || ' ' || localDate FROM UserReadNews WHERE guid = '2'")),
              QStringLiteral("2024-03-11 2024-03-10"));

    EXPECT_TRUE(store->clearReadedNewsDB());
    EXPECT_EQ(rowCount(QStringLiteral("UserReadNews")), 0);
}

TEST_F(SmallTablesTest, AdClicksMatchAnyLetterCaseAndCountByTheChosenDay)
{
    DatabaseOperate::Lease store;
    // Clicked at 15:00 UTC on 10 March: the same day here, 23:00 in Beijing.
    EXPECT_TRUE(store->addADUrl(QStringLiteral("HTTP://Ad.Example/Click"), utc(10, 15)));
    Clock::setNow(utc(10, 17));
    EXPECT_TRUE(store->IsClickToday(QStringLiteral("http://ad.example/CLICK"), false));
    EXPECT_FALSE(store->IsClickToday(QStringLiteral("http://ad.example/click"), true));
    EXPECT_EQ(store->GetHaveClickTodayBJZone(false), QStringList{QStringLiteral("http://ad.example/click")});
    EXPECT_TRUE(store->GetHaveClickTodayBJZone(true).isEmpty());

    // Clicked again at 23:00 UTC, 07:00 on 11 March in Beijing; asked at 01:00 UTC on the 11th.
    EXPECT_TRUE(store->addADUrl(QStringLiteral("http://ad.example/click"), utc(10, 23)));
    EXPECT_EQ(rowCount(QStringLiteral("ADClickDate")), 1);
    Clock::setNow(utc(11, 1));
    EXPECT_TRUE(store->IsClickToday(QStringLiteral("http://AD.example/click"), true));
    EXPECT_FALSE(store->IsClickToday(QStringLiteral("http://ad.example/click"), false));
}

TEST_F(SmallTablesTest, ReplyIdsAndRemindersPerAccount)
{
    DatabaseOperate::Lease store;
    EXPECT_EQ(store->CommentManageMaxId_getMaxId(QStringLiteral("u1")), 0);
    EXPECT_FALSE(store->CommentManageMaxId_hasRemind(QStringLiteral("u1")));
    // A reminder for an unknown account makes its row with id 0.
    EXPECT_TRUE(store->CommentManageMaxId_setRemind(true, QStringLiteral("U1")));
    EXPECT_TRUE(store->CommentManageMaxId_hasRemind(QStringLiteral("u1")));
    EXPECT_EQ(store->CommentManageMaxId_getMaxId(QStringLiteral("u1")), 0);
    // A new reply id clears the reminder, in the same row.
    EXPECT_TRUE(store->CommentManageMaxId_setMaxId(55, QStringLiteral("u1")));
    EXPECT_EQ(store->CommentManageMaxId_getMaxId(QStringLiteral("U1")), 55);
    EXPECT_FALSE(store->CommentManageMaxId_hasRemind(QStringLiteral("u1")));
    EXPECT_EQ(rowCount(QStringLiteral("CommentManageMaxId")), 1);

    // The community table is a table of its own.
    EXPECT_EQ(store->ForumManageMaxId_getMaxId(QStringLiteral("u1")), 0);
    EXPECT_TRUE(store->ForumManageMaxId_setMaxId(9, QStringLiteral("u1")));
    EXPECT_TRUE(store->ForumManageMaxId_setRemind(true, QStringLiteral("u1")));
    EXPECT_EQ(store->ForumManageMaxId_getMaxId(QStringLiteral("u1")), 9);
    EXPECT_TRUE(store->ForumManageMaxId_hasRemind(QStringLiteral("u1")));
    EXPECT_FALSE(store->CommentManageMaxId_hasRemind(QStringLiteral("u1")));
}

TEST_F(SmallTablesTest, RecommendedAppsAreReplacedPerTypeAndCompared)
{
    DatabaseOperate::Lease store;
    EXPECT_TRUE(store->AppManage_setData({app(QStringLiteral("one")), app(QStringLiteral("it's"))}, 1));
    EXPECT_TRUE(store->AppManage_setData({app(QStringLiteral("other"))}, 2));
    const QList<NSAppInfoPtr> stored = store->AppManage_getData(1);
    ASSERT_EQ(stored.size(), 2);
    EXPECT_EQ(stored[1]->appName, QStringLiteral("it's"));
    EXPECT_EQ(stored[0]->appUrl, QStringLiteral("http://apps.example/one"));
    EXPECT_EQ(stored[0]->appImageUrl, QStringLiteral("http://apps.example/one.png"));
    EXPECT_EQ(stored[0]->appDescribe, QStringLiteral("one describes itself"));
    EXPECT_EQ(stored[0]->appOpenUrl, QStringLiteral("one://open"));

    EXPECT_FALSE(store->AppManage_hasNewData(1, {app(QStringLiteral("one")), app(QStringLiteral("it's"))}));
    EXPECT_TRUE(store->AppManage_hasNewData(1, {app(QStringLiteral("one")), app(QStringLiteral("other"))}));
    EXPECT_FALSE(store->AppManage_hasNewData(1, {}));

    EXPECT_TRUE(store->AppManage_setData({}, 1));
    EXPECT_TRUE(store->AppManage_getData(1).isEmpty());
    EXPECT_EQ(store->AppManage_getData(2).size(), 1);

    EXPECT_FALSE(store->AppManageTX_hasRemind(1));
    EXPECT_TRUE(store->AppManageTX_setRemind(true, 1));
    EXPECT_TRUE(store->AppManageTX_hasRemind(1));
    EXPECT_TRUE(store->AppManageTX_setRemind(false, 1));
    EXPECT_FALSE(store->AppManageTX_hasRemind(1));
    EXPECT_EQ(rowCount(QStringLiteral("AppManageTX")), 1);
}

TEST_F(SmallTablesTest, SearchHistoryPutsARepeatedTextFirstAndKeepsLetterCase)
{
    DatabaseOperate::Lease store;
    EXPECT_TRUE(keys(store->SearchHistory_get(0)).isEmpty());
    EXPECT_TRUE(store->SearchHistory_get(0).has_value());
    for (const char* text : {"phone", "laptop", "phone", "Phone"})
        EXPECT_TRUE(store->SearchHistory_insert(search(QString::fromLatin1(text))));
    EXPECT_TRUE(store->SearchHistory_insert(search(QStringLiteral("phone"), 1)));
    EXPECT_TRUE(store->SearchHistory_insert(search(QStringLiteral("it's"), 1)));
    EXPECT_EQ(keys(store->SearchHistory_get(0)),
              QStringList({QStringLiteral("Phone"), QStringLiteral("phone"), QStringLiteral("laptop")}));
    const std::optional<QList<SearchInfoPtr>> deals = store->SearchHistory_get(1);
    EXPECT_EQ(keys(deals), QStringList({QStringLiteral("it's"), QStringLiteral("phone")}));
    EXPECT_EQ(deals->first()->searchType, 1);

    EXPECT_TRUE(store->SearchHistory_delete(search(QStringLiteral("phone"))));
    EXPECT_EQ(keys(store->SearchHistory_get(0)), QStringList({QStringLiteral("Phone"), QStringLiteral("laptop")}));
    EXPECT_TRUE(store->SearchHistory_clear(0));
    EXPECT_TRUE(keys(store->SearchHistory_get(0)).isEmpty());
    EXPECT_EQ(keys(store->SearchHistory_get(1)).size(), 2);
}

TEST_F(SmallTablesTest, ASecondVoteReplacesTheFirst)
{
    DatabaseOperate::Lease store;
    EXPECT_EQ(store->ZhiChiFanDui_get(QStringLiteral("1001")), 0);
    EXPECT_TRUE(store->ZhiChiFanDui_insert(QStringLiteral("1001"), 1));
    EXPECT_TRUE(store->ZhiChiFanDui_insert(QStringLiteral("1001"), 2));
    EXPECT_EQ(store->ZhiChiFanDui_get(QStringLiteral("1001")), 2);
    EXPECT_EQ(rowCount(QStringLiteral("ZhiChiFanDui")), 1);
    EXPECT_EQ(store->ZhiChiFanDui_get(QStringLiteral("")), 0);

    EXPECT_EQ(store->ZhiChiFanDuiVund_get(QStringLiteral("1001")), 0);
    EXPECT_TRUE(store->ZhiChiFanDuiVund_insert(QStringLiteral("1001"), 1));
    EXPECT_TRUE(store->ZhiChiFanDui_delete(QStringLiteral("1001")));
    EXPECT_EQ(store->ZhiChiFanDui_get(QStringLiteral("1001")), 0);
    EXPECT_EQ(store->ZhiChiFanDuiVund_get(QStringLiteral("1001")), 1);
    EXPECT_TRUE(store->ZhiChiFanDuiVund_delete(QStringLiteral("1001")));
    EXPECT_EQ(store->ZhiChiFanDuiVund_get(QStringLiteral("1001")), 0);
}

TEST_F(SmallTablesTest, ScoresReadMinusOneUntilSetAndASecondScoreReplacesTheFirst)
{
    DatabaseOperate::Lease store;
    EXPECT_EQ(store->NewsScore_getScore(QStringLiteral("123"), QStringLiteral("u1")), QStringLiteral("-1"));
    EXPECT_TRUE(store->NewsScore_setScore(QStringLiteral("123"), QStringLiteral("u1"), QStringLiteral("3")));
    EXPECT_TRUE(store->NewsScore_setScore(QStringLiteral("123"), QStringLiteral("U1"), QStringLiteral("5")));
    EXPECT_EQ(store->NewsScore_getScore(QStringLiteral("123"), QStringLiteral("u1")), QStringLiteral("5"));
    EXPECT_EQ(store->NewsScore_getScore(QStringLiteral("124"), QStringLiteral("u1")), QStringLiteral("-1"));
    EXPECT_EQ(rowCount(QStringLiteral("NewsScore")), 1);
}

TEST_F(SmallTablesTest, AStoreThatCannotOpenGivesTheEmptyResults)
{
    {
        DatabaseOperate::Lease store;
        EXPECT_TRUE(store->clearReadedNewsDB());
        EXPECT_FALSE(file().tableExists(QStringLiteral("UserReadNews")));
    }
    QTemporaryDir blocked;
    blockDocumentsFolder(blocked);
    DatabaseOperate::Lease store;
    store->closeDB();  // the store follows the root from its next open
    EXPECT_EQ(store->addReadedNews(QStringLiteral("1"), 7, utc(10, 10), true), 0);
    EXPECT_FALSE(store->SearchHistory_get(0).has_value());
    EXPECT_EQ(store->NewsScore_getScore(QStringLiteral("1"), QStringLiteral("u")), QStringLiteral("-1"));
    EXPECT_TRUE(store->GetHaveClickTodayBJZone(true).isEmpty());
    EXPECT_FALSE(store->CommentManageMaxId_setRemind(true, QStringLiteral("u")));
    EXPECT_TRUE(store->AppManage_getData(1).isEmpty());
}
