#include "newslist/NewsListRows.h"

namespace {

bool isPinnedFeed(const NewsListEntry& entry)
{
    const FeedPtr feed = feedOf(entry);
    return feed && feed->isTop;
}

const QString& rankTitle(qsizetype section)
{
    static const QString titles[] = {QStringLiteral("双日榜"), QStringLiteral("周榜"), QStringLiteral("热评"),
                                     QStringLiteral("月榜")};
    return titles[section];
}

NewsListRow itemRow(qsizetype index, int height = NewsListRow::kItemHeight)
{
    NewsListRow row;
    row.kind = NewsListRow::Item;
    row.index = index;
    row.height = height;
    return row;
}

NewsListRow loadMoreRow()
{
    NewsListRow more;
    more.kind = NewsListRow::LoadMore;
    more.height = NewsListRow::kLoadMoreHeight;
    return more;
}

}  // namespace

qsizetype NewsListRows::rowCount(const NewsListEntries& entries, int64_t loadType, bool hasSlides)
{
    const qsizetype n = entries.size();
    if (n == 0)
        return 0;
    if (loadType != 1)
        return n + 4;
    return hasSlides ? n + 2 : n + 1;
}

NewsListRow NewsListRows::rowAt(qsizetype row, const NewsListEntries& entries, int64_t loadType, bool hasSlides)
{
    const qsizetype n = entries.size();
    const qsizetype count = rowCount(entries, loadType, hasSlides);
    NewsListRow none;
    if (row < 0 || row >= count)
        return none;
    if (loadType != 1) {
        const qsizetype stride = kRankSectionSize + 1;
        if (row >= stride * kRankSections)
            return none;
        const qsizetype section = row / stride;
        if (row % stride == 0) {
            NewsListRow header;
            header.kind = NewsListRow::SectionHeader;
            header.height = NewsListRow::kHeaderHeight;
            header.headerTitle = rankTitle(section);
            return header;
        }
        const qsizetype index = row - section - 1;
        return index < n ? itemRow(index) : none;
    }
    if (hasSlides) {
        if (row == 0) {
            NewsListRow slide;
            slide.kind = NewsListRow::SlideStrip;
            slide.height = NewsListRow::kSlideHeight;
            return slide;
        }
        if (row == n + 1)
            return loadMoreRow();
        // The last pinned item before the first unpinned one gets the room of the separator bar,
        // unless it sits among the list's last two rows.
        const qsizetype index = row - 1;
        if (isPinnedFeed(entries.at(index)) && row < n - 1 && feedOf(entries.at(row)) && !isPinnedFeed(entries.at(row))) {
            NewsListRow pinned = itemRow(index, NewsListRow::kLastPinnedHeight);
            pinned.lastPinned = true;
            return pinned;
        }
        return itemRow(index);
    }
    if (row == n)
        return loadMoreRow();
    return itemRow(row);
}

qsizetype NewsListRows::rowOfEntry(qsizetype at, const NewsListEntries& entries, int64_t loadType, bool hasSlides)
{
    if (at < 0 || at >= entries.size())
        return -1;
    if (loadType != 1)
        return at < kRankSectionSize * kRankSections ? at + at / kRankSectionSize + 1 : -1;
    return hasSlides ? at + 1 : at;
}

qsizetype NewsListRows::loadMoreRowOf(const NewsListEntries& entries, int64_t loadType, bool hasSlides)
{
    if (loadType != 1 || entries.isEmpty())
        return -1;
    return rowCount(entries, loadType, hasSlides) - 1;
}
