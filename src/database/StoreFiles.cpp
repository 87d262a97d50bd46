#include "database/StoreFiles.h"

#include "Library/FMDB/FMDBLog.h"
#include "database/StoreStatements.h"

#include <QFile>
#include <QList>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

namespace StoreFiles {

void createPrivateFile(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
}

QString copyPath(const QString& path)
{
    return path + QStringLiteral(".salvage");
}

bool syncToDisk(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

}  // namespace StoreFiles

namespace {

using Connection = std::unique_ptr<sqlite3, decltype(&sqlite3_close_v2)>;
using Statement = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

constexpr int64_t kLastRowid = std::numeric_limits<int64_t>::max();

Connection open(const QString& path, int flags)
{
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr);
    Connection connection(db, &sqlite3_close_v2);
    if (rc != SQLITE_OK)
        connection.reset();
    return connection;
}

Statement prepare(sqlite3* db, const QString& sql)
{
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr);
    return Statement(statement, &sqlite3_finalize);
}

bool exec(sqlite3* db, const QByteArray& sql)
{
    return sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

QString quotedName(QString name)
{
    return QLatin1Char('"') + name.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

// The first step of the rows whose rowid is from or more: a row, the end, or what kept the seek
// from getting there.
int seek(sqlite3_stmt* rows, int64_t from)
{
    sqlite3_reset(rows);
    sqlite3_bind_int64(rows, 1, from);
    return sqlite3_step(rows);
}

bool fails(int rc)
{
    return rc != SQLITE_ROW && rc != SQLITE_DONE;
}

// Another connection keeps the file from being read: no damage, and no reason to give up any of it.
bool isHeld(int rc)
{
    return (rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED;
}

// The rowid from which reading goes on after a stretch that cannot be read past rowid after:
// seeks further and further on until one gets past it, then back to the nearest point whose seek
// does, so that the first row past the stretch is read too. Nothing when every seek fails (the
// table's top page is damaged), or one was held off.
std::optional<int64_t> readablePast(sqlite3_stmt* rows, int64_t after, bool& held)
{
    const auto unreadable = [&](int64_t at) {
        const int rc = seek(rows, at);
        held = held || isHeld(rc);
        return fails(rc);
    };
    int64_t failing = after;
    int64_t step = 1;
    for (;;) {
        if (failing > kLastRowid - step)
            return std::nullopt;
        if (!unreadable(failing + step))
            break;
        if (held)
            return std::nullopt;
        failing += step;
        step = step > kLastRowid / 2 ? kLastRowid : step * 2;
    }
    int64_t readable = failing + step;
    while (uint64_t(readable) - uint64_t(failing) > 1 && !held) {
        const int64_t middle = failing + int64_t((uint64_t(readable) - uint64_t(failing)) / 2);
        (unreadable(middle) ? failing : readable) = middle;
    }
    return held ? std::nullopt : std::optional(readable);
}

// Writes the row read into the copy, its columns in the order of the write's values: how many
// rows the write changed (none when it passed over a row that breaks a constraint of its table),
// or nothing when the copy refused it.
std::optional<int> copyRow(sqlite3_stmt* row, sqlite3_stmt* insert)
{
    for (int value = 1; value <= sqlite3_bind_parameter_count(insert); ++value)
        sqlite3_bind_value(insert, value, sqlite3_column_value(row, value - 1));
    const std::optional<int> changed =
        sqlite3_step(insert) == SQLITE_DONE ? std::optional(sqlite3_changes(sqlite3_db_handle(insert))) : std::nullopt;
    sqlite3_reset(insert);
    return changed;
}

struct TableCopy
{
    bool made = false;     // the table is in the copy
    bool whole = true;     // every row was read and kept
    bool written = true;   // the copy took every row read
    bool held = false;     // another connection kept a read from the file
};

// Copies one table's rows as its pages give them, each under its own rowid, passing over what
// cannot be read. The table is made in the copy with its first row read, or, when it is empty,
// once it was read to its end; a table that cannot be made there (its statement is of no use) is
// lost.
TableCopy copyTable(sqlite3* from, sqlite3* to, const QString& name, const QString& create)
{
    TableCopy copy;
    const QString table = quotedName(name);
    const Statement rows = prepare(from, QStringLiteral("SELECT rowid, * FROM %1 WHERE rowid >= ? ORDER BY rowid").arg(table));
    if (!rows) {
        copy.whole = false;
        copy.held = isHeld(sqlite3_errcode(from));
        return copy;
    }
    const int columns = sqlite3_column_count(rows.get());
    QStringList names{QStringLiteral("rowid")};
    for (int column = 1; column < columns; ++column)
        names.append(quotedName(QString::fromUtf8(sqlite3_column_name(rows.get(), column))));
    Statement insert(nullptr, &sqlite3_finalize);
    bool tried = false;
    const auto make = [&] {
        if (!tried && exec(to, create.toUtf8())) {
            insert = prepare(to, QStringLiteral("INSERT OR IGNORE INTO %1 (%2) VALUES %3")
                                     .arg(table, names.join(QLatin1Char(',')), StoreStatements::parameterList(columns)));
            if (!insert)
                exec(to, "DROP TABLE " + table.toUtf8());
        }
        tried = true;
        copy.made = insert != nullptr;
        copy.whole = copy.whole && copy.made;
        return copy.made;
    };
    // Past a stretch that cannot be read, reading goes on past the furthest row read and past
    // where it last went on: a stale copy of an earlier page before the stretch does not send it
    // round the same rows again, and each stretch met moves it on, so the copy ends. (Stepping
    // from page to page ends by itself: SQLite refuses a path deeper than a table can be, as a
    // page standing over one of its own ancestors makes.)
    int64_t furthest = std::numeric_limits<int64_t>::min();
    int64_t resumed = furthest;
    for (int rc = seek(rows.get(), furthest);;) {
        for (; rc == SQLITE_ROW; rc = sqlite3_step(rows.get())) {
            if (!make())
                return copy;
            // A stale page gives rows behind those read: they are copied too, under their rowids,
            // so that its own rows and those of its place are kept.
            const std::optional<int> changed = copyRow(rows.get(), insert.get());
            if (!changed) {
                copy.written = false;
                return copy;
            }
            // A row repeating the rowid or key of one copied before it (read twice through a
            // stale page, or past an index that no longer held it off) is passed over: it is lost.
            copy.whole = copy.whole && *changed > 0;
            furthest = std::max<int64_t>(furthest, sqlite3_column_int64(rows.get(), 0));
        }
        if (rc == SQLITE_DONE)
            break;
        copy.whole = false;
        copy.held = isHeld(rc);
        const std::optional<int64_t> past =
            copy.held ? std::nullopt : readablePast(rows.get(), std::max(furthest, resumed), copy.held);
        if (!past)
            break;
        resumed = *past;
        rc = seek(rows.get(), resumed);
    }
    if (copy.whole)
        make();
    return copy;
}

// Carries the counters of the copied tables that give out ids (AUTOINCREMENT) into the copy, so
// that the ids deleted at the end of a table are not given out again; those that cannot be read
// are passed over. False when the copy refused a write; held when another connection kept the read.
bool copyCounters(sqlite3* from, sqlite3* to, const QStringList& copied, bool& held)
{
    const Statement counters = prepare(from, QStringLiteral("SELECT name, seq FROM sqlite_sequence"));
    held = !counters && isHeld(sqlite3_errcode(from));
    // The counters have no key: the one the copy made with its rows is raised, a missing one added.
    const Statement raise = prepare(to, QStringLiteral("UPDATE sqlite_sequence SET seq = max(seq, ?2) WHERE name = ?1"));
    const Statement add = prepare(to, QStringLiteral("INSERT INTO sqlite_sequence (name, seq) SELECT ?1, ?2 "
                                                     "WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE name = ?1)"));
    int rc = SQLITE_DONE;
    while (counters && raise && add && (rc = sqlite3_step(counters.get())) == SQLITE_ROW) {
        if (copied.contains(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(counters.get(), 0))))
            && !(copyRow(counters.get(), raise.get()) && copyRow(counters.get(), add.get())))
            return false;
    }
    held = held || isHeld(rc);
    return true;
}

struct TablesCopy
{
    qsizetype listed = 0;  // the tables the damaged file lists
    qsizetype made = 0;    // those in the copy
    bool whole = true;     // every table and row was read and kept
    bool written = true;   // the copy took every write
};

// Copies every table the damaged file lists; nothing when another connection kept a read from the
// file (what it held is not lost, and is read at the next start).
std::optional<TablesCopy> copyTables(sqlite3* from, sqlite3* to)
{
    QList<std::pair<QString, QString>> tables;  // name, CREATE statement
    const Statement list = prepare(from, QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'table' AND name "
                                                        "NOT LIKE 'sqlite\\_%' ESCAPE '\\' AND sql IS NOT NULL"));
    int rc = SQLITE_CORRUPT;
    while (list && (rc = sqlite3_step(list.get())) == SQLITE_ROW) {
        tables.append({QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(list.get(), 0))),
                       QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(list.get(), 1)))});
    }
    const auto heldOff = [] {
        FMDBLog::write(QStringLiteral("The damaged database is held by another connection: it is salvaged at the next start"));
        return std::nullopt;
    };
    if (isHeld(list ? rc : sqlite3_errcode(from)))
        return heldOff();
    bool whole = rc == SQLITE_DONE;
    QStringList copied;
    bool favouritesWhole = false;
    for (const auto& [name, create] : std::as_const(tables)) {
        const TableCopy copy = copyTable(from, to, name, create);
        if (copy.held)
            return heldOff();
        if (!copy.written)
            return TablesCopy{.written = false};
        whole = whole && copy.whole;
        if (name == QLatin1String("Favrite_Data"))
            favouritesWhole = copy.whole;
        if (copy.made)
            copied.append(name);
    }
    // The favourites sync rows tell which version of an account's favourites the favourites table
    // holds. Without that table whole they hold none: the next sync takes the service's
    // favourites, instead of finding them current or sending what is left up over them. (Without
    // the sync rows' table this changes nothing.)
    if (!favouritesWhole)
        exec(to, "UPDATE FavriteUserAndContents SET favritteVersion = 0, bModified = 0");
    bool held = false;
    if (!copyCounters(from, to, copied, held))
        return TablesCopy{.written = false};
    if (held)
        return heldOff();
    return TablesCopy{tables.size(), copied.size(), whole};
}

}  // namespace

