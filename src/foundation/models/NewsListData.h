#pragma once

#include "foundation/models/RecordDefaults.h"

#include <QString>

#include <cstdint>
#include <memory>

// One news channel: a tab of the list column and one row of the channel table.
struct NewsListData
{
    int64_t iListID = 101;            // channel id (153 is the hot-comments channel)
    QString ListName = emptyText();
    QString ListUrl = emptyText();    // URL of the channel's list XML
    QString SlideUrl = emptyText();   // URL of the slide XML; "" when the channel has none
    QString LoadMoreUrl = emptyText();  // list URL with ".xml" replaced by "_"; the caller appends the page
    int64_t iLoadType = 1;            // 1 an ordinary list, anything else a ranking list
    bool bCanDelete = true;           // the user may hide the channel
    bool bDisplay = false;            // shown as a tab
    bool bCanChangeOrder = true;      // the user may move the channel
    int64_t iDisplayOrder = 0;        // position among the shown tabs
    QString ListCount;                // channel count text; null until set
};

using NewsListDataPtr = std::shared_ptr<NewsListData>;
