#include "database/DatabaseOperate.h"

#include "Library/FMDB/FMDatabase.h"
#include "Library/FMDB/FMResultSet.h"
#include "database/NumericKey.h"
#include "database/StoreStatements.h"
#include "foundation/CommonFunction.h"
#include "platform/Clock.h"

namespace {

using StoreStatements::integer;
using StoreStatements::run;

const QString kUserReadNews = QStringLiteral("UserReadNews");
const QString kCreateUserReadNews = QStringLiteral(
    "CREATE TABLE UserReadNews (newid INTEGER PRIMARY KEY AUTOINCREMENT,guid text,userID text ,localDate text,BJZoneDate "
    "text)");
const QString kADClickDate = QStringLiteral("ADClickDate");
const QString kCreateADClickDate =
    QStringLiteral("CREATE TABLE ADClickDate (adurl text PRIMARY KEY  ,localDate text,BJZoneDate text)");

const QString kCommentManageMaxId = QStringLiteral("CommentManageMaxId");
const QString kForumManageMaxId = QStringLiteral("ForumManageMaxId");
const QString kZhiChiFanDui = QStringLiteral("ZhiChiFanDui");
const QString kZhiChiFanDuiVund = QStringLiteral("ZhiChiFanDuiVund");

QVariant flagValue(bool flag)
{
    return integer(flag ? 1 : 0);
}

// The day of a moment, "yyyy-MM-dd", in UTC+8 or in the local zone.
QString dayOf(const QDateTime& moment, bool beijing)
{
    return beijing ? CommonFunction::BJZoneDateStringFromDate(moment) : CommonFunction::LocalDateStringFromDate(moment);
}

// Writes are tried once more when they fail.
bool runTwice(FMDatabase& db, const BoundStatement& write)
{
    return run(db, write) || run(db, write);
}

// select-then-write with the second try of each write.
bool selectThenWriteTwice(FMDatabase& db, const BoundStatement& select, const BoundStatement& update,
                          const BoundStatement& insert)
{
    return StoreStatements::hasRow(db, select) ? runTwice(db, update) : runTwice(db, insert);
}

// ---- CommentManageMaxId and ForumManageMaxId: the same rules, each in its own table ----

QString createMaxIdTable(const QString& table)
{
    return QStringLiteral("CREATE TABLE %1 (userAccount text PRIMARY KEY ,MaxId INTEGER,bRemind BOOLEAN)").arg(table);
}

BoundStatement selectAccount(const QString& table, const QString& column, const QString& account)
{
    return {QStringLiteral("select %1 from %2 WHERE upper(userAccount) = upper(?)").arg(column, table), {account}};
}

BoundStatement insertAccount(const QString& table, const QString& account, int maxId, bool remind)
{
    return {QStringLiteral("INSERT INTO %1 (userAccount,MaxId,bRemind) VALUES (?,?,?)").arg(table),
            {account, integer(maxId), flagValue(remind)}};
}

bool setMaxId(FMDatabase& db, const QString& table, int maxId, const QString& account)
{
    // A new reply id also clears the pending reminder.
    return selectThenWriteTwice(
        db, selectAccount(table, QStringLiteral("MaxId"), account),
        {QStringLiteral("UPDATE %1 SET MaxId = ?,bRemind = 0 WHERE upper(userAccount) = upper(?) ").arg(table),
         {integer(maxId), account}},
        insertAccount(table, account, maxId, false));
}

bool setRemind(FMDatabase& db, const QString& table, bool remind, const QString& account)
{
    return selectThenWriteTwice(
        db, selectAccount(table, QStringLiteral("bRemind"), account),
        {QStringLiteral("UPDATE %1 SET bRemind = ? WHERE upper(userAccount) = upper(?) ").arg(table),
         {flagValue(remind), account}},
        insertAccount(table, account, 0, remind));
}

int getMaxId(FMDatabase& db, const QString& table, const QString& account)
{
    const std::optional<int64_t> maxId =
        StoreStatements::firstInteger(db, selectAccount(table, QStringLiteral("MaxId"), account), QStringLiteral("MaxId"));
    return int(maxId.value_or(0));
}

bool hasRemind(FMDatabase& db, const QString& table, const QString& account)
{
    return StoreStatements::firstInteger(db, selectAccount(table, QStringLiteral("bRemind"), account),
                                         QStringLiteral("bRemind"))
               .value_or(0) != 0;
}

// ---- ZhiChiFanDui and ZhiChiFanDuiVund ----

QString createVoteTable(const QString& table)
{
    return QStringLiteral("CREATE TABLE %1 (Commentid text PRIMARY KEY, DoType INTEGER)").arg(table);
}

int64_t getVote(FMDatabase& db, const QString& table, const QString& commentId)
{
    // The id is compared as a bare number would be, as it always has been.
    const std::optional<QVariant> key = numericKey(commentId);
    if (!key)
        return 0;
    return StoreStatements::firstInteger(db, {QStringLiteral("select DoType from %1 where Commentid = ?").arg(table), {*key}},
                                         QStringLiteral("DoType"))
        .value_or(0);
}

BoundStatement deleteVote(const QString& table, const QString& commentId)
{
    return {QStringLiteral("delete from %1 where Commentid = ?").arg(table), {commentId}};
}

bool insertVote(FMDatabase& db, const QString& table, const QString& commentId, int64_t type)
{
    // A new vote takes the place of the old one.
    return StoreStatements::deleteThenInsert(
        db, deleteVote(table, commentId),
        {QStringLiteral("insert into %1 (Commentid,DoType) values (?,?)").arg(table), {commentId, integer(type)}});
}

BoundStatement deleteSearch(const SearchInfo& info)
{
    return {QStringLiteral("delete from SearchHistory where SearchKey = ? and SearchType = ?"),
            {info.searchKey, integer(info.searchType)}};
}

BoundStatement selectScore(const QString& newsId, const QString& userId)
{
    return {QStringLiteral("select Score from NewsScore WHERE upper(UserID) = upper(?) And upper(NewsId) = upper(?)"),
            {userId, newsId}};
}

}  // namespace

