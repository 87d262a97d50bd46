#pragma once

#include <QString>

#include <atomic>
#include <mutex>
#include <thread>

// The process-wide lock of one database store: getInstance takes it, revertInstance gives it
// back, on the same thread. It is not re-entrant, and a thread that asks again while it holds
// it would wait for itself for ever, so a second acquire on the holding thread is logged and
// refused instead.
//
// Two ways to hold it:
// - the raw bracket (acquire / release): the release that belongs to a refused acquire gives
//   nothing back, so a caller that pairs every getInstance with a revertInstance cannot release
//   the outer bracket by mistake;
// - a scope (acquireScope / releaseScope): a refused scope has nothing to release and releases
//   nothing; a held one gives the lock back whatever happened inside it.
class StoreLock
{
public:
    // storeName only names the store in the log lines.
    explicit StoreLock(const char* storeName) : m_storeName(storeName) {}
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

    // Block while another thread holds the lock. False, at once, when this thread holds it.
    bool acquire();
    bool acquireScope();
    // Gives the lock back, unless it pairs with a refused acquire. A thread that does not hold
    // the lock releases nothing (logged).
    void release();
    // Gives back a lock that acquireScope took.
    void releaseScope();

    bool heldByCurrentThread() const { return m_owner.load() == std::this_thread::get_id(); }

private:
    bool lock(bool countRefusal);
    void unlock();

    const char* m_storeName;
    std::mutex m_mutex;
    std::atomic<std::thread::id> m_owner{};
    int m_refusedWhileHeld = 0;  // raw acquires refused and not yet released; only the holder touches it
};

// Holds a store's lock for its scope: Store::enterScope() takes it (null when this thread holds it
// already) and Store::leaveScope() gives it back however the scope ends.
//
//     DatabaseOperate::Lease store;
//     if (!store)
//         return;  // this thread already holds the store
template <typename Store>
class StoreLease
{
public:
    StoreLease() : m_store(Store::enterScope()) {}
    ~StoreLease()
    {
        if (m_store)
            Store::leaveScope();
    }
    StoreLease(const StoreLease&) = delete;
    StoreLease& operator=(const StoreLease&) = delete;

    explicit operator bool() const { return m_store != nullptr; }
    Store* operator->() const { return m_store; }
    Store& operator*() const { return *m_store; }
    Store* get() const { return m_store; }

private:
    Store* m_store;
};
