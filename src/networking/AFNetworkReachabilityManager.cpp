#include "networking/AFNetworkReachabilityManager.h"

#include "foundation/NetworkStateSource.h"
#include "networking/Reachability.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"

#include <QCoreApplication>

#include <netinet/in.h>

namespace {

// Answers CommonFunction's network questions through the reachability classes.
class ReachabilityNetworkStateSource : public NetworkStateSource
{
public:
    bool isReachable() override
    {
        const std::shared_ptr<Reachability> reachability = Reachability::reachabilityForInternetConnection();
        return reachability && reachability->currentReachabilityStatus() != Reachability::kNotReachable;
    }

    void startMonitoring(StatusHandler handler) override
    {
        const std::shared_ptr<AFNetworkReachabilityManager> manager = AFNetworkReachabilityManager::sharedManager();
        if (handler)
            manager->setReachabilityStatusChangeBlock([handler = std::move(handler)](int64_t status) {
                handler(static_cast<int>(status));
            });
        else
            manager->setReachabilityStatusChangeBlock({});
        manager->startMonitoring();
    }
};

}  // namespace

std::shared_ptr<AFNetworkReachabilityManager> AFNetworkReachabilityManager::sharedManager()
{
    // Kept for the whole run, past the end of main(): it is never destroyed.
    static const auto* const shared = new std::shared_ptr<AFNetworkReachabilityManager>(manager());
    return *shared;
}

std::shared_ptr<AFNetworkReachabilityManager> AFNetworkReachabilityManager::manager()
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    return managerForAddress(reinterpret_cast<const sockaddr*>(&address));
}

std::shared_ptr<AFNetworkReachabilityManager> AFNetworkReachabilityManager::managerForAddress(const sockaddr* address)
{
    return initWithReachability(ReachabilityFlagsProvider::createWithAddress(address));
}

std::shared_ptr<AFNetworkReachabilityManager> AFNetworkReachabilityManager::managerForDomain(const QString& domain)
{
    return initWithReachability(ReachabilityFlagsProvider::createWithName(domain));
}

std::shared_ptr<AFNetworkReachabilityManager> AFNetworkReachabilityManager::initWithReachability(
    std::shared_ptr<ReachabilityFlagsProvider> reachability)
{
    return std::make_shared<AFNetworkReachabilityManager>(Key{}, std::move(reachability));
}

void AFNetworkReachabilityManager::installAsNetworkStateSource()
{
    NetworkStateSource::setInstance(std::make_shared<ReachabilityNetworkStateSource>());
}

int64_t AFNetworkReachabilityManager::statusForFlags(SCNetworkReachabilityFlags flags)
{
    if (!(flags & kSCNetworkReachabilityFlagsReachable))
        return kStatusNotReachable;
    const bool automatic = (flags & (kSCNetworkReachabilityFlagsConnectionOnTraffic |
                                     kSCNetworkReachabilityFlagsConnectionOnDemand)) != 0 &&
                           !(flags & kSCNetworkReachabilityFlagsInterventionRequired);
    if ((flags & kSCNetworkReachabilityFlagsConnectionRequired) && !automatic)
        return kStatusNotReachable;
    return kStatusReachableViaWiFi;
}

AFNetworkReachabilityManager::AFNetworkReachabilityManager(Key,
                                                           std::shared_ptr<ReachabilityFlagsProvider> reachability)
    : m_networkReachability(std::move(reachability))
{
}

AFNetworkReachabilityManager::~AFNetworkReachabilityManager()
{
    stopMonitoring();
}

AFNetworkReachabilityManager::StatusBlock AFNetworkReachabilityManager::networkReachabilityStatusBlock() const
{
    std::lock_guard lock(m_blockMutex);
    return m_networkReachabilityStatusBlock;
}

void AFNetworkReachabilityManager::setReachabilityStatusChangeBlock(StatusBlock block)
{
    std::lock_guard lock(m_blockMutex);
    m_networkReachabilityStatusBlock = std::move(block);
}

bool AFNetworkReachabilityManager::isReachable() const
{
    return isReachableViaWWAN() || isReachableViaWiFi();
}

bool AFNetworkReachabilityManager::isReachableViaWWAN() const
{
    return networkReachabilityStatus() == kStatusReachableViaWWAN;
}

bool AFNetworkReachabilityManager::isReachableViaWiFi() const
{
    return networkReachabilityStatus() == kStatusReachableViaWiFi;
}

QString AFNetworkReachabilityManager::localizedNetworkReachabilityStatusString() const
{
    const char* key = "Unknown";
    switch (networkReachabilityStatus()) {
    case kStatusNotReachable:
        key = "Not Reachable";
        break;
    case kStatusReachableViaWWAN:
        key = "Reachable via WWAN";
        break;
    case kStatusReachableViaWiFi:
        key = "Reachable via WiFi";
        break;
    default:
        break;
    }
    return QCoreApplication::translate("Networking", key);
}

void AFNetworkReachabilityManager::startMonitoring()
{
    stopMonitoring();
    if (!m_networkReachability)
        return;

    // Holds the manager weakly: a report that arrives after it is gone changes nothing but
    // is still announced.
    const auto statusCallback = [weak = weak_from_this()](int64_t status) {
        const std::shared_ptr<AFNetworkReachabilityManager> self = weak.lock();
        if (!self)
            return;
        self->m_networkReachabilityStatus.store(status);
        if (const StatusBlock block = self->networkReachabilityStatusBlock())
            block(status);
    };
    const auto report = [statusCallback](SCNetworkReachabilityFlags flags) {
        const int64_t status = statusForFlags(flags);
        dispatch::asyncMain([statusCallback, status] {
            statusCallback(status);
            NotificationCenter::defaultCenter().post(
                QString::fromLatin1(kAFNetworkingReachabilityDidChangeNotification), {},
                {{QString::fromLatin1(kAFNetworkingReachabilityNotificationStatusKey), QVariant::fromValue<qint64>(status)}});
        });
    };
    m_networkReachability->setCallback(report);
    m_networkReachability->schedule();

    dispatch::asyncGlobal([reachability = m_networkReachability, report] {
        SCNetworkReachabilityFlags flags = 0;
        if (reachability->getFlags(flags))
            report(flags);
    });
}

void AFNetworkReachabilityManager::stopMonitoring()
{
    if (m_networkReachability)
        m_networkReachability->unschedule();
}
