#include "database/StoreConnection.h"

#include "Library/FMDB/FMDBLog.h"
#include "Library/FMDB/FMDatabase.h"
#include "Library/FMDB/FMResultSet.h"
#include "database/StoreStatements.h"
#include "foundation/CommonFunction.h"
#include "platform/StorageRoot.h"

#include <QDir>
#include <QFile>
#include <QUrl>

#include <algorithm>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::atomic<int64_t> gBusyTimeLimitMs{StoreConnection::kDefaultBusyTimeLimit.count()};

int64_t steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// SQLite would create the file with the process's umask; the database holds the user's
// accounts, so it is made private before SQLite first touches it. SQLite gives its journal
// files the database file's mode.
void createPrivateFile(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
}

}  // namespace

StoreConnection::~StoreConnection()
{
    drop();
}

std::chrono::milliseconds StoreConnection::busyTimeLimit()
{
    return std::chrono::milliseconds(gBusyTimeLimitMs.load());
}

void StoreConnection::setBusyTimeLimit(std::chrono::milliseconds limit)
{
    gBusyTimeLimitMs.store(std::max<int64_t>(0, limit.count()));
}

std::shared_ptr<FMDatabase> StoreConnection::loadDB(const QString& fileName)
{
    const QString path = QDir(StorageRoot::documentsPath()).filePath(fileName);
    drop();
    m_db = FMDatabase::databaseWithPath(path);
    createPrivateFile(path);
    if (!m_db->open())
        return nullptr;
    // The access layer retries a busy statement on its own; our handler does the waiting, so it
    // is told to give up as soon as the handler has (at its third busy result in a row). Set before
    // the switch to the log below, which needs the file to itself: a connection reading an old
    // file at that moment would otherwise fail it at once and leave the old journal for the run.
    m_db->setBusyRetryTimeout(1);
    sqlite3_busy_handler(m_db->sqliteHandle(), &StoreConnection::busyHandler, &m_busyWait);
    // Write-ahead logging with synchronous=NORMAL: a commit appends to the log without waiting for
    // the disk. A crash of the program loses nothing committed; a lost power leaves the file
    // consistent, at a committed state, but the commits made since the log was last flushed (at
    // its last checkpoint) may be gone. With the rollback journal every small write of start-up
    // (a stamp, a default row) waited for three flushes on the main thread.
    sqlite3_exec(m_db->sqliteHandle(), "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr, nullptr, nullptr);
    // Every operation runs a handful of fixed statement texts, many of them once per row of a
    // list: each is prepared once per connection.
    m_db->setShouldCacheStatements(true);
    CommonFunction::addSkipBackupAttributeToItemAtURL(QUrl::fromLocalFile(path));
    return m_db;
}

bool StoreConnection::connect()
{
    startBusyBudget();
    if (!m_db)
        loadDB(QString::fromLatin1(kDatabaseFileName));
    return m_db != nullptr;
}

bool StoreConnection::ensureTable(const QString& table, const QString& createStatement, bool* created,
                                  const QList<BoundStatement>& defaultRows)
{
    if (created)
        *created = false;
    const std::optional<bool> exists = tableState(table);
    if (exists.value_or(false)) {
        remember(table);
        return true;
    }
    const auto make = [&] {
        if (!StoreStatements::run(*m_db, {createStatement, {}}))
            return false;
        for (const BoundStatement& row : defaultRows) {
            if (!StoreStatements::run(*m_db, row))
                return false;
        }
        return true;
    };
    // Without default rows the CREATE is a transaction of its own. Inside an open transaction a
    // failure closes the connection below, which takes that whole transaction back.
    const bool own = !defaultRows.isEmpty() && !m_db->inTransaction();
    if (!exists || !(own ? StoreStatements::inTransaction(*m_db, make) : make())) {
        drop();
        return false;
    }
    remember(table);
    if (created)
        *created = true;
    return true;
}

bool StoreConnection::readTable(const QString& table, const std::function<bool()>& ensure,
                                const std::function<bool(FMDatabase& db)>& read)
{
    if (m_db && m_knownTables.contains(table, Qt::CaseInsensitive) && read(*m_db) && !m_db->hadError())
        return true;
    m_knownTables.removeIf([&](const QString& known) { return known.compare(table, Qt::CaseInsensitive) == 0; });
    if (!ensure())
        return false;
    read(*m_db);
    return true;
}

void StoreConnection::remember(const QString& table)
{
    if (!m_knownTables.contains(table, Qt::CaseInsensitive))
        m_knownTables.append(table);
}

std::optional<bool> StoreConnection::tableState(const QString& table)
{
    if (!m_db || !m_db->goodConnection())
        return std::nullopt;
    const std::shared_ptr<FMResultSet> rs = m_db->executeQuery(
        QStringLiteral("select [sql] from sqlite_master where [type] = 'table' and lower(name) = ?"), {table.toLower()});
    if (!rs)
        return std::nullopt;
    const bool found = rs->next();
    rs->close();
    if (!found && m_db->hadError())
        return std::nullopt;
    return found;
}

void StoreConnection::drop()
{
    m_knownTables.clear();
    if (!m_db)
        return;
    m_db->close();
    m_db.reset();
}

void StoreConnection::startBusyBudget()
{
    m_busyWait.deadlineMs.store(steadyMs() + busyTimeLimit().count());
    m_busyWait.logged.store(false);
}

int StoreConnection::busyHandler(void* context, int count)
{
    auto* wait = static_cast<BusyWait*>(context);
    const int64_t remaining = wait->deadlineMs.load() - steadyMs();
    if (remaining <= 0) {
        if (!wait->logged.exchange(true))
            FMDBLog::write(QStringLiteral("Database busy"));
        return 0;
    }
    // Short sleeps first: most waits are for one short write of the other store.
    const int64_t step = std::min<int64_t>({remaining, int64_t(count) + 1, 25});
    std::this_thread::sleep_for(std::chrono::milliseconds(step));
    return 1;
}
