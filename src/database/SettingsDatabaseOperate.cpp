#include "database/SettingsDatabaseOperate.h"

#include "Library/FMDB/FMDBLog.h"
#include "Library/FMDB/FMDatabase.h"
#include "Library/FMDB/FMResultSet.h"
#include "database/StoreLock.h"
#include "database/StoreStatements.h"
#include "foundation/CommonFunction.h"
#include "platform/NSStringValues.h"

#include <QCoreApplication>

namespace {

StoreLock& storeLock()
{
    static StoreLock lock("SettingsDatabaseOperate");
    return lock;
}

const QString kSettings = QStringLiteral("Settings");
const QString kCreateSettings = QStringLiteral("CREATE TABLE Settings (name text PRIMARY KEY ,value text)");
const QString kInsertSetting = QStringLiteral("INSERT INTO Settings (name, value) VALUES (?,?)");

QString text(const char* utf8)
{
    return utf8 ? QString::fromUtf8(utf8) : QString();
}

QString flagText(int value)
{
    return QString::number(value);
}

}  // namespace

namespace SettingsKeys {

// A flag key: stored as "%d" (the push switch as "true"/"false"), true exactly when the stored
// text is trueText. Missing row: whenInserted / whenNotInserted by what the default's insert did.
struct Flag
{
    const char* name;
    const char* defaultValue;
    const char* trueText;
    bool whenInserted;
    bool whenNotInserted;
    bool noStore;
};

// A text key; null pointers stand for null results, a null default for "never inserted".
struct Text
{
    const char* name;
    const char* defaultValue;
    const char* whenInserted;
    const char* whenNotInserted;
    const char* noStore;
};

struct Integer
{
    const char* name;
    const char* defaultValue;
    int missing;
    int noStore;
};

}  // namespace SettingsKeys

namespace {

using FlagKey = SettingsKeys::Flag;
using TextKey = SettingsKeys::Text;
using IntegerKey = SettingsKeys::Integer;

//                                   name                    default  true    inserted  not     no store
constexpr FlagKey kPush{             "push",                 "true",  "true", true,     false,  false};
constexpr FlagKey kOnlyPictureWifi{  "OnlyShowPictureInWIFI","0",     "1",    false,    false,  false};
constexpr FlagKey kFullScreenMode{   "NewsFullScreenMode",   "0",     "1",    false,    false,  false};
constexpr FlagKey kUpdateCountTiShi{ "UpdateNewsCountTiShi", "1",     "1",    true,     true,   true};
constexpr FlagKey kNightMode{        "NightMode",            "0",     "1",    false,    false,  false};
constexpr FlagKey kDouZaiMai{        "DouZaiMai",            "1",     "1",    true,     false,  false};
constexpr FlagKey kAutoNightMode{    "AutoNightMode",        "1",     "1",    true,     false,  false};
constexpr FlagKey kXiti{             "Xiti",                 "0",     "1",    false,    false,  false};
constexpr FlagKey kReplyRemind{      "ReplyRemind",          "1",     "1",    true,     false,  false};
constexpr FlagKey kCanRotation{      "CanRotation",          "1",     "1",    true,     false,  false};
constexpr FlagKey kMainViewTiShi{    "ShowMainViewTiShi",    "0",     "1",    false,    true,   true};
constexpr FlagKey kNewsViewTiShi{    "ShowNewsViewTiShiNew", "0",     "1",    true,     true,   true};
constexpr FlagKey kPostDeviceToken{  "PostDeviceToken",      "0",     "1",    false,    true,   true};
constexpr FlagKey kAutoClearData{    "autocleardata",        "1",     "1",    true,     false,  false};
constexpr FlagKey kShowADData{       "showaddata",           "0",     "1",    false,    false,  false};
constexpr FlagKey kAllMute{          "AllMute",              "0",     "1",    false,    false,  false};
constexpr FlagKey kClickPlay{        "ClickPlay",            "1",     "1",    true,     false,  false};
constexpr FlagKey kRefreshPlay{      "RefreshPlay",          "1",     "1",    true,     false,  false};
constexpr FlagKey kSendPlay{         "SendPlay",             "1",     "1",    true,     false,  false};
constexpr FlagKey kCoinPlay{         "CoinPlay",             "1",     "1",    true,     false,  false};

//                                  name                        default   inserted  not       no store
constexpr TextKey kContentFontSize{ "ContentFontSize",          "18",     "18",     nullptr,  nullptr};
constexpr TextKey kReadSucVersion{  "ReadSucYuniOSFileVersion", nullptr,  "",       "",       nullptr};
constexpr TextKey kNightStartTime{  "NightStartTime",           "20:00",  "20:00",  "20:00",  "20:00"};
constexpr TextKey kNightEndTime{    "NightEndTime",             "06:00",  "06:00",  "06:00",  "06:00"};
constexpr TextKey kADChangeSpace{   "ADChangeTimeSpace",        nullptr,  "0",      "0",      "0"};

//                                  name            default missing no store
constexpr IntegerKey kThemeMode{    "themeMode",    "1",    1,      1};
constexpr IntegerKey kSpeechType{   "AVSpeechType", "1",    1,      1};
constexpr IntegerKey kCommentOrder{ "CommentOrder", "1",    1,      1};

constexpr auto kSpeechRate = "AVSpeechRate";
constexpr auto kSpeechPitch = "AVSpeechPitch";
constexpr float kDefaultSpeechPitch = 1.0f;
constexpr auto kAutoClearDate = "autocleardataDate";
constexpr auto kEnterBackgroundDate = "enterbackgroundDate";
constexpr auto kMedalFileDate = "medalDataDate";
constexpr auto kUserInfoDate = "UserInfoDate";
constexpr auto kUserValidateLoginDate = "UserValidateLoginDate";
constexpr auto kLoadAllDataPrefix = "loadalldata";

QString realText(float value)
{
    return QString::asprintf("%.6f", double(value));
}

}  // namespace

