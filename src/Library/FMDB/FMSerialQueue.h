#pragma once

#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

// A private serial queue whose work runs synchronously with its caller: one piece of work at a
// time, in the order the callers came. Work that calls the same queue again would wait for
// itself forever; that call is refused (logged, not run) instead.
class FMSerialQueue
{
public:
    explicit FMSerialQueue(QString label) : m_label(std::move(label)) {}
    FMSerialQueue(const FMSerialQueue&) = delete;
    FMSerialQueue& operator=(const FMSerialQueue&) = delete;

    // Runs work on the queue and returns when it is done; false, without running it, when called
    // from work already running on this queue. An exception from work passes through.
    bool sync(const std::function<void()>& work);

    const QString& label() const { return m_label; }

private:
    QString m_label;
    std::mutex m_mutex;
    std::atomic<std::thread::id> m_runningOn{};
};
