#pragma once

#include "foundation/models/NewsListData.h"

#include <QList>
#include <QRect>

#include <cstdint>
#include <functional>

// The channel editor without its widgets: the shown channels (display order) and the hidden ones
// (channel id order), read from the channel table; hiding and showing a channel stores the
// choice at once and hands the new shown list to the list column.
//
// Main thread only.
class editColumnModel
{
public:
    static constexpr int64_t kFixedChannel = 101;  // never hidden
    static constexpr int32_t kNoIndex = 100;

    // What the list column is told after a change; each receives the shown channels as just read.
    struct ColumnLink
    {
        std::function<void(const QList<NewsListDataPtr>&)> createNewsItemNewsListArray;  // after hiding
        std::function<void(const QList<NewsListDataPtr>&)> updateColumn;                 // after showing
    };

    explicit editColumnModel(ColumnLink column = {});

    // The first reading of both lists (stores nothing).
    void viewDidLoad();
    // Stores both lists (when any is loaded), then reads them again.
    void updateDataSource();
    // A button of the shown grid: hides its channel. Channel 101, and a channel no longer shown
    // (a stale button), change nothing.
    void BeOptional(int64_t listId);
    // A button of the hidden grid: shows its channel last. A stale button changes nothing.
    void BeSelected(int64_t listId);

    const QList<NewsListDataPtr>& selectedArray() const { return m_selectedArray; }
    const QList<NewsListDataPtr>& optionalArray() const { return m_optionalArray; }
    int32_t currentIndex() const { return m_currentIndex; }

    // Where button i of a grid stands: rows of four, 80 apart across and 30 down, 70 x 20, the
    // first row 10 below the line the grid hangs from.
    static QRect gridFrame(int index, int lineBottom);

private:
    QList<NewsListDataPtr> readShown() const;

    ColumnLink m_column;
    QList<NewsListDataPtr> m_selectedArray;
    QList<NewsListDataPtr> m_optionalArray;
    QList<NewsListDataPtr> m_updateArray;
    int32_t m_currentIndex = kNoIndex;
    NewsListDataPtr m_currentData;
};
