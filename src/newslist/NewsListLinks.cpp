#include "newslist/NewsListLinks.h"

#include "remoteconfig/NSListADInfoManager.h"

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
    void postOwnAdClick(const NSListADInfoPtr& ad) override { NSListADInfoManager::getInstance().postOwnAdClick(ad); }
    void postAdvertiseTask() override { NSListADInfoManager::getInstance().postAdvertiseTask(); }
};

}  // namespace

std::shared_ptr<ListADManagerLink> ListADManagerLink::makeDefault()
{
    return std::make_shared<ProcessListADManager>();
}
