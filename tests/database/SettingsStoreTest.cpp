#include "SettingsTestSupport.h"

#include <QTimeZone>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

using namespace std::chrono_literals;

namespace {

using Store = SettingsDatabaseOperate;

// Getter results as comparable text: flags YES/NO, numbers as printed, texts quoted, null "nil".
QString shown(bool value)
{
    return value ? QStringLiteral("YES") : QStringLiteral("NO");
}
QString shown(int value)
{
    return QString::number(value);
}
QString shown(float value)
{
    return QString::asprintf("%.6f", double(value));
}
QString shown(const QString& value)
{
    return value.isNull() ? QStringLiteral("nil") : QLatin1Char('\'') + value + QLatin1Char('\'');
}
QString shown(const QDateTime& value)
{
    return value.isValid() ? value.toUTC().toString(Qt::ISODate) : QStringLiteral("nil");
}

template <typename Getter>
std::function<QString(Store&)> get(Getter getter)
{
    return [getter](Store& store) { return shown((store.*getter)()); };
}

// A moment whose local text is "2021-03-04 07:06:07" in the fixed zone of the tests below.
const QDateTime kMoment(QDate(2021, 3, 4), QTime(5, 6, 7), Qt::UTC);
const char* const kMomentText = "2021-03-04 07:06:07";
const char* const kMomentShown = "2021-03-04T05:06:07Z";

struct KeyCase
{
    const char* name;
    std::function<QString(Store&)> read;
    const char* rowAfterRead;        // what a read of a missing row leaves stored; null: no row
    const char* missingInserted;     // result when the row was missing and the default went in
    const char* missingNotInserted;  // result when the row was missing and no default went in
    const char* noStore;             // result when the file cannot be opened
    std::function<bool(Store&)> write;  // a value other than the default
    const char* rowAfterWrite;
    const char* readAfterWrite;
};

const QList<KeyCase>& keyCases()
{
    static const QList<KeyCase> cases{
        {"ContentFontSize", get(&Store::contentFontSize), "18", "'18'", "nil", "nil",
         [](Store& s) { return s.setContentFontSize(QStringLiteral("16")); }, "16", "'16'"},
        {"ReadSucYuniOSFileVersion", get(&Store::readSucYuniOSFileVersion), nullptr, "''", "''", "nil",
         [](Store& s) { return s.setReadSucYuniOSFileVersion(QStringLiteral("3.2.1")); }, "3.2.1", "'3.2.1'"},
        {"push", get(&Store::pushSetting), "true", "YES", "NO", "NO", [](Store& s) { return s.setNewsPush(false); },
         "false", "NO"},
        {"OnlyShowPictureInWIFI", get(&Store::onlyShowPictureInWIFI), "0", "NO", "NO", "NO",
         [](Store& s) { return s.setOnlyShowPictureInWIFI(true); }, "1", "YES"},
        {"NewsFullScreenMode", get(&Store::getFullScreenMode), "0", "NO", "NO", "NO",
         [](Store& s) { return s.setFullScreenMode(true); }, "1", "YES"},
        {"UpdateNewsCountTiShi", get(&Store::getUpdateNewsCountTiShi), "1", "YES", "YES", "YES",
         [](Store& s) { return s.setUpdateNewsCountTiShi(false); }, "0", "NO"},
        {"NightMode", get(&Store::nightMode), "0", "NO", "NO", "NO", [](Store& s) { return s.setNightMode(true); }, "1",
         "YES"},
        {"DouZaiMai", get(&Store::getDouZaiMai), "1", "YES", "NO", "NO", [](Store& s) { return s.setDouZaiMai(0); }, "0",
         "NO"},
        {"AutoNightMode", get(&Store::autoNightMode), "1", "YES", "NO", "NO",
         [](Store& s) { return s.setAutoNightMode(0); }, "0", "NO"},
        {"NightStartTime", get(&Store::getStartTime), "20:00", "'20:00'", "'20:00'", "'20:00'",
         [](Store& s) { return s.setStartTime(QStringLiteral("21:30")); }, "21:30", "'21:30'"},
        {"NightEndTime", get(&Store::getEndTime), "06:00", "'06:00'", "'06:00'", "'06:00'",
         [](Store& s) { return s.setEndTime(QStringLiteral("07:15")); }, "07:15", "'07:15'"},
        {"Xiti", get(&Store::getXiti), "0", "NO", "NO", "NO", [](Store& s) { return s.setXiti(1); }, "1", "YES"},
        {"themeMode", get(&Store::themeMode), "1", "1", "1", "1", [](Store& s) { return s.setThemeMode(2); }, "2", "2"},
        {"AVSpeechType", get(&Store::getAVSpeechType), "1", "1", "1", "1", [](Store& s) { return s.setAVSpeechType(3); },
         "3", "3"},
        {"AVSpeechPitch", get(&Store::getAVSpeechPitch), "1.000000", "1.000000", "1.000000", "1.000000",
         [](Store& s) { return s.setAVSpeechPitch(1.5f); }, "1.500000", "1.500000"},
        {"CommentOrder", get(&Store::getCommentOrder), "1", "1", "1", "1", [](Store& s) { return s.setCommentOrder(2); },
         "2", "2"},
        {"ReplyRemind", get(&Store::isReplyRemind), "1", "YES", "NO", "NO", [](Store& s) { return s.setReplyRemind(false); },
         "0", "NO"},
        {"CanRotation", get(&Store::canRotation), "1", "YES", "NO", "NO", [](Store& s) { return s.setCanRotation(false); },
         "0", "NO"},
        {"ShowMainViewTiShi", get(&Store::isShowMainViewTiShi), "0", "NO", "YES", "YES",
         [](Store& s) { return s.setShowMainViewTiShi(true); }, "1", "YES"},
        {"ShowNewsViewTiShiNew", get(&Store::isShowNewsViewTiShi), "0", "YES", "YES", "YES",
         [](Store& s) { return s.setShowNewsViewTiShi(false); }, "0", "NO"},
        {"PostDeviceToken", get(&Store::isPostDeviceToken), "0", "NO", "YES", "YES",
         [](Store& s) { return s.setPostDeviceToken(true); }, "1", "YES"},
        {"autocleardata", get(&Store::isAutoClearData), "1", "YES", "NO", "NO",
         [](Store& s) { return s.setAutoClearData(false); }, "0", "NO"},
        {"autocleardataDate", get(&Store::AutoClearDate), nullptr, "nil", "nil", "nil",
         [](Store& s) { return s.setAutoClearDate(kMoment); }, kMomentText, kMomentShown},
        {"enterbackgroundDate", get(&Store::EnterBackgroundDate), nullptr, "nil", "nil", "nil",
         [](Store& s) { return s.setEnterBackgroundDate(kMoment); }, kMomentText, kMomentShown},
        {"showaddata", get(&Store::isShowADData), "0", "NO", "NO", "NO", [](Store& s) { return s.setShowADData(true); },
         "1", "YES"},
        {"ADChangeTimeSpace", get(&Store::getADChangeTimeSpace), nullptr, "'0'", "'0'", "'0'",
         [](Store& s) { return s.setADChangeTimeSpace(QStringLiteral("30")); }, "30", "'30'"},
        {"medalDataDate", get(&Store::MedalFileDate), nullptr, "nil", "nil", "nil",
         [](Store& s) { return s.setMedalFileDate(kMoment); }, kMomentText, kMomentShown},
        {"UserInfoDate", get(&Store::UserInfoDate), nullptr, "nil", "nil", "nil",
         [](Store& s) { return s.setUserInfoDate(kMoment); }, kMomentText, kMomentShown},
        {"UserValidateLoginDate", get(&Store::UserValidateLoginDate), nullptr, "nil", "nil", "nil",
         [](Store& s) { return s.setUserValidateLoginDate(kMoment); }, kMomentText, kMomentShown},
        {"AllMute", get(&Store::getAllMute), "0", "NO", "NO", "NO", [](Store& s) { return s.setAllMute(1); }, "1", "YES"},
        {"ClickPlay", get(&Store::getClickPlay), "1", "YES", "NO", "NO", [](Store& s) { return s.setClickPlay(0); }, "0",
         "NO"},
        {"RefreshPlay", get(&Store::getRefreshPlay), "1", "YES", "NO", "NO", [](Store& s) { return s.setRefreshPlay(0); },
         "0", "NO"},
        {"SendPlay", get(&Store::getSendPlay), "1", "YES", "NO", "NO", [](Store& s) { return s.setSendPlay(0); }, "0", "NO"},
        {"CoinPlay", get(&Store::getCoinPlay), "1", "YES", "NO", "NO", [](Store& s) { return s.setCoinPlay(0); }, "0", "NO"},
    };
    return cases;
}

QString text(const char* utf8)
{
    return utf8 ? QString::fromUtf8(utf8) : QString();
}

}  // namespace