// ---- UserReadNews ----

int64_t DatabaseOperate::addReadedNews(const QString& guid, int64_t userID, const QDateTime& readedDate, bool BJtimeZone)
{
    if (!openTable(kUserReadNews, kCreateUserReadNews))
        return 0;
    FMDatabase& db = *m_connection.db();
    const QString user = QString::number(userID);
    // An article counts once per user, whatever the day.
    if (StoreStatements::hasRow(db, {QStringLiteral("SELECT * FROM UserReadNews where guid = ? and userID = ?"), {guid, user}}))
        return 0;
    const QString localDay = dayOf(readedDate, false);
    const QString beijingDay = dayOf(readedDate, true);
    if (!run(db, {QStringLiteral("INSERT INTO UserReadNews (guid, userID, localDate, BJZoneDate) VALUES (?,?,?,?)"),
                  {guid, user, localDay, beijingDay}}))
        return 0;
    const BoundStatement sameDay =
        BJtimeZone ? BoundStatement{QStringLiteral("SELECT * FROM UserReadNews where BJZoneDate = ? and userID = ?"),
                                    {beijingDay, user}}
                   : BoundStatement{QStringLiteral("SELECT * FROM UserReadNews where localDate = ? and userID = ?"),
                                    {localDay, user}};
    int64_t count = 0;
    StoreStatements::eachRow(db, sameDay, [&](FMResultSet&) {
        ++count;
        return true;
    });
    return count;
}

bool DatabaseOperate::clearReadedNewsDB()
{
    return clearTable(kUserReadNews, QStringLiteral("DELETE FROM UserReadNews"), {});
}

// ---- ADClickDate ----

bool DatabaseOperate::addADUrl(const QString& url, const QDateTime& clickDate)
{
    if (!openTable(kADClickDate, kCreateADClickDate))
        return false;
    const QString key = url.toLower();
    const QString localDay = dayOf(clickDate, false);
    const QString beijingDay = dayOf(clickDate, true);
    return StoreStatements::selectThenWrite(
        *m_connection.db(), {QStringLiteral("SELECT * FROM ADClickDate where adurl = ?"), {key}},
        {QStringLiteral("UPDATE ADClickDate SET localDate = ?,BJZoneDate = ? WHERE adurl = ? "), {localDay, beijingDay, key}},
        {QStringLiteral("INSERT INTO ADClickDate (adurl, localDate, BJZoneDate) VALUES (?,?,?)"), {key, localDay, beijingDay}});
}

