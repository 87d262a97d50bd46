#include "database/SettingsDatabaseOperate.h"

#include "Library/FMDB/FMDatabase.h"
#include "Library/FMDB/FMResultSet.h"
#include "database/StoreStatements.h"
#include "foundation/CommonFunction.h"

namespace {

using StoreStatements::integer;

const QString kUserLandData = QStringLiteral("UserLandData");
const QString kCreateUserLandData = QStringLiteral(
    "CREATE TABLE UserLandData (UserAccount text PRIMARY KEY ,UserPassWord text,bRememberPassWord BOOLEAN,"
    "bCurrentAccount BOOLEAN,bHaveLand BOOLEAN,userID text)");
const QString kSelectAccounts =
    QStringLiteral("SELECT UserAccount,UserPassWord,bRememberPassWord,bCurrentAccount,bHaveLand,userID FROM UserLandData");
// Only this account may be current and logged in.
const BoundStatement kClearMarks{QStringLiteral("UPDATE UserLandData SET bCurrentAccount = 0,bHaveLand = 0"), {}};

QString encipher(const QString& password)
{
    return CommonFunction::EncrypteUTF8(password, kDesKeyStoredPassword);
}

QVariant flag(bool value)
{
    return integer(value ? 1 : 0);
}

}  // namespace

bool SettingsDatabaseOperate::UserLandData_check()
{
    return connect() && m_connection.ensureTable(kUserLandData, kCreateUserLandData);
}

bool SettingsDatabaseOperate::runRetried(const BoundStatement& statement)
{
    FMDatabase& db = *m_connection.db();
    return StoreStatements::run(db, statement) || StoreStatements::run(db, statement);
}

UserLandDataPtr SettingsDatabaseOperate::accountRecord(FMResultSet& row, bool withUserID)
{
    auto record = std::make_shared<UserLandData>();
    record->UserAccount = row.stringForColumn(QStringLiteral("UserAccount"));
    record->UserPassWord =
        CommonFunction::DecypteUTF8(row.stringForColumn(QStringLiteral("UserPassWord")), kDesKeyStoredPassword);
    record->bRememberPassWord = row.boolForColumn(QStringLiteral("bRememberPassWord"));
    record->bCurrentAccount = row.boolForColumn(QStringLiteral("bCurrentAccount"));
    record->bHaveLand = row.boolForColumn(QStringLiteral("bHaveLand"));
    if (withUserID)
        record->UserID = row.stringForColumn(QStringLiteral("userID"));
    return record;
}

UserLandDataPtr SettingsDatabaseOperate::firstAccount(const BoundStatement& query, bool withUserID)
{
    if (!connect())
        return nullptr;
    UserLandDataPtr record;
    const auto ensure = [this] { return m_connection.ensureTable(kUserLandData, kCreateUserLandData); };
    m_connection.readTable(kUserLandData, ensure, [&](FMDatabase& db) {
        record = nullptr;
        return StoreStatements::eachRow(db, query, [&](FMResultSet& row) {
            record = accountRecord(row, withUserID);
            return false;
        });
    });
    return record;
}

