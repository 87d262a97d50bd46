#pragma once

#include "networking/ReachabilityFlagsProvider.h"

#include <QByteArray>
#include <QList>
#include <QNetworkAddressEntry>

#include <memory>
#include <mutex>
#include <optional>

class QSocketNotifier;

// Flags from the kernel's view of the network: a target is Reachable when a default route leads
// through an interface that is up, running, not loopback and has an address. Addresses on the
// loopback interface or inside the subnet of such an interface are also IsDirect. Host names are
// not resolved; they are reachable when the internet is. Changes come from a netlink socket
// (links, addresses, routes) watched on the main thread.
class LinuxReachabilityFlagsProvider : public ReachabilityFlagsProvider,
                                       public std::enable_shared_from_this<LinuxReachabilityFlagsProvider>
{
public:
    struct InterfaceState
    {
        QString name;
        bool up = false;  // up and running
        bool loopback = false;
        QList<QNetworkAddressEntry> addresses;
    };
    // The facts the flags are computed from.
    struct SystemState
    {
        QByteArray ipv4Routes;  // contents of /proc/net/route
        QByteArray ipv6Routes;  // contents of /proc/net/ipv6_route
        QList<InterfaceState> interfaces;
    };

    explicit LinuxReachabilityFlagsProvider(ReachabilityTarget target);
    ~LinuxReachabilityFlagsProvider() override;

    bool getFlags(SCNetworkReachabilityFlags& flags) override;
    bool setCallback(ChangeCallback callback) override;
    // From another thread the netlink socket is opened later on the main thread, and the answer
    // is true.
    bool schedule() override;
    void unschedule() override;

    // The system's state now; nothing when neither route table can be read.
    static std::optional<SystemState> readSystemState();
    static SCNetworkReachabilityFlags flagsFor(const ReachabilityTarget& target, const SystemState& state);

private:
    // Main thread: opens or closes the netlink watch to match m_wantScheduled.
    bool applySchedule();
    void onNetlinkReadable();

    const ReachabilityTarget m_target;

    std::mutex m_mutex;
    ChangeCallback m_callback;   // guarded by m_mutex
    bool m_wantScheduled = false;  // guarded by m_mutex

    // Main thread only.
    int m_socket = -1;
    QSocketNotifier* m_notifier = nullptr;
    std::optional<SCNetworkReachabilityFlags> m_lastFlags;
};
