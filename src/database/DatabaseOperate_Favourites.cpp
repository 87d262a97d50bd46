#include "database/DatabaseOperate.h"

#include "Library/FMDB/FMDatabase.h"
#include "Library/FMDB/FMResultSet.h"
#include "database/StoreStatements.h"
#include "platform/Clock.h"

#include <cmath>
#include <utility>

namespace {

using StoreStatements::integer;

const QString kFavourites = QStringLiteral("Favrite_Data");
const QString kSyncRows = QStringLiteral("FavriteUserAndContents");

const QString kInsertFavourite =
    QStringLiteral("INSERT INTO Favrite_Data (newsID,newsTitle,ffavritetime,userAccount) VALUES (?,?,?,?)");
const QString kSelectSyncRow = QStringLiteral(
    "select UserAccount,favritteVersion,bModified,flastUpdateTime from FavriteUserAndContents WHERE upper(UserAccount) "
    "= upper(?) ");

// A date as stored: its whole seconds since 1970 (a missing date counts as 0).
double storedSeconds(const QDateTime& date)
{
    if (!date.isValid())
        return 0.0;
    return std::floor(static_cast<double>(date.toMSecsSinceEpoch()) / 1000.0);
}

// A write that fails is tried once more; the second attempt's result counts.
bool runRetried(FMDatabase& db, const BoundStatement& statement)
{
    return StoreStatements::run(db, statement) || StoreStatements::run(db, statement);
}

// A local removal: the delete (retried), then the account is marked changed.
bool removeAndMark(DatabaseOperate& store, FMDatabase& db, const BoundStatement& remove, const QString& userAccount)
{
    if (!runRetried(db, remove))
        return false;
    store.FavriteUserAndContents_updateLastDate(Clock::now(), userAccount);
    return true;
}

BoundStatement insertFavourite(const Favrite_Data& item)
{
    return {kInsertFavourite, {item.newsID, item.newsTitle, storedSeconds(item.favritetime), item.userAccount}};
}

void readFavourites(FMDatabase& db, const BoundStatement& query, QList<Favrite_DataPtr>& array)
{
    StoreStatements::eachRow(db, query, [&](FMResultSet& row) {
        auto item = std::make_shared<Favrite_Data>();
        item->favriteDataTag = row.longLongIntForColumn(QStringLiteral("favriteDataTag"));
        item->newsID = row.stringForColumn(QStringLiteral("newsID"));
        item->newsTitle = row.stringForColumn(QStringLiteral("newsTitle"));
        item->favritetime = row.dateForColumn(QStringLiteral("ffavritetime"));
        item->userAccount = row.stringForColumn(QStringLiteral("userAccount"));
        array.append(item);
        return true;
    });
}

// The older layout kept the time as a UTC+8 text in favritetime: each row gains ffavritetime from
// it (0 when the text is no time), all in one transaction. The old column stays, unread.
bool addFavouriteSeconds(FMDatabase& db)
{
    QList<std::pair<int64_t, double>> rows;
    StoreStatements::eachRow(db, {QStringLiteral("SELECT favriteDataTag,favritetime FROM Favrite_Data"), {}},
                             [&](FMResultSet& row) {
                                 rows.append({row.longLongIntForColumn(QStringLiteral("favriteDataTag")),
                                              storedSeconds(row.dateForColumnFromCSTDateTime(QStringLiteral("favritetime")))});
                                 return true;
                             });
    if (!db.beginTransaction())
        return false;
    if (!StoreStatements::run(db, {QStringLiteral("alter TABLE Favrite_Data add ffavritetime double"), {}})) {
        db.rollback();
        return false;
    }
    for (const auto& [tag, seconds] : std::as_const(rows)) {
        StoreStatements::run(db, {QStringLiteral("UPDATE Favrite_Data SET ffavritetime = ? WHERE favriteDataTag = ?"),
                                  {seconds, integer(tag)}});
    }
    if (!StoreStatements::commit(db)) {
        db.rollback();
        return false;
    }
    return true;
}

// The same for the sync rows' lastUpdateTime, written in a single statement.
void addSyncSeconds(FMDatabase& db)
{
    QString cases;
    QVariantList caseArguments;
    QVariantList accounts;
    StoreStatements::eachRow(
        db, {QStringLiteral("SELECT UserAccount,lastUpdateTime FROM FavriteUserAndContents"), {}}, [&](FMResultSet& row) {
            const QString account = row.stringForColumn(QStringLiteral("UserAccount"));
            cases += QStringLiteral("WHEN ? THEN ? ");
            caseArguments << account << storedSeconds(row.dateForColumnFromCSTDateTime(QStringLiteral("lastUpdateTime")));
            accounts << account;
            return true;
        });
    if (accounts.isEmpty())
        return;
    const QString sql =
        QStringLiteral("UPDATE FavriteUserAndContents SET flastUpdateTime = CASE UserAccount %1END WHERE UserAccount IN %2")
            .arg(cases, StoreStatements::parameterList(accounts.size()));
    if (!StoreStatements::run(db, {sql, caseArguments + accounts, false}))
        qInfo("no");
}

}  // namespace

