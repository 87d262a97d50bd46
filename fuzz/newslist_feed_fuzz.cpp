// Feeds of the news lists come from the network: no bytes may crash the three readers, and every
// item they return carries a news id.
#include "newslist/NewsListFeeds.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const FeedPtr& feed : parserNewsListXmlData(bytes)) {
        if (!feed || feed->guid.isEmpty())
            std::abort();
    }
    for (const QList<FeedPtr>& section : parserRankNewsListXmlData(bytes)) {
        for (const FeedPtr& feed : section) {
            if (!feed || feed->guid.isEmpty())
                std::abort();
        }
    }
    QList<slideDataPtr> slides;
    parserSlideXmlData(bytes, slides);
    for (const slideDataPtr& slide : slides) {
        if (!slide || !(slide->slideDevice.isEmpty() || slide->slideDevice.contains(QLatin1Char('6'))))
            std::abort();
    }
    return 0;
}
