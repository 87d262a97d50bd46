#pragma once

#include "database/StoreStatements.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class FMDatabase;

// The one database file both stores keep their tables in, in the Documents folder.
inline constexpr auto kDatabaseFileName = "tidwenMAC.db";
// What the reader is told when the file cannot keep what the program saves.
inline constexpr auto kStoreReadOnlyText = "本地数据无法写入，所做更改将不会保存";

// The connection one store keeps to the database file, and the first two steps every operation
// of a store begins with: open the file when there is no connection, and make the operation's
// table when it is missing. Used only inside the store's lock.
//
// A connection whose open failed is kept (every statement on it fails); the next failed CREATE
// drops it, and the operation after that opens the file again.
//
// Waiting on a busy file: another connection (the other store, or another process) may hold the
// file's lock. An operation waits for it up to busyTimeLimit() in all (on the main thread at most
// a second), counted from its connection step; then each of its statements fails at once,
// "Database busy" is logged, and the operation returns its failure value. From then on, until
// the lock is found free, operations give up after a glance, and the reader is told once why
// nothing is saved.
//
// A file that is not a usable database (garbage, cut short, damaged pages), found at its opening
// or by a statement during the run, is replaced by a new one holding every row that can still be
// read from it (a table of which nothing can be read comes again with its defaults), built beside
// it and renamed in once whole; the damaged file is renamed beside itself with its side files,
// never deleted; the reader is told once what was kept. A damaged file that cannot be replaced
// (the copy cannot be written, the folder refuses renames, the file or its folder takes no write),
// and a file that cannot be opened at all, leave the stores working in memory from their defaults;
// a sound file that takes no write, or whose folder takes no side file, is opened for reading.
// The reader is told once that nothing is saved, as when a write is refused during the run (a
// read-only file, a full disk).
class StoreConnection
{
public:
    StoreConnection() = default;
    StoreConnection(const StoreConnection&) = delete;
    StoreConnection& operator=(const StoreConnection&) = delete;
    ~StoreConnection();

    static constexpr std::chrono::milliseconds kDefaultBusyTimeLimit{10000};
    static std::chrono::milliseconds busyTimeLimit();
    // Process-wide; tests shorten it.
    static void setBusyTimeLimit(std::chrono::milliseconds limit);

    // The connection, or null before the first use and after it was dropped.
    const std::shared_ptr<FMDatabase>& db() const { return m_db; }

    // A new connection on Documents/fileName replaces the current one and is opened. A missing
    // file is created first with mode 0600, so the database is never readable by other users.
    // Returns the opened connection (in memory when the file cannot be used), or null when the
    // open failed and the stores may not work in memory (db() then keeps the unopened one).
    std::shared_ptr<FMDatabase> loadDB(const QString& fileName);

    // Connection step: starts the operation's busy budget and opens the file when there is no
    // connection. False when there is still none.
    bool connect();

    // Whether the table exists; nothing when the connection cannot tell (it never opened, or the
    // file stayed busy), which is not taken for "missing".
    std::optional<bool> tableState(const QString& table);

    // Create-on-first-use step: true when the table exists or was created (*created tells which).
    // A table with default rows is made with them in one transaction, or, inside a transaction
    // already open, as part of it: a store that ends (or whose connection closes) before the
    // commit leaves no table behind, and the next open makes it whole, never an empty one that
    // nothing fills again. When the table cannot be looked up, made or filled (every default row
    // of a new table is written, or none is), the connection is closed and dropped.
    bool ensureTable(const QString& table, const QString& createStatement, bool* created = nullptr,
                     const QList<BoundStatement>& defaultRows = {});

    // A read on a table: run at once when this connection has found or made the table since it
    // opened (a warm start reads a score of rows this way, one statement each), otherwise after
    // ensure(), the operation's create-on-first-use step. A read taken for granted that cannot
    // run (another connection dropped the table) goes through ensure() and runs again. read
    // answers whether its statement could run; false here when ensure() failed.
    bool readTable(const QString& table, const std::function<bool()>& ensure,
                   const std::function<bool(FMDatabase& db)>& read);

    // Closes the connection and forgets it; the next operation opens the file again.
    void drop();

    // A statement's failure code: one that says the file is damaged has the next operation of
    // either store set the file aside and start a new one; a write the file refused tells the
    // reader, once, that nothing is saved.
    static void noteFailure(int errorCode, bool write = true);

    // Process-wide, on by default: a store whose file cannot be opened works in memory. Tests of
    // a store without any connection turn it off.
    static void setMemoryFallback(bool on);

private:
    // Replaces the connection by one that reads the file as it stands.
    bool openReadOnly(const QString& path);
    std::shared_ptr<FMDatabase> cannotOpen(const QString& path);
    std::shared_ptr<FMDatabase> loadInMemory();
    bool fileIsHeld();
    static int busyHandler(void* wait, int count);
    void startBusyBudget();
    void remember(const QString& table);

    struct BusyWait
    {
        std::atomic<int64_t> deadlineMs{0};  // steady-clock milliseconds
        std::atomic<bool> logged{false};
    };

    std::shared_ptr<FMDatabase> m_db;
    int m_generation = 0;  // of the file the connection was opened on
    BusyWait m_busyWait;
    QStringList m_knownTables;  // compared without case, as SQLite compares table names
};