bool SettingsDatabaseOperate::UserLandData_setNewsUserData(const UserLandData& record)
{
    if (!UserLandData_check())
        return false;
    FMDatabase& db = *m_connection.db();
    // The caller's record keeps its plain password; only the stored row is enciphered.
    const QString password = encipher(record.UserPassWord);

    enum class Stored { New, Unchanged, Changed } stored = Stored::New;
    StoreStatements::eachRow(
        db,
        {QStringLiteral("select UserPassWord,bRememberPassWord,bCurrentAccount,bHaveLand,userID from UserLandData "
                        "WHERE upper(UserAccount) = upper(?) "),
         {record.UserAccount}},
        [&](FMResultSet& row) {
            const bool same = row.stringForColumn(QStringLiteral("UserPassWord")) == password &&
                              row.boolForColumn(QStringLiteral("bRememberPassWord")) == record.bRememberPassWord &&
                              row.boolForColumn(QStringLiteral("bCurrentAccount")) == record.bCurrentAccount &&
                              row.boolForColumn(QStringLiteral("bHaveLand")) == record.bHaveLand &&
                              row.stringForColumn(QStringLiteral("userID")) == record.UserID;
            stored = same ? Stored::Unchanged : Stored::Changed;
            return false;
        });
    if (stored == Stored::Unchanged)
        return true;

    const BoundStatement write =
        stored == Stored::Changed
            ? BoundStatement{QStringLiteral("UPDATE UserLandData SET UserAccount = ?,UserPassWord = ?,bRememberPassWord = ?,"
                                            "bCurrentAccount = ?,bHaveLand = ?,userID = ? WHERE upper(UserAccount) = upper(?)"),
                             {record.UserAccount, password, flag(record.bRememberPassWord), flag(record.bCurrentAccount),
                              flag(record.bHaveLand), record.UserID, record.UserAccount}}
            : BoundStatement{QStringLiteral("INSERT INTO UserLandData (UserAccount,UserPassWord,bRememberPassWord,"
                                            "bCurrentAccount,bHaveLand,userID) VALUES (?,?,?,?,?,?)"),
                             {record.UserAccount, password, flag(record.bRememberPassWord), flag(record.bCurrentAccount),
                              flag(record.bHaveLand), record.UserID}};
    const bool takesMarks = record.bCurrentAccount || record.bHaveLand;
    return StoreStatements::inTransaction(*m_connection.db(), [&] { return (!takesMarks || runRetried(kClearMarks)) && runRetried(write); });
}

bool SettingsDatabaseOperate::UserLandData_getAllUserData(QList<UserLandDataPtr>& list)
{
    if (!UserLandData_check())
        return false;
    StoreStatements::eachRow(*m_connection.db(), {kSelectAccounts, {}}, [&](FMResultSet& row) {
        list.append(accountRecord(row, true));
        return true;
    });
    return true;
}

UserLandDataPtr SettingsDatabaseOperate::UserLandData_getCurrentUserData()
{
    return firstAccount({kSelectAccounts + QStringLiteral(" where bCurrentAccount = 1"), {}}, true);
}

UserLandDataPtr SettingsDatabaseOperate::UserLandData_getUserDataByUserName(const QString& account)
{
    return firstAccount({QStringLiteral("SELECT UserAccount,UserPassWord,bRememberPassWord,bCurrentAccount,bHaveLand "
                                        "FROM UserLandData where upper(UserAccount) = upper(?)"),
                         {account}},
                        false);
}

bool SettingsDatabaseOperate::UserLandData_deleteUserDataByUserName(const QString& account)
{
    if (!UserLandData_check())
        return false;
    return runRetried({QStringLiteral("delete from UserLandData where upper(UserAccount) = upper(?)"), {account}});
}

bool SettingsDatabaseOperate::UserLandData_logOut()
{
    if (!UserLandData_check())
        return false;
    return runRetried({QStringLiteral("UPDATE UserLandData SET bHaveLand = 0 WHERE bHaveLand = 1"), {}});
}

bool SettingsDatabaseOperate::UserLandData_updateCurrentUserByUserName(const QString& account)
{
    if (!UserLandData_check())
        return false;
    return StoreStatements::inTransaction(*m_connection.db(), [&] {
        return runRetried(kClearMarks) &&
               runRetried({QStringLiteral("UPDATE UserLandData SET bCurrentAccount = 1 WHERE upper(UserAccount) = upper(?) "),
                           {account}});
    });
}

QString SettingsDatabaseOperate::UserLandData_getLandedUserName()
{
    if (!UserLandData_check())
        return {};
    const QString account = StoreStatements::firstString(
        *m_connection.db(), {QStringLiteral("SELECT UserAccount FROM UserLandData where bHaveLand = 1"), {}},
        QStringLiteral("UserAccount"));
    return account.isNull() ? QStringLiteral("") : account;
}
