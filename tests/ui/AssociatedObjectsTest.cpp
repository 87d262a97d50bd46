#include "platform/AssociatedObjects.h"

#include <QObject>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

const char kFirstKey = 0;
const char kSecondKey = 0;

// Runs its action when freed.
struct Probe
{
    std::function<void()> onFree;
    int value = 0;
    ~Probe()
    {
        if (onFree)
            onFree();
    }
};

}  // namespace

TEST(AssociatedObjects, RecordsPerObjectAndKey)
{
    QObject a, b;
    auto first = AssociatedObjects::getOrCreate<Probe>(&a, &kFirstKey);
    first->value = 1;
    EXPECT_EQ(AssociatedObjects::getOrCreate<Probe>(&a, &kFirstKey)->value, 1) << "made once";
    EXPECT_EQ(AssociatedObjects::value<Probe>(&a, &kSecondKey), nullptr);
    EXPECT_EQ(AssociatedObjects::value<Probe>(&b, &kFirstKey), nullptr);
    EXPECT_EQ(AssociatedObjects::value<Probe>(nullptr, &kFirstKey), nullptr);

    bool replacedFreed = false;
    first->onFree = [&] { replacedFreed = true; };
    first.reset();
    auto second = std::make_shared<Probe>();
    second->value = 2;
    AssociatedObjects::set(&a, &kFirstKey, second);
    EXPECT_TRUE(replacedFreed);
    EXPECT_EQ(AssociatedObjects::value<Probe>(&a, &kFirstKey)->value, 2);

    AssociatedObjects::remove(&a, &kFirstKey);
    EXPECT_EQ(AssociatedObjects::value<Probe>(&a, &kFirstKey), nullptr);
    AssociatedObjects::set(&a, &kFirstKey, nullptr);  // removing what is not there is fine
}

TEST(AssociatedObjects, FreedWhenTheObjectIsDestroyedWhileItsQObjectPartLives)
{
    const int before = AssociatedObjects::objectCount();
    auto object = std::make_unique<QObject>();
    object->setObjectName(QStringLiteral("owner"));
    QString seenName;
    bool freed = false;
    QObject* raw = object.get();
    auto probe = AssociatedObjects::getOrCreate<Probe>(raw, &kFirstKey);
    probe->onFree = [&] {
        freed = true;
        seenName = raw->objectName();
        // The store may be used from a record's destructor.
        EXPECT_EQ(AssociatedObjects::value<Probe>(raw, &kFirstKey), nullptr);
    };
    AssociatedObjects::getOrCreate<Probe>(raw, &kSecondKey);
    probe.reset();
    EXPECT_EQ(AssociatedObjects::objectCount(), before + 1);
    object.reset();
    EXPECT_TRUE(freed);
    EXPECT_EQ(seenName, QStringLiteral("owner"));
    EXPECT_EQ(AssociatedObjects::objectCount(), before);

    // A new object at a reused address starts with nothing.
    auto again = std::make_unique<QObject>();
    EXPECT_EQ(AssociatedObjects::value<Probe>(again.get(), &kFirstKey), nullptr);
}

TEST(AssociatedObjects, RemovingTheLastRecordForgetsTheObject)
{
    const int before = AssociatedObjects::objectCount();
    QObject object;
    AssociatedObjects::getOrCreate<Probe>(&object, &kFirstKey);
    AssociatedObjects::remove(&object, &kFirstKey);
    EXPECT_EQ(AssociatedObjects::objectCount(), before);
}

TEST(AssociatedObjects, ManyThreadsAtOnce)
{
    constexpr int kThreads = 4, kObjects = 200;
    std::vector<std::unique_ptr<QObject>> objects;
    for (int i = 0; i < kThreads * kObjects; ++i)
        objects.push_back(std::make_unique<QObject>());
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kObjects; ++i) {
                QObject* o = objects[t * kObjects + i].get();
                AssociatedObjects::getOrCreate<Probe>(o, &kFirstKey)->value = t * kObjects + i;
                if (AssociatedObjects::value<Probe>(o, &kFirstKey)->value != t * kObjects + i)
                    ++mismatches;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches, 0);
    const int withRecords = AssociatedObjects::objectCount();
    objects.clear();
    EXPECT_EQ(AssociatedObjects::objectCount(), withRecords - kThreads * kObjects);
}

TEST(AssociatedObjects, ThreadsMakingOneRecordAtOnceAllGetTheSameOne)
{
    constexpr int kThreads = 8, kRounds = 50;
    for (int round = 0; round < kRounds; ++round) {
        QObject object;
        std::atomic<int> ready{0};
        std::vector<std::shared_ptr<Probe>> got(kThreads);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                ++ready;
                while (ready < kThreads) {
                }
                got[t] = AssociatedObjects::getOrCreate<Probe>(&object, &kFirstKey);
            });
        }
        for (auto& thread : threads)
            thread.join();
        const auto stored = AssociatedObjects::value<Probe>(&object, &kFirstKey);
        ASSERT_NE(stored, nullptr);
        for (int t = 0; t < kThreads; ++t)
            EXPECT_EQ(got[t], stored) << "round " << round << ", thread " << t;
    }
}
