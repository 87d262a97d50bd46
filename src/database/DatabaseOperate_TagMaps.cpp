#include "database/DatabaseOperate.h"

#include "Library/FMDB/FMDatabase.h"
#include "Library/FMDB/FMResultSet.h"
#include "database/StoreStatements.h"

#include <array>

namespace {

using StoreStatements::integer;

// The built-in channels of the two file maps, in the order their rows are made.
constexpr std::array<int64_t, 16> kFileMapChannels = {101, 102, 109, 103, 104, 105, 151, 152,
                                                      106, 107, 108, 111, 112, 113, 110, 114};
// The built-in channels of the newest-id map.
constexpr std::array<int64_t, 16> kIdMapChannels = {101, 102, 103, 104, 105, 151, 152, 106,
                                                    107, 108, 109, 110, 111, 112, 113, 114};
// Non-channel rows of the download-time map: the favourites file and the remote configuration.
constexpr std::array<int64_t, 2> kFileTagsWithoutChannel = {100, 201};

constexpr int64_t kListFile = 1;
constexpr int64_t kSlideFile = 2;

// The tag of a channel's slide feed.
int64_t slideTag(int64_t listId)
{
    return listId * 10;
}

const QString kInsertUpdateTimeRow =
    QStringLiteral("INSERT INTO NewWebFileLastUpdateTime (fileTag, newsListId) VALUES (?, ?)");
const QString kInsertModifyTimeRow =
    QStringLiteral("INSERT INTO NewWebFileLastModifyTime (fileTag, newsListId, newsListType) VALUES (?, ?, ?)");
const QString kInsertMaxNewsIdRow = QStringLiteral("INSERT INTO NewListMaxNewsID (idTag, newsListId) VALUES (?, ?)");
const QString kDeleteUpdateTimeRows = QStringLiteral("DELETE FROM NewWebFileLastUpdateTime WHERE newsListId = ?");
const QString kDeleteModifyTimeRows = QStringLiteral("DELETE FROM NewWebFileLastModifyTime WHERE newsListId = ?");
const QString kDeleteMaxNewsIdRows = QStringLiteral("DELETE FROM NewListMaxNewsID WHERE newsListId = ?");

// A channel's two rows of the modify-time map: its list file and its slide feed.
QList<BoundStatement> modifyTimeRows(int64_t listId)
{
    return {{kInsertModifyTimeRow, {integer(listId), integer(listId), integer(kListFile)}},
            {kInsertModifyTimeRow, {integer(slideTag(listId)), integer(listId), integer(kSlideFile)}}};
}

// The tag of the last row the lookup returns; 0 when none does.
int64_t lastTag(FMDatabase& db, const BoundStatement& lookup, const QString& column)
{
    int64_t tag = 0;
    StoreStatements::eachRow(db, lookup, [&](FMResultSet& row) {
        tag = row.longLongIntForColumn(column);
        return true;
    });
    return tag;
}

}  // namespace

bool DatabaseOperate::checkMap(const QString& oldTable, const QString& table, const QString& createStatement,
                               const QList<BoundStatement>& defaultRows)
{
    if (!m_connection.connect())
        return false;
    // The table of the earlier layout goes whenever it is found; its rows are not carried over.
    if (m_connection.tableState(oldTable).value_or(false))
        StoreStatements::run(*m_connection.db(), {QStringLiteral("DROP TABLE ") + oldTable, {}});
    return m_connection.ensureTable(table, createStatement, nullptr, defaultRows);
}

// ---- NewWebFileLastUpdateTime: channel -> LastUpdateTime tag ----

bool DatabaseOperate::WebFileLastUpdateTime_check()
{
    return checkMap(QStringLiteral("WebFileLastUpdateTime"), QStringLiteral("NewWebFileLastUpdateTime"),
                    QStringLiteral("CREATE TABLE NewWebFileLastUpdateTime (fileTag INTEGER PRIMARY KEY, newsListId INTEGER)"),
                    [] {
                        QList<BoundStatement> rows;
                        for (const int64_t listId : kFileMapChannels)
                            rows.append({kInsertUpdateTimeRow, {integer(listId), integer(listId)}});
                        for (const int64_t tag : kFileTagsWithoutChannel)
                            rows.append({kInsertUpdateTimeRow, {integer(tag), integer(0)}});
                        return rows;
                    }());
}

bool DatabaseOperate::WebFileLastUpdateTime_insert(int64_t listId)
{
    if (!WebFileLastUpdateTime_check())
        return false;
    return StoreStatements::deleteThenInsert(
        *m_connection.db(),
        {kDeleteUpdateTimeRows, {integer(listId)}},
        {kInsertUpdateTimeRow, {integer(listId), integer(listId)}});
}

