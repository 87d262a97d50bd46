#include "platform/Dispatch.h"

#include <QCoreApplication>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <chrono>
#include <vector>

namespace dispatch {

namespace {

// The main queue lives as long as the application object. Work queued after it is gone (a
// worker finishing while the process shuts down) would never run, so it is dropped.
QCoreApplication* mainApp()
{
    return QCoreApplication::instance();
}

// The main queue's blocks wait here rather than inside Qt's posted events, which carry only a
// token that runs the oldest block. When the application object ends with blocks still waiting,
// Qt deletes its leftover posted events while holding its posted-event lock; a block destroyed
// there whose captures post an event or delete a QObject with events pending (a session's
// deferred deletion, for one) would wait on that same lock for good. So the waiting blocks are
// dropped as soon as the application object announces its end, while nothing is locked.
struct MainQueue
{
    struct Entry
    {
        Block block;
        bool waiter = false;  // a syncMain caller waits for it
    };
    std::mutex mutex;
    std::deque<Entry> blocks;             // guarded by mutex
    QCoreApplication* watched = nullptr;  // guarded by mutex; the application whose end drops the blocks
    bool waitersEnded = false;            // guarded by mutex
};

MainQueue& mainQueue()
{
    // Never destroyed: blocks may still be queued while static objects go.
    static auto* const queue = new MainQueue;
    return *queue;
}

void endMainQueue(QCoreApplication* app)
{
    MainQueue& queue = mainQueue();
    std::deque<MainQueue::Entry> dropped;
    {
        std::lock_guard lock(queue.mutex);
        if (queue.watched != app)
            return;
        queue.watched = nullptr;
        dropped.swap(queue.blocks);
    }
    // Destroyed here, on the main thread, with the application object already unset: whatever the
    // blocks held goes now, and anything they queue in turn is dropped at once.
    dropped.clear();
}

// The application object's destructor waits for the global pool before it announces its end; a
// pool thread waiting in syncMain then would wait for ever. From the start of that destructor on,
// syncMain callers are let go without their block.
void releaseSyncWaiters()
{
    MainQueue& queue = mainQueue();
    std::vector<MainQueue::Entry> released;
    {
        std::lock_guard lock(queue.mutex);
        queue.waitersEnded = true;
        for (auto it = queue.blocks.begin(); it != queue.blocks.end();) {
            if (it->waiter) {
                released.push_back(std::move(*it));
                it = queue.blocks.erase(it);
            } else {
                ++it;
            }
        }
    }
    released.clear();
}

void runNextMainBlock()
{
    MainQueue& queue = mainQueue();
    Block block;
    {
        std::lock_guard lock(queue.mutex);
        if (queue.blocks.empty())
            return;  // its block was let go unrun
        block = std::move(queue.blocks.front().block);
        queue.blocks.pop_front();
    }
    block();
}

// Queues the block for the application's main thread. A syncMain block is refused (and destroyed
// by the caller) once the application has begun to end.
void enqueueMain(QCoreApplication* app, Block block, bool waiter)
{
    MainQueue& queue = mainQueue();
    std::deque<MainQueue::Entry> stale;
    {
        std::lock_guard lock(queue.mutex);
        if (queue.watched != app) {
            stale.swap(queue.blocks);  // an earlier application's leftovers, if it ended unannounced
            queue.watched = app;
            queue.waitersEnded = false;
            QObject::connect(app, &QObject::destroyed, [app] { endMainQueue(app); });
            qAddPostRoutine(&releaseSyncWaiters);
        }
        if (waiter && queue.waitersEnded)
            return;
        queue.blocks.push_back({std::move(block), waiter});
    }
    QMetaObject::invokeMethod(app, &runNextMainBlock, Qt::QueuedConnection);
}

// Waits on the condition for at most timeoutMs (kForever or any negative value: no limit).
template <typename Predicate>
bool waitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, int64_t timeoutMs, Predicate done)
{
    if (timeoutMs < 0) {
        cv.wait(lock, done);
        return true;
    }
    return cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
}

}  // namespace

bool isMainThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void asyncMain(Block block)
{
    if (QCoreApplication* app = mainApp())
        enqueueMain(app, std::move(block), false);
}

void syncMain(const Block& block)
{
    if (isMainThread()) {
        block();
        return;
    }
    QCoreApplication* const app = mainApp();
    if (app == nullptr)
        return;
    // The caller wakes when the wrapper is gone: after the block ran, or when the main queue ended
    // and dropped it unrun.
    struct Release
    {
        explicit Release(std::shared_ptr<Semaphore> semaphore) : done(std::move(semaphore)) {}
        Release(const Release&) = delete;
        Release& operator=(const Release&) = delete;
        ~Release() { done->signal(); }
        std::shared_ptr<Semaphore> done;
    };
    auto done = std::make_shared<Semaphore>();
    enqueueMain(app, [&block, release = std::make_shared<Release>(done)] { block(); }, true);
    done->wait();
}