// ---- Bracket and connection ----

SettingsDatabaseOperate* SettingsDatabaseOperate::instance()
{
    // Made on the first call, under the lock; it lives until the process ends.
    static SettingsDatabaseOperate instance;
    return &instance;
}

SettingsDatabaseOperate* SettingsDatabaseOperate::getInstance()
{
    return storeLock().acquire() ? instance() : nullptr;
}

void SettingsDatabaseOperate::revertInstance()
{
    storeLock().release();
}

SettingsDatabaseOperate* SettingsDatabaseOperate::enterScope()
{
    return storeLock().acquireScope() ? instance() : nullptr;
}

void SettingsDatabaseOperate::leaveScope()
{
    storeLock().releaseScope();
}

std::shared_ptr<FMDatabase> SettingsDatabaseOperate::loadDB(const QString& fileName)
{
    std::shared_ptr<FMDatabase> db = m_connection.loadDB(fileName);
    if (!db)
        FMDBLog::write(QStringLiteral("数据库未能创建/打开"));
    return db;
}

void SettingsDatabaseOperate::closeDB()
{
    m_connection.drop();
}

bool SettingsDatabaseOperate::connect()
{
    if (!m_connection.db())
        loadDB(QString::fromLatin1(kDatabaseFileName));
    return m_connection.connect();
}

bool SettingsDatabaseOperate::tableExist()
{
    // The two first-use tips start out to be shown.
    return m_connection.ensureTable(kSettings, kCreateSettings, nullptr,
                                    {{kInsertSetting, {QStringLiteral("ShowMainViewTiShi"), QStringLiteral("1")}},
                                     {kInsertSetting, {QStringLiteral("ShowNewsViewTiShiNew"), QStringLiteral("1")}}});
}

bool SettingsDatabaseOperate::openSettings()
{
    return connect() && tableExist();
}