bool DatabaseOperate::WebFileLastUpdateTime_delete(int64_t listId)
{
    if (!WebFileLastUpdateTime_check())
        return false;
    return StoreStatements::run(*m_connection.db(), {kDeleteUpdateTimeRows, {integer(listId)}});
}

int64_t DatabaseOperate::WebFileLastUpdateTime_getWebFileLastUpdateTimeTypeByListType(int64_t listId)
{
    if (!WebFileLastUpdateTime_check())
        return 0;
    return lastTag(*m_connection.db(),
                   {QStringLiteral("SELECT fileTag FROM NewWebFileLastUpdateTime where newsListId = ?"), {integer(listId)}},
                   QStringLiteral("fileTag"));
}

// ---- NewWebFileLastModifyTime: channel and file kind -> NewListLastUpdateTime tag ----

bool DatabaseOperate::WebFileLastModifyTime_check()
{
    return checkMap(QStringLiteral("WebFileLastModifyTime"), QStringLiteral("NewWebFileLastModifyTime"),
                    QStringLiteral("CREATE TABLE NewWebFileLastModifyTime (fileTag INTEGER PRIMARY KEY, newsListId "
                                   "INTEGER, newsListType INTEGER)"),
                    [] {
                        QList<BoundStatement> rows;
                        for (const int64_t listId : kFileMapChannels)
                            rows.append(modifyTimeRows(listId));
                        return rows;
                    }());
}

bool DatabaseOperate::WebFileLastModifyTime_insert(int64_t listId)
{
    if (!WebFileLastModifyTime_check())
        return false;
    // The results of the two inserts are not looked at.
    StoreStatements::run(*m_connection.db(), {kDeleteModifyTimeRows, {integer(listId)}});
    for (const BoundStatement& row : modifyTimeRows(listId))
        StoreStatements::run(*m_connection.db(), row);
    return true;
}

bool DatabaseOperate::WebFileLastModifyTime_delete(int64_t listId)
{
    if (!WebFileLastModifyTime_check())
        return false;
    return StoreStatements::run(*m_connection.db(), {kDeleteModifyTimeRows, {integer(listId)}});
}

int64_t DatabaseOperate::WebFileLastModifyTime_getWebFileLastModifyTimeTypeByListType(int64_t listId, bool isSlide)
{
    if (!WebFileLastModifyTime_check())
        return 0;
    return lastTag(*m_connection.db(),
                   {QStringLiteral("SELECT fileTag FROM NewWebFileLastModifyTime where newsListId = ? and newsListType = ?"),
                    {integer(listId), integer(isSlide ? kSlideFile : kListFile)}},
                   QStringLiteral("fileTag"));
}

// ---- NewListMaxNewsID: channel -> CurrentMaxNewsID tag ----

bool DatabaseOperate::ListMaxNewsID_check()
{
    return checkMap(QStringLiteral("ListMaxNewsID"), QStringLiteral("NewListMaxNewsID"),
                    QStringLiteral("CREATE TABLE NewListMaxNewsID (idTag INTEGER PRIMARY KEY, newsListId INTEGER)"),
                    [] {
                        QList<BoundStatement> rows;
                        for (const int64_t listId : kIdMapChannels)
                            rows.append({kInsertMaxNewsIdRow, {integer(listId), integer(listId)}});
                        return rows;
                    }());
}

bool DatabaseOperate::ListMaxNewsID_insert(int64_t listId)
{
    if (!ListMaxNewsID_check())
        return false;
    StoreStatements::deleteThenInsert(
        *m_connection.db(), {kDeleteMaxNewsIdRows, {integer(listId)}},
        {kInsertMaxNewsIdRow, {integer(listId), integer(listId)}});
    return true;
}

bool DatabaseOperate::ListMaxNewsID_delete(int64_t listId)
{
    if (!ListMaxNewsID_check())
        return false;
    return StoreStatements::run(*m_connection.db(),
                                {kDeleteMaxNewsIdRows, {integer(listId)}});
}

int64_t DatabaseOperate::ListMaxNewsID_getListMaxNewsIDByListType(int64_t listId)
{
    if (!ListMaxNewsID_check())
        return 0;
    return lastTag(*m_connection.db(),
                   {QStringLiteral("SELECT idTag FROM NewListMaxNewsID where newsListId = ?"), {integer(listId)}},
                   QStringLiteral("idTag"));
}
