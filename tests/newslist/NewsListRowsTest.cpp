#include "newslist/NewsListRows.h"

#include <gtest/gtest.h>

namespace {

NewsListEntries feeds(int count, std::initializer_list<int> pinned = {})
{
    NewsListEntries entries;
    for (int i = 0; i < count; ++i) {
        auto feed = std::make_shared<Feed>();
        feed->guid = QString::number(1000 - i);
        entries.append(feed);
    }
    for (const int index : pinned)
        feedOf(entries[index])->isTop = true;
    return entries;
}

QList<int> heights(const NewsListEntries& entries, int64_t loadType, bool slides)
{
    QList<int> list;
    const qsizetype count = NewsListRows::rowCount(entries, loadType, slides);
    for (qsizetype row = 0; row < count; ++row)
        list.append(NewsListRows::rowAt(row, entries, loadType, slides).height);
    return list;
}

}  // namespace

TEST(NewsListRows, SlidesAndALastPinnedItem)
{
    const NewsListEntries entries = feeds(20, {0, 1});
    QList<int> expected{150, 70, 80};
    for (int i = 0; i < 18; ++i)
        expected.append(70);
    expected.append(40);
    EXPECT_EQ(heights(entries, 1, true), expected);
    const NewsListRow pinned = NewsListRows::rowAt(2, entries, 1, true);
    EXPECT_TRUE(pinned.lastPinned);
    EXPECT_EQ(pinned.index, 1);
    EXPECT_EQ(NewsListRows::rowAt(0, entries, 1, true).kind, NewsListRow::SlideStrip);
    EXPECT_EQ(NewsListRows::rowAt(21, entries, 1, true).kind, NewsListRow::LoadMore);
    EXPECT_EQ(NewsListRows::rowAt(22, entries, 1, true).kind, NewsListRow::Nothing);
}

TEST(NewsListRows, PinnedRowsNearTheEndOrBeforeAnAdKeepTheirHeight)
{
    struct Case
    {
        NewsListEntries entries;
        qsizetype row;
        int height;
    };
    NewsListEntries withAd = feeds(6, {0});
    withAd.insert(1, std::make_shared<NSListADInfo>());
    const Case cases[] = {
        {feeds(4, {0}), 1, 80},      // r = 1 < n - 1 = 3
        {feeds(3, {0, 1}), 2, 70},   // r = 2 is not before the last two rows
        {feeds(4, {0, 1, 2, 3}), 2, 70},
        {withAd, 1, 70},             // the next entry is an ad
        {feeds(5, {2}), 3, 80},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NewsListRows::rowAt(c.row, c.entries, 1, true).height, c.height) << c.row;
    // Without slides every item row is 70 high.
    EXPECT_EQ(NewsListRows::rowAt(0, feeds(4, {0}), 1, false).height, 70);
}

TEST(NewsListRows, OrdinaryListWithoutSlides)
{
    const NewsListEntries entries = feeds(3);
    EXPECT_EQ(heights(entries, 1, false), (QList<int>{70, 70, 70, 40}));
    EXPECT_EQ(NewsListRows::rowAt(2, entries, 1, false).index, 2);
    EXPECT_EQ(NewsListRows::rowCount({}, 1, true), 0);
    EXPECT_EQ(NewsListRows::rowCount({}, 2, false), 0);
}

TEST(NewsListRows, RankingListsUseFixedSectionsOfTwelve)
{
    const NewsListEntries entries = feeds(30);
    ASSERT_EQ(NewsListRows::rowCount(entries, 2, false), 34);
    const std::pair<int, const char*> headers[] = {{0, "双日榜"}, {13, "周榜"}, {26, "热评"}};
    for (const auto& [row, title] : headers) {
        const NewsListRow header = NewsListRows::rowAt(row, entries, 2, false);
        EXPECT_EQ(header.kind, NewsListRow::SectionHeader) << row;
        EXPECT_EQ(header.height, 30);
        EXPECT_EQ(header.headerTitle, QString::fromUtf8(title));
    }
    EXPECT_EQ(NewsListRows::rowAt(1, entries, 2, false).index, 0);
    EXPECT_EQ(NewsListRows::rowAt(12, entries, 2, false).index, 11);
    EXPECT_EQ(NewsListRows::rowAt(14, entries, 2, false).index, 12);
    EXPECT_EQ(NewsListRows::rowAt(32, entries, 2, false).index, 29);
    EXPECT_EQ(NewsListRows::rowAt(33, entries, 2, false).kind, NewsListRow::Nothing);

    // Past the 48th item nothing more is shown.
    const NewsListEntries many = feeds(60);
    EXPECT_EQ(NewsListRows::rowCount(many, 2, false), 64);
    EXPECT_EQ(NewsListRows::rowAt(39, many, 2, false).headerTitle, QStringLiteral("月榜"));
    EXPECT_EQ(NewsListRows::rowAt(51, many, 2, false).index, 47);
    EXPECT_EQ(NewsListRows::rowAt(52, many, 2, false).kind, NewsListRow::Nothing);
    // A ranking list never shows a slide strip.
    EXPECT_EQ(NewsListRows::rowAt(0, many, 2, true).kind, NewsListRow::SectionHeader);
}
