#include "database/DatabaseOperate.h"

#include "Library/FMDB/FMDatabase.h"
#include "database/StoreStatements.h"

namespace {

using StoreStatements::integer;

const QString kCreateCurrentMaxNewsID =
    QStringLiteral("CREATE TABLE CurrentMaxNewsID (newsType INTEGER PRIMARY KEY, newsID INTEGER)");
const QString kCreateNewListLastUpdateTime =
    QStringLiteral("CREATE TABLE NewListLastUpdateTime (id int PRIMARY KEY,UpdateTime text)");
const QString kCreateSingleNewsLastUpdateTime =
    QStringLiteral("CREATE TABLE SingleNewsLastUpdateTime (newguid text PRIMARY KEY,UpdateTime text)");
const QString kCreateSingleForumLastUpdateTime =
    QStringLiteral("CREATE TABLE SingleForumLastUpdateTime (forumguid text PRIMARY KEY,UpdateTime text)");

// An article page's key: the guid, an underscore and the page type.
QString newsKey(const QString& newsGuid, int64_t newsType)
{
    return QStringLiteral("%1_%2").arg(newsGuid).arg(newsType);
}

}  // namespace

// ---- CurrentMaxNewsID ----

void DatabaseOperate::setCurrentMaxNewsID(int64_t newsId, int64_t newsType)
{
    if (!openTable(QStringLiteral("CurrentMaxNewsID"), kCreateCurrentMaxNewsID))
        return;
    StoreStatements::selectThenWrite(
        *m_connection.db(),
        {QStringLiteral("SELECT * FROM CurrentMaxNewsID where newsType = ?"), {integer(newsType)}},
        {QStringLiteral("UPDATE CurrentMaxNewsID SET newsID = ? WHERE newsType = ? "), {integer(newsId), integer(newsType)}},
        {QStringLiteral("INSERT INTO CurrentMaxNewsID (newsType, newsID) VALUES (?,?)"), {integer(newsType), integer(newsId)}});
}

int64_t DatabaseOperate::getCurrentMaxNewsIDforNewsType(int64_t newsType)
{
    if (!openTable(QStringLiteral("CurrentMaxNewsID"), kCreateCurrentMaxNewsID))
        return -1;
    std::optional<int64_t> id = StoreStatements::firstInteger(
        *m_connection.db(), {QStringLiteral("SELECT newsID FROM CurrentMaxNewsID where newsType = ?"), {integer(newsType)}},
        QStringLiteral("newsID"));
    // Read back whole: cutting it to 32 bits would make every item of a channel whose ids pass
    // 2^31 count as new on each refresh.
    return id ? *id : -1;
}

// ---- NewListLastUpdateTime: Last-Modified texts by file tag ----

void DatabaseOperate::setWebFileLastModifyTime(const QString& text, int64_t fileType)
{
    if (!openTable(QStringLiteral("NewListLastUpdateTime"), kCreateNewListLastUpdateTime))
        return;
    StoreStatements::insertElseUpdate(
        *m_connection.db(),
        {QStringLiteral("INSERT INTO NewListLastUpdateTime (id, UpdateTime) VALUES (?, ?)"), {integer(fileType), text}},
        {QStringLiteral("UPDATE NewListLastUpdateTime SET UpdateTime = ? WHERE id = ? "), {text, integer(fileType)}});
}

QString DatabaseOperate::getWebFileLastModifyTimeforFileType(int64_t fileType)
{
    if (!openTable(QStringLiteral("NewListLastUpdateTime"), kCreateNewListLastUpdateTime))
        return {};
    return StoreStatements::firstString(
        *m_connection.db(),
        {QStringLiteral("SELECT UpdateTime FROM NewListLastUpdateTime where id = ?"), {integer(fileType)}},
        QStringLiteral("UpdateTime"));
}

// ---- SingleNewsLastUpdateTime: article page times ----

void DatabaseOperate::setNewsLastUpdateTime(const QString& time, int64_t newsType, const QString& newsGuid)
{
    if (!openTable(QStringLiteral("SingleNewsLastUpdateTime"), kCreateSingleNewsLastUpdateTime))
        return;
    const QString key = newsKey(newsGuid, newsType);
    StoreStatements::insertElseUpdate(
        *m_connection.db(),
        {QStringLiteral("INSERT INTO SingleNewsLastUpdateTime (newguid, UpdateTime) VALUES (?, ?)"), {key, time}},
        {QStringLiteral("UPDATE SingleNewsLastUpdateTime SET UpdateTime = ? WHERE newguid = ? "), {time, key}});
}

QString DatabaseOperate::getNewsLastUpdateTimeforNewsType(int64_t newsType, const QString& newsGuid)
{
    if (!openTable(QStringLiteral("SingleNewsLastUpdateTime"), kCreateSingleNewsLastUpdateTime))
        return {};
    return StoreStatements::firstString(
        *m_connection.db(),
        {QStringLiteral("SELECT UpdateTime FROM SingleNewsLastUpdateTime where newguid = ?"), {newsKey(newsGuid, newsType)}},
        QStringLiteral("UpdateTime"));
}

bool DatabaseOperate::clearNewsLastUpdateTimeDB()
{
    return clearTable(QStringLiteral("SingleNewsLastUpdateTime"), QStringLiteral("DELETE FROM SingleNewsLastUpdateTime"), {});
}

bool DatabaseOperate::autoClearNewsLastUpdateTimeDB(const QStringList& keys)
{
    return clearTable(QStringLiteral("SingleNewsLastUpdateTime"),
                      QStringLiteral("DELETE FROM SingleNewsLastUpdateTime WHERE newguid IN ") +
                          StoreStatements::parameterList(keys.size()),
                      QVariantList(keys.cbegin(), keys.cend()), false);
}

// ---- SingleForumLastUpdateTime: community thread times ----

void DatabaseOperate::setForumLastUpdateTime(const QString& time, const QString& forumGuid)
{
    if (!openTable(QStringLiteral("SingleForumLastUpdateTime"), kCreateSingleForumLastUpdateTime))
        return;
    StoreStatements::insertElseUpdate(
        *m_connection.db(),
        {QStringLiteral("INSERT INTO SingleForumLastUpdateTime (forumguid, UpdateTime) VALUES (?, ?)"), {forumGuid, time}},
        {QStringLiteral("UPDATE SingleForumLastUpdateTime SET UpdateTime = ? WHERE forumguid = ? "), {time, forumGuid}});
}

QString DatabaseOperate::getForumLastUpdateTimeforForumGuid(const QString& forumGuid)
{
    if (!openTable(QStringLiteral("SingleForumLastUpdateTime"), kCreateSingleForumLastUpdateTime))
        return {};
    return StoreStatements::firstString(
        *m_connection.db(),
        {QStringLiteral("SELECT UpdateTime FROM SingleForumLastUpdateTime where forumguid = ?"), {forumGuid}},
        QStringLiteral("UpdateTime"));
}

bool DatabaseOperate::clearForumLastUpdateTimeDB()
{
    return clearTable(QStringLiteral("SingleForumLastUpdateTime"), QStringLiteral("DELETE FROM SingleForumLastUpdateTime"),
                      {});
}

bool DatabaseOperate::autoClearForumLastUpdateTimeDB(const QStringList& keys)
{
    return clearTable(QStringLiteral("SingleForumLastUpdateTime"),
                      QStringLiteral("DELETE FROM SingleForumLastUpdateTime WHERE forumguid IN ") +
                          StoreStatements::parameterList(keys.size()),
                      QVariantList(keys.cbegin(), keys.cend()), false);
}
