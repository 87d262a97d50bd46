#pragma once

#include "newslist/NewsListEntry.h"

#include <QString>

#include <cstdint>

// The row table of a news list: which row shows what, and how high it is. The heights are fixed
// by the row kind, never measured from text.
struct NewsListRow
{
    enum Kind { SlideStrip, Item, LoadMore, SectionHeader, Nothing };

    static constexpr int kSlideHeight = 150;
    static constexpr int kItemHeight = 70;
    static constexpr int kLastPinnedHeight = 80;
    static constexpr int kLoadMoreHeight = 40;
    static constexpr int kHeaderHeight = 30;

    Kind kind = Nothing;
    qsizetype index = -1;  // into the entries, for Item rows
    int height = kItemHeight;
    QString headerTitle;    // SectionHeader rows
    bool lastPinned = false;  // the 80-high row under which the pinned block ends

    bool operator==(const NewsListRow& other) const = default;
};

class NewsListRows
{
public:
    // Ordinary lists (load type 1): n + 2 rows with slides, n + 1 without; ranking lists n + 4;
    // no rows for an empty list.
    static qsizetype rowCount(const NewsListEntries& entries, int64_t loadType, bool hasSlides);
    // Out-of-range rows are Nothing.
    static NewsListRow rowAt(qsizetype row, const NewsListEntries& entries, int64_t loadType, bool hasSlides);
    // The row that shows entry at, or -1 (past the list, or a ranking item past the fixed rows).
    static qsizetype rowOfEntry(qsizetype at, const NewsListEntries& entries, int64_t loadType, bool hasSlides);
    // The "加载更多" row, or -1 (ranking and empty lists have none).
    static qsizetype loadMoreRowOf(const NewsListEntries& entries, int64_t loadType, bool hasSlides);

    static constexpr qsizetype kRankSectionSize = 12;
    static constexpr qsizetype kRankSections = 4;
};
