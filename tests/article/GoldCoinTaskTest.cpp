#include "ArticleTestSupport.h"

#include "article/ArticleCacheFile.h"
#include "article/GoldCoinTask.h"
#include "article/GoldCoinTaskAdapters.h"
#include "database/ServerUrls.h"
#include "database/SettingsDatabaseOperate.h"
#include "foundation/CommonFunction.h"
#include "platform/Clock.h"
#include "platform/UserDefaults.h"

#include <QUrl>
#include <QUrlQuery>

namespace {

const QStringList kCoinKeys = {"coinRead", "coinNewsLastTime", "coinComment", "coinCommentLastTime", "coinAdvertise",
                               "coinAdvertiseLastTime", "usercoins_newsTip"};

QDateTime beijing(int year, int month, int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Clock::beijingZone());
}

QString value(const char* key)
{
    return UserDefaults::standardUserDefaults().stringForKey(QLatin1String(key));
}

void put(const char* key, const QString& text)
{
    UserDefaults::standardUserDefaults().setString(text, QLatin1String(key));
}

}  // namespace

class GoldCoinTaskTest : public ArticleFixture
{
protected:
    void SetUp() override
    {
        ArticleFixture::SetUp();
        for (const QString& key : kCoinKeys)
            UserDefaults::standardUserDefaults().setObject(QVariant(), key);
        Clock::setNow(beijing(2024, 3, 1, 10, 0));
        answer("<boolean>true</boolean>");
        storeAccount(true);
    }
    void TearDown() override
    {
        // Replies still on their way settle before the next test counts.
        waitUntil([] { return GoldCoinTask::inFlight(GoldCoinTask::Kind::ReadNews) == 0
                              && GoldCoinTask::inFlight(GoldCoinTask::Kind::Comment) == 0
                              && GoldCoinTask::inFlight(GoldCoinTask::Kind::AdClick) == 0; }, 30000);
        {
            SettingsDatabaseOperate::Lease settings;
            if (settings) {
                settings->UserLandData_logOut();
                settings->UserLandData_deleteUserDataByUserName(QStringLiteral("user"));
            }
        }
        for (const QString& key : kCoinKeys)
            UserDefaults::standardUserDefaults().setObject(QVariant(), key);
        Clock::reset();
        ArticleFixture::TearDown();
    }
    void answer(const QByteArray& body, int status = 200, int delayMs = 0)
    {
        LoopbackReply reply = LoopbackReply::text(status, body, "text/xml; charset=utf-8");
        reply.delayMs = delayMs;
        server.route("POST", QUrl(kUrlDoTask).path(), reply);
    }
    static void storeAccount(bool rememberPassword)
    {
        rememberAccount(rememberPassword, QStringLiteral("user"), QStringLiteral("pass"));
    }
    QList<LoopbackRequest> posts() const { return requestsTo(QUrl(kUrlDoTask).path()); }
    // Opens a new article and waits for its page; each id is downloaded once.
    void readArticle(ArticlePane& pane, const QString& id)
    {
        const qsizetype pages = host.pages.size();
        server.route("GET", QUrl(ArticleUrls::newsContentUrl(id)).path(),
                     LoopbackReply::text(200, articleXml(id, QStringLiteral("t"), QStringLiteral("<p>x</p>")), "text/xml; charset=utf-8")
                         .withHeader("Last-Modified", "Fri, 01 Mar 2024 01:00:00 GMT"));
        pane.show(item(id));
        ASSERT_TRUE(waitUntil([&] { return host.pages.size() > pages; }, 30000)) << id.toStdString();
    }
    // Lets every report sent so far get its reply.
    void settle(GoldCoinTask::Kind kind = GoldCoinTask::Kind::ReadNews)
    {
        ASSERT_TRUE(waitUntil([&] { return GoldCoinTask::inFlight(kind) == 0; }, 30000));
    }
};

