#include "AppTestSupport.h"

#include "app/GlobalVarInit.h"
#include "app/NightWindow.h"

#include <QFileInfo>

using NightWindow::TimeOfDay;

TEST(NightWindow, ParsesStoredTimes)
{
    struct Case
    {
        const char* text;
        TimeOfDay fallback;
        TimeOfDay expected;
    };
    const Case cases[] = {
        {"20:00", {20, 0}, {20, 0}},
        {"08:30", {20, 0}, {8, 30}},
        {"21", {20, 0}, {20, 0}},       // no colon: the fallback
        {"", {6, 0}, {6, 0}},           // empty: the fallback
        {"1:2:3", {6, 0}, {6, 0}},      // two colons: the fallback
        {":30", {20, 0}, {20, 30}},     // empty hour: the fallback's hour
        {":30", {6, 0}, {6, 30}},
        {"7:", {20, 0}, {7, 0}},        // empty minute: 0
        {"a:b", {20, 0}, {0, 0}},       // unreadable pieces read as 0
        {" 9:05x", {20, 0}, {9, 5}},    // leading space skipped, trailing text ignored
    };
    for (const Case& c : cases) {
        const TimeOfDay parsed = NightWindow::parse(QString::fromUtf8(c.text), c.fallback);
        EXPECT_EQ(parsed.hour, c.expected.hour) << c.text;
        EXPECT_EQ(parsed.minute, c.expected.minute) << c.text;
    }
}

TEST(NightWindow, ThemeOfTheRun)
{
    struct Case
    {
        TimeOfDay now;
        const char* start;
        const char* end;
        int stored;
        int expected;
    };
    const Case cases[] = {
        // The default window wraps midnight; both ends are night to the minute.
        {{19, 59}, "20:00", "06:00", 1, 1},
        {{20, 0}, "20:00", "06:00", 1, 2},
        {{23, 59}, "20:00", "06:00", 1, 2},
        {{0, 0}, "20:00", "06:00", 1, 2},
        {{6, 0}, "20:00", "06:00", 1, 2},
        {{6, 1}, "20:00", "06:00", 1, 1},
        {{12, 0}, "", "", 2, 1},  // empty texts are the defaults
        // A window inside one day: inclusive at both ends.
        {{7, 59}, "08:00", "18:00", 1, 1},
        {{8, 0}, "08:00", "18:00", 1, 2},
        {{18, 0}, "08:00", "18:00", 1, 2},
        {{18, 1}, "08:00", "18:00", 1, 1},
        // Equal ends: the stored theme, day for anything but 1 or 2.
        {{21, 0}, "10:00", "10:00", 2, 2},
        {{21, 0}, "10:00", "10:00", 0, 1},
        {{21, 0}, "10:00", "10:00", 3, 1},
        {{10, 0}, "10:00", "10:00", 1, 1},
        // "21" without a colon is 20:00.
        {{20, 0}, "21", "06:00", 1, 2},
        {{19, 59}, "21", "06:00", 1, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NightWindow::themeFor(c.now, QString::fromUtf8(c.start), QString::fromUtf8(c.end), c.stored),
                  c.expected)
            << c.now.hour << ":" << c.now.minute << " " << c.start << "-" << c.end << " stored " << c.stored;
    }
}

// initGlobalVar against the settings store and the fixed clock.
class GlobalVarInitTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Clock::setLocalZone(QTimeZone::utc());
        UserDefaults::standardUserDefaults().removeObjectForKey(QLatin1String(kAutoNightTipKey));
        store([](SettingsDatabaseOperate& s) {
            s.setAutoNightMode(1);
            s.setStartTime(QStringLiteral("20:00"));
            s.setEndTime(QStringLiteral("06:00"));
            s.setThemeMode(1);
        });
    }

    static void store(const std::function<void(SettingsDatabaseOperate&)>& write)
    {
        SettingsDatabaseOperate::Lease settings;
        ASSERT_TRUE(settings);
        write(*settings);
    }

    static int themeAt(int hour, int minute)
    {
        Clock::setNow(QDateTime(QDate(2026, 12, 7), QTime(hour, minute), QTimeZone::utc()));
        initGlobalVar();
        return gThemeMode.load();
    }

    decltype(restoreProcessState()) m_restore = restoreProcessState();
};

TEST_F(GlobalVarInitTest, DefaultWindowByTheClock)
{
    EXPECT_EQ(themeAt(19, 59), 1);
    EXPECT_EQ(themeAt(20, 0), 2);
    EXPECT_EQ(themeAt(6, 0), 2);
    EXPECT_EQ(themeAt(6, 1), 1);
}

TEST_F(GlobalVarInitTest, LocalTimeIsTheClocksZone)
{
    // 12:30 UTC is 20:30 in a zone eight hours ahead: night there.
    Clock::setLocalZone(QTimeZone(8 * 3600));
    EXPECT_EQ(themeAt(12, 30), 2);
    EXPECT_EQ(themeAt(3, 0), 1);
}

