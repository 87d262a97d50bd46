#include "platform/NotificationCenter.h"

#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <memory>

#include <gtest/gtest.h>

namespace {

// Runs the function on a thread of its own and waits for it.
template <typename F>
void onWorker(F&& function)
{
    QThread* worker = QThread::create(std::forward<F>(function));
    worker->start();
    worker->wait();
    delete worker;
}

struct Record
{
    QString title;
};

}  // namespace

TEST(NotificationCenter, PostFromAWorkerRunsTheOwnedObserverOnTheMainThread)
{
    NotificationCenter center;
    QObject owner;
    std::atomic<int> calls = 0;
    std::atomic<QThread*> ranOn = nullptr;
    QVariantMap seen;
    center.addObserver(&owner, QStringLiteral("reloadTableTuiguangAD"), nullptr, [&](const Notification& n) {
        ranOn = QThread::currentThread();
        seen = n.userInfo;
        ++calls;
    });

    onWorker([&] { center.post(QStringLiteral("reloadTableTuiguangAD"), {}, {{QStringLiteral("n"), 3}}); });
    EXPECT_EQ(calls, 0);  // queued, not run on the worker
    ASSERT_TRUE(waitUntil([&] { return calls > 0; }));
    EXPECT_EQ(ranOn.load(), QCoreApplication::instance()->thread());
    EXPECT_EQ(seen.value(QStringLiteral("n")).toInt(), 3);

    // On the owner's own thread the observer runs before post() returns.
    center.post(QStringLiteral("reloadTableTuiguangAD"));
    EXPECT_EQ(calls, 2);
}

TEST(NotificationCenter, ADestroyedOwnerIsNeverCalled)
{
    NotificationCenter center;
    std::atomic<int> calls = 0;
    auto* owner = new QObject;
    center.addObserver(owner, QStringLiteral("fontChanged"), nullptr, [&](const Notification&) { ++calls; });

    // Queued from a worker while the owner lives, destroyed before the loop delivers it.
    onWorker([&] { center.post(QStringLiteral("fontChanged")); });
    delete owner;
    center.post(QStringLiteral("fontChanged"));
    onWorker([&] { center.post(QStringLiteral("fontChanged")); });
    QCoreApplication::processEvents();
    EXPECT_FALSE(waitUntil([&] { return calls > 0; }, 200));
}

