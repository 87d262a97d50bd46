#pragma once

#include <QtGlobal>

#include <functional>
#include <mutex>

// The progress of one piece of work in units (bytes for transfers), with the hooks that let a
// holder of the progress cancel, pause or resume the work behind it. Every member may be called
// from any thread; handlers run on the calling thread, outside the object's lock.
class Progress
{
public:
    using Handler = std::function<void()>;

    // -1: the total is not known yet.
    explicit Progress(qint64 totalUnitCount = -1) : m_total(totalUnitCount) {}
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    qint64 totalUnitCount() const;
    void setTotalUnitCount(qint64 total);
    qint64 completedUnitCount() const;
    void setCompletedUnitCount(qint64 completed);
    // completed / total; 0 while the total is unknown or 0.
    double fractionCompleted() const;

    bool isCancellable() const;
    void setCancellable(bool on);
    bool isPausable() const;
    void setPausable(bool on);
    bool isCancelled() const;
    bool isPaused() const;

    void setCancellationHandler(Handler handler);
    void setPausingHandler(Handler handler);
    void setResumingHandler(Handler handler);
    // Called after every change of fractionCompleted.
    void setFractionCompletedHandler(Handler handler);

    // Cancelling happens once and only when cancellable; pausing only when pausable.
    void cancel();
    void pause();
    void resume();

private:
    static double fraction(qint64 completed, qint64 total);
    // Applies the change under the lock and calls the fraction handler when the fraction moved.
    void changeCounts(qint64 total, qint64 completed);

    mutable std::mutex m_mutex;
    qint64 m_total;
    qint64 m_completed = 0;
    bool m_cancellable = false;
    bool m_pausable = false;
    bool m_cancelled = false;
    bool m_paused = false;
    Handler m_cancellationHandler;
    Handler m_pausingHandler;
    Handler m_resumingHandler;
    Handler m_fractionHandler;
};
