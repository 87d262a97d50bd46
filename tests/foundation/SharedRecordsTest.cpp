#include "foundation/GlobalValues.h"
#include "foundation/models/CommentFeed.h"
#include "foundation/models/Favrite_Data.h"
#include "foundation/models/FavriteUserAndContents.h"
#include "foundation/models/Feed.h"
#include "foundation/models/ForumFeed.h"
#include "foundation/models/HotProductModel.h"
#include "foundation/models/NSAppInfo.h"
#include "foundation/models/NSListADInfo.h"
#include "foundation/models/NSMedalInfo.h"
#include "foundation/models/NSMyUserInfo.h"
#include "foundation/models/NSVundCategoryInfo.h"
#include "foundation/models/NSVundListInfo.h"
#include "foundation/models/NewsListData.h"
#include "foundation/models/SearchInfo.h"
#include "foundation/models/UserLandData.h"
#include "foundation/models/slideData.h"
#include "platform/Clock.h"
#include "ScopeGuard.h"

#include <QThread>

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace {

// "" and null are different answers to callers: an empty text must be a set, empty string.
void expectEmptyNotNull(const QString& text)
{
    EXPECT_TRUE(text.isEmpty());
    EXPECT_FALSE(text.isNull());
}

}  // namespace

TEST(SharedRecords, TextsStartEmptyNotNull)
{
    const Feed feed;
    for (const QString* text : {&feed.title, &feed.link, &feed.description, &feed.postDate, &feed.guid,
                                &feed.imgurl, &feed.firstimgurlInHtml, &feed.detail, &feed.hitCount,
                                &feed.commentCount, &feed.author, &feed.newsSource, &feed.newsZeBian,
                                &feed.forbidcomment, &feed.titlecolor})
        expectEmptyNotNull(*text);
    EXPECT_FALSE(feed.isSelected || feed.isHaveRead || feed.isYuanChuang || feed.isTouPiao ||
                 feed.isShiPin || feed.isScore || feed.isReward || feed.isTop);

    const UserLandData account;
    expectEmptyNotNull(account.UserAccount);
    expectEmptyNotNull(account.UserPassWord);
    expectEmptyNotNull(account.UserID);
    EXPECT_FALSE(account.bRememberPassWord || account.bCurrentAccount || account.bHaveLand);

    const CommentFeed comment;
    expectEmptyNotNull(comment.comment);
    expectEmptyNotNull(comment.floor);
    EXPECT_EQ(comment.rowHeight, 150.0);
    EXPECT_EQ(comment.rowHeight1, 150.0);

    const NSAppInfo app;
    expectEmptyNotNull(app.appOpenUrl);
    const SearchInfo search;
    expectEmptyNotNull(search.searchKey);
    EXPECT_EQ(search.searchType, 0);
}

TEST(SharedRecords, FieldsThatStartNullOrNonZero)
{
    const slideData slide;
    EXPECT_TRUE(slide.slideProductid.isNull());
    EXPECT_TRUE(slide.slideNewsid.isNull());
    expectEmptyNotNull(slide.slideTitle);

    const NewsListData channel;
    EXPECT_TRUE(channel.ListCount.isNull());
    EXPECT_EQ(channel.iListID, 101);
    EXPECT_EQ(channel.iLoadType, 1);
    EXPECT_TRUE(channel.bCanDelete);
    EXPECT_TRUE(channel.bCanChangeOrder);
    EXPECT_FALSE(channel.bDisplay);
    expectEmptyNotNull(channel.LoadMoreUrl);

    const NSVundListInfo circle;
    EXPECT_EQ(circle.vundId, 21);
    EXPECT_TRUE(circle.vundCount.isNull());
    expectEmptyNotNull(circle.vundTitle);

    const NSVundCategoryInfo category;
    EXPECT_EQ(category.categoryId, 1);
    expectEmptyNotNull(category.categoryTitle);

    const NSListADInfo ad;
    EXPECT_EQ(ad.listADType, 1);
    expectEmptyNotNull(ad.adUrl);
    expectEmptyNotNull(ad.adTitle);
    EXPECT_FALSE(ad.isHaveRead);

    const HotProductModel deal;
    expectEmptyNotNull(deal.pro_productid);
    EXPECT_FALSE(deal.isHaveRead);

    const ForumFeed thread;
    EXPECT_EQ(thread.rowHeight, 90.0);
    EXPECT_EQ(thread.replyTime, 0.0);
}

