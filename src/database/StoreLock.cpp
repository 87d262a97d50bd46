#include "database/StoreLock.h"

#include "Library/FMDB/FMDBLog.h"

bool StoreLock::acquire()
{
    return lock(true);
}

bool StoreLock::acquireScope()
{
    return lock(false);
}

bool StoreLock::lock(bool countRefusal)
{
    if (heldByCurrentThread()) {
        if (countRefusal)
            ++m_refusedWhileHeld;
        FMDBLog::write(QStringLiteral("%1 getInstance refused: this thread already holds the store")
                           .arg(QLatin1String(m_storeName)));
        return false;
    }
    m_mutex.lock();
    m_owner.store(std::this_thread::get_id());
    return true;
}

void StoreLock::release()
{
    if (!heldByCurrentThread()) {
        FMDBLog::write(QStringLiteral("%1 revertInstance ignored: this thread does not hold the store")
                           .arg(QLatin1String(m_storeName)));
        return;
    }
    if (m_refusedWhileHeld > 0) {
        --m_refusedWhileHeld;
        return;
    }
    unlock();
}

void StoreLock::releaseScope()
{
    if (heldByCurrentThread())
        unlock();
}

void StoreLock::unlock()
{
    // Refusals inside the scope that were never paired must not keep the lock held.
    m_refusedWhileHeld = 0;
    m_owner.store(std::thread::id());
    m_mutex.unlock();
}
