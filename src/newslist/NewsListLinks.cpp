#include "newslist/NewsListLinks.h"

#include "remoteconfig/NSListADInfoManager.h"

#include <QMutex>

namespace {

template <class Link>
struct Slot
{
    QMutex mutex;
    std::shared_ptr<Link> link;

    std::shared_ptr<Link> get()
    {
        QMutexLocker lock(&mutex);
        return link;
    }
    void set(std::shared_ptr<Link> value)
    {
        QMutexLocker lock(&mutex);
        link = std::move(value);
    }
};

template <class Link>
Slot<Link>& slot()
{
    static Slot<Link> instance;
    return instance;
}

}  // namespace

std::shared_ptr<ArticlePaneLink> ArticlePaneLink::instance() { return slot<ArticlePaneLink>().get(); }
void ArticlePaneLink::install(std::shared_ptr<ArticlePaneLink> link) { slot<ArticlePaneLink>().set(std::move(link)); }

std::shared_ptr<PushNewsFlag> PushNewsFlag::instance() { return slot<PushNewsFlag>().get(); }
void PushNewsFlag::install(std::shared_ptr<PushNewsFlag> flag) { slot<PushNewsFlag>().set(std::move(flag)); }


namespace {

// The process's list-ad manager.
class ProcessListADManager : public ListADManagerLink
{
public:
    bool isAdDownloaded() override { return NSListADInfoManager::getInstance().isAdDownloaded(); }
    int64_t getUsedADCount() override { return NSListADInfoManager::getInstance().getUsedADCount(); }
    NSListADInfoPtr getUsedADInfo(int64_t slot) override { return NSListADInfoManager::getInstance().getUsedADInfo(slot); }
    NSListADInfoPtr getUsedADForOrder(int64_t slot) override
    {
        return NSListADInfoManager::getInstance().getUsedADForOrder(slot);
    }
    void postbackAd(const NSListADInfoPtr& ad, bool isReFresh) override
    {
        NSListADInfoManager::getInstance().postbackAd(ad, isReFresh);
    }
    void postAdvertiseTask() override { NSListADInfoManager::getInstance().postAdvertiseTask(); }
};

}  // namespace

std::shared_ptr<ListADManagerLink> ListADManagerLink::instance()
{
    if (auto link = slot<ListADManagerLink>().get())
        return link;
    static const auto process = std::make_shared<ProcessListADManager>();
    return process;
}

void ListADManagerLink::install(std::shared_ptr<ListADManagerLink> link)
{
    slot<ListADManagerLink>().set(std::move(link));
}