void asyncGlobal(Block block)
{
    QThreadPool::globalInstance()->start(std::move(block));
}

void onMain(Block block)
{
    if (isMainThread())
        block();
    else
        asyncMain(std::move(block));
}

void after(int milliseconds, Block block)
{
    if (isMainThread()) {
        if (QCoreApplication* app = mainApp())
            QTimer::singleShot(milliseconds, app, std::move(block));
        return;
    }
    // The timer must be started on the thread whose loop fires it.
    asyncMain([milliseconds, block = std::move(block)]() mutable {
        QTimer::singleShot(milliseconds, QCoreApplication::instance(), std::move(block));
    });
}

void retryEvery(QObject* context, int milliseconds, std::function<bool()> attempt)
{
    auto* timer = new QTimer(context);
    timer->setInterval(milliseconds);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, attempt = std::move(attempt)] {
        if (!attempt())
            return;
        timer->stop();
        timer->deleteLater();
    });
    timer->start();
}

// ---------------------------------------------------------------------------------------------

SerialQueue::SerialQueue(const QString& label) : m_label(label)
{
    m_thread = QThread::create([this] { run(); });
    m_thread->setObjectName(label);
    m_thread->start();
}

SerialQueue::~SerialQueue()
{
    if (isCurrent())
        qFatal("SerialQueue %s destroyed by one of its own blocks", qPrintable(m_label));
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_ready.notify_one();
    }
    m_thread->wait();
    delete m_thread;
}

void SerialQueue::async(Block block)
{
    std::lock_guard lock(m_mutex);
    m_blocks.push_back(std::move(block));
    m_ready.notify_one();
}

void SerialQueue::sync(const Block& block)
{
    if (isCurrent()) {
        block();
        return;
    }
    Semaphore done;
    async([&block, &done] {
        block();
        done.signal();
    });
    done.wait();
}

bool SerialQueue::isCurrent() const
{
    return QThread::currentThread() == m_thread;
}

void SerialQueue::run()
{
    for (;;) {
        Block block;
        {
            std::unique_lock lock(m_mutex);
            m_ready.wait(lock, [this] { return m_stopping || !m_blocks.empty(); });
            if (m_blocks.empty())
                return;  // stopping, and everything queued has run
            block = std::move(m_blocks.front());
            m_blocks.pop_front();
        }
        block();
    }
}

// ---------------------------------------------------------------------------------------------

void Semaphore::signal()
{
    // Notified under the lock: a waiter that wakes may destroy the semaphore as soon as the lock
    // is free (SerialQueue::sync keeps one on its stack).
    std::lock_guard lock(m_mutex);
    ++m_value;
    m_changed.notify_one();
}

bool Semaphore::wait(int64_t timeoutMs)
{
    std::unique_lock lock(m_mutex);
    if (!waitFor(m_changed, lock, timeoutMs, [this] { return m_value > 0; }))
        return false;
    --m_value;
    return true;
}

// ---------------------------------------------------------------------------------------------

struct Group::State
{
    std::mutex mutex;
    std::condition_variable zero;
    int64_t count = 0;             // guarded by mutex
    std::vector<Block> notifiers;  // guarded by mutex
};

Group::Group() : m_state(std::make_shared<State>()) {}

Group::~Group() = default;

void Group::enter()
{
    std::lock_guard lock(m_state->mutex);
    ++m_state->count;
}

void Group::leave()
{
    leaveState(*m_state);
}

void Group::leaveState(State& state)
{
    std::vector<Block> notifiers;
    {
        std::lock_guard lock(state.mutex);
        if (state.count == 0) {
            qWarning("dispatch::Group: leave() without enter()");
            return;
        }
        if (--state.count > 0)
            return;
        notifiers.swap(state.notifiers);
        state.zero.notify_all();
    }
    for (Block& block : notifiers)
        asyncMain(std::move(block));
}

void Group::async(SerialQueue& queue, Block block)
{
    enter();
    // The block holds the group's state, not the group: the group may go before its work ends.
    queue.async([state = m_state, block = std::move(block)] {
        block();
        leaveState(*state);
    });
}

void Group::async(Block block)
{
    enter();
    asyncGlobal([state = m_state, block = std::move(block)] {
        block();
        leaveState(*state);
    });
}

bool Group::wait(int64_t timeoutMs)
{
    std::unique_lock lock(m_state->mutex);
    return waitFor(m_state->zero, lock, timeoutMs, [this] { return m_state->count == 0; });
}

void Group::notify(Block block)
{
    {
        std::lock_guard lock(m_state->mutex);
        if (m_state->count > 0) {
            m_state->notifiers.push_back(std::move(block));
            return;
        }
    }
    asyncMain(std::move(block));
}

}  // namespace dispatch
