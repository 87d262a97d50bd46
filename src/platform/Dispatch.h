#pragma once

#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class QObject;
class QThread;

// Queues of work over the Qt event loop and thread pool. "The main queue" is the main thread's
// event loop (the thread of the QCoreApplication), "a global queue" is QThreadPool's global pool.
namespace dispatch {

using Block = std::function<void()>;
inline constexpr int64_t kForever = -1;

bool isMainThread();

// Runs the block later on the main thread's event loop. Once the application object is gone
// the main queue has ended: blocks sent to it then (and by syncMain and after) are dropped, and
// blocks still waiting when it ends are destroyed unrun on the main thread as it ends.
void asyncMain(Block block);
// Runs the block at once on the main thread; from another thread, later on the main queue.
void onMain(Block block);
// Runs the block on the main thread and waits for it; runs it at once when already there.
// Returns without running it when the main queue ends first.
void syncMain(const Block& block);
// Runs the block on a thread of the global pool.
void asyncGlobal(Block block);
// Runs the block on the main thread's event loop after the delay.
void after(int milliseconds, Block block);
// On the main thread: runs the attempt every interval until it answers true, or until the
// context object goes (and the attempt with it). For a wait that nothing announces the end of,
// such as another program's lock on the store.
void retryEvery(QObject* context, int milliseconds, std::function<bool()> attempt);

// One worker thread taking blocks in the order they came.
class SerialQueue
{
public:
    explicit SerialQueue(const QString& label);
    // Runs what is still queued, then ends the worker. Must not run on the queue itself.
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    QString label() const { return m_label; }

    void async(Block block);
    // Waits until the block has run on the queue, after everything queued before it.
    // From a block of this same queue it runs the block at once instead of waiting for itself.
    void sync(const Block& block);

    // True on the queue's own worker thread.
    bool isCurrent() const;

private:
    void run();

    const QString m_label;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Block> m_blocks;  // guarded by m_mutex
    bool m_stopping = false;     // guarded by m_mutex
    QThread* m_thread = nullptr;
};

// A counting semaphore: wait() takes one count, blocking until signal() gives one.
class Semaphore
{
public:
    explicit Semaphore(int64_t initialValue = 0) : m_value(initialValue) {}

    void signal();
    // True when a count was taken, false when the time ran out (kForever waits without limit).
    bool wait(int64_t timeoutMs = kForever);

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int64_t m_value;  // guarded by m_mutex
};

// Counts work in flight; notify blocks run on the main thread once the count is back to zero.
class Group
{
public:
    Group();
    ~Group();
    Group(const Group&) = delete;
    Group& operator=(const Group&) = delete;

    void enter();
    // A leave without its enter is ignored (and logged) rather than driving the count negative.
    void leave();
    // Runs the block inside the group, on the queue or on the global pool.
    void async(SerialQueue& queue, Block block);
    void async(Block block);
    // True once the count is zero, false when the time ran out.
    bool wait(int64_t timeoutMs = kForever);
    // Runs the block on the main thread when the count is zero: at once (queued) if it is now,
    // else when the last leave() comes.
    void notify(Block block);

private:
    struct State;
    static void leaveState(State& state);
    std::shared_ptr<State> m_state;
};

}  // namespace dispatch
