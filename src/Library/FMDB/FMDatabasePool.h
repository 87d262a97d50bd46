#pragma once

#include "Library/FMDB/FMSerialQueue.h"
#include "platform/Error.h"

#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

class FMDatabase;
class FMDatabasePool;

// Asked about every freshly opened connection before the pool hands it out.
class FMDatabasePoolDelegate
{
public:
    virtual ~FMDatabasePoolDelegate() = default;
    // false refuses the connection: it is closed and the caller gets none.
    virtual bool databasePool(FMDatabasePool& pool, FMDatabase& database) { return true; }
};

// What the pool raises for a caller error.
class FMDatabasePoolException : public std::logic_error
{
public:
    FMDatabasePoolException(const QString& name, const QString& reason)
        : std::logic_error(reason.toStdString()), m_name(name), m_reason(reason) {}
    const QString& name() const { return m_name; }
    const QString& reason() const { return m_reason; }

private:
    QString m_name;
    QString m_reason;
};

// Connections on one file, handed out one per caller; the lists are touched only on the pool's
// serial lock queue, so the pool may be used from any thread.
class FMDatabasePool
{
public:
    using DatabaseBlock = std::function<void(const std::shared_ptr<FMDatabase>& db)>;
    using TransactionBlock = std::function<void(const std::shared_ptr<FMDatabase>& db, bool* rollback)>;

    explicit FMDatabasePool(const QString& path);
    FMDatabasePool(const FMDatabasePool&) = delete;
    FMDatabasePool& operator=(const FMDatabasePool&) = delete;
    ~FMDatabasePool();

    static std::shared_ptr<FMDatabasePool> databasePoolWithPath(const QString& path);

    const QString& path() const { return m_path; }
    void setPath(const QString& path) { m_path = path; }
    std::shared_ptr<FMDatabasePoolDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(const std::shared_ptr<FMDatabasePoolDelegate>& delegate) { m_delegate = delegate; }
    // 0 means no limit.
    quint64 maximumNumberOfDatabasesToCreate() const { return m_maximumNumberOfDatabasesToCreate.load(); }
    void setMaximumNumberOfDatabasesToCreate(quint64 value) { m_maximumNumberOfDatabasesToCreate.store(value); }

    // Runs block on the lock queue; block must not call executeLocked again.
    void executeLocked(const std::function<void()>& block);

    // An open connection for the caller alone, or null when none can be had.
    std::shared_ptr<FMDatabase> db();
    // Throws FMDatabasePoolException ("Database already in pool") for a connection already idle.
    void pushDatabaseBackInPool(const std::shared_ptr<FMDatabase>& db);

    qsizetype countOfCheckedInDatabases();
    qsizetype countOfCheckedOutDatabases();
    qsizetype countOfOpenDatabases();
    void releaseAllDatabases();

    void inDatabase(const DatabaseBlock& block);
    void beginTransaction(bool useDeferred, const TransactionBlock& block);
    void inDeferredTransaction(const TransactionBlock& block);
    void inTransaction(const TransactionBlock& block);
    std::optional<Error> inSavePoint(const TransactionBlock& block);

    // "<FMDatabasePool: 0x...>"
    QString description() const;

private:
    QString m_path;
    FMSerialQueue m_lockQueue;
    QList<std::shared_ptr<FMDatabase>> m_databaseInPool;
    QList<std::shared_ptr<FMDatabase>> m_databaseOutPool;
    std::weak_ptr<FMDatabasePoolDelegate> m_delegate;
    std::atomic<quint64> m_maximumNumberOfDatabasesToCreate{0};
};