class SettingsStoreTest : public SettingsTest
{
protected:
    void SetUp() override
    {
        SettingsTest::SetUp();
        Clock::setLocalZone(QTimeZone(2 * 3600));
    }
    void TearDown() override
    {
        Clock::resetLocalZone();
        SettingsTest::TearDown();
    }
};

TEST_F(SettingsStoreTest, AFreshFileStartsWithTheTwoTipRows)
{
    Store::Lease settings;
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->getCommentOrder(), 1);
    EXPECT_EQ(stored(QStringLiteral("ShowMainViewTiShi")), QStringLiteral("1"));
    EXPECT_EQ(stored(QStringLiteral("ShowNewsViewTiShiNew")), QStringLiteral("1"));
    EXPECT_EQ(rowCount(QStringLiteral("Settings")), 3);
    EXPECT_TRUE(settings->isShowMainViewTiShi());
    EXPECT_TRUE(settings->isShowNewsViewTiShi());
}

TEST_F(SettingsStoreTest, EveryKeyHasItsDefaultItsMissingValueAndItsClosedStoreValue)
{
    {
        Store::Lease settings;
        ASSERT_EQ(settings->getCommentOrder(), 1);
        ASSERT_TRUE(file().tableExists(QStringLiteral("Settings")));

        for (const KeyCase& key : keyCases()) {
            SCOPED_TRACE(key.name);
            const QString name = text(key.name);

            // Missing row: the default goes in (or nothing, for keys without one).
            file().executeUpdate(QStringLiteral("DELETE FROM Settings WHERE name = ?"), {name});
            EXPECT_EQ(key.read(*settings), text(key.missingInserted));
            EXPECT_EQ(stored(name), text(key.rowAfterRead));
            EXPECT_EQ(hasSetting(name), key.rowAfterRead != nullptr);

            // The setter inserts a missing row, confirms it, and the getter reads it back.
            file().executeUpdate(QStringLiteral("DELETE FROM Settings WHERE name = ?"), {name});
            EXPECT_TRUE(key.write(*settings));
            EXPECT_EQ(stored(name), text(key.rowAfterWrite));
            EXPECT_EQ(key.read(*settings), text(key.readAfterWrite));
            // Written again over the stored row.
            EXPECT_TRUE(key.write(*settings));
            EXPECT_EQ(rowCount(QStringLiteral("Settings"), QStringLiteral("WHERE name = ?"), {name}), 1);
        }

        // Missing row and the default's insert refused.
        ASSERT_TRUE(file().executeUpdate(QStringLiteral("DELETE FROM Settings")));
        const QString trigger = refuseInserts(QStringLiteral("Settings"));
        for (const KeyCase& key : keyCases()) {
            SCOPED_TRACE(key.name);
            EXPECT_EQ(key.read(*settings), text(key.missingNotInserted));
            // The setter's update changes no row and its insert is refused: not confirmed.
            EXPECT_FALSE(key.write(*settings));
        }
        EXPECT_EQ(rowCount(QStringLiteral("Settings")), 0);
        dropTrigger(trigger);
        settings->closeDB();
    }

    // The database file cannot be opened.
    QTemporaryDir blocked;
    blockDocumentsFolder(blocked);
    LogCapture log;
    Store::Lease settings;
    for (const KeyCase& key : keyCases()) {
        SCOPED_TRACE(key.name);
        EXPECT_EQ(key.read(*settings), text(key.noStore));
        EXPECT_FALSE(key.write(*settings));
    }
    EXPECT_FALSE(settings->isLoadAllData());
    EXPECT_FALSE(settings->setAVSpeechRate(1.0f));
    // Every operation tries the file again.
    EXPECT_EQ(log.count(QStringLiteral("数据库未能创建/打开")), 2 * keyCases().size() + 2);
}

