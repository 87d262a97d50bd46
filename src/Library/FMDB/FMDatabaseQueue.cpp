#include "Library/FMDB/FMDatabaseQueue.h"

#include "Library/FMDB/FMDBLog.h"
#include "Library/FMDB/FMDatabase.h"
#include "Library/FMDB/FMTransactionBlocks.h"

namespace {

std::atomic<long> gQueueSavePointCounter{0};

}  // namespace

FMDatabaseQueue::FMDatabaseQueue(PrivateTag, const QString& path, std::shared_ptr<FMDatabase> db)
    : m_path(path), m_queue(QStringLiteral("fmdb.%1").arg(description())), m_db(std::move(db))
{
}

FMDatabaseQueue::~FMDatabaseQueue() = default;

std::shared_ptr<FMDatabaseQueue> FMDatabaseQueue::databaseQueueWithPath(const QString& path)
{
    std::shared_ptr<FMDatabase> db = FMDatabase::databaseWithPath(path);
    if (!db->open()) {
        FMDBLog::write(QStringLiteral("Could not create database queue for path %1").arg(path));
        return nullptr;
    }
    return std::make_shared<FMDatabaseQueue>(PrivateTag{}, path, std::move(db));
}

QString FMDatabaseQueue::description() const
{
    return QStringLiteral("<FMDatabaseQueue: 0x%1>").arg(quintptr(this), 0, 16);
}

void FMDatabaseQueue::close()
{
    m_queue.sync([&] {
        if (m_db)
            m_db->close();
        m_db.reset();
    });
}

std::shared_ptr<FMDatabase> FMDatabaseQueue::database()
{
    if (!m_db) {
        std::shared_ptr<FMDatabase> db = FMDatabase::databaseWithPath(m_path);
        if (!db->open()) {
            FMDBLog::write(QStringLiteral("FMDatabaseQueue could not reopen database for path %1").arg(m_path));
            return nullptr;
        }
        m_db = std::move(db);
    }
    return m_db;
}

void FMDatabaseQueue::inDatabase(const DatabaseBlock& block)
{
    m_queue.sync([&] {
        const std::shared_ptr<FMDatabase> db = database();
        block(db);
        if (db && db->hasOpenResultSets())
            FMDBLog::write(QStringLiteral(
                "Warning: there is at least one open result set around after performing [FMDatabaseQueue inDatabase:]"));
    });
}

void FMDatabaseQueue::beginTransaction(bool useDeferred, const TransactionBlock& block)
{
    m_queue.sync([&] {
        const std::shared_ptr<FMDatabase> db = database();
        FMTransactionBlocks::runInTransaction(db.get(), useDeferred, [&](bool* rollback) { block(db, rollback); });
    });
}

void FMDatabaseQueue::inDeferredTransaction(const TransactionBlock& block)
{
    beginTransaction(true, block);
}

void FMDatabaseQueue::inTransaction(const TransactionBlock& block)
{
    beginTransaction(false, block);
}

std::optional<Error> FMDatabaseQueue::inSavePoint(const TransactionBlock& block)
{
    const QString name = QStringLiteral("savePoint%1").arg(gQueueSavePointCounter.fetch_add(1));
    std::optional<Error> result;
    m_queue.sync([&] {
        const std::shared_ptr<FMDatabase> db = database();
        result = FMTransactionBlocks::runInSavePoint(db.get(), name, [&](bool* rollback) { block(db, rollback); });
    });
    return result;
}
