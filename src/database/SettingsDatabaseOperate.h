#pragma once

#include "database/StoreLock.h"
#include "database/StoreConnection.h"
#include "foundation/models/UserLandData.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

class FMDatabase;
class FMResultSet;
struct BoundStatement;

// The description of one setting key (defined beside the store).
namespace SettingsKeys {
struct Flag;
struct Text;
struct Integer;
}  // namespace SettingsKeys

// The settings store: the user's preferences and a few remembered dates and flags (table
// Settings), the remembered accounts (UserLandData) and the rating-prompt state
// (ScoreManageTable). It keeps its own lock and its own connection to the database file it
// shares with DatabaseOperate; the two stores never wait for each other's lock, only for the
// file's.
//
// Every use is a bracket on one thread: getInstance, operations, revertInstance. The system's
// own code holds a Lease, which gives the lock back however its scope ends:
//
//     SettingsDatabaseOperate::Lease settings;
//     if (!settings)
//         return;  // this thread already holds the settings store
//     const bool remind = settings->isReplyRemind();
//
// The lock is not re-entrant: a second request on the holding thread is logged and refused, and
// the operations call each other without it.
//
// Every setting is stored as text. A getter makes its key's row with the default on first read;
// when the row is missing or the store cannot be used, each key has its own fixed result. Setters
// return true when the stored value was read back as written. No operation shows a message.
class SettingsDatabaseOperate
{
public:
    // Holds the settings store's lock for its scope. Null (false) when this thread already holds it.
    using Lease = StoreLease<SettingsDatabaseOperate>;

    // Takes the lock, blocking while another thread holds it, and returns the one instance (made
    // on first use). Null, at once and logged, when this thread already holds it.
    static SettingsDatabaseOperate* getInstance();
    // Gives the lock back; after a refused getInstance it gives nothing back.
    static void revertInstance();

    SettingsDatabaseOperate(const SettingsDatabaseOperate&) = delete;
    SettingsDatabaseOperate& operator=(const SettingsDatabaseOperate&) = delete;

    // ---- Connection and the Settings table ----

    // Opens a new connection on Documents/fileName in place of the current one; the opened
    // connection, or null (logged; the unopened one is kept and the next table step drops it).
    std::shared_ptr<FMDatabase> loadDB(const QString& fileName);
    // Settings exists, or was just made together with its two rows that start as "1".
    bool tableExist();
    // The key holds exactly this text. Does not open the file.
    bool updateSuccess(const QString& name, const QString& value);
    // A run of reads that store their keys' defaults (start-up's) reaches the disk once: the
    // writes between beginWriteBatch and endWriteBatch, each called on a held instance (the lock
    // may be given back in between), share one transaction. endWriteBatch commits it (rolls back
    // when the commit fails) and answers whether it went through; a connection dropped or
    // replaced meanwhile took its transaction with it. The batch holds the file's write lock from
    // its beginning (waiting for it as any write does), so other connections' writes wait for its
    // end instead of making its own fail. False from beginWriteBatch when the store cannot be used
    // or a batch is open already.
    bool beginWriteBatch();
    bool endWriteBatch();
    // Closes and drops the connection; the next operation opens the file again (used when the
    // storage folder moves).
    void closeDB();

    // ---- Settings getters and setters ----
    // Flags are stored as "%d" and read as true only for exactly "1"; the push switch is stored
    // as "true"/"false"; dates as local "yyyy-MM-dd HH:mm:ss".

    // The article font size; an old size name ("小", "中", "大", "超大") is rewritten to "18".
    // Null when the row could not be made or the store cannot be used.
    QString contentFontSize();
    bool setContentFontSize(const QString& size);
    // The app version under which the remote filter file was last read; "" when none, null when
    // the store cannot be used.
    QString readSucYuniOSFileVersion();
    bool setReadSucYuniOSFileVersion(const QString& version);
    bool pushSetting();
    bool setNewsPush(bool on);
    bool onlyShowPictureInWIFI();
    bool setOnlyShowPictureInWIFI(bool on);
    bool getFullScreenMode();
    bool setFullScreenMode(bool on);
    bool getUpdateNewsCountTiShi();
    bool setUpdateNewsCountTiShi(bool on);
    bool nightMode();
    bool setNightMode(bool on);
    bool getDouZaiMai();
    bool setDouZaiMai(int value);
    bool autoNightMode();
    bool setAutoNightMode(int value);
    // "HH:mm".
    QString getStartTime();
    bool setStartTime(const QString& time);
    QString getEndTime();
    bool setEndTime(const QString& time);
    bool getXiti();
    bool setXiti(int value);
    int themeMode();
    bool setThemeMode(int mode);
    // 1 "zh_CN", 2 "zh-TW", 3 "zh-HK".
    int getAVSpeechType();
    bool setAVSpeechType(int type);
    bool setAVSpeechRate(float rate);
    float getAVSpeechPitch();
    bool setAVSpeechPitch(float pitch);
    // 1 newest first, 2 oldest first.
    int getCommentOrder();
    bool setCommentOrder(int order);
    bool isReplyRemind();
    bool setReplyRemind(bool on);
    bool canRotation();
    bool setCanRotation(bool on);
    // One row per app version ("loadalldata" + version); a "1" under any version counts.
    bool isLoadAllData();
    bool setLoadAllData(bool on);
    bool isShowMainViewTiShi();
    bool setShowMainViewTiShi(bool on);
    bool isShowNewsViewTiShi();
    bool setShowNewsViewTiShi(bool on);
    bool isPostDeviceToken();
    bool setPostDeviceToken(bool on);
    bool isAutoClearData();
    bool setAutoClearData(bool on);
    // The date getters never make a row: null when none is stored or it does not parse. A date
    // setter given an invalid date writes nothing and returns false.
    QDateTime AutoClearDate();
    bool setAutoClearDate(const QDateTime& date);
    QDateTime EnterBackgroundDate();
    bool setEnterBackgroundDate(const QDateTime& date);
    bool isShowADData();
    bool setShowADData(bool on);
    // The ad rotation interval; "0" when none is stored (no row is made).
    QString getADChangeTimeSpace();
    bool setADChangeTimeSpace(const QString& space);
    QDateTime MedalFileDate();
    bool setMedalFileDate(const QDateTime& date);
    QDateTime UserInfoDate();
    bool setUserInfoDate(const QDateTime& date);
    QDateTime UserValidateLoginDate();
    bool setUserValidateLoginDate(const QDateTime& date);
    bool getAllMute();
    bool setAllMute(int value);
    bool getClickPlay();
    bool setClickPlay(int value);
    bool getRefreshPlay();
    bool setRefreshPlay(int value);
    bool getSendPlay();
    bool setSendPlay(int value);
    bool getCoinPlay();
    bool setCoinPlay(int value);

