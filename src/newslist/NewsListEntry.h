#pragma once

#include "foundation/models/Feed.h"
#include "foundation/models/NSListADInfo.h"

#include <QList>

#include <variant>

// One entry of a news list: a news item or a list ad.
using NewsListEntry = std::variant<FeedPtr, NSListADInfoPtr>;
using NewsListEntries = QList<NewsListEntry>;

inline FeedPtr feedOf(const NewsListEntry& entry)
{
    const FeedPtr* feed = std::get_if<FeedPtr>(&entry);
    return feed ? *feed : nullptr;
}

inline NSListADInfoPtr adOf(const NewsListEntry& entry)
{
    const NSListADInfoPtr* ad = std::get_if<NSListADInfoPtr>(&entry);
    return ad ? *ad : nullptr;
}
