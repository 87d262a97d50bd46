#pragma once

#include "Library/FMDB/FMSerialQueue.h"
#include "platform/Error.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

class FMDatabase;

// One connection whose every use runs on a private serial queue, synchronously with the caller,
// so uses from several threads take turns. A block run by the queue must not call the same queue
// again: such a call is refused.
class FMDatabaseQueue
{
    struct PrivateTag {};

public:
    using DatabaseBlock = std::function<void(const std::shared_ptr<FMDatabase>& db)>;
    using TransactionBlock = std::function<void(const std::shared_ptr<FMDatabase>& db, bool* rollback)>;

    FMDatabaseQueue(PrivateTag, const QString& path, std::shared_ptr<FMDatabase> db);
    FMDatabaseQueue(const FMDatabaseQueue&) = delete;
    FMDatabaseQueue& operator=(const FMDatabaseQueue&) = delete;
    ~FMDatabaseQueue();

    // A queue on an opened connection, or null when the file cannot be opened.
    static std::shared_ptr<FMDatabaseQueue> databaseQueueWithPath(const QString& path);

    const QString& path() const { return m_path; }
    void setPath(const QString& path) { m_path = path; }

    // Closes and drops the connection; the next use opens a new one.
    void close();

    void inDatabase(const DatabaseBlock& block);
    void beginTransaction(bool useDeferred, const TransactionBlock& block);
    void inDeferredTransaction(const TransactionBlock& block);
    void inTransaction(const TransactionBlock& block);
    std::optional<Error> inSavePoint(const TransactionBlock& block);

    // "<FMDatabaseQueue: 0x...>"
    QString description() const;

private:
    // The connection, opened again after close(); null when that fails. Runs on the queue.
    std::shared_ptr<FMDatabase> database();

    QString m_path;
    FMSerialQueue m_queue;
    std::shared_ptr<FMDatabase> m_db;
};