    // ---- UserLandData: remembered accounts (SettingsDatabaseOperate_Accounts.cpp) ----
    // Accounts match ignoring the case of ASCII letters. Passwords are stored enciphered and
    // handed out plain. Each write is tried a second time when the first run fails.

    bool UserLandData_check();
    // Saves the record: nothing is written when the stored row already matches; a current or
    // logged-in record takes both marks from every other account in the same transaction as its
    // own write, so a failed save leaves the marks as they were. The record itself is not changed.
    bool UserLandData_setNewsUserData(const UserLandData& record);
    // Appends every account; true when the table could be used (also with no rows).
    bool UserLandData_getAllUserData(QList<UserLandDataPtr>& list);
    // The current account, or null.
    UserLandDataPtr UserLandData_getCurrentUserData();
    // The account of that name in any case, or null; its UserID is left "".
    UserLandDataPtr UserLandData_getUserDataByUserName(const QString& account);
    bool UserLandData_deleteUserDataByUserName(const QString& account);
    // Nobody is logged in afterwards; the current account stays current.
    bool UserLandData_logOut();
    // The account becomes current and nobody is logged in (one transaction).
    bool UserLandData_updateCurrentUserByUserName(const QString& account);
    // The logged-in account; "" when nobody is, null when the table cannot be used.
    QString UserLandData_getLandedUserName();

    // ---- ScoreManageTable: the rating prompt per app version (SettingsDatabaseOperate_Score.cpp) ----
    // States: "1" not answered yet, "2" rated, "4" refused. Versions are ordered numerically
    // ("2.10" after "2.9").

    bool setScoreVerSion(const QString& version, const QString& state, const QString& time);
    bool isHadScored();
    // The version's state; a version without a row gets one with state "1" and gives "1".
    QString getStateForVersion(const QString& version);
    // "" when none.
    QString getDateTimeForVersion(const QString& version);
    // The time of the highest rated / refused version; "" when none.
    QString getLastScoredDateTime();
    QString getLastRefuseDateTime();

private:
    SettingsDatabaseOperate() = default;
    ~SettingsDatabaseOperate() = default;

    friend class StoreLease<SettingsDatabaseOperate>;
    static SettingsDatabaseOperate* enterScope();
    static void leaveScope();
    static SettingsDatabaseOperate* instance();

    // Connection step: opens the file (through loadDB) when there is no connection.
    bool connect();
    // Connection step and Settings table; false: the store cannot be used.
    bool openSettings();

    // What a getter found for its key.
    enum class Lookup
    {
        NoStore,      // the store cannot be used
        Stored,       // text holds the stored value
        Inserted,     // no row; the default was inserted
        NotInserted,  // no row; there is no default or its insert failed
    };
    struct Reading
    {
        Lookup lookup = Lookup::NoStore;
        QString text;
    };
    // The stored value of the key; with no row, inserts insertDefault unless it is null.
    Reading readSetting(const QString& name, const QString& insertDefault);
    // update-confirm-insert of one key; false when the store cannot be used.
    bool writeSetting(const QString& name, const QString& value);

    bool readFlag(const SettingsKeys::Flag& key);
    QString readText(const SettingsKeys::Text& key);
    int readInteger(const SettingsKeys::Integer& key);
    QDateTime readDate(const char* name);
    bool writeDate(const char* name, const QDateTime& date);

    // The running app's version, for the loadalldata rows.
    static QString appVersion();

    // A data-changing account statement, run a second time when the first run fails.
    bool runRetried(const BoundStatement& statement);
    // The record of an account row (password deciphered); UserID only when the query selects it.
    static UserLandDataPtr accountRecord(FMResultSet& row, bool withUserID);
    // The first account of the query, or null (also when the table cannot be used).
    UserLandDataPtr firstAccount(const BoundStatement& query, bool withUserID);

    // Connection step and ScoreManageTable.
    bool ScoreManage_check();
    // The time of the highest version in that state.
    QString lastTimeInState(const QString& state);

    StoreConnection m_connection;
    std::shared_ptr<FMDatabase> m_batch;  // the connection whose transaction a batch holds open
};