bool DatabaseOperate::IsClickToday(const QString& url, bool BJZone)
{
    if (!openTable(kADClickDate, kCreateADClickDate))
        return false;
    const QString sql = BJZone ? QStringLiteral("SELECT * FROM ADClickDate where adurl = ? and BJZoneDate = ?")
                               : QStringLiteral("SELECT * FROM ADClickDate where adurl = ? and localDate = ?");
    return StoreStatements::hasRow(*m_connection.db(), {sql, {url.toLower(), dayOf(Clock::now(), BJZone)}});
}

QStringList DatabaseOperate::GetHaveClickTodayBJZone(bool BJZone)
{
    QStringList urls;
    if (!openTable(kADClickDate, kCreateADClickDate))
        return urls;
    const QString sql = BJZone ? QStringLiteral("SELECT adurl FROM ADClickDate where BJZoneDate = ?")
                               : QStringLiteral("SELECT adurl FROM ADClickDate where localDate = ?");
    StoreStatements::eachRow(*m_connection.db(), {sql, {dayOf(Clock::now(), BJZone)}}, [&](FMResultSet& row) {
        const QString url = row.stringForColumn(QStringLiteral("adurl"));
        if (!url.isNull())
            urls.append(url);
        return true;
    });
    return urls;
}

// ---- CommentManageMaxId ----

bool DatabaseOperate::CommentManageMaxId_check()
{
    return openTable(kCommentManageMaxId, createMaxIdTable(kCommentManageMaxId));
}

bool DatabaseOperate::CommentManageMaxId_setMaxId(int maxId, const QString& userAccount)
{
    return CommentManageMaxId_check() && setMaxId(*m_connection.db(), kCommentManageMaxId, maxId, userAccount);
}

bool DatabaseOperate::CommentManageMaxId_setRemind(bool remind, const QString& userAccount)
{
    return CommentManageMaxId_check() && setRemind(*m_connection.db(), kCommentManageMaxId, remind, userAccount);
}

int DatabaseOperate::CommentManageMaxId_getMaxId(const QString& userAccount)
{
    return CommentManageMaxId_check() ? getMaxId(*m_connection.db(), kCommentManageMaxId, userAccount) : 0;
}

bool DatabaseOperate::CommentManageMaxId_hasRemind(const QString& userAccount)
{
    return CommentManageMaxId_check() && hasRemind(*m_connection.db(), kCommentManageMaxId, userAccount);
}

// ---- ForumManageMaxId ----

bool DatabaseOperate::ForumManageMaxId_check()
{
    return openTable(kForumManageMaxId, createMaxIdTable(kForumManageMaxId));
}

bool DatabaseOperate::ForumManageMaxId_setMaxId(int maxId, const QString& userAccount)
{
    return ForumManageMaxId_check() && setMaxId(*m_connection.db(), kForumManageMaxId, maxId, userAccount);
}

bool DatabaseOperate::ForumManageMaxId_setRemind(bool remind, const QString& userAccount)
{
    return ForumManageMaxId_check() && setRemind(*m_connection.db(), kForumManageMaxId, remind, userAccount);
}

int DatabaseOperate::ForumManageMaxId_getMaxId(const QString& userAccount)
{
    return ForumManageMaxId_check() ? getMaxId(*m_connection.db(), kForumManageMaxId, userAccount) : 0;
}

bool DatabaseOperate::ForumManageMaxId_hasRemind(const QString& userAccount)
{
    return ForumManageMaxId_check() && hasRemind(*m_connection.db(), kForumManageMaxId, userAccount);
}

// ---- AppManage and AppManageTX ----

bool DatabaseOperate::AppManage_check()
{
    return openTable(QStringLiteral("AppManage"),
                     QStringLiteral("CREATE TABLE AppManage (Appid INTEGER PRIMARY KEY AUTOINCREMENT, AppName text, AppLink "
                                    "text, ImageLine text, AppDescribe text, AppType INTEGER, yl1 text, yl2 text)"));
}

