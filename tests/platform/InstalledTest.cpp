#include "platform/Installed.h"

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

class Plain : public Installed<Plain>
{
public:
    virtual ~Plain() = default;
    virtual int id() const = 0;
};

class PlainWith : public Plain
{
public:
    explicit PlainWith(int id) : m_id(id) {}
    int id() const override { return m_id; }

private:
    int m_id;
};

class WithDefault : public Installed<WithDefault>
{
public:
    virtual ~WithDefault() = default;
    virtual int id() const { return 0; }  // the default's

    static int defaultsMade;

private:
    friend class Installed<WithDefault>;
    static std::shared_ptr<WithDefault> makeDefault()
    {
        ++defaultsMade;
        return std::make_shared<WithDefault>();
    }
};
int WithDefault::defaultsMade = 0;

class WithDefaultOf : public WithDefault
{
public:
    explicit WithDefaultOf(int id) : m_id(id) {}
    int id() const override { return m_id; }

private:
    int m_id;
};

}  // namespace

TEST(Installed, NothingInstalledIsNullAndInstallReplaces)
{
    Plain::install(nullptr);
    EXPECT_EQ(Plain::installed(), nullptr);

    auto first = std::make_shared<PlainWith>(1);
    Plain::install(first);
    EXPECT_EQ(Plain::installed(), first);
    EXPECT_EQ(Plain::installed()->id(), 1);

    auto second = std::make_shared<PlainWith>(2);
    Plain::install(second);
    EXPECT_EQ(Plain::installed(), second);
    EXPECT_EQ(first.use_count(), 1);  // the slot let go of the one it replaced

    Plain::install(nullptr);
    EXPECT_EQ(Plain::installed(), nullptr);
    EXPECT_EQ(second.use_count(), 1);
}

TEST(Installed, TheDefaultIsMadeOnceAndComesBackAfterNull)
{
    WithDefault::install(nullptr);
    const int before = WithDefault::defaultsMade;

    const auto made = WithDefault::installed();
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->id(), 0);
    EXPECT_EQ(WithDefault::installed(), made);  // kept, not made again
    EXPECT_EQ(WithDefault::defaultsMade, before + 1);

    auto real = std::make_shared<WithDefaultOf>(7);
    WithDefault::install(real);
    EXPECT_EQ(WithDefault::installed(), real);
    EXPECT_EQ(WithDefault::defaultsMade, before + 1);

    WithDefault::install(nullptr);
    const auto again = WithDefault::installed();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->id(), 0);
    EXPECT_EQ(WithDefault::defaultsMade, before + 2);
    WithDefault::install(nullptr);
}

TEST(Installed, TwoThreadsInstallAndReadWithoutTearing)
{
    auto one = std::make_shared<PlainWith>(1);
    auto two = std::make_shared<PlainWith>(2);
    Plain::install(one);

    std::atomic<bool> stop = false;
    std::atomic<int> reads = 0;
    std::atomic<int> bad = 0;
    std::thread reader([&] {
        while (!stop) {
            const auto now = Plain::installed();
            if (!now || (now->id() != 1 && now->id() != 2))
                ++bad;
            ++reads;
        }
    });
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i)
            Plain::install(i % 2 ? one : two);
    });
    writer.join();
    while (reads < 1000)
        std::this_thread::yield();
    stop = true;
    reader.join();

    EXPECT_EQ(bad, 0);
    EXPECT_EQ(Plain::installed(), one);  // the last install, 19999, was odd
    Plain::install(nullptr);
}

TEST(Installed, TwoThreadsAskingFirstShareOneDefault)
{
    WithDefault::install(nullptr);
    const int before = WithDefault::defaultsMade;
    std::shared_ptr<WithDefault> seen[2];
    std::vector<std::thread> threads;
    for (int i = 0; i < 2; ++i)
        threads.emplace_back([&seen, i] { seen[i] = WithDefault::installed(); });
    for (std::thread& thread : threads)
        thread.join();

    EXPECT_NE(seen[0], nullptr);
    EXPECT_EQ(seen[0], seen[1]);
    EXPECT_EQ(WithDefault::defaultsMade, before + 1);
    WithDefault::install(nullptr);
}
