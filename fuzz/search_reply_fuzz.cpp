// Search replies come from the network: no bytes may crash either reader; every news result has
// a news id and a title, and the cursor only ever goes down to a positive id. The community
// channel replies, read by the same folder, go through their reader as well.
#include "newslist/community/NSVundListInfoManager.h"
#include "newslist/community/VundCategoryJson.h"
#include "newslist/search/SearchReply.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    int64_t cursor = SearchReply::kNoCursor;
    for (const FeedPtr& feed : SearchReply::parserNewsListXmlData(bytes)) {
        if (!feed || feed->guid.isEmpty() || feed->title.isEmpty())
            std::abort();
        const int64_t lowered = SearchReply::lowerCursor(cursor, feed->guid);
        if (lowered > cursor || lowered <= 0)
            std::abort();
        cursor = lowered;
    }
    if (const auto deals = SearchReply::parserDealsJsonData(bytes)) {
        for (const HotProductModelPtr& deal : *deals) {
            if (!deal)
                std::abort();
            const int64_t lowered = SearchReply::lowerCursor(cursor, deal->pro_productid);
            if (lowered > cursor || lowered <= 0)
                std::abort();
        }
    }
    const VundCategoryJson::Reply community = VundCategoryJson::read(bytes);
    if (community.isArray && !community.readable)
        std::abort();
    if (NSVundListInfoManager::getVundDataFrom(community.array).size() > community.array.size()
        || NSVundCategoryInfoManager::getVundDataFrom(community.array).size() > community.array.size())
        std::abort();
    return 0;
}