bool SettingsDatabaseOperate::updateSuccess(const QString& name, const QString& value)
{
    const std::shared_ptr<FMDatabase>& db = m_connection.db();
    if (!db)
        return false;
    bool found = false;
    StoreStatements::eachRow(*db, {QStringLiteral("SELECT value FROM Settings where name = ?"), {name}},
                             [&](FMResultSet& row) {
                                 found = row.stringForColumn(QStringLiteral("value")) == value;
                                 return !found;
                             });
    return found;
}

bool SettingsDatabaseOperate::beginWriteBatch()
{
    if (m_batch || !openSettings())
        return false;
    const std::shared_ptr<FMDatabase>& db = m_connection.db();
    // The batch takes the file's write lock as it begins (under write-ahead logging an exclusive
    // transaction is an immediate one: readers go on). A deferred one would read first: once
    // another connection committed after that read, each later write of the batch would fail at
    // once, without the busy wait, and start-up's defaults would be lost for the run.
    if (db->inTransaction() || !db->beginTransaction())
        return false;
    m_batch = db;
    return true;
}

bool SettingsDatabaseOperate::endWriteBatch()
{
    const std::shared_ptr<FMDatabase> batch = std::move(m_batch);
    m_batch.reset();
    if (!batch || batch != m_connection.db() || !batch->inTransaction())
        return false;
    if (StoreStatements::commit(*batch))
        return true;
    batch->rollback();
    return false;
}

// ---- The common getter and setter ----

SettingsDatabaseOperate::Reading SettingsDatabaseOperate::readSetting(const QString& name, const QString& insertDefault)
{
    if (!connect())
        return {};
    Reading reading;
    const bool read = m_connection.readTable(kSettings, [this] { return tableExist(); }, [&](FMDatabase& db) {
        reading = {Lookup::NotInserted, QString()};
        return StoreStatements::eachRow(db, {QStringLiteral("SELECT * FROM Settings where name = ?"), {name}},
                                        [&](FMResultSet& row) {
                                            reading.lookup = Lookup::Stored;
                                            reading.text = row.stringForColumn(QStringLiteral("value"));
                                            return false;
                                        });
    });
    if (!read)
        return {};
    if (reading.lookup == Lookup::NotInserted && !insertDefault.isNull() &&
        StoreStatements::run(*m_connection.db(), {kInsertSetting, {name, insertDefault}}))
        reading.lookup = Lookup::Inserted;
    return reading;
}

bool SettingsDatabaseOperate::writeSetting(const QString& name, const QString& value)
{
    if (!openSettings())
        return false;
    return StoreStatements::updateConfirmInsert(
        *m_connection.db(), {QStringLiteral("UPDATE Settings SET value = ? WHERE name = ? "), {value, name}},
        {kInsertSetting, {name, value}}, [&] { return updateSuccess(name, value); });
}

bool SettingsDatabaseOperate::readFlag(const SettingsKeys::Flag& key)
{
    const Reading reading = readSetting(text(key.name), text(key.defaultValue));
    switch (reading.lookup) {
    case Lookup::NoStore:
        return key.noStore;
    case Lookup::Stored:
        return reading.text == QLatin1String(key.trueText);
    case Lookup::Inserted:
        return key.whenInserted;
    case Lookup::NotInserted:
        break;
    }
    return key.whenNotInserted;
}

QString SettingsDatabaseOperate::readText(const SettingsKeys::Text& key)
{
    const Reading reading = readSetting(text(key.name), text(key.defaultValue));
    switch (reading.lookup) {
    case Lookup::NoStore:
        return text(key.noStore);
    case Lookup::Stored:
        return reading.text;
    case Lookup::Inserted:
        return text(key.whenInserted);
    case Lookup::NotInserted:
        break;
    }
    return text(key.whenNotInserted);
}