TEST(SharedRecords, DatesAreTheMomentOfCreation)
{
    const QDateTime fixed = QDateTime::fromString(QStringLiteral("2016-03-01T08:00:00Z"), Qt::ISODate);
    const auto restoreClock = onScopeExit([] { Clock::reset(); });
    Clock::setNow(fixed);
    const Favrite_Data favourite;
    const FavriteUserAndContents sync;
    const NSMedalInfo medal;
    Clock::reset();

    EXPECT_EQ(favourite.favritetime, fixed);
    EXPECT_EQ(sync.lastUpdateTime, fixed);
    EXPECT_EQ(medal.MedalDateYXTime, fixed);
    expectEmptyNotNull(favourite.userAccount);
    EXPECT_EQ(sync.favritteVersion, 0);
}

TEST(NSMyUserInfoLevels, FreshProfileIsNobody)
{
    const NSMyUserInfo user;
    EXPECT_EQ(user.userID, 99999);
    EXPECT_EQ(user.nLevel, 0);
    EXPECT_EQ(user.fLeftDays, 0.0);
    expectEmptyNotNull(user.Medal);
}

TEST(NSMyUserInfoLevels, TotalDaysPerLevel)
{
    EXPECT_EQ(NSMyUserInfo::GetLevelTotalDays(-1), 0);
    EXPECT_EQ(NSMyUserInfo::GetLevelTotalDays(std::numeric_limits<int32_t>::min()), 0);
    EXPECT_EQ(NSMyUserInfo::GetLevelTotalDays(0), 0);
    EXPECT_EQ(NSMyUserInfo::GetLevelTotalDays(1), 5);
    EXPECT_EQ(NSMyUserInfo::GetLevelTotalDays(2), 12);
    EXPECT_EQ(NSMyUserInfo::GetLevelTotalDays(64), 4352);
    EXPECT_EQ(NSMyUserInfo::GetLevelTotalDays(65), 4352);
    EXPECT_EQ(NSMyUserInfo::GetLevelTotalDays(1000), 4352);
    EXPECT_EQ(NSMyUserInfo::GetLevelTotalDays(std::numeric_limits<int32_t>::max()), 4352);

    EXPECT_EQ(NSMyUserInfo::GetLevelDays(1), 7);    // 12 - 5
    EXPECT_EQ(NSMyUserInfo::GetLevelDays(63), 4352 - 63 * 63 - 4 * 63);
    EXPECT_EQ(NSMyUserInfo::GetLevelDays(64), 0);
    EXPECT_EQ(NSMyUserInfo::GetLevelDays(std::numeric_limits<int32_t>::max()), 0);
}

TEST(NSMyUserInfoLevels, LevelAndDaysLeft)
{
    struct Case { double days; int32_t level; double left; };
    const Case cases[] = {
        {0, 0, 5},     {4.9, 0, 5 - 4.9}, {5, 1, 7},     {11.99, 1, 12 - 11.99}, {12, 2, 9},
        {4351.5, 63, 0.5}, {4352, 64, 0}, {5000, 64, 0}, {-3, 0, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.days);
        EXPECT_EQ(NSMyUserInfo::GetLevelByDays(c.days), c.level);
        EXPECT_NEAR(NSMyUserInfo::GetCurLevelLeftDays(c.days), c.left, 1e-9);
    }
    EXPECT_EQ(NSMyUserInfo::GetLevelByDays(std::nan("")), 0);
    EXPECT_EQ(NSMyUserInfo::GetLevelByDays(std::numeric_limits<double>::infinity()), 64);
}

TEST(ProcessWideValues, StartValuesAndCrossThreadUse)
{
    expectEmptyNotNull(gAvatarHost.get());
    EXPECT_FALSE(gbThinFont.load());

    // A writer and a reader on two threads: the reader only ever sees whole values.
    const QString a = QStringLiteral("https://avatar-a.tidwen.example"), b = QStringLiteral("https://b.tidwen.example");
    std::atomic<bool> torn{false};
    QThread* writer = QThread::create([&] {
        for (int i = 0; i < 20000; ++i)
            gAvatarHost.set(i % 2 ? a : b);
    });
    writer->start();
    while (!writer->isFinished()) {
        const QString seen = gAvatarHost.get();
        if (seen != a && seen != b && !seen.isEmpty())
            torn = true;
    }
    writer->wait();
    delete writer;
    gAvatarHost.set(emptyText());
    EXPECT_FALSE(torn.load());

    EXPECT_EQ(WebFileType::vundCategory(7), 20007);
}