TEST_F(SettingsStoreTest, OldFontSizeNamesReadAsTheDefaultSize)
{
    Store::Lease settings;
    for (const char* old : {"小", "中", "大", "超大"}) {
        SCOPED_TRACE(old);
        ASSERT_TRUE(settings->setContentFontSize(QString::fromUtf8(old)));
        EXPECT_EQ(settings->contentFontSize(), QStringLiteral("18"));
        EXPECT_EQ(stored(QStringLiteral("ContentFontSize")), QStringLiteral("18"));
    }
    // Any other size, even a name-like one, stays as stored.
    for (const char* size : {"16", "特大", "大 "}) {
        SCOPED_TRACE(size);
        ASSERT_TRUE(settings->setContentFontSize(QString::fromUtf8(size)));
        EXPECT_EQ(settings->contentFontSize(), QString::fromUtf8(size));
        EXPECT_EQ(stored(QStringLiteral("ContentFontSize")), QString::fromUtf8(size));
    }
}

TEST_F(SettingsStoreTest, LoadAllDataSetUnderOneVersionStillCountsAfterAnUpgrade)
{
    Store::Lease settings;
    EXPECT_FALSE(settings->isLoadAllData());
    EXPECT_EQ(stored(QStringLiteral("loadalldata2.0")), QStringLiteral("0"));
    EXPECT_FALSE(settings->isLoadAllData());

    EXPECT_TRUE(settings->setLoadAllData(true));
    EXPECT_EQ(stored(QStringLiteral("loadalldata2.0")), QStringLiteral("1"));

    QCoreApplication::setApplicationVersion(QStringLiteral("2.1"));
    EXPECT_TRUE(settings->isLoadAllData());
    EXPECT_FALSE(hasSetting(QStringLiteral("loadalldata2.1")));

    // Switching it off under the new version writes that version's row only.
    EXPECT_TRUE(settings->setLoadAllData(false));
    EXPECT_EQ(stored(QStringLiteral("loadalldata2.1")), QStringLiteral("0"));
    EXPECT_EQ(stored(QStringLiteral("loadalldata2.0")), QStringLiteral("1"));
    EXPECT_TRUE(settings->isLoadAllData());
}

