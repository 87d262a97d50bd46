#include "SettingsTestSupport.h"

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
