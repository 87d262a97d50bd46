#include "networking/ReachabilityFlagsProvider.h"

#include "networking/LinuxReachabilityFlagsProvider.h"

#include <QMutex>

#include <sys/socket.h>

namespace {

QMutex gFactoryMutex;
ReachabilityFlagsProvider::Factory gFactory;  // guarded by gFactoryMutex; empty: the system's own

std::shared_ptr<ReachabilityFlagsProvider> create(const ReachabilityTarget& target)
{
    ReachabilityFlagsProvider::Factory factory;
    {
        QMutexLocker lock(&gFactoryMutex);
        factory = gFactory;
    }
    if (factory)
        return factory(target);
    return std::make_shared<LinuxReachabilityFlagsProvider>(target);
}

}  // namespace

std::shared_ptr<ReachabilityFlagsProvider> ReachabilityFlagsProvider::createWithAddress(const sockaddr* address)
{
    if (!address || (address->sa_family != AF_INET && address->sa_family != AF_INET6))
        return nullptr;
    ReachabilityTarget target;
    target.address = QHostAddress(address);
    return create(target);
}

std::shared_ptr<ReachabilityFlagsProvider> ReachabilityFlagsProvider::createWithName(const QString& hostName)
{
    if (hostName.isEmpty())
        return nullptr;
    ReachabilityTarget target;
    target.hostName = hostName;
    return create(target);
}

void ReachabilityFlagsProvider::setFactory(Factory factory)
{
    QMutexLocker lock(&gFactoryMutex);
    gFactory = std::move(factory);
}
