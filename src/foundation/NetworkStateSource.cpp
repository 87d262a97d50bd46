#include "foundation/NetworkStateSource.h"

#include "platform/Dispatch.h"

std::atomic<int32_t> gCachedNetType{-1};

std::shared_ptr<NetworkStateSource> NetworkStateSource::makeDefault()
{
    return std::make_shared<DefaultNetworkStateSource>();
}

bool DefaultNetworkStateSource::isReachable()
{
    return true;
}

void DefaultNetworkStateSource::startMonitoring(StatusHandler handler)
{
    if (!handler)
        return;
    dispatch::asyncMain([handler = std::move(handler)] { handler(kStatusReachableViaWiFi); });
}