TEST_F(GoldCoinTaskTest, FourRewardedReadsADayThenTheNextBeijingDay)
{
    ArticlePane pane(&host);
    for (const char* id : {"100001", "100002", "100003", "100004", "100005"}) {
        readArticle(pane, QLatin1String(id));
        settle();
    }
    const auto sent = posts();
    ASSERT_EQ(sent.size(), 4);
    const QUrlQuery form(QString::fromUtf8(sent.first().body));
    EXPECT_EQ(form.queryItemValue(QStringLiteral("userHash"), QUrl::FullyDecoded),
              CommonFunction::EncrypteUTF8(QStringLiteral("user\fpass"), kDesKeyRequest));
    EXPECT_EQ(form.queryItemValue(QStringLiteral("strTaskID"), QUrl::FullyDecoded),
              CommonFunction::EncrypteUTF8(QStringLiteral("0"), kDesKeyRequest));
    EXPECT_EQ(value("coinRead"), QStringLiteral("4"));
    EXPECT_EQ(value("coinNewsLastTime"), QStringLiteral("2024-03-01"));
    EXPECT_EQ(value("usercoins_newsTip"), QStringLiteral("qqq"));

    // 00:00:30 in Beijing is still 2024-03-01 in UTC: the day is Beijing's.
    Clock::setNow(beijing(2024, 3, 2, 0, 0, 30));
    readArticle(pane, QStringLiteral("100006"));
    settle();
    EXPECT_EQ(posts().size(), 5);
    EXPECT_EQ(value("coinRead"), QStringLiteral("1"));
    EXPECT_EQ(value("coinNewsLastTime"), QStringLiteral("2024-03-02"));
}

TEST_F(GoldCoinTaskTest, AFalseReplyKeepsTheDaySoTheNextReadSendsAgain)
{
    put("coinNewsLastTime", QStringLiteral("2024-02-29"));
    answer("<boolean>false</boolean>");
    ArticlePane pane(&host);
    readArticle(pane, QStringLiteral("100011"));
    settle();
    EXPECT_EQ(value("coinNewsLastTime"), QStringLiteral("2024-02-29"));
    EXPECT_EQ(value("coinRead"), QStringLiteral("1"));
    readArticle(pane, QStringLiteral("100012"));
    settle();
    EXPECT_EQ(posts().size(), 2);
    EXPECT_EQ(value("coinRead"), QStringLiteral("1"));  // removed for the "new" day, then counted
}

TEST_F(GoldCoinTaskTest, PagesFromTheCacheAreNotReads)
{
    ArticlePane pane(&host);
    readArticle(pane, QStringLiteral("100021"));
    settle();
    ASSERT_EQ(posts().size(), 1);
    // Same Last-Modified: the cached file serves the second opening.
    ArticlePane again(&host);
    readArticle(again, QStringLiteral("100021"));
    // A report starts with the page and ends after the server has logged it.
    settle();
    EXPECT_EQ(posts().size(), 1);
}

TEST_F(GoldCoinTaskTest, NothingWithoutARememberedPassword)
{
    storeAccount(false);
    ArticlePane pane(&host);
    readArticle(pane, QStringLiteral("100031"));
    settle();  // a report starts with the page and ends after the server has logged it
    EXPECT_TRUE(posts().isEmpty());
    EXPECT_TRUE(value("coinRead").isNull());
}

TEST_F(GoldCoinTaskTest, ReportsInFlightCountTowardTheLimit)
{
    put("coinNewsLastTime", QStringLiteral("2024-03-01"));
    put("coinRead", QStringLiteral("3"));
    answer("<boolean>true</boolean>", 200, 400);
    ArticlePane pane(&host);
    readArticle(pane, QStringLiteral("100041"));
    readArticle(pane, QStringLiteral("100042"));
    EXPECT_EQ(GoldCoinTask::inFlight(GoldCoinTask::Kind::ReadNews), 1);
    settle();
    EXPECT_EQ(posts().size(), 1);
    EXPECT_EQ(value("coinRead"), QStringLiteral("4"));
}

