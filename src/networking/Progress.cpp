#include "networking/Progress.h"

qint64 Progress::totalUnitCount() const
{
    std::lock_guard lock(m_mutex);
    return m_total;
}

void Progress::setTotalUnitCount(qint64 total)
{
    changeCounts(total, completedUnitCount());
}

qint64 Progress::completedUnitCount() const
{
    std::lock_guard lock(m_mutex);
    return m_completed;
}

void Progress::setCompletedUnitCount(qint64 completed)
{
    changeCounts(totalUnitCount(), completed);
}

double Progress::fraction(qint64 completed, qint64 total)
{
    return total > 0 ? static_cast<double>(completed) / static_cast<double>(total) : 0.0;
}

double Progress::fractionCompleted() const
{
    std::lock_guard lock(m_mutex);
    return fraction(m_completed, m_total);
}

void Progress::changeCounts(qint64 total, qint64 completed)
{
    Handler handler;
    {
        std::lock_guard lock(m_mutex);
        const double before = fraction(m_completed, m_total);
        m_total = total;
        m_completed = completed;
        if (fraction(m_completed, m_total) == before)
            return;
        handler = m_fractionHandler;
    }
    if (handler)
        handler();
}

bool Progress::isCancellable() const
{
    std::lock_guard lock(m_mutex);
    return m_cancellable;
}

void Progress::setCancellable(bool on)
{
    std::lock_guard lock(m_mutex);
    m_cancellable = on;
}

bool Progress::isPausable() const
{
    std::lock_guard lock(m_mutex);
    return m_pausable;
}

void Progress::setPausable(bool on)
{
    std::lock_guard lock(m_mutex);
    m_pausable = on;
}

bool Progress::isCancelled() const
{
    std::lock_guard lock(m_mutex);
    return m_cancelled;
}

bool Progress::isPaused() const
{
    std::lock_guard lock(m_mutex);
    return m_paused;
}

void Progress::setCancellationHandler(Handler handler)
{
    std::lock_guard lock(m_mutex);
    m_cancellationHandler = std::move(handler);
}

void Progress::setPausingHandler(Handler handler)
{
    std::lock_guard lock(m_mutex);
    m_pausingHandler = std::move(handler);
}

void Progress::setResumingHandler(Handler handler)
{
    std::lock_guard lock(m_mutex);
    m_resumingHandler = std::move(handler);
}

void Progress::setFractionCompletedHandler(Handler handler)
{
    std::lock_guard lock(m_mutex);
    m_fractionHandler = std::move(handler);
}

void Progress::cancel()
{
    Handler handler;
    {
        std::lock_guard lock(m_mutex);
        if (!m_cancellable || m_cancelled)
            return;
        m_cancelled = true;
        handler = m_cancellationHandler;
    }
    if (handler)
        handler();
}

void Progress::pause()
{
    Handler handler;
    {
        std::lock_guard lock(m_mutex);
        if (!m_pausable || m_paused)
            return;
        m_paused = true;
        handler = m_pausingHandler;
    }
    if (handler)
        handler();
}

void Progress::resume()
{
    Handler handler;
    {
        std::lock_guard lock(m_mutex);
        if (!m_paused)
            return;
        m_paused = false;
        handler = m_resumingHandler;
    }
    if (handler)
        handler();
}
