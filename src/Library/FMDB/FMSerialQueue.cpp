#include "Library/FMDB/FMSerialQueue.h"

#include "Library/FMDB/FMDBLog.h"

bool FMSerialQueue::sync(const std::function<void()>& work)
{
    if (m_runningOn.load() == std::this_thread::get_id()) {
        FMDBLog::write(QStringLiteral("Refused a call to %1 from a block running on it").arg(m_label));
        return false;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_runningOn.store(std::this_thread::get_id());
    struct Leave {
        std::atomic<std::thread::id>& runningOn;
        ~Leave() { runningOn.store(std::thread::id()); }
    } leave{m_runningOn};
    work();
    return true;
}
