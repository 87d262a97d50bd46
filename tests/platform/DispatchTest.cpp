#include "platform/Dispatch.h"

#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

using namespace dispatch;

TEST(Dispatch, MainQueueRunsOnTheMainThreadLater)
{
    std::atomic<int> ran = 0;
    std::atomic<QThread*> ranOn = nullptr;
    asyncMain([&] { ++ran; });
    EXPECT_EQ(ran, 0);

    std::unique_ptr<QThread> worker(QThread::create([&] {
        EXPECT_FALSE(isMainThread());
        asyncMain([&] {
            ranOn = QThread::currentThread();
            ++ran;
        });
        // The worker waits for the main loop, which the test spins below.
        syncMain([&] { ++ran; });
    }));
    worker->start();
    ASSERT_TRUE(waitUntil([&] { return ran == 3; }));
    worker->wait();
    EXPECT_EQ(ranOn.load(), QCoreApplication::instance()->thread());
    EXPECT_TRUE(isMainThread());

    syncMain([&] { ++ran; });  // on main already: at once
    EXPECT_EQ(ran, 4);

    // after() counts its delay from the call, and fires on the main thread even when asked elsewhere.
    QElapsedTimer timer;
    timer.start();
    std::atomic<qint64> firedAt = -1;
    std::atomic<bool> firedOnMain = false;
    std::unique_ptr<QThread> asker(QThread::create([&] {
        after(80, [&] {
            firedOnMain = isMainThread();
            firedAt = timer.elapsed();
        });
    }));
    asker->start();
    asker->wait();
    ASSERT_TRUE(waitUntil([&] { return firedAt >= 0; }));
    EXPECT_GE(firedAt, 75);
    EXPECT_TRUE(firedOnMain);
}

TEST(Dispatch, MainQueueKeepsEachSendersOrderAndLosesNothing)
{
    constexpr int kThreads = 4;
    constexpr int kBlocks = 300;
    std::mutex mutex;
    std::vector<std::vector<int>> seen(kThreads);  // guarded by mutex
    std::vector<std::unique_ptr<QThread>> senders;
    for (int t = 0; t < kThreads; ++t) {
        senders.emplace_back(QThread::create([&, t] {
            for (int i = 0; i < kBlocks; ++i)
                asyncMain([&, t, i] {
                    std::lock_guard lock(mutex);
                    seen[t].push_back(i);
                });
        }));
        senders.back()->start();
    }
    // Blocks queued by a block run after the ones already waiting.
    std::vector<int> nested;
    asyncMain([&] {
        nested.push_back(1);
        asyncMain([&] { nested.push_back(3); });
    });
    asyncMain([&] { nested.push_back(2); });

    auto total = [&] {
        std::lock_guard lock(mutex);
        size_t n = 0;
        for (const std::vector<int>& s : seen)
            n += s.size();
        return n;
    };
    ASSERT_TRUE(waitUntil([&] { return total() == size_t(kThreads) * kBlocks && nested.size() == 3; }));
    for (const std::unique_ptr<QThread>& sender : senders)
        sender->wait();
    for (int t = 0; t < kThreads; ++t) {
        std::vector<int> expected(kBlocks);
        for (int i = 0; i < kBlocks; ++i)
            expected[i] = i;
        EXPECT_EQ(seen[t], expected) << "sender " << t;
    }
    EXPECT_EQ(nested, (std::vector<int>{1, 2, 3}));
}