int SettingsDatabaseOperate::readInteger(const SettingsKeys::Integer& key)
{
    const Reading reading = readSetting(text(key.name), text(key.defaultValue));
    switch (reading.lookup) {
    case Lookup::NoStore:
        return key.noStore;
    case Lookup::Stored:
        return NSStringValues::intValue(reading.text);
    case Lookup::Inserted:
    case Lookup::NotInserted:
        break;
    }
    return key.missing;
}

QDateTime SettingsDatabaseOperate::readDate(const char* name)
{
    const Reading reading = readSetting(text(name), QString());
    if (reading.lookup != Lookup::Stored)
        return {};
    return CommonFunction::dateFromLocalDateTimeString(reading.text);
}

bool SettingsDatabaseOperate::writeDate(const char* name, const QDateTime& date)
{
    // An invalid date has no text to store.
    if (!date.isValid())
        return false;
    return writeSetting(text(name), CommonFunction::localDateTimeStringFromDate(date));
}

QString SettingsDatabaseOperate::appVersion()
{
    return QCoreApplication::applicationVersion();
}

// ---- The keys ----

QString SettingsDatabaseOperate::contentFontSize()
{
    QString size = readText(kContentFontSize);
    // Sizes were once stored by name; they all read as the default size now.
    static const QStringList oldNames{QStringLiteral("小"), QStringLiteral("中"), QStringLiteral("大"),
                                      QStringLiteral("超大")};
    if (!size.isNull() && oldNames.contains(size)) {
        size = QString::fromLatin1(kContentFontSize.defaultValue);
        StoreStatements::run(*m_connection.db(), {QStringLiteral("UPDATE Settings SET value = ? WHERE name = ? "),
                                                   {size, text(kContentFontSize.name)}});
    }
    return size;
}

bool SettingsDatabaseOperate::setContentFontSize(const QString& size)
{
    return writeSetting(text(kContentFontSize.name), size);
}

QString SettingsDatabaseOperate::readSucYuniOSFileVersion()
{
    return readText(kReadSucVersion);
}

bool SettingsDatabaseOperate::setReadSucYuniOSFileVersion(const QString& version)
{
    return writeSetting(text(kReadSucVersion.name), version);
}

bool SettingsDatabaseOperate::pushSetting()
{
    return readFlag(kPush);
}

bool SettingsDatabaseOperate::setNewsPush(bool on)
{
    return writeSetting(text(kPush.name), on ? QStringLiteral("true") : QStringLiteral("false"));
}

bool SettingsDatabaseOperate::onlyShowPictureInWIFI()
{
    return readFlag(kOnlyPictureWifi);
}

bool SettingsDatabaseOperate::setOnlyShowPictureInWIFI(bool on)
{
    return writeSetting(text(kOnlyPictureWifi.name), flagText(on));
}

bool SettingsDatabaseOperate::getFullScreenMode()
{
    return readFlag(kFullScreenMode);
}

bool SettingsDatabaseOperate::setFullScreenMode(bool on)
{
    return writeSetting(text(kFullScreenMode.name), flagText(on));
}

bool SettingsDatabaseOperate::getUpdateNewsCountTiShi()
{
    return readFlag(kUpdateCountTiShi);
}

bool SettingsDatabaseOperate::setUpdateNewsCountTiShi(bool on)
{
    return writeSetting(text(kUpdateCountTiShi.name), flagText(on));
}

bool SettingsDatabaseOperate::nightMode()
{
    return readFlag(kNightMode);
}

bool SettingsDatabaseOperate::setNightMode(bool on)
{
    return writeSetting(text(kNightMode.name), flagText(on));
}

bool SettingsDatabaseOperate::getDouZaiMai()
{
    return readFlag(kDouZaiMai);
}

bool SettingsDatabaseOperate::setDouZaiMai(int value)
{
    return writeSetting(text(kDouZaiMai.name), flagText(value));
}

bool SettingsDatabaseOperate::autoNightMode()
{
    return readFlag(kAutoNightMode);
}

