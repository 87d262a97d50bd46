#include "foundation/CommonFunction.h"

#include "foundation/WebFileStampStore.h"
#include "platform/Clock.h"

namespace {

// A web file is fetched again this long after its last download.
constexpr qint64 kRefreshSeconds = 180;
// A stamp this far ahead of the clock was made before the clock was set back; waiting for it
// would keep the file from refreshing for as long as the clock moved.
constexpr qint64 kFutureToleranceSeconds = 60;

// Every channel without a map row (the hot comments, 153, among them) shares the stamp of type
// 0; negative types name no file.
bool hasOwnStamp(int64_t type)
{
    return type >= 0;
}

}  // namespace

QDateTime CommonFunction::getWebFileLastUpdateTime(int64_t type)
{
    const std::shared_ptr<WebFileStampStore> store = WebFileStampStore::instance();
    if (!store || !hasOwnStamp(type))
        return {};
    const QString text = store->lastUpdateTime(type);
    if (text.isNull())
        return {};
    return dateFromLocalDateTimeString(text);
}

void CommonFunction::saveWebFileLastUpdateTime(int64_t type)
{
    const std::shared_ptr<WebFileStampStore> store = WebFileStampStore::instance();
    if (!store || !hasOwnStamp(type))
        return;
    store->setLastUpdateTime(localDateTimeStringFromDate(Clock::now()), type);
}

int64_t CommonFunction::getWebFileLastUpdateTimeTypeByListType(int64_t listId)
{
    const std::shared_ptr<WebFileStampStore> store = WebFileStampStore::instance();
    return store ? store->typeForList(listId) : 0;
}

bool CommonFunction::needReloadWebFile(int64_t type)
{
    const QDateTime stamp = getWebFileLastUpdateTime(type);
    if (!stamp.isValid())
        return true;
    const qint64 age = stamp.secsTo(Clock::now());
    return age >= kRefreshSeconds || age < -kFutureToleranceSeconds;
}
