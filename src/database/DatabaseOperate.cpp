#include "database/DatabaseOperate.h"

#include "Library/FMDB/FMDatabase.h"
#include "Library/FMDB/FMResultSet.h"
#include "database/StoreLock.h"
#include "database/StoreStatements.h"

namespace {

using StoreStatements::integer;

StoreLock& storeLock()
{
    static StoreLock lock("DatabaseOperate");
    return lock;
}

const QString kLastUpdateTime = QStringLiteral("LastUpdateTime");
const QString kCreateLastUpdateTime = QStringLiteral("CREATE TABLE LastUpdateTime (id int PRIMARY KEY,UpdateTime text)");

}  // namespace

DatabaseOperate* DatabaseOperate::instance()
{
    // Made on the first call, under the lock; it lives until the process ends.
    static DatabaseOperate instance;
    return &instance;
}

DatabaseOperate* DatabaseOperate::getInstance()
{
    return storeLock().acquire() ? instance() : nullptr;
}

void DatabaseOperate::revertInstance()
{
    storeLock().release();
}

DatabaseOperate* DatabaseOperate::enterScope()
{
    return storeLock().acquireScope() ? instance() : nullptr;
}

void DatabaseOperate::leaveScope()
{
    storeLock().releaseScope();
}

std::shared_ptr<FMDatabase> DatabaseOperate::loadDB(const QString& fileName)
{
    return m_connection.loadDB(fileName);
}

void DatabaseOperate::CheckConnection()
{
    const std::shared_ptr<FMDatabase>& db = m_connection.db();
    if (db && !db->goodConnection())
        m_connection.drop();
}

void DatabaseOperate::closeDB()
{
    m_connection.drop();
}

bool DatabaseOperate::openTable(const QString& table, const QString& createStatement)
{
    return m_connection.connect() && m_connection.ensureTable(table, createStatement);
}

bool DatabaseOperate::clearTable(const QString& table, const QString& deleteStatement, const QVariantList& arguments,
                                 bool reusable)
{
    if (!m_connection.connect())
        return false;
    const std::optional<bool> exists = m_connection.tableState(table);
    if (!exists) {
        m_connection.drop();  // the next operation opens the file again
        return false;
    }
    if (!*exists)
        return true;
    return StoreStatements::run(*m_connection.db(), {deleteStatement, arguments, reusable});
}

// ---- LastUpdateTime ----

bool DatabaseOperate::setLastUpdateTime(const QString& time, int64_t tableIndex)
{
    if (!openTable(kLastUpdateTime, kCreateLastUpdateTime))
        return false;
    return StoreStatements::updateConfirmInsert(
        *m_connection.db(),
        {QStringLiteral("UPDATE LastUpdateTime SET UpdateTime = ? WHERE id = ? "), {time, integer(tableIndex)}},
        {QStringLiteral("INSERT INTO LastUpdateTime (id, UpdateTime) VALUES (?, ?)"), {integer(tableIndex), time}},
        [&] { return updateSuccess(time, tableIndex); });
}

QString DatabaseOperate::getLastUpdateTime(int64_t tableIndex)
{
    if (!openTable(kLastUpdateTime, kCreateLastUpdateTime))
        return {};
    return StoreStatements::firstString(
        *m_connection.db(),
        {QStringLiteral("SELECT UpdateTime FROM LastUpdateTime where id = ?"), {integer(tableIndex)}},
        QStringLiteral("UpdateTime"));
}

bool DatabaseOperate::updateSuccess(const QString& time, int64_t tableIndex)
{
    const std::shared_ptr<FMDatabase>& db = m_connection.db();
    if (!db)
        return false;
    bool found = false;
    StoreStatements::eachRow(*db, {QStringLiteral("SELECT id FROM LastUpdateTime where UpdateTime = ?"), {time}},
                             [&](FMResultSet& row) {
                                 found = row.longLongIntForColumn(QStringLiteral("id")) == tableIndex;
                                 return !found;
                             });
    return found;
}