bool DatabaseOperate::AppManage_setData(const QList<NSAppInfoPtr>& apps, int type)
{
    if (!AppManage_check())
        return false;
    FMDatabase& db = *m_connection.db();
    if (!run(db, {QStringLiteral("DELETE FROM AppManage WHERE AppType = ?"), {integer(type)}}))
        return false;
    QStringList groups;
    QVariantList values;
    for (const NSAppInfoPtr& app : apps) {
        if (!app)
            continue;
        groups.append(QStringLiteral("(?,?,?,?,?,?)"));
        values << app->appName << app->appUrl << app->appImageUrl << app->appDescribe << integer(type) << app->appOpenUrl;
    }
    if (groups.isEmpty())
        return true;
    return runTwice(db, {QStringLiteral("INSERT INTO AppManage (AppName,AppLink,ImageLine,AppDescribe,AppType,yl1) VALUES") +
                             groups.join(QLatin1Char(',')),
                         values});
}

QList<NSAppInfoPtr> DatabaseOperate::AppManage_getData(int type)
{
    QList<NSAppInfoPtr> apps;
    if (!AppManage_check())
        return apps;
    StoreStatements::eachRow(
        *m_connection.db(),
        {QStringLiteral("SELECT AppName, AppLink, ImageLine, AppDescribe, yl1 FROM AppManage where AppType = ?"), {integer(type)}},
        [&](FMResultSet& row) {
            auto app = std::make_shared<NSAppInfo>();
            app->appName = row.stringForColumn(QStringLiteral("AppName"));
            app->appUrl = row.stringForColumn(QStringLiteral("AppLink"));
            app->appImageUrl = row.stringForColumn(QStringLiteral("ImageLine"));
            app->appDescribe = row.stringForColumn(QStringLiteral("AppDescribe"));
            app->appOpenUrl = row.stringForColumn(QStringLiteral("yl1"));
            apps.append(app);
            return true;
        });
    return apps;
}

bool DatabaseOperate::AppManage_hasNewData(int type, const QList<NSAppInfoPtr>& apps)
{
    if (!AppManage_check())
        return false;
    QVariantList names;
    for (const NSAppInfoPtr& app : apps) {
        if (app)
            names.append(app->appName);
    }
    if (names.isEmpty())
        return false;
    const std::optional<int64_t> stored = StoreStatements::firstInteger(
        *m_connection.db(),
        {QStringLiteral("SELECT count(AppName) FROM AppManage where AppName IN ") +
             StoreStatements::parameterList(names.size()) + QStringLiteral(" and AppType = ?"),
         names + QVariantList{integer(type)}, false},
        QStringLiteral("count(AppName)"));
    return stored.value_or(0) < names.size();
}

bool DatabaseOperate::AppManageTX_check()
{
    return openTable(QStringLiteral("AppManageTX"),
                     QStringLiteral("CREATE TABLE AppManageTX (AppType INTEGER PRIMARY KEY, AppRemind BOOLEAN)"));
}

bool DatabaseOperate::AppManageTX_setRemind(bool remind, int type)
{
    if (!AppManageTX_check())
        return false;
    return selectThenWriteTwice(
        *m_connection.db(), {QStringLiteral("select AppRemind from AppManageTX WHERE AppType = ?"), {integer(type)}},
        {QStringLiteral("UPDATE AppManageTX SET AppRemind = ? WHERE AppType = ?"), {flagValue(remind), integer(type)}},
        {QStringLiteral("INSERT INTO AppManageTX (AppType,AppRemind) VALUES (?,?)"), {integer(type), flagValue(remind)}});
}

bool DatabaseOperate::AppManageTX_hasRemind(int type)
{
    if (!AppManageTX_check())
        return false;
    return StoreStatements::firstInteger(*m_connection.db(),
                                         {QStringLiteral("select AppRemind from AppManageTX WHERE AppType = ?"), {integer(type)}},
                                         QStringLiteral("AppRemind"))
               .value_or(0) != 0;
}

// ---- SearchHistory ----

bool DatabaseOperate::SearchHistory_check()
{
    return openTable(QStringLiteral("SearchHistory"),
                     QStringLiteral("CREATE TABLE SearchHistory (Searchid INTEGER PRIMARY KEY AUTOINCREMENT, SearchKey text, "
                                    "SearchType INTEGER)"));
}

std::optional<QList<SearchInfoPtr>> DatabaseOperate::SearchHistory_get(int64_t searchType)
{
    if (!SearchHistory_check())
        return std::nullopt;
    QList<SearchInfoPtr> history;
    StoreStatements::eachRow(
        *m_connection.db(),
        {QStringLiteral("select SearchKey from SearchHistory where SearchType = ? order by Searchid desc"), {integer(searchType)}},
        [&](FMResultSet& row) {
            auto info = std::make_shared<SearchInfo>();
            info->searchKey = row.stringForColumn(QStringLiteral("SearchKey"));
            info->searchType = searchType;
            history.append(info);
            return true;
        });
    return history;
}