TEST(NotificationCenter, RemovedObserverDoesNotRunAQueuedNotification)
{
    NotificationCenter center;
    QObject owner;
    std::atomic<int> kept = 0;
    std::atomic<int> removed = 0;
    center.addObserver(&owner, QStringLiteral("NEWS"), nullptr, [&](const Notification&) { ++removed; });
    center.addObserver(&owner, QStringLiteral("ZQ"), nullptr, [&](const Notification&) { ++kept; });

    onWorker([&] {
        center.post(QStringLiteral("NEWS"));
        center.post(QStringLiteral("ZQ"));
    });
    center.removeObserver(&owner, QStringLiteral("NEWS"));
    ASSERT_TRUE(waitUntil([&] { return kept > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(removed, 0);

    center.removeObserver(&owner);
    center.post(QStringLiteral("ZQ"));
    EXPECT_EQ(kept, 1);
}

TEST(NotificationCenter, ObjectFiltersMatchByIdentity)
{
    NotificationCenter center;
    auto task = std::make_shared<Record>(Record{QStringLiteral("one")});
    auto otherTask = std::make_shared<Record>(Record{QStringLiteral("two")});
    QObject sender;

    QStringList filtered;
    QStringList any;
    QObject* fromQObject = nullptr;
    const auto filteredToken = center.addObserver(QStringLiteral("com.alamofire.networking.task.resume"), task.get(),
                                                  [&](const Notification& n) {
                                                      filtered << n.object.sharedPtr<Record>()->title;
                                                  });
    center.addObserver(QStringLiteral("com.alamofire.networking.task.resume"), nullptr, [&](const Notification& n) {
        const auto record = n.object.sharedPtr<Record>();
        any << (record ? record->title : QStringLiteral("-"));
    });
    center.addObserver(QStringLiteral("fromQObject"), &sender, [&](const Notification& n) { fromQObject = n.object.qobject(); });

    center.post(QStringLiteral("com.alamofire.networking.task.resume"), NotificationObject::from(task));
    center.post(QStringLiteral("com.alamofire.networking.task.resume"), NotificationObject::from(otherTask));
    center.post(QStringLiteral("com.alamofire.networking.task.resume"));
    center.post(QStringLiteral("com.alamofire.networking.task.suspend"), NotificationObject::from(task));
    EXPECT_EQ(filtered, QStringList{QStringLiteral("one")});
    EXPECT_EQ(any, (QStringList{QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("-")}));

    center.post(QStringLiteral("fromQObject"), NotificationObject::from(otherTask));  // another identity
    EXPECT_EQ(fromQObject, nullptr);
    center.post(QStringLiteral("fromQObject"), NotificationObject::from(&sender));
    EXPECT_EQ(fromQObject, &sender);
    EXPECT_EQ(NotificationObject::from(&sender).sharedPtr<Record>(), nullptr);

    center.removeObserver(filteredToken);
    center.post(QStringLiteral("com.alamofire.networking.task.resume"), NotificationObject::from(task));
    EXPECT_EQ(filtered.size(), 1);
    EXPECT_EQ(any.size(), 4);
}

TEST(NotificationCenter, HandlersMayPostAndRemoveObservers)
{
    NotificationCenter center;
    QStringList order;
    NotificationCenter::Token second = 0;
    center.addObserver(QStringLiteral("sentCommentSuc"), nullptr, [&](const Notification&) {
        order << QStringLiteral("first");
        center.removeObserver(second);  // removed while this post is running: must not be called
        center.post(QStringLiteral("reloadCommentView"));
    });
    second = center.addObserver(QStringLiteral("sentCommentSuc"), nullptr,
                                [&](const Notification&) { order << QStringLiteral("second"); });
    center.addObserver(QStringLiteral("reloadCommentView"), nullptr, [&](const Notification&) {
        order << QStringLiteral("nested");
        center.addObserver(QStringLiteral("later"), nullptr, [&](const Notification&) { order << QStringLiteral("later"); });
    });

    center.post(QStringLiteral("sentCommentSuc"));
    EXPECT_EQ(order, (QStringList{QStringLiteral("first"), QStringLiteral("nested")}));
    center.post(QStringLiteral("later"));
    EXPECT_EQ(order.last(), QStringLiteral("later"));
}

TEST(NotificationCenter, UnownedObserversRunOnThePostingThread)
{
    NotificationCenter& center = NotificationCenter::defaultCenter();
    std::atomic<QThread*> ranOn = nullptr;
    QThread* poster = nullptr;
    const auto token = center.addObserver(QStringLiteral("touchBarCommentCount"), nullptr,
                                          [&](const Notification&) { ranOn = QThread::currentThread(); });
    onWorker([&] {
        poster = QThread::currentThread();
        center.post(QStringLiteral("touchBarCommentCount"));
    });
    EXPECT_EQ(ranOn.load(), poster);
    center.removeObserver(token);
}

TEST(NotificationCenter, ConcurrentPostsAndOwnerTurnoverStaySafe)
{
    NotificationCenter center;
    std::atomic<bool> stop = false;
    std::atomic<int> delivered = 0;
    QThread* poster = QThread::create([&] {
        while (!stop)
            center.post(QStringLiteral("churn"));
    });
    poster->start();
    for (int i = 0; i < 200; ++i) {
        auto* owner = new QObject;
        center.addObserver(owner, QStringLiteral("churn"), nullptr, [&](const Notification&) { ++delivered; });
        QCoreApplication::processEvents();
        delete owner;
    }
    stop = true;
    poster->wait();
    delete poster;
    const int afterLastOwner = delivered;
    QCoreApplication::processEvents();
    EXPECT_EQ(delivered, afterLastOwner);  // nothing reaches an owner that is gone
}