std::optional<StoreFiles::Kept> StoreFiles::copyReadable(const QString& path)
{
    const QString copyPath = StoreFiles::copyPath(path);
    QFile::remove(copyPath);
    createPrivateFile(copyPath);
    std::optional<TablesCopy> copied;
    {
        // The damaged file is opened as the stores open it, so that its log is read too, and
        // closed without the checkpoint that would write into it.
        const Connection from = open(path, SQLITE_OPEN_READWRITE);
        const Connection to = open(copyPath, SQLITE_OPEN_READWRITE);
        if (from) {
            sqlite3_busy_timeout(from.get(), 2000);
            sqlite3_db_config(from.get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
            // A file cut short is read as far as it goes, instead of being refused whole.
            exec(from.get(), "PRAGMA writable_schema=ON");
        }
        // The copy is only used once whole: it needs no journal, and goes to the disk once. A
        // copy its folder refuses to make is refused as a copy the disk refuses to hold.
        if (!to || !exec(to.get(), "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN")) {
            copied = TablesCopy{.written = false};
        } else if (from && exec(from.get(), "BEGIN")) {
            copied = copyTables(from.get(), to.get());
            if (copied && copied->written)
                copied->written = exec(to.get(), "COMMIT");
        }
    }
    // What was kept is told once the copy is on the disk.
    if (!copied || !copied->written || !syncToDisk(copyPath)) {
        if (copied)
            FMDBLog::write(QStringLiteral("The copy of the damaged database could not be written"));
        QFile::remove(copyPath);
        return std::nullopt;
    }
    FMDBLog::write(QStringLiteral("Kept %1 of %2 tables of the damaged database%3")
                       .arg(copied->made)
                       .arg(copied->listed)
                       .arg(copied->whole ? QString() : QStringLiteral(", not all of their rows")));
    return copied->whole ? Kept::All : copied->made > 0 ? Kept::Part : Kept::Nothing;
}