TEST_F(GlobalVarInitTest, StoredWindowAndTheme)
{
    store([](SettingsDatabaseOperate& s) {
        s.setStartTime(QStringLiteral("08:00"));
        s.setEndTime(QStringLiteral("18:00"));
    });
    EXPECT_EQ(themeAt(8, 0), 2);
    EXPECT_EQ(themeAt(18, 0), 2);
    EXPECT_EQ(themeAt(18, 1), 1);

    store([](SettingsDatabaseOperate& s) {
        s.setStartTime(QStringLiteral("21"));
        s.setEndTime(QStringLiteral("06:00"));
    });
    EXPECT_EQ(themeAt(20, 0), 2);

    store([](SettingsDatabaseOperate& s) {
        s.setStartTime(QStringLiteral("09:00"));
        s.setEndTime(QStringLiteral("09:00"));
        s.setThemeMode(2);
    });
    EXPECT_EQ(themeAt(3, 0), 2);
    store([](SettingsDatabaseOperate& s) { s.setThemeMode(3); });
    EXPECT_EQ(themeAt(3, 0), 1);
    store([](SettingsDatabaseOperate& s) { s.setThemeMode(0); });
    EXPECT_EQ(themeAt(3, 0), 1);
}

TEST_F(GlobalVarInitTest, AutomaticNightOffTakesTheStoredTheme)
{
    store([](SettingsDatabaseOperate& s) {
        s.setAutoNightMode(0);
        s.setThemeMode(2);
    });
    EXPECT_EQ(themeAt(12, 0), 2);
    EXPECT_FALSE(gbAutoNightMode.load());
    store([](SettingsDatabaseOperate& s) { s.setThemeMode(7); });
    EXPECT_EQ(themeAt(23, 0), 1);
}

TEST_F(GlobalVarInitTest, NightTipKeyOnlyOnTheFirstNightStart)
{
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    const QString key = QLatin1String(kAutoNightTipKey);
    themeAt(12, 0);
    EXPECT_FALSE(defaults.objectForKey(key).isValid()) << "a day start sets nothing";
    themeAt(22, 0);
    EXPECT_TRUE(defaults.boolForKey(key));
    // A later night start leaves whatever is stored alone.
    defaults.setString(QStringLiteral("yes"), key);
    themeAt(23, 0);
    EXPECT_EQ(defaults.stringForKey(key), QStringLiteral("yes"));
}

TEST_F(GlobalVarInitTest, SwitchesAndDefaults)
{
    store([](SettingsDatabaseOperate& s) {
        s.setLoadAllData(false);
        s.setReplyRemind(false);
        s.setDouZaiMai(0);
    });
    gbApiRandom = true;
    gRelatedNewsCount = 9;
    gAvatarHost.set(QStringLiteral("elsewhere.example"));
    gCoinShopVersion.set(QStringLiteral("7"));
    gbAdImageCleanEnabled = true;
    themeAt(12, 0);
    EXPECT_TRUE(gbLoadAllData.load()) << "1 whatever is stored";
    EXPECT_FALSE(gbReplyRemind.load());
    EXPECT_FALSE(gbDouZaiMai.load());
    EXPECT_FALSE(gbApiRandom.load());
    EXPECT_FALSE(gbAdImageCleanEnabled.load());
    EXPECT_EQ(gRelatedNewsCount.load(), 3);
    EXPECT_EQ(gNewsScoreMax.load(), 5);
    EXPECT_EQ(gNewsScoreMinRaters.load(), 5);
    EXPECT_EQ(gAvatarHost.get(), QStringLiteral(""));
    EXPECT_EQ(gCoinShopVersion.get(), QStringLiteral("1"));
    EXPECT_EQ(gConfigReportUrl.get(), QStringLiteral("http://report.tidwen.example/receive/kvup.aspx"));

    store([](SettingsDatabaseOperate& s) {
        s.setLoadAllData(true);
        s.setReplyRemind(true);
        s.setDouZaiMai(1);
    });
    themeAt(12, 0);
    EXPECT_TRUE(gbLoadAllData.load());
    EXPECT_TRUE(gbReplyRemind.load());
    EXPECT_TRUE(gbDouZaiMai.load());
}

TEST_F(GlobalVarInitTest, SharedSuiteIsRewrittenOnlyWhenAValueChanged)
{
    UserDefaults& suite = UserDefaults::suite(QLatin1String(kSharedSuiteName));
    themeAt(12, 0);
    // Another value under a key of ours is put back; a foreign key is left alone.
    suite.setString(QStringLiteral("stale"), QLatin1String(SharedSuiteKeys::kGetNews));
    suite.setString(QStringLiteral("theirs"), QStringLiteral("otherKey"));
    themeAt(12, 0);
    EXPECT_EQ(suite.stringForKey(QLatin1String(SharedSuiteKeys::kGetNews)), kUrlNewsListXml);
    EXPECT_EQ(suite.stringForKey(QStringLiteral("otherKey")), QStringLiteral("theirs"));
    EXPECT_EQ(suite.objectForKey(QLatin1String(SharedSuiteKeys::kLoadAllData)), QVariant(true));
    EXPECT_EQ(suite.objectForKey(QLatin1String(SharedSuiteKeys::kApiRandom)), QVariant(false));
    suite.removeObjectForKey(QStringLiteral("otherKey"));
    suite.synchronize();

    // An unchanged start leaves the file as it is.
    const QDateTime written = QFileInfo(suite.filePath()).lastModified();
    QThread::msleep(30);
    themeAt(12, 0);
    EXPECT_EQ(QFileInfo(suite.filePath()).lastModified(), written);
}