TEST(Dispatch, SerialQueueKeepsOrderUnderLoad)
{
    std::vector<int> seen;
    std::mutex seenMutex;
    std::atomic<int> running = 0;
    std::atomic<bool> overlapped = false;
    {
        SerialQueue queue(QStringLiteral("com.velbrook.SDWebImageCache"));
        EXPECT_EQ(queue.label(), QStringLiteral("com.velbrook.SDWebImageCache"));
        // Several producers; each one's blocks must stay in its own order and never overlap.
        std::vector<std::unique_ptr<QThread>> producers;
        for (int p = 0; p < 4; ++p) {
            producers.emplace_back(QThread::create([&, p] {
                for (int i = 0; i < 500; ++i) {
                    queue.async([&, p, i] {
                        if (++running > 1)
                            overlapped = true;
                        EXPECT_TRUE(queue.isCurrent());
                        {
                            std::lock_guard lock(seenMutex);
                            seen.push_back(p * 1000 + i);
                        }
                        --running;
                    });
                }
            }));
            producers.back()->start();
        }
        for (auto& producer : producers)
            producer->wait();
        int counted = 0;
        queue.sync([&] {
            std::lock_guard lock(seenMutex);
            counted = int(seen.size());
            queue.sync([&] { ++counted; });  // from the queue itself: runs at once, no self-wait
        });
        EXPECT_EQ(counted, 2001);
        for (int i = 0; i < 100; ++i)
            queue.async([&, i] {
                std::lock_guard lock(seenMutex);
                seen.push_back(9000 + i);
            });
        EXPECT_FALSE(queue.isCurrent());
    }  // destruction drains the queue
    ASSERT_EQ(seen.size(), 2100u);
    EXPECT_FALSE(overlapped);
    std::vector<int> next(10, 0);
    for (int value : seen) {
        const int producer = value / 1000;
        EXPECT_EQ(value % 1000, next[producer]) << "producer " << producer;
        next[producer] = value % 1000 + 1;
    }
}

TEST(Dispatch, SemaphoreCountsAndTimesOut)
{
    Semaphore semaphore;
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(semaphore.wait(50));
    EXPECT_GE(timer.elapsed(), 45);
    EXPECT_FALSE(semaphore.wait(0));

    semaphore.signal();
    semaphore.signal();
    EXPECT_TRUE(semaphore.wait(0));
    EXPECT_TRUE(semaphore.wait());
    EXPECT_FALSE(semaphore.wait(0));

    Semaphore started(1);
    EXPECT_TRUE(started.wait(0));

    // Wait without limit for a reply from another thread, as the automatic login does.
    std::unique_ptr<QThread> replier(QThread::create([&] {
        QThread::msleep(20);
        semaphore.signal();
    }));
    replier->start();
    EXPECT_TRUE(semaphore.wait());
    replier->wait();
}

TEST(Dispatch, GroupWaitsAndNotifiesOnMainWhenEmpty)
{
    Group group;
    EXPECT_TRUE(group.wait(0));

    std::atomic<int> done = 0;
    std::atomic<int> notified = 0;
    std::atomic<int> notifiedWithPending = -1;
    SerialQueue queue(QStringLiteral("group"));
    Semaphore gate;
    group.async(queue, [&] {
        gate.wait();
        ++done;
    });
    for (int i = 0; i < 8; ++i)
        group.async([&] { ++done; });
    group.enter();
    group.notify([&] {
        EXPECT_TRUE(isMainThread());
        notifiedWithPending = 9 - done;
        ++notified;
    });

    EXPECT_FALSE(group.wait(30));  // the gate and the manual enter hold it
    gate.signal();
    EXPECT_FALSE(group.wait(30));
    group.leave();
    EXPECT_TRUE(group.wait(5000));
    EXPECT_EQ(done, 9);
    EXPECT_EQ(notified, 0);  // queued to the main loop, not run on the leaving thread
    ASSERT_TRUE(waitUntil([&] { return notified == 1; }));
    EXPECT_EQ(notifiedWithPending, 0);

    // Notify on an empty group runs soon; a stray leave changes nothing.
    group.leave();
    group.notify([&] { ++notified; });
    ASSERT_TRUE(waitUntil([&] { return notified == 2; }));
    group.enter();
    EXPECT_FALSE(group.wait(0));
    group.leave();
    EXPECT_TRUE(group.wait(0));
}

TEST(Dispatch, GroupWorkMayOutliveTheGroup)
{
    std::atomic<int> done = 0;
    Semaphore gate;
    {
        Group group;
        group.async([&] {
            gate.wait();
            ++done;
        });
    }
    gate.signal();
    ASSERT_TRUE(waitUntil([&] { return done == 1; }));
}

TEST(Dispatch, MainQueueWorkAfterTheApplicationEndedIsDropped)
{
    QProcess probe;
    probe.start(QStringLiteral(TIDWEN_DISPATCH_PROBE), {});
    ASSERT_TRUE(probe.waitForFinished(30000));
    EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(probe.exitCode(), 0);
    EXPECT_EQ(probe.readAllStandardOutput().trimmed(), QByteArray("dropped"));
}