// ---- FavriteUserAndContents ----

bool DatabaseOperate::FavriteUserAndContents_check()
{
    if (!m_connection.connect())
        return false;
    bool created = false;
    if (!m_connection.ensureTable(kSyncRows,
                                  QStringLiteral("CREATE TABLE FavriteUserAndContents (UserAccount text PRIMARY KEY "
                                                 ",favritteVersion INTEGER,bModified BOOLEAN,flastUpdateTime double)"),
                                  &created))
        return false;
    FMDatabase& db = *m_connection.db();
    if (created || db.columnExists(kSyncRows, QStringLiteral("flastUpdateTime")))
        return true;
    if (!StoreStatements::run(db, {QStringLiteral("alter TABLE FavriteUserAndContents add flastUpdateTime double"), {}})) {
        qInfo("添加列失败");
        return false;
    }
    // A failed fill leaves the old rows without a time; the table is still usable.
    addSyncSeconds(db);
    return true;
}

bool DatabaseOperate::FavriteUserAndContents_setNewsData(const FavriteUserAndContents& data)
{
    if (!FavriteUserAndContents_check())
        return false;
    FMDatabase& db = *m_connection.db();
    const double seconds = storedSeconds(data.lastUpdateTime);

    bool found = false;
    bool same = false;
    StoreStatements::eachRow(db, {kSelectSyncRow, {data.UserAccount}}, [&](FMResultSet& row) {
        found = true;
        same = row.stringForColumn(QStringLiteral("UserAccount")).compare(data.UserAccount, Qt::CaseInsensitive) == 0 &&
               row.longLongIntForColumn(QStringLiteral("favritteVersion")) == data.favritteVersion &&
               row.boolForColumn(QStringLiteral("bModified")) == data.bModified &&
               row.dateForColumn(QStringLiteral("flastUpdateTime")) == data.lastUpdateTime;
        return false;
    });
    if (!found) {
        return runRetried(db, {QStringLiteral("INSERT INTO FavriteUserAndContents "
                                              "(UserAccount,favritteVersion,bModified,flastUpdateTime) VALUES (?,?,?,?)"),
                               {data.UserAccount, integer(data.favritteVersion), data.bModified, seconds}});
    }
    if (same)
        return true;
    return runRetried(db, {QStringLiteral("UPDATE FavriteUserAndContents SET UserAccount = ?,favritteVersion = "
                                          "?,bModified = ?,flastUpdateTime = ? WHERE upper(UserAccount) = upper(?) "),
                           {data.UserAccount, integer(data.favritteVersion), data.bModified, seconds, data.UserAccount}});
}

FavriteUserAndContentsPtr DatabaseOperate::FavriteUserAndContents_getDataByUser(const QString& userAccount)
{
    if (!FavriteUserAndContents_check())
        return nullptr;
    FavriteUserAndContentsPtr data;
    StoreStatements::eachRow(*m_connection.db(), {kSelectSyncRow, {userAccount}}, [&](FMResultSet& row) {
        data = std::make_shared<FavriteUserAndContents>();
        data->UserAccount = row.stringForColumn(QStringLiteral("UserAccount"));
        data->favritteVersion = row.longLongIntForColumn(QStringLiteral("favritteVersion"));
        data->bModified = row.boolForColumn(QStringLiteral("bModified"));
        data->lastUpdateTime = row.dateForColumn(QStringLiteral("flastUpdateTime"));
        return false;
    });
    return data;
}

bool DatabaseOperate::FavriteUserAndContents_deleteDataByUser(const QString& userAccount)
{
    if (!FavriteUserAndContents_check())
        return false;
    return runRetried(*m_connection.db(),
                      {QStringLiteral("delete from FavriteUserAndContents WHERE upper(UserAccount) = upper(?) "),
                       {userAccount}});
}

