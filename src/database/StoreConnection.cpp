#include "database/StoreConnection.h"

#include "Library/FMDB/FMDBLog.h"
#include "Library/FMDB/FMDatabase.h"
#include "Library/FMDB/FMResultSet.h"
#include "database/StoreFiles.h"
#include "database/StoreStatements.h"
#include "foundation/CommonFunction.h"
#include "platform/Clock.h"
#include "platform/Dispatch.h"
#include "platform/StorageRoot.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <mutex>
#include <thread>

namespace {

std::atomic<int64_t> gBusyTimeLimitMs{StoreConnection::kDefaultBusyTimeLimit.count()};

int64_t steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// What the reader is told when the file was damaged: nothing of it is kept, all of it, part of it,
// or (a salvage cut off just before its end) as much as could be read.
constexpr auto kResetText = "本地数据已损坏，已恢复默认设置";
constexpr auto kAllKeptText = "本地数据已损坏，已完整恢复";
constexpr auto kPartKeptText = "本地数据已损坏，部分数据已丢失，其余已恢复";
constexpr auto kRecoveredText = "本地数据已损坏，已尽量恢复";
// What the reader is told when the file cannot keep what the program saves.
constexpr auto kReadOnlyText = kStoreReadOnlyText;
constexpr auto kHeldText = "本地数据正被其他程序占用，暂时无法保存";

// The window waits for whatever the main thread does: there an operation waits at most this long
// for the file, however long its limit; and while the file stays held, every operation gives up
// after a glance.
constexpr int64_t kMainThreadBusyLimitMs = 1000;
constexpr int64_t kHeldBusyLimitMs = 50;

// What both stores' connections share about the one file.
struct FileState
{
    std::mutex mutex;                    // setting the file aside, checking it, what the reader was told
    std::atomic<int> generation{0};      // grows when a damaged file is set aside
    std::atomic<bool> damageSeen{false};  // a statement found the file damaged
    QString checkedPath;                 // the file whose pages were checked, in this generation
    int checkedGeneration = -1;
    QString unusablePath;  // damaged and not set aside: the stores keep their tables in memory
    QStringList told;      // each text at most once a run for a file: the file's path and the text
    std::atomic<bool> held{false};  // another connection kept the file past an operation's limit
    std::atomic<bool> heldTold{false};
};

FileState& fileState()
{
    static FileState state;
    return state;
}

std::atomic<bool> gMemoryFallback{true};

QString databaseFilePath()
{
    return QDir(StorageRoot::documentsPath()).filePath(QString::fromLatin1(kDatabaseFileName));
}

void tellReader(const QString& informative)
{
    dispatch::asyncMain([informative] { CommonFunction::alert(QStringLiteral("确定"), informative, nullptr); });
}

void tellReader(const char* text)
{
    tellReader(QString::fromUtf8(text));
}

// Tells the reader the text unless it was told about this file already. Called with the file
// state's mutex held.
void tellOnceLocked(const QString& path, const QString& text)
{
    const QString key = path + QLatin1Char('\n') + text;
    if (fileState().told.contains(key))
        return;
    fileState().told.append(key);
    tellReader(text);
}

void tellOnce(const QString& path, const QString& text)
{
    std::lock_guard lock(fileState().mutex);
    tellOnceLocked(path, text);
}

bool isDamage(int rc)
{
    return (rc & 0xff) == SQLITE_CORRUPT || (rc & 0xff) == SQLITE_NOTADB;
}

// The file's side files (the log and its index, or the journal) cannot be made or read.
bool isUnwritableFolder(int rc)
{
    const int primary = rc & 0xff;
    return primary == SQLITE_CANTOPEN || primary == SQLITE_READONLY || primary == SQLITE_PERM || primary == SQLITE_IOERR;
}

// A write the file or its disk refused: what was written is not saved.
bool isRefusedWrite(int rc)
{
    return isUnwritableFolder(rc) || (rc & 0xff) == SQLITE_FULL;
}

// SQLITE_CORRUPT when the check finds a damaged page, or an index out of step with its table
// (which the quicker check passes over, and which fails only the statements that meet it), else
// the check's own result.
int checkPages(sqlite3* db)
{
    sqlite3_stmt* statement = nullptr;
    int rc = sqlite3_prepare_v2(db, "PRAGMA integrity_check(1)", -1, &statement, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(statement);
        if (rc == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
            rc = text != nullptr && qstrcmp(text, "ok") == 0 ? SQLITE_OK : SQLITE_CORRUPT;
        }
    }
    sqlite3_finalize(statement);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// Closes the connection without the last connection's checkpoint: one on a file that has been set
// aside would remove the log of the new file, which has the same name now.
void abandon(std::shared_ptr<FMDatabase>& db)
{
    if (!db)
        return;
    if (db->sqliteHandle() != nullptr)
        sqlite3_db_config(db->sqliteHandle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    db->close();
    db.reset();
}

// Renames the file and its side files beside it; nothing of it is deleted, so it can still be
// looked at. All of them move or none: a log left behind would be read into the new file. Gives
// the new name, or nothing when the folder or a file refused. Called with the file state's mutex
// held.
QString setAside(const QString& path)
{
    const QString stamp = Clock::now().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = QStringLiteral("%1.damaged-%2").arg(path, stamp);
    for (int n = 2; QFile::exists(aside); ++n)
        aside = QStringLiteral("%1.damaged-%2-%3").arg(path, stamp).arg(n);
    QStringList moved;
    for (const char* suffix : {"-wal", "-shm", "-journal", ""}) {
        const QString from = path + QLatin1String(suffix);
        if (!QFile::exists(from))
            continue;
        if (!QFile::rename(from, aside + QLatin1String(suffix))) {
            for (const QString& back : std::as_const(moved))
                QFile::rename(aside + back, path + back);
            FMDBLog::write(QStringLiteral("Damaged database could not be set aside: %1").arg(path));
            return {};
        }
        moved.append(QLatin1String(suffix));
    }
    FMDBLog::write(QStringLiteral("Damaged database set aside as %1").arg(aside));
    return aside;
}

// Puts a new file in place of the damaged one at path, holding what can still be read of it:
// built beside it and renamed in once whole, the damaged file set aside. Gives what the reader
// is told, or nothing when the damaged file stays where it is (the copy could not be written
// whole, or the folder refused a rename). Called with the file state's mutex held.
QString replaceDamaged(const QString& path)
{
    const std::optional<StoreFiles::Kept> kept = StoreFiles::copyReadable(path);
    if (!kept)
        return {};
    if (setAside(path).isEmpty()) {
        QFile::remove(StoreFiles::copyPath(path));
        return {};
    }
    // Refused here, the whole copy is renamed in by the next start.
    if (!QFile::rename(StoreFiles::copyPath(path), path))
        return {};
    StoreFiles::syncToDisk(QFileInfo(path).absolutePath());
    return QString::fromUtf8(*kept == StoreFiles::Kept::All    ? kAllKeptText
                             : *kept == StoreFiles::Kept::Part ? kPartKeptText
                                                               : kResetText);
}

// A copy left beside the file by a salvage that was cut off: beside the damaged file it was not
// finished and goes (the file is salvaged again); without it, the damaged file had been set
// aside after the copy was whole, and the copy goes in. Called with the file state's mutex held.
void settleCopy(const QString& path)
{
    const QString copy = StoreFiles::copyPath(path);
    if (!QFile::exists(copy))
        return;
    if (QFile::exists(path))
        QFile::remove(copy);
    else if (QFile::rename(copy, path))
        tellOnceLocked(path, QString::fromUtf8(kRecoveredText));
}

}  // namespace

void StoreConnection::setMemoryFallback(bool on)
{
    gMemoryFallback.store(on);
}

void StoreConnection::noteFailure(int errorCode, bool write)
{
    if (isDamage(errorCode))
        fileState().damageSeen.store(true);
    else if (write && isRefusedWrite(errorCode))
        tellOnce(databaseFilePath(), QString::fromUtf8(kReadOnlyText));
}

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
    FileState& file = fileState();
    // The file, and once more when it was damaged and set aside: the new one made in its place.
    for (int attempt = 0; attempt < 2; ++attempt) {
        m_generation = file.generation.load();
        {
            std::lock_guard lock(file.mutex);
            if (file.unusablePath == path)
                return loadInMemory();
            settleCopy(path);
        }
        m_db = FMDatabase::databaseWithPath(path);
        StoreFiles::createPrivateFile(path);
        if (!m_db->open())
            return cannotOpen(path);
        // The access layer retries a busy statement on its own; our handler does the waiting, so it
        // is told to give up as soon as the handler has (at its third busy result in a row). Set
        // before the switch to the log below, which needs the file to itself: a connection reading
        // an old file at that moment would otherwise fail it at once and leave the old journal for
        // the run.
        m_db->setBusyRetryTimeout(1);
        sqlite3_busy_handler(m_db->sqliteHandle(), &StoreConnection::busyHandler, &m_busyWait);
        // Write-ahead logging with synchronous=NORMAL: a commit appends to the log without waiting
        // for the disk. A crash of the program loses nothing committed; a lost power leaves the file
        // consistent, at a committed state, but the commits made since the log was last flushed (at
        // its last checkpoint) may be gone. With the rollback journal every small write of start-up
        // (a stamp, a default row) waited for three flushes on the main thread.
        int rc = sqlite3_exec(m_db->sqliteHandle(), "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr,
                              nullptr, nullptr);
        // A folder that takes no side file: the file is read as it stands. A file that takes no
        // write (SQLite opened it for reading) is read through its log still.
        const bool readOnly = isUnwritableFolder(rc) || sqlite3_db_readonly(m_db->sqliteHandle(), "main") == 1;
        if (isUnwritableFolder(rc)) {
            if (!openReadOnly(path))
                return cannotOpen(path);
            rc = SQLITE_OK;
        }
        {
            std::lock_guard lock(file.mutex);
            // Damage a statement met during the run is handled as damage found here.
            if (file.damageSeen.load() && m_generation == file.generation.load())
                rc = SQLITE_CORRUPT;
            // The pages are checked once per file: a damaged one fails its readers (or worse, only
            // some of them) for good, however often it is opened again.
            if (!isDamage(rc) && (file.checkedPath != path || file.checkedGeneration != m_generation)) {
                rc = checkPages(m_db->sqliteHandle());
                if (rc == SQLITE_OK) {
                    file.checkedPath = path;
                    file.checkedGeneration = m_generation;
                }
            }
            if (isDamage(rc) && m_generation == file.generation.load()) {
                abandon(m_db);
                file.generation.fetch_add(1);
                file.damageSeen.store(false);
                // A damaged file that takes no write stays as it is, as one that cannot be set aside.
                const QString told = readOnly ? QString() : replaceDamaged(path);
                if (told.isEmpty()) {
                    file.unusablePath = path;
                    tellOnceLocked(path, QString::fromUtf8(kResetText) + QLatin1Char('\n') + QString::fromUtf8(kReadOnlyText));
                } else {
                    tellOnceLocked(path, told);
                }
            }
        }
        if (!isDamage(rc)) {
            // Every operation runs a handful of fixed statement texts, many of them once per row of
            // a list: each is prepared once per connection.
            m_db->setShouldCacheStatements(true);
            if (readOnly)
                tellOnce(path, QString::fromUtf8(kReadOnlyText));
            else
                CommonFunction::addSkipBackupAttributeToItemAtURL(QUrl::fromLocalFile(path));
            return m_db;
        }
        abandon(m_db);  // the other store's connection set the file aside meanwhile
    }
    return loadInMemory();
}

std::shared_ptr<FMDatabase> StoreConnection::cannotOpen(const QString& path)
{
    // The connection whose open failed is kept when the stores may not work without their file.
    if (!gMemoryFallback.load())
        return nullptr;
    tellOnce(path, QString::fromUtf8(kReadOnlyText));
    return loadInMemory();
}

std::shared_ptr<FMDatabase> StoreConnection::loadInMemory()
{
    // The tables start from their defaults, and what is saved lasts as long as the connection.
    abandon(m_db);
    m_db = FMDatabase::databaseWithPath(QString());
    if (!m_db->open()) {
        m_db.reset();
        return nullptr;
    }
    m_db->setShouldCacheStatements(true);
    return m_db;
}

bool StoreConnection::openReadOnly(const QString& path)
{
    // Nothing is written, not even a lock; what is saved meanwhile is lost.
    drop();
    QUrl uri = QUrl::fromLocalFile(path);
    uri.setQuery(QStringLiteral("immutable=1"));
    m_db = FMDatabase::databaseWithPath(uri.toString(QUrl::FullyEncoded));
    return m_db->openWithFlags(SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
}

bool StoreConnection::connect()
{
    FileState& file = fileState();
    // The file was set aside by the other store's connection, or one of this connection's
    // statements found it damaged: the next open makes a new one. A connection in memory (its
    // path null) has no file to follow.
    if (m_db && !m_db->databasePath().isNull() && (m_generation != file.generation.load() || file.damageSeen.load())) {
        m_knownTables.clear();
        abandon(m_db);
    }
    startBusyBudget();
    if (!m_db)
        loadDB(QString::fromLatin1(kDatabaseFileName));
    // While the file is held elsewhere every operation first looks whether it still is.
    if (file.held.load() && m_db && m_db->goodConnection() && !fileIsHeld()) {
        file.held.store(false);
        file.heldTold.store(false);
    }
    startBusyBudget();
    return m_db != nullptr;
}

bool StoreConnection::fileIsHeld()
{
    // A write lock taken and given back at once, without waiting for it.
    m_busyWait.deadlineMs.store(0);
    m_busyWait.logged.store(true);
    sqlite3* const handle = m_db->sqliteHandle();
    if (sqlite3_get_autocommit(handle) == 0)
        return false;  // inside a transaction of this connection: it writes already
    const int rc = sqlite3_exec(handle, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        sqlite3_exec(handle, "ROLLBACK", nullptr, nullptr, nullptr);
    return (rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED;
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
    if (m_generation != fileState().generation.load()) {
        abandon(m_db);
        return;
    }
    m_db->close();
    m_db.reset();
}

void StoreConnection::startBusyBudget()
{
    int64_t limit = busyTimeLimit().count();
    if (dispatch::isMainThread())
        limit = std::min(limit, kMainThreadBusyLimitMs);
    if (fileState().held.load())
        limit = std::min(limit, kHeldBusyLimitMs);
    m_busyWait.deadlineMs.store(steadyMs() + limit);
    m_busyWait.logged.store(false);
}

int StoreConnection::busyHandler(void* context, int count)
{
    auto* wait = static_cast<BusyWait*>(context);
    const int64_t remaining = wait->deadlineMs.load() - steadyMs();
    if (remaining <= 0) {
        if (!wait->logged.exchange(true)) {
            FMDBLog::write(QStringLiteral("Database busy"));
            FileState& file = fileState();
            file.held.store(true);
            if (!file.heldTold.exchange(true))
                tellReader(kHeldText);
        }
        return 0;
    }
    // Short sleeps first: most waits are for one short write of the other store.
    const int64_t step = std::min<int64_t>({remaining, int64_t(count) + 1, 25});
    std::this_thread::sleep_for(std::chrono::milliseconds(step));
    return 1;
}