bool SettingsDatabaseOperate::setAutoNightMode(int value)
{
    return writeSetting(text(kAutoNightMode.name), flagText(value));
}

QString SettingsDatabaseOperate::getStartTime()
{
    return readText(kNightStartTime);
}

bool SettingsDatabaseOperate::setStartTime(const QString& time)
{
    return writeSetting(text(kNightStartTime.name), time);
}

QString SettingsDatabaseOperate::getEndTime()
{
    return readText(kNightEndTime);
}

bool SettingsDatabaseOperate::setEndTime(const QString& time)
{
    return writeSetting(text(kNightEndTime.name), time);
}

bool SettingsDatabaseOperate::getXiti()
{
    return readFlag(kXiti);
}

bool SettingsDatabaseOperate::setXiti(int value)
{
    return writeSetting(text(kXiti.name), flagText(value));
}

int SettingsDatabaseOperate::themeMode()
{
    return readInteger(kThemeMode);
}

bool SettingsDatabaseOperate::setThemeMode(int mode)
{
    return writeSetting(text(kThemeMode.name), flagText(mode));
}

int SettingsDatabaseOperate::getAVSpeechType()
{
    return readInteger(kSpeechType);
}

bool SettingsDatabaseOperate::setAVSpeechType(int type)
{
    return writeSetting(text(kSpeechType.name), flagText(type));
}

bool SettingsDatabaseOperate::setAVSpeechRate(float rate)
{
    return writeSetting(text(kSpeechRate), realText(rate));
}

float SettingsDatabaseOperate::getAVSpeechPitch()
{
    const Reading reading = readSetting(text(kSpeechPitch), realText(kDefaultSpeechPitch));
    if (reading.lookup != Lookup::Stored)
        return kDefaultSpeechPitch;
    return float(NSStringValues::doubleValue(reading.text));
}

bool SettingsDatabaseOperate::setAVSpeechPitch(float pitch)
{
    return writeSetting(text(kSpeechPitch), realText(pitch));
}

int SettingsDatabaseOperate::getCommentOrder()
{
    return readInteger(kCommentOrder);
}

bool SettingsDatabaseOperate::setCommentOrder(int order)
{
    return writeSetting(text(kCommentOrder.name), flagText(order));
}

bool SettingsDatabaseOperate::isReplyRemind()
{
    return readFlag(kReplyRemind);
}

bool SettingsDatabaseOperate::setReplyRemind(bool on)
{
    return writeSetting(text(kReplyRemind.name), flagText(on));
}

bool SettingsDatabaseOperate::canRotation()
{
    return readFlag(kCanRotation);
}

bool SettingsDatabaseOperate::setCanRotation(bool on)
{
    return writeSetting(text(kCanRotation.name), flagText(on));
}

bool SettingsDatabaseOperate::isLoadAllData()
{
    if (!openSettings())
        return false;
    FMDatabase& db = *m_connection.db();
    // A "1" stored under an earlier version still counts after an upgrade.
    if (StoreStatements::hasRow(db, {QStringLiteral("SELECT * FROM Settings where name LIKE 'loadalldata%' and value = ?"),
                                     {QStringLiteral("1")}}))
        return true;
    StoreStatements::run(db, {kInsertSetting, {text(kLoadAllDataPrefix) + appVersion(), QStringLiteral("0")}});
    return false;
}

bool SettingsDatabaseOperate::setLoadAllData(bool on)
{
    return writeSetting(text(kLoadAllDataPrefix) + appVersion(), flagText(on));
}

bool SettingsDatabaseOperate::isShowMainViewTiShi()
{
    return readFlag(kMainViewTiShi);
}

bool SettingsDatabaseOperate::setShowMainViewTiShi(bool on)
{
    return writeSetting(text(kMainViewTiShi.name), flagText(on));
}

bool SettingsDatabaseOperate::isShowNewsViewTiShi()
{
    return readFlag(kNewsViewTiShi);
}