bool DatabaseOperate::FavriteUserAndContents_updateLastDate(const QDateTime& date, const QString& userAccount)
{
    if (!FavriteUserAndContents_check())
        return false;
    FMDatabase& db = *m_connection.db();
    std::optional<std::pair<bool, int64_t>> last;  // modified flag and version of the last row
    StoreStatements::eachRow(
        db,
        {QStringLiteral("select UserAccount,bModified,favritteVersion from FavriteUserAndContents WHERE "
                        "upper(UserAccount) = upper(?) "),
         {userAccount}},
        [&](FMResultSet& row) {
            last = {row.boolForColumn(QStringLiteral("bModified")),
                    row.longLongIntForColumn(QStringLiteral("favritteVersion"))};
            return true;
        });
    if (!last)
        return false;
    // The first change after an upload makes a new version; later ones belong to it.
    const int64_t version = last->first ? last->second : last->second + 1;
    return runRetried(db, {QStringLiteral("UPDATE FavriteUserAndContents SET favritteVersion = ?,bModified = "
                                          "1,flastUpdateTime = ? WHERE upper(UserAccount) = upper(?) "),
                           {integer(version), storedSeconds(date), userAccount}});
}

bool DatabaseOperate::FavriteUserAndContents_bhaveModifiedByUser(const QString& userAccount)
{
    if (!FavriteUserAndContents_check())
        return false;
    bool modified = false;
    StoreStatements::eachRow(
        *m_connection.db(),
        {QStringLiteral("select bModified from FavriteUserAndContents WHERE upper(UserAccount) = upper(?) "),
         {userAccount}},
        [&](FMResultSet& row) {
            modified = row.boolForColumn(QStringLiteral("bModified"));
            return true;
        });
    return modified;
}

bool DatabaseOperate::FavriteUserAndContents_setModifiedNoUser(const QString& userAccount)
{
    if (!FavriteUserAndContents_check())
        return false;
    return runRetried(
        *m_connection.db(),
        {QStringLiteral("UPDATE FavriteUserAndContents SET bModified = 0 WHERE upper(UserAccount) = upper(?) "),
         {userAccount}});
}

// ---- Favrite_Data ----

bool DatabaseOperate::Favrite_Data_check(const QString& userAccount)
{
    if (!m_connection.connect())
        return false;
    bool created = false;
    if (!m_connection.ensureTable(kFavourites,
                                  QStringLiteral("CREATE TABLE Favrite_Data (favriteDataTag INTEGER PRIMARY KEY "
                                                 "AUTOINCREMENT, newsID text, newsTitle text, ffavritetime double, "
                                                 "userAccount text)"),
                                  &created))
        return false;
    if (!created && !m_connection.db()->columnExists(kFavourites, QStringLiteral("ffavritetime")) &&
        !addFavouriteSeconds(*m_connection.db()))
        return false;

    if (FavriteUserAndContents_getDataByUser(userAccount))
        return true;
    FavriteUserAndContents_deleteDataByUser(userAccount);
    FavriteUserAndContents fresh;
    fresh.UserAccount = userAccount;
    fresh.lastUpdateTime = Clock::now();
    return FavriteUserAndContents_setNewsData(fresh);
}

bool DatabaseOperate::Favrite_Data_setNewsFavriteData(const Favrite_Data& data, bool cloudSyn)
{
    if (!Favrite_Data_check(data.userAccount))
        return false;
    FMDatabase& db = *m_connection.db();
    if (StoreStatements::hasRow(db, {QStringLiteral("select newsID from Favrite_Data WHERE newsID = ? and "
                                                    "upper(userAccount) = upper(?)"),
                                     {data.newsID, data.userAccount}}))
        return true;
    if (!runRetried(db, insertFavourite(data)))
        return false;
    if (!cloudSyn)
        FavriteUserAndContents_updateLastDate(Clock::now(), data.userAccount);
    return true;
}

bool DatabaseOperate::Favrite_Data_setNewsFavriteDataArray(const QList<Favrite_DataPtr>& array)
{
    if (array.isEmpty())
        return true;
    if (!Favrite_Data_check(array.first() ? array.first()->userAccount : QString()))
        return false;
    FMDatabase& db = *m_connection.db();
    if (!db.beginTransaction())
        return false;
    for (const Favrite_DataPtr& item : array) {
        if (item)
            StoreStatements::run(db, insertFavourite(*item));
    }
    if (!StoreStatements::commit(db)) {
        db.rollback();
        return false;
    }
    return true;
}