TEST_F(SettingsStoreTest, FlagsAreYesOnlyForExactlyOne)
{
    Store::Lease settings;
    for (const char* value : {"true", "2", " 1", "01", "", "YES"}) {
        SCOPED_TRACE(value);
        ASSERT_TRUE(settings->setStartTime(QStringLiteral("x")));  // makes the table
        ASSERT_TRUE(file().executeUpdate(QStringLiteral("INSERT OR REPLACE INTO Settings (name, value) VALUES (?, ?)"),
                                         {QStringLiteral("ReplyRemind"), QString::fromUtf8(value)}));
        EXPECT_FALSE(settings->isReplyRemind());
    }
    // An int setter writes what it is given, and only 1 reads as on.
    EXPECT_TRUE(settings->setDouZaiMai(2));
    EXPECT_EQ(stored(QStringLiteral("DouZaiMai")), QStringLiteral("2"));
    EXPECT_FALSE(settings->getDouZaiMai());
    // The push switch is on for "true" only.
    ASSERT_TRUE(file().executeUpdate(QStringLiteral("INSERT INTO Settings (name, value) VALUES ('push', '1')")));
    EXPECT_FALSE(settings->pushSetting());
    EXPECT_TRUE(settings->setNewsPush(true));
    EXPECT_EQ(stored(QStringLiteral("push")), QStringLiteral("true"));
    EXPECT_TRUE(settings->pushSetting());
}