bool SettingsDatabaseOperate::setShowNewsViewTiShi(bool on)
{
    return writeSetting(text(kNewsViewTiShi.name), flagText(on));
}

bool SettingsDatabaseOperate::isPostDeviceToken()
{
    return readFlag(kPostDeviceToken);
}

bool SettingsDatabaseOperate::setPostDeviceToken(bool on)
{
    return writeSetting(text(kPostDeviceToken.name), flagText(on));
}

bool SettingsDatabaseOperate::isAutoClearData()
{
    return readFlag(kAutoClearData);
}

bool SettingsDatabaseOperate::setAutoClearData(bool on)
{
    return writeSetting(text(kAutoClearData.name), flagText(on));
}

QDateTime SettingsDatabaseOperate::AutoClearDate()
{
    return readDate(kAutoClearDate);
}

bool SettingsDatabaseOperate::setAutoClearDate(const QDateTime& date)
{
    return writeDate(kAutoClearDate, date);
}

QDateTime SettingsDatabaseOperate::EnterBackgroundDate()
{
    return readDate(kEnterBackgroundDate);
}

bool SettingsDatabaseOperate::setEnterBackgroundDate(const QDateTime& date)
{
    return writeDate(kEnterBackgroundDate, date);
}

bool SettingsDatabaseOperate::isShowADData()
{
    return readFlag(kShowADData);
}

bool SettingsDatabaseOperate::setShowADData(bool on)
{
    return writeSetting(text(kShowADData.name), flagText(on));
}

QString SettingsDatabaseOperate::getADChangeTimeSpace()
{
    return readText(kADChangeSpace);
}

bool SettingsDatabaseOperate::setADChangeTimeSpace(const QString& space)
{
    return writeSetting(text(kADChangeSpace.name), space);
}

QDateTime SettingsDatabaseOperate::MedalFileDate()
{
    return readDate(kMedalFileDate);
}

bool SettingsDatabaseOperate::setMedalFileDate(const QDateTime& date)
{
    return writeDate(kMedalFileDate, date);
}

QDateTime SettingsDatabaseOperate::UserInfoDate()
{
    return readDate(kUserInfoDate);
}

bool SettingsDatabaseOperate::setUserInfoDate(const QDateTime& date)
{
    return writeDate(kUserInfoDate, date);
}

QDateTime SettingsDatabaseOperate::UserValidateLoginDate()
{
    return readDate(kUserValidateLoginDate);
}

bool SettingsDatabaseOperate::setUserValidateLoginDate(const QDateTime& date)
{
    return writeDate(kUserValidateLoginDate, date);
}

bool SettingsDatabaseOperate::getAllMute()
{
    return readFlag(kAllMute);
}

bool SettingsDatabaseOperate::setAllMute(int value)
{
    return writeSetting(text(kAllMute.name), flagText(value));
}

bool SettingsDatabaseOperate::getClickPlay()
{
    return readFlag(kClickPlay);
}

bool SettingsDatabaseOperate::setClickPlay(int value)
{
    return writeSetting(text(kClickPlay.name), flagText(value));
}

bool SettingsDatabaseOperate::getRefreshPlay()
{
    return readFlag(kRefreshPlay);
}

bool SettingsDatabaseOperate::setRefreshPlay(int value)
{
    return writeSetting(text(kRefreshPlay.name), flagText(value));
}

bool SettingsDatabaseOperate::getSendPlay()
{
    return readFlag(kSendPlay);
}

bool SettingsDatabaseOperate::setSendPlay(int value)
{
    return writeSetting(text(kSendPlay.name), flagText(value));
}

bool SettingsDatabaseOperate::getCoinPlay()
{
    return readFlag(kCoinPlay);
}

bool SettingsDatabaseOperate::setCoinPlay(int value)
{
    return writeSetting(text(kCoinPlay.name), flagText(value));
}
