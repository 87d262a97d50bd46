#include "SettingsTestSupport.h"

#include <QScopeGuard>

#include <atomic>
#include <chrono>
#include <thread>

#include <sqlite3.h>

// Start-up's default rows go to the disk together: reads between beginWriteBatch and
// endWriteBatch store their defaults in one transaction, which other connections see only once
// it is committed.
TEST_F(SettingsTest, DefaultsReadInABatchAreStoredWhenItEnds)
{
    {
        SettingsDatabaseOperate::Lease settings;
        ASSERT_TRUE(settings);
        ASSERT_TRUE(settings->beginWriteBatch());
        EXPECT_FALSE(settings->beginWriteBatch()) << "a second batch opened inside the first";
    }
    // The lock is given back between the reads, as start-up does.
    for (int i = 0; i < 2; ++i) {
        SettingsDatabaseOperate::Lease settings;
        ASSERT_TRUE(settings);
        EXPECT_TRUE(i == 0 ? settings->isReplyRemind() : !settings->getAllMute());
    }
    EXPECT_FALSE(hasSetting(QStringLiteral("ReplyRemind"))) << "a default row reached the file before the batch ended";
    {
        SettingsDatabaseOperate::Lease settings;
        ASSERT_TRUE(settings);
        EXPECT_TRUE(settings->endWriteBatch());
        EXPECT_FALSE(settings->endWriteBatch()) << "a batch ended twice";
    }
    EXPECT_EQ(stored(QStringLiteral("ReplyRemind")), QStringLiteral("1"));
    EXPECT_EQ(stored(QStringLiteral("AllMute")), QStringLiteral("0"));
}

// A connection closed during the batch took the batch's transaction with it: the end says so,
// and the store works on after it, writing at once again.
TEST_F(SettingsTest, ABatchWhoseConnectionWentEndsWithoutCommitting)
{
    SettingsDatabaseOperate::Lease settings;
    ASSERT_TRUE(settings);
    ASSERT_TRUE(settings->beginWriteBatch());
    settings->isReplyRemind();
    settings->closeDB();
    EXPECT_FALSE(settings->endWriteBatch());
    EXPECT_FALSE(hasSetting(QStringLiteral("ReplyRemind")));
    EXPECT_TRUE(settings->isReplyRemind());
    EXPECT_EQ(stored(QStringLiteral("ReplyRemind")), QStringLiteral("1"));
}

// Another connection (another process) writes to the file while start-up's batch runs, after the
// batch's first read. Each write of the batch waits for its turn instead of failing at once, and
// every default read in the batch is stored; the other connection's row is kept too.
TEST_F(SettingsTest, ABatchThatMeetsAnotherConnectionsCommitStillStoresEveryDefault)
{
    {
        SettingsDatabaseOperate::Lease settings;
        ASSERT_TRUE(settings);
        ASSERT_TRUE(settings->beginWriteBatch());
        // A stored row: read, nothing written.
        EXPECT_TRUE(settings->isShowNewsViewTiShi());
    }

    std::atomic<bool> waiting{false};
    std::atomic<bool> committed{false};
    std::atomic<int> result{-1};
    const QByteArray path = QFile::encodeName(databasePath());
    std::thread other([&] {
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            sqlite3_close(db);
            committed = true;
            return;
        }
        struct Wait
        {
            std::atomic<bool>* waiting;
            std::chrono::steady_clock::time_point deadline;
        } wait{&waiting, std::chrono::steady_clock::now() + std::chrono::seconds(30)};
        sqlite3_busy_handler(
            db,
            [](void* context, int) {
                auto* w = static_cast<Wait*>(context);
                w->waiting->store(true);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                return std::chrono::steady_clock::now() < w->deadline ? 1 : 0;
            },
            &wait);
        result = sqlite3_exec(db, "INSERT INTO Settings (name, value) VALUES ('otherProcess','x')", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        committed = true;
    });
    const auto joined = qScopeGuard([&] { other.join(); });
    // The other connection either committed or waits for the batch's lock.
    ASSERT_TRUE(waitUntil([&] { return committed.load() || waiting.load(); }, 60000));

    // Keys without rows: each stores its default, and the getter says so.
    using Getter = bool (SettingsDatabaseOperate::*)();
    for (const Getter read : {Getter(&SettingsDatabaseOperate::getDouZaiMai), Getter(&SettingsDatabaseOperate::isReplyRemind),
                              Getter(&SettingsDatabaseOperate::autoNightMode)}) {
        SettingsDatabaseOperate::Lease settings;
        ASSERT_TRUE(settings);
        EXPECT_TRUE(((*settings).*read)());
    }
    {
        SettingsDatabaseOperate::Lease settings;
        ASSERT_TRUE(settings);
        EXPECT_TRUE(settings->endWriteBatch());
    }
    ASSERT_TRUE(waitUntil([&] { return committed.load(); }, 60000));
    EXPECT_EQ(result.load(), SQLITE_OK);
    EXPECT_EQ(stored(QStringLiteral("DouZaiMai")), QStringLiteral("1"));
    EXPECT_EQ(stored(QStringLiteral("ReplyRemind")), QStringLiteral("1"));
    EXPECT_EQ(stored(QStringLiteral("AutoNightMode")), QStringLiteral("1"));
    EXPECT_EQ(stored(QStringLiteral("otherProcess")), QStringLiteral("x"));
}
