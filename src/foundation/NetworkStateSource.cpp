#include "foundation/NetworkStateSource.h"

#include "platform/Dispatch.h"

#include <QMutex>

std::atomic<int32_t> gCachedNetType{-1};

namespace {

QMutex gSourceMutex;
std::shared_ptr<NetworkStateSource> gSource;  // guarded by gSourceMutex

}  // namespace

std::shared_ptr<NetworkStateSource> NetworkStateSource::instance()
{
    QMutexLocker lock(&gSourceMutex);
    if (!gSource)
        gSource = std::make_shared<DefaultNetworkStateSource>();
    return gSource;
}

void NetworkStateSource::setInstance(std::shared_ptr<NetworkStateSource> source)
{
    QMutexLocker lock(&gSourceMutex);
    gSource = std::move(source);
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