TEST_F(GoldCoinTaskTest, FailedOrEmptyRepliesChangeNoKey)
{
    put("coinNewsLastTime", QStringLiteral("2024-03-01"));
    put("coinRead", QStringLiteral("2"));
    const struct {
        QByteArray body;
        int status;
    } cases[] = {{"", 200}, {"<boolean>true</boolean>", 500}};
    for (const auto& c : cases) {
        answer(c.body, c.status);
        GoldCoinTask::report(GoldCoinTask::Kind::ReadNews);
        settle();
        EXPECT_EQ(value("coinRead"), QStringLiteral("2")) << c.status;
        EXPECT_EQ(value("coinNewsLastTime"), QStringLiteral("2024-03-01"));
        EXPECT_TRUE(value("usercoins_newsTip").isNull());
    }
    EXPECT_EQ(posts().size(), 2);
}

// The comment task rewards three a day but moves its day only on the first two; the ad click one.
TEST_F(GoldCoinTaskTest, CommentAndAdClickRulesThroughTheSameHelper)
{
    struct Step {
        GoldCoinTask::Kind kind;
        const char* reply;
        int postsAfter;
        const char* counter;
        const char* day;
    };
    const struct {
        const char* counterKey;
        const char* dayKey;
        const char* taskId;
        std::vector<Step> steps;
    } tasks[] = {
        {"coinComment", "coinCommentLastTime", "1",
         {{GoldCoinTask::Kind::Comment, "<boolean>true</boolean>", 1, "1", "2024-03-01"},
          {GoldCoinTask::Kind::Comment, "<boolean>true</boolean>", 2, "2", "2024-03-01"},
          {GoldCoinTask::Kind::Comment, "<boolean>true</boolean>", 3, "3", "2024-03-01"},
          {GoldCoinTask::Kind::Comment, "<boolean>true</boolean>", 3, "3", "2024-03-01"}}},
        {"coinAdvertise", "coinAdvertiseLastTime", "3",
         {{GoldCoinTask::Kind::AdClick, "<boolean>false</boolean>", 1, "1", ""},
          // "false" left the day: the counter starts again and the click is sent.
          {GoldCoinTask::Kind::AdClick, "<boolean>true</boolean>", 2, "1", "2024-03-01"},
          {GoldCoinTask::Kind::AdClick, "<boolean>true</boolean>", 2, "1", "2024-03-01"}}},
    };
    GoldCoinAdClickTask adClick;
    for (const auto& task : tasks) {
        server.clearRequests();
        for (const Step& step : task.steps) {
            answer(step.reply);
            if (step.kind == GoldCoinTask::Kind::Comment)
                GoldCoinTask::postCommentAndReplyTask();
            else
                adClick.postAdvertiseTask();
            settle(step.kind);
            EXPECT_EQ(posts().size(), step.postsAfter) << task.counterKey;
            EXPECT_EQ(value(task.counterKey), QLatin1String(step.counter)) << task.counterKey;
            EXPECT_EQ(value(task.dayKey), QLatin1String(step.day)) << task.counterKey;
        }
        const QUrlQuery form(QString::fromUtf8(posts().first().body));
        EXPECT_EQ(form.queryItemValue(QStringLiteral("strTaskID"), QUrl::FullyDecoded),
                  CommonFunction::EncrypteUTF8(QLatin1String(task.taskId), kDesKeyRequest));
    }
    EXPECT_TRUE(value("coinRead").isNull());
    EXPECT_TRUE(value("usercoins_newsTip").isNull());
}

// The comment rule: a third rewarded comment counts but does not move the day.
TEST_F(GoldCoinTaskTest, TheThirdCommentLeavesTheDay)
{
    put("coinCommentLastTime", QStringLiteral("2024-02-29"));
    put("coinComment", QStringLiteral("2"));
    GoldCoinTask::replied(GoldCoinTask::Kind::Comment, "<boolean>true</boolean>", QStringLiteral("user"));
    EXPECT_EQ(value("coinComment"), QStringLiteral("3"));
    EXPECT_EQ(value("coinCommentLastTime"), QStringLiteral("2024-02-29"));
}
