#include "database/SettingsDatabaseOperate.h"

#include "Library/FMDB/FMDBLog.h"
#include "Library/FMDB/FMDatabase.h"
#include "Library/FMDB/FMResultSet.h"
#include "database/StoreStatements.h"
#include "foundation/CommonFunction.h"
#include "platform/Clock.h"

#include <QVersionNumber>

namespace {

const QString kScoreManageTable = QStringLiteral("ScoreManageTable");
const QString kCreateScoreManageTable =
    QStringLiteral("CREATE TABLE ScoreManageTable (ScoreVerSion text PRIMARY KEY ,ScoreState text,ScoreTime text)");
const QString kInsertScore =
    QStringLiteral("INSERT INTO ScoreManageTable (ScoreVerSion, ScoreState, ScoreTime) VALUES (?,?,?)");
const QString kNotAnswered = QStringLiteral("1");
const QString kRated = QStringLiteral("2");
const QString kRefused = QStringLiteral("4");

// Versions compare by their numbers ("2.10" is after "2.9"); the text decides only between
// versions whose numbers are equal ("2.1" and "2.1b").
bool versionBefore(const QString& a, const QString& b)
{
    const int byNumber = QVersionNumber::compare(QVersionNumber::fromString(a), QVersionNumber::fromString(b));
    return byNumber != 0 ? byNumber < 0 : a < b;
}

QString orEmpty(const QString& text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

}  // namespace

bool SettingsDatabaseOperate::ScoreManage_check()
{
    bool created = false;
    if (!connect() || !m_connection.ensureTable(kScoreManageTable, kCreateScoreManageTable, &created))
        return false;
    if (created)
        FMDBLog::write(QStringLiteral("创建表成功"));
    return true;
}

bool SettingsDatabaseOperate::setScoreVerSion(const QString& version, const QString& state, const QString& time)
{
    if (!ScoreManage_check())
        return false;
    return StoreStatements::selectThenWrite(
        *m_connection.db(),
        {QStringLiteral("SELECT ScoreState FROM ScoreManageTable where ScoreVerSion = ?"), {version}},
        {QStringLiteral("UPDATE ScoreManageTable SET ScoreState = ?,ScoreTime = ? WHERE ScoreVerSion = ? "),
         {state, time, version}},
        {kInsertScore, {version, state, time}});
}

bool SettingsDatabaseOperate::isHadScored()
{
    if (!ScoreManage_check())
        return false;
    return StoreStatements::hasRow(*m_connection.db(),
                                   {QStringLiteral("SELECT * FROM ScoreManageTable where ScoreState = ?"), {kRated}});
}

QString SettingsDatabaseOperate::getStateForVersion(const QString& version)
{
    if (!ScoreManage_check())
        return kNotAnswered;
    FMDatabase& db = *m_connection.db();
    std::optional<QString> state;
    StoreStatements::eachRow(db, {QStringLiteral("SELECT ScoreState FROM ScoreManageTable where ScoreVerSion = ?"), {version}},
                             [&](FMResultSet& row) {
                                 state = row.stringForColumn(QStringLiteral("ScoreState"));
                                 return false;
                             });
    if (state)
        return *state;
    // The row belongs to the version that was asked about, so the next question finds it.
    StoreStatements::run(db, {kInsertScore,
                              {version, kNotAnswered, CommonFunction::localDateTimeStringFromDate(Clock::now())}});
    return kNotAnswered;
}

QString SettingsDatabaseOperate::getDateTimeForVersion(const QString& version)
{
    if (!ScoreManage_check())
        return QStringLiteral("");
    return orEmpty(StoreStatements::firstString(
        *m_connection.db(), {QStringLiteral("SELECT ScoreTime FROM ScoreManageTable where ScoreVerSion = ?"), {version}},
        QStringLiteral("ScoreTime")));
}

QString SettingsDatabaseOperate::lastTimeInState(const QString& state)
{
    if (!ScoreManage_check())
        return QStringLiteral("");
    QString lastVersion;
    QString lastTime;
    bool any = false;
    StoreStatements::eachRow(
        *m_connection.db(),
        {QStringLiteral("SELECT ScoreVerSion,ScoreTime FROM ScoreManageTable where ScoreState = ?"), {state}},
        [&](FMResultSet& row) {
            const QString version = row.stringForColumn(QStringLiteral("ScoreVerSion"));
            if (!any || versionBefore(lastVersion, version)) {
                lastVersion = version;
                lastTime = row.stringForColumn(QStringLiteral("ScoreTime"));
                any = true;
            }
            return true;
        });
    return orEmpty(lastTime);
}

QString SettingsDatabaseOperate::getLastScoredDateTime()
{
    return lastTimeInState(kRated);
}

QString SettingsDatabaseOperate::getLastRefuseDateTime()
{
    return lastTimeInState(kRefused);
}
