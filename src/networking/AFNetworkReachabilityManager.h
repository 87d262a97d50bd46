#pragma once

#include "foundation/NetworkStateSource.h"
#include "networking/ReachabilityFlagsProvider.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

struct sockaddr;

// Name of the notification posted on the main thread after each reported status (no object;
// the status as an integer under kAFNetworkingReachabilityNotificationStatusKey).
inline constexpr auto kAFNetworkingReachabilityDidChangeNotification = "com.alamofire.networking.reachability.change";
inline constexpr auto kAFNetworkingReachabilityNotificationStatusKey = "com.tidwen.networking.reachability.status";

// Watches one target and reports each status to a block, as a notification and in a property.
// Made only through the static functions, which hand out shared pointers; the status, the
// block call and the notification all happen on the main thread.
class AFNetworkReachabilityManager : public std::enable_shared_from_this<AFNetworkReachabilityManager>
{
    struct Key;

public:
    // The statuses CommonFunction's connection-type query maps.
    static constexpr int64_t kStatusUnknown = NetworkStateSource::kStatusUnknown;
    static constexpr int64_t kStatusNotReachable = NetworkStateSource::kStatusNotReachable;
    static constexpr int64_t kStatusReachableViaWWAN = NetworkStateSource::kStatusReachableViaWWAN;
    static constexpr int64_t kStatusReachableViaWiFi = NetworkStateSource::kStatusReachableViaWiFi;

    using StatusBlock = std::function<void(int64_t status)>;

    // The internet watcher of the whole run, made with manager() on first call.
    static std::shared_ptr<AFNetworkReachabilityManager> sharedManager();
    // A new manager watching the zero IPv4 address (the internet at large).
    static std::shared_ptr<AFNetworkReachabilityManager> manager();
    static std::shared_ptr<AFNetworkReachabilityManager> managerForAddress(const sockaddr* address);
    static std::shared_ptr<AFNetworkReachabilityManager> managerForDomain(const QString& domain);
    // Takes the reachability object; the status is unknown until the first report.
    static std::shared_ptr<AFNetworkReachabilityManager> initWithReachability(
        std::shared_ptr<ReachabilityFlagsProvider> reachability);

    // Plugs the reachability classes in as the NetworkStateSource that CommonFunction's network
    // queries read: a fresh internet probe for each state question, the shared manager for the
    // connection type.
    static void installAsNetworkStateSource();

    // The status that the flags give.
    static int64_t statusForFlags(SCNetworkReachabilityFlags flags);

    AFNetworkReachabilityManager(Key, std::shared_ptr<ReachabilityFlagsProvider> reachability);
    ~AFNetworkReachabilityManager();
    AFNetworkReachabilityManager(const AFNetworkReachabilityManager&) = delete;
    AFNetworkReachabilityManager& operator=(const AFNetworkReachabilityManager&) = delete;

    const std::shared_ptr<ReachabilityFlagsProvider>& networkReachability() const { return m_networkReachability; }
    int64_t networkReachabilityStatus() const { return m_networkReachabilityStatus.load(); }
    StatusBlock networkReachabilityStatusBlock() const;
    // Replaces the block called with each reported status.
    void setReachabilityStatusChangeBlock(StatusBlock block);

    bool isReachable() const;
    bool isReachableViaWWAN() const;
    bool isReachableViaWiFi() const;
    QString localizedNetworkReachabilityStatusString() const;

    // (Re)starts watching: the current status is reported shortly after the call returns, and
    // every change after that.
    void startMonitoring();
    void stopMonitoring();

private:
    struct Key
    {
    };

    const std::shared_ptr<ReachabilityFlagsProvider> m_networkReachability;
    std::atomic<int64_t> m_networkReachabilityStatus{kStatusUnknown};
    mutable std::mutex m_blockMutex;
    StatusBlock m_networkReachabilityStatusBlock;  // guarded by m_blockMutex
};
