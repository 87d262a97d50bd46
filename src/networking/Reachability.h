#pragma once

#include "networking/ReachabilityFlagsProvider.h"

#include <QString>

#include <memory>

struct sockaddr;

// Posted on the main thread, with the Reachability object, when a started notifier sees a change.
inline constexpr auto kNetworkReachabilityChangedNotification = "kNetworkReachabilityChangedNotification";

// Answers once, from the flags of the moment, whether a target can be reached.
class Reachability : public std::enable_shared_from_this<Reachability>
{
    struct Key;

public:
    // Statuses of currentReachabilityStatus().
    static constexpr int kNotReachable = 0;
    static constexpr int kReachable = 1;
    static constexpr int kReachableDirectly = 2;

    // The zero IPv4 address: the internet at large.
    static std::shared_ptr<Reachability> reachabilityForInternetConnection();
    // Null when no reachability object can be made for the address or name.
    static std::shared_ptr<Reachability> reachabilityWithAddress(const sockaddr* address);
    static std::shared_ptr<Reachability> reachabilityWithHostName(const QString& hostName);

    Reachability(Key, std::shared_ptr<ReachabilityFlagsProvider> reachabilityRef);
    ~Reachability();
    Reachability(const Reachability&) = delete;
    Reachability& operator=(const Reachability&) = delete;

    // Computed now on the calling thread; kNotReachable when the flags cannot be read.
    int currentReachabilityStatus() const;
    int networkStatusForFlags(SCNetworkReachabilityFlags flags) const;
    // True when the flags can be read and say a connection must be made first.
    bool connectionRequired() const;

    // Posts kNetworkReachabilityChangedNotification on each change until stopped; false when
    // changes cannot be watched.
    bool startNotifier();
    void stopNotifier();

private:
    struct Key
    {
    };

    const std::shared_ptr<ReachabilityFlagsProvider> _reachabilityRef;
};