bool DatabaseOperate::Favrite_Data_replaceAllFavriteDataByUserAccount(const QString& userAccount,
                                                                      const QList<Favrite_DataPtr>& array)
{
    if (!Favrite_Data_check(userAccount))
        return false;
    FMDatabase& db = *m_connection.db();
    if (!db.beginTransaction())
        return false;
    bool written = StoreStatements::run(
        db, {QStringLiteral("delete from Favrite_Data where upper(userAccount) = upper(?)"), {userAccount}});
    for (qsizetype i = 0; written && i < array.size(); ++i)
        written = array.at(i) && StoreStatements::run(db, insertFavourite(*array.at(i)));
    if (!written || !StoreStatements::commit(db)) {
        db.rollback();
        return false;
    }
    return true;
}

bool DatabaseOperate::Favrite_Data_getCurrentAccountAndNoAccountAllFavriteURLAndTitleData(QList<Favrite_DataPtr>& array,
                                                                                          const QString& userAccount)
{
    if (!Favrite_Data_check(userAccount))
        return false;
    readFavourites(*m_connection.db(),
                   {QStringLiteral("SELECT favriteDataTag,newsID,newsTitle,ffavritetime,userAccount FROM Favrite_Data "
                                   "where upper(userAccount) = upper(?) or upper(userAccount) = upper(?) order by "
                                   "ffavritetime desc"),
                    {userAccount, QString::fromLatin1(kFavriteNoUserAccount)}},
                   array);
    return true;
}

bool DatabaseOperate::Favrite_Data_getAllFavriteURLAndTitleData(QList<Favrite_DataPtr>& array, const QString& userAccount)
{
    if (!Favrite_Data_check(userAccount))
        return false;
    readFavourites(*m_connection.db(),
                   {QStringLiteral("SELECT favriteDataTag,newsID,newsTitle,ffavritetime,userAccount FROM Favrite_Data "
                                   "where upper(userAccount) = upper(?) order by ffavritetime desc"),
                    {userAccount}},
                   array);
    return true;
}

int DatabaseOperate::Favrite_Data_getCurrentAccountAndNoAccountAllFavriteCountByUserAccount(const QString& userAccount)
{
    if (!Favrite_Data_check(userAccount))
        return 0;
    int count = 0;
    StoreStatements::eachRow(*m_connection.db(),
                             {QStringLiteral("SELECT count(DISTINCT newsID) FROM Favrite_Data where upper(userAccount) "
                                             "= upper(?) or upper(userAccount) = upper(?)"),
                              {userAccount, QString::fromLatin1(kFavriteNoUserAccount)}},
                             [&](FMResultSet& row) {
                                 count = row.intForColumnIndex(0);
                                 return false;
                             });
    return count;
}

bool DatabaseOperate::Favrite_Data_deleteAllFavriteDataByUserAccount(const QString& userAccount)
{
    if (!Favrite_Data_check(userAccount))
        return false;
    return runRetried(*m_connection.db(),
                      {QStringLiteral("delete from Favrite_Data where upper(userAccount) = upper(?)"), {userAccount}});
}

bool DatabaseOperate::Favrite_Data_deleteFavriteDataWithFavriteDataId(int64_t favriteDataTag, const QString& userAccount)
{
    if (!Favrite_Data_check(userAccount))
        return false;
    return removeAndMark(*this, *m_connection.db(),
                         {QStringLiteral("delete from Favrite_Data where favriteDataTag = ?"), {integer(favriteDataTag)}},
                         userAccount);
}

bool DatabaseOperate::Favrite_Data_deleteFavriteDataWithNewsId(const QString& newsID, const QString& userAccount)
{
    if (!Favrite_Data_check(userAccount))
        return false;
    return removeAndMark(*this, *m_connection.db(),
                         {QStringLiteral("delete from Favrite_Data where newsID = ? and upper(userAccount) = upper(?)"),
                          {newsID, userAccount}},
                         userAccount);
}

bool DatabaseOperate::Favrite_Data_isHaveSaveFavriteData(const QString& newsID, const QString& userAccount)
{
    if (!Favrite_Data_check(userAccount))
        return false;
    // Unlike the other operations of these tables, the account is compared exactly: "User" and
    // "user" are two accounts here.
    return StoreStatements::hasRow(*m_connection.db(),
                                   {QStringLiteral("select favriteDataTag,newsID,newsTitle,ffavritetime,userAccount from "
                                                   "Favrite_Data WHERE newsID = ? and userAccount = ?"),
                                    {newsID, userAccount}});
}