bool DatabaseOperate::SearchHistory_insert(const SearchInfo& info)
{
    // A repeated search moves to the front.
    if (!SearchHistory_check())
        return false;
    return StoreStatements::deleteThenInsert(
        *m_connection.db(), deleteSearch(info),
        {QStringLiteral("insert into SearchHistory (SearchKey,SearchType) values (?,?)"),
         {info.searchKey, integer(info.searchType)}});
}

bool DatabaseOperate::SearchHistory_delete(const SearchInfo& info)
{
    return SearchHistory_check() && run(*m_connection.db(), deleteSearch(info));
}

bool DatabaseOperate::SearchHistory_clear(int64_t searchType)
{
    return SearchHistory_check() &&
           run(*m_connection.db(), {QStringLiteral("delete from SearchHistory where SearchType = ?"), {integer(searchType)}});
}

// ---- ZhiChiFanDui ----

bool DatabaseOperate::ZhiChiFanDui_check()
{
    return openTable(kZhiChiFanDui, createVoteTable(kZhiChiFanDui));
}

int64_t DatabaseOperate::ZhiChiFanDui_get(const QString& commentId)
{
    return ZhiChiFanDui_check() ? getVote(*m_connection.db(), kZhiChiFanDui, commentId) : 0;
}

bool DatabaseOperate::ZhiChiFanDui_insert(const QString& commentId, int64_t type)
{
    return ZhiChiFanDui_check() && insertVote(*m_connection.db(), kZhiChiFanDui, commentId, type);
}

bool DatabaseOperate::ZhiChiFanDui_delete(const QString& commentId)
{
    return ZhiChiFanDui_check() && run(*m_connection.db(), deleteVote(kZhiChiFanDui, commentId));
}

// ---- ZhiChiFanDuiVund ----

bool DatabaseOperate::ZhiChiFanDuiVund_check()
{
    return openTable(kZhiChiFanDuiVund, createVoteTable(kZhiChiFanDuiVund));
}

int64_t DatabaseOperate::ZhiChiFanDuiVund_get(const QString& commentId)
{
    return ZhiChiFanDuiVund_check() ? getVote(*m_connection.db(), kZhiChiFanDuiVund, commentId) : 0;
}

bool DatabaseOperate::ZhiChiFanDuiVund_insert(const QString& commentId, int64_t type)
{
    return ZhiChiFanDuiVund_check() && insertVote(*m_connection.db(), kZhiChiFanDuiVund, commentId, type);
}

bool DatabaseOperate::ZhiChiFanDuiVund_delete(const QString& commentId)
{
    return ZhiChiFanDuiVund_check() && run(*m_connection.db(), deleteVote(kZhiChiFanDuiVund, commentId));
}

// ---- NewsScore ----

bool DatabaseOperate::NewsScore_check()
{
    return openTable(QStringLiteral("NewsScore"),
                     QStringLiteral("CREATE TABLE NewsScore (NewsScoreId INTEGER PRIMARY KEY AUTOINCREMENT, NewsId text, "
                                    "UserID text, Score text)"));
}

bool DatabaseOperate::NewsScore_setScore(const QString& newsId, const QString& userId, const QString& score)
{
    if (!NewsScore_check())
        return false;
    return selectThenWriteTwice(
        *m_connection.db(), selectScore(newsId, userId),
        {QStringLiteral("UPDATE NewsScore SET Score = ? WHERE upper(UserID) = upper(?) And upper(NewsId) = upper(?)"),
         {score, userId, newsId}},
        {QStringLiteral("INSERT INTO NewsScore (UserID,NewsId,Score) VALUES (?,?,?)"), {userId, newsId, score}});
}

QString DatabaseOperate::NewsScore_getScore(const QString& newsId, const QString& userId)
{
    if (!NewsScore_check())
        return QStringLiteral("-1");
    std::optional<QString> score;
    StoreStatements::eachRow(*m_connection.db(), selectScore(newsId, userId), [&](FMResultSet& row) {
        score = row.stringForColumn(QStringLiteral("Score"));
        return false;
    });
    return score.value_or(QStringLiteral("-1"));
}
