#include "DatabaseTestSupport.h"
#include "foundation/CommonFunction.h"
#include "foundation/GlobalValues.h"
#include "foundation/WebFileStampStore.h"

#include <QElapsedTimer>
#include <QTimeZone>

class WebFileStampsTest : public DatabaseTest
{
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        DatabaseOperate::installWebFileStampStore();
        Clock::setLocalZone(QTimeZone(3600 * 2));
        Clock::setNow(m_start);
    }
    void TearDown() override
    {
        WebFileStampStore::setInstance(nullptr);
        Clock::resetLocalZone();
        DatabaseTest::TearDown();
    }

    const QDateTime m_start = QDateTime(QDate(2022, 3, 4), QTime(10, 0, 0), QTimeZone::utc());
};

TEST_F(WebFileStampsTest, AFileIsDueAgainAfterThreeMinutes)
{
    EXPECT_TRUE(CommonFunction::needReloadWebFile(WebFileType::kRemoteConfig));
    EXPECT_FALSE(CommonFunction::getWebFileLastUpdateTime(WebFileType::kRemoteConfig).isValid());

    CommonFunction::saveWebFileLastUpdateTime(WebFileType::kRemoteConfig);
    EXPECT_EQ(CommonFunction::getWebFileLastUpdateTime(WebFileType::kRemoteConfig), m_start);
    EXPECT_EQ(file().stringForQuery(QStringLiteral("SELECT UpdateTime FROM LastUpdateTime WHERE id = 201")),
              QStringLiteral("2022-03-04 12:00:00"));
    EXPECT_FALSE(CommonFunction::needReloadWebFile(WebFileType::kRemoteConfig));

    Clock::setNow(m_start.addSecs(179));
    EXPECT_FALSE(CommonFunction::needReloadWebFile(WebFileType::kRemoteConfig));
    Clock::setNow(m_start.addSecs(180));
    EXPECT_TRUE(CommonFunction::needReloadWebFile(WebFileType::kRemoteConfig));
    // Other types have stamps of their own.
    EXPECT_TRUE(CommonFunction::needReloadWebFile(WebFileType::kListAD));
}

TEST_F(WebFileStampsTest, AStampFarAheadOfTheClockCountsAsDue)
{
    CommonFunction::saveWebFileLastUpdateTime(WebFileType::kFavorites);
    Clock::setNow(m_start.addSecs(-60));
    EXPECT_FALSE(CommonFunction::needReloadWebFile(WebFileType::kFavorites));
    Clock::setNow(m_start.addSecs(-61));
    EXPECT_TRUE(CommonFunction::needReloadWebFile(WebFileType::kFavorites));
}

TEST_F(WebFileStampsTest, ChannelsWithoutAMapRowShareTheStampOfTypeZero)
{
    EXPECT_EQ(CommonFunction::getWebFileLastUpdateTimeTypeByListType(101), 101);
    const int64_t hotComments = CommonFunction::getWebFileLastUpdateTimeTypeByListType(153);
    EXPECT_EQ(hotComments, 0);
    EXPECT_EQ(CommonFunction::getWebFileLastUpdateTimeTypeByListType(9999), 0);
    EXPECT_TRUE(CommonFunction::needReloadWebFile(hotComments));
    CommonFunction::saveWebFileLastUpdateTime(hotComments);
    EXPECT_FALSE(CommonFunction::needReloadWebFile(CommonFunction::getWebFileLastUpdateTimeTypeByListType(9999)));
    EXPECT_TRUE(CommonFunction::needReloadWebFile(101));
}

TEST_F(WebFileStampsTest, ACallerHoldingTheStoreIsAnsweredAtOnce)
{
    CommonFunction::saveWebFileLastUpdateTime(WebFileType::kListAD);
    DatabaseOperate::Lease store;
    QElapsedTimer timer;
    timer.start();
    // The store cannot be taken again on this thread: no stamp, so the file is due.
    EXPECT_TRUE(CommonFunction::needReloadWebFile(WebFileType::kListAD));
    EXPECT_EQ(CommonFunction::getWebFileLastUpdateTimeTypeByListType(101), 0);
    EXPECT_LT(timer.elapsed(), 5000);  // at once: waiting on its own lock would never end
}

TEST_F(WebFileStampsTest, WithoutAStoreEveryFileIsDue)
{
    WebFileStampStore::setInstance(nullptr);
    CommonFunction::saveWebFileLastUpdateTime(WebFileType::kListAD);
    EXPECT_TRUE(CommonFunction::needReloadWebFile(WebFileType::kListAD));
    EXPECT_EQ(CommonFunction::getWebFileLastUpdateTimeTypeByListType(101), 0);
}
