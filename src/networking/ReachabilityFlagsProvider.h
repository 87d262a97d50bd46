#pragma once

#include <QHostAddress>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

struct sockaddr;

// Reachability flags, with the values the rest of the system knows them by.
using SCNetworkReachabilityFlags = uint32_t;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsReachable = 2;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsConnectionRequired = 4;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsConnectionOnTraffic = 8;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsInterventionRequired = 16;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsConnectionOnDemand = 32;
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsIsDirect = 0x20000;

// What a provider watches: an address (the zero address stands for the internet at large) or,
// when hostName is set, a host by name.
struct ReachabilityTarget
{
    QHostAddress address;
    QString hostName;
};

// The reachability object of one target: the flags of the moment, and change reports.
class ReachabilityFlagsProvider
{
public:
    using ChangeCallback = std::function<void(SCNetworkReachabilityFlags flags)>;
    using Factory = std::function<std::shared_ptr<ReachabilityFlagsProvider>(const ReachabilityTarget& target)>;

    virtual ~ReachabilityFlagsProvider() = default;

    // The flags now; false when they cannot be read. Any thread.
    virtual bool getFlags(SCNetworkReachabilityFlags& flags) = 0;
    // Replaces the change callback (an empty one removes it); false when it cannot be set.
    // While the provider is scheduled the callback runs on the main thread with the new flags
    // each time they change.
    virtual bool setCallback(ChangeCallback callback) = 0;
    // Starts and stops change reports; scheduling again while scheduled keeps one schedule.
    // False when changes cannot be watched.
    virtual bool schedule() = 0;
    virtual void unschedule() = 0;

    // A provider for the address (IPv4 or IPv6; null for anything else) or the host name (null
    // for an empty one), made by the factory in force.
    static std::shared_ptr<ReachabilityFlagsProvider> createWithAddress(const sockaddr* address);
    static std::shared_ptr<ReachabilityFlagsProvider> createWithName(const QString& hostName);
    // Makes every provider from now on (tests plug in fakes); an empty factory restores the
    // system's own.
    static void setFactory(Factory factory);
};
