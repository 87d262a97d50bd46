#include "Library/FMDB/FMDatabasePool.h"

#include "Library/FMDB/FMDBLog.h"
#include "Library/FMDB/FMDatabase.h"
#include "Library/FMDB/FMTransactionBlocks.h"

namespace {

std::atomic<long> gPoolSavePointCounter{0};

// Runs work with a connection of the pool and puts the connection back afterwards, also when
// work throws.
template <typename Work>
auto withPooledDatabase(FMDatabasePool& pool, Work&& work)
{
    const std::shared_ptr<FMDatabase> db = pool.db();
    try {
        if constexpr (std::is_void_v<decltype(work(db))>) {
            work(db);
            pool.pushDatabaseBackInPool(db);
        } else {
            auto result = work(db);
            pool.pushDatabaseBackInPool(db);
            return result;
        }
    } catch (...) {
        // The first failure is the one worth reporting.
        try {
            pool.pushDatabaseBackInPool(db);
        } catch (...) {
        }
        throw;
    }
}

}  // namespace

FMDatabasePool::FMDatabasePool(const QString& path)
    : m_path(path), m_lockQueue(QStringLiteral("fmdb.%1").arg(description()))
{
}

FMDatabasePool::~FMDatabasePool() = default;

std::shared_ptr<FMDatabasePool> FMDatabasePool::databasePoolWithPath(const QString& path)
{
    return std::make_shared<FMDatabasePool>(path);
}

QString FMDatabasePool::description() const
{
    return QStringLiteral("<FMDatabasePool: 0x%1>").arg(quintptr(this), 0, 16);
}

void FMDatabasePool::executeLocked(const std::function<void()>& block)
{
    m_lockQueue.sync(block);
}

std::shared_ptr<FMDatabase> FMDatabasePool::db()
{
    std::shared_ptr<FMDatabase> handedOut;
    executeLocked([&] {
        std::shared_ptr<FMDatabase> db;
        if (!m_databaseInPool.isEmpty()) {
            db = m_databaseInPool.takeLast();
            m_databaseOutPool.append(db);
        } else {
            const quint64 maximum = m_maximumNumberOfDatabasesToCreate.load();
            if (maximum != 0 &&
                quint64(m_databaseInPool.size() + m_databaseOutPool.size()) >= maximum) {
                FMDBLog::write(QStringLiteral("Maximum number of databases (%1) has already been reached!")
                                   .arg(qint64(maximum)));
                return;
            }
            db = FMDatabase::databaseWithPath(m_path);
        }

        if (!db->open()) {
            FMDBLog::write(QStringLiteral("Could not open up the database at path %1").arg(m_path));
            return;
        }
        const std::shared_ptr<FMDatabasePoolDelegate> delegate = m_delegate.lock();
        if (delegate && !delegate->databasePool(*this, *db)) {
            db->close();
            return;
        }
        if (!m_databaseOutPool.contains(db))
            m_databaseOutPool.append(db);
        handedOut = db;
    });
    return handedOut;
}

void FMDatabasePool::pushDatabaseBackInPool(const std::shared_ptr<FMDatabase>& db)
{
    if (!db)
        return;
    executeLocked([&] {
        if (m_databaseInPool.contains(db))
            throw FMDatabasePoolException(
                QStringLiteral("Database already in pool"),
                QStringLiteral("The FMDatabase being put back into the pool is already present in the pool"));
        m_databaseInPool.append(db);
        m_databaseOutPool.removeAll(db);
    });
}

qsizetype FMDatabasePool::countOfCheckedInDatabases()
{
    qsizetype count = 0;
    executeLocked([&] { count = m_databaseInPool.size(); });
    return count;
}

qsizetype FMDatabasePool::countOfCheckedOutDatabases()
{
    qsizetype count = 0;
    executeLocked([&] { count = m_databaseOutPool.size(); });
    return count;
}

qsizetype FMDatabasePool::countOfOpenDatabases()
{
    qsizetype count = 0;
    executeLocked([&] { count = m_databaseInPool.size() + m_databaseOutPool.size(); });
    return count;
}

void FMDatabasePool::releaseAllDatabases()
{
    executeLocked([&] {
        m_databaseOutPool.clear();
        m_databaseInPool.clear();
    });
}

void FMDatabasePool::inDatabase(const DatabaseBlock& block)
{
    withPooledDatabase(*this, [&](const std::shared_ptr<FMDatabase>& db) { block(db); });
}

void FMDatabasePool::beginTransaction(bool useDeferred, const TransactionBlock& block)
{
    withPooledDatabase(*this, [&](const std::shared_ptr<FMDatabase>& db) {
        FMTransactionBlocks::runInTransaction(db.get(), useDeferred, [&](bool* rollback) { block(db, rollback); });
    });
}

void FMDatabasePool::inDeferredTransaction(const TransactionBlock& block)
{
    beginTransaction(true, block);
}

void FMDatabasePool::inTransaction(const TransactionBlock& block)
{
    beginTransaction(false, block);
}

std::optional<Error> FMDatabasePool::inSavePoint(const TransactionBlock& block)
{
    const QString name = QStringLiteral("savePoint%1").arg(gPoolSavePointCounter.fetch_add(1));
    return withPooledDatabase(*this, [&](const std::shared_ptr<FMDatabase>& db) {
        return FMTransactionBlocks::runInSavePoint(db.get(), name, [&](bool* rollback) { block(db, rollback); });
    });
}
