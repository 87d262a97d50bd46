#include "networking/Reachability.h"

#include "platform/NotificationCenter.h"

#include <netinet/in.h>

std::shared_ptr<Reachability> Reachability::reachabilityForInternetConnection()
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    return reachabilityWithAddress(reinterpret_cast<const sockaddr*>(&address));
}

std::shared_ptr<Reachability> Reachability::reachabilityWithAddress(const sockaddr* address)
{
    std::shared_ptr<ReachabilityFlagsProvider> reachabilityRef = ReachabilityFlagsProvider::createWithAddress(address);
    if (!reachabilityRef)
        return nullptr;
    return std::make_shared<Reachability>(Key{}, std::move(reachabilityRef));
}

std::shared_ptr<Reachability> Reachability::reachabilityWithHostName(const QString& hostName)
{
    std::shared_ptr<ReachabilityFlagsProvider> reachabilityRef = ReachabilityFlagsProvider::createWithName(hostName);
    if (!reachabilityRef)
        return nullptr;
    return std::make_shared<Reachability>(Key{}, std::move(reachabilityRef));
}

Reachability::Reachability(Key, std::shared_ptr<ReachabilityFlagsProvider> reachabilityRef)
    : _reachabilityRef(std::move(reachabilityRef))
{
}

Reachability::~Reachability()
{
    stopNotifier();
}

int Reachability::currentReachabilityStatus() const
{
    SCNetworkReachabilityFlags flags = 0;
    if (!_reachabilityRef->getFlags(flags))
        return kNotReachable;
    return networkStatusForFlags(flags);
}

int Reachability::networkStatusForFlags(SCNetworkReachabilityFlags flags) const
{
    if (!(flags & kSCNetworkReachabilityFlagsReachable))
        return kNotReachable;
    if (flags & kSCNetworkReachabilityFlagsIsDirect)
        return kReachableDirectly;
    if ((flags & (kSCNetworkReachabilityFlagsConnectionOnTraffic | kSCNetworkReachabilityFlagsConnectionOnDemand)) &&
        !(flags & kSCNetworkReachabilityFlagsInterventionRequired))
        return kReachable;
    return (flags & kSCNetworkReachabilityFlagsConnectionRequired) ? kNotReachable : kReachable;
}

bool Reachability::connectionRequired() const
{
    SCNetworkReachabilityFlags flags = 0;
    return _reachabilityRef->getFlags(flags) && (flags & kSCNetworkReachabilityFlagsConnectionRequired);
}

bool Reachability::startNotifier()
{
    const bool callbackSet = _reachabilityRef->setCallback([weak = weak_from_this()](SCNetworkReachabilityFlags) {
        if (const std::shared_ptr<Reachability> self = weak.lock())
            NotificationCenter::defaultCenter().post(QString::fromLatin1(kNetworkReachabilityChangedNotification),
                                                     NotificationObject::from(self));
    });
    if (!callbackSet)
        return false;
    return _reachabilityRef->schedule();
}

void Reachability::stopNotifier()
{
    _reachabilityRef->unschedule();
}