TEST_F(SettingsStoreTest, NumbersReadTheirLeadingValueAndRealsAreWrittenWithSixDecimals)
{
    Store::Lease settings;
    EXPECT_TRUE(settings->setAVSpeechRate(0.5f));
    EXPECT_EQ(stored(QStringLiteral("AVSpeechRate")), QStringLiteral("0.500000"));
    EXPECT_TRUE(settings->setAVSpeechPitch(-0.25f));
    EXPECT_FLOAT_EQ(settings->getAVSpeechPitch(), -0.25f);

    ASSERT_TRUE(file().executeUpdate(QStringLiteral("UPDATE Settings SET value = ' 3 years' WHERE name = 'AVSpeechPitch'")));
    EXPECT_FLOAT_EQ(settings->getAVSpeechPitch(), 3.0f);
    ASSERT_TRUE(settings->setThemeMode(1));
    ASSERT_TRUE(file().executeUpdate(QStringLiteral("UPDATE Settings SET value = '2abc' WHERE name = 'themeMode'")));
    EXPECT_EQ(settings->themeMode(), 2);
    ASSERT_TRUE(file().executeUpdate(QStringLiteral("UPDATE Settings SET value = 'dark' WHERE name = 'themeMode'")));
    EXPECT_EQ(settings->themeMode(), 0);

    // A date that does not parse reads as none; an invalid date is not stored.
    ASSERT_TRUE(settings->setMedalFileDate(kMoment));
    ASSERT_TRUE(file().executeUpdate(QStringLiteral("UPDATE Settings SET value = 'soon' WHERE name = 'medalDataDate'")));
    EXPECT_FALSE(settings->MedalFileDate().isValid());
    EXPECT_FALSE(settings->setMedalFileDate(QDateTime()));
    EXPECT_EQ(stored(QStringLiteral("medalDataDate")), QStringLiteral("soon"));
}

TEST_F(SettingsStoreTest, AValueHoldingAQuoteRoundTrips)
{
    Store::Lease settings;
    const QString value = QStringLiteral("it's'); DROP TABLE Settings; --");
    EXPECT_TRUE(settings->setADChangeTimeSpace(value));
    EXPECT_EQ(settings->getADChangeTimeSpace(), value);
    EXPECT_TRUE(settings->setADChangeTimeSpace(value + QStringLiteral("'")));
    EXPECT_EQ(settings->getADChangeTimeSpace(), value + QStringLiteral("'"));
    EXPECT_TRUE(settings->updateSuccess(QStringLiteral("ADChangeTimeSpace"), value + QStringLiteral("'")));
    EXPECT_FALSE(settings->updateSuccess(QStringLiteral("ADChangeTimeSpace"), value));
    EXPECT_TRUE(file().tableExists(QStringLiteral("Settings")));

    // Without a connection the confirmation does not open the file.
    settings->closeDB();
    EXPECT_FALSE(settings->updateSuccess(QStringLiteral("ADChangeTimeSpace"), value + QStringLiteral("'")));
}

TEST_F(SettingsStoreTest, TheBracketIsItsOwnAndRefusesReentry)
{
    LogCapture log;
    // Holding the content store does not keep anyone from the settings store, and back.
    DatabaseOperate::Lease content;
    ASSERT_TRUE(content);
    auto outer = std::make_unique<Store::Lease>();
    ASSERT_TRUE(*outer);
    EXPECT_EQ(Store::getInstance(), nullptr);
    Store::revertInstance();  // pairs with the refused one; the outer bracket stays held
    EXPECT_EQ(log.count(QStringLiteral("SettingsDatabaseOperate getInstance refused: this thread already holds the store")), 1);

    std::atomic<bool> started{false};
    std::atomic<bool> entered{false};
    std::thread other([&] {
        started = true;
        Store* store = Store::getInstance();
        entered = store != nullptr;
        Store::revertInstance();
    });
    // The other thread has come to the store; the pause is room for it to enter, which it must not.
    while (!started.load())
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(entered.load());
    EXPECT_TRUE((*outer)->setStartTime(QStringLiteral("22:00")));
    outer.reset();
    other.join();
    EXPECT_TRUE(entered.load());
}
