#include "networking/LinuxReachabilityFlagsProvider.h"

#include "platform/Dispatch.h"

#include <QCoreApplication>
#include <QFile>
#include <QNetworkInterface>
#include <QSet>
#include <QSocketNotifier>

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

// Route flags of the kernel's tables.
constexpr unsigned kRouteUp = 0x0001;
constexpr unsigned kRouteReject = 0x0200;

QByteArray readProcFile(const char* path, bool* ok)
{
    QFile file(QString::fromLatin1(path));
    // Files of /proc report size 0, so read until the end rather than by size.
    if (!file.open(QIODevice::ReadOnly)) {
        *ok = false;
        return {};
    }
    *ok = true;
    return file.readAll();
}

bool isAllZeroHex(const QByteArray& field)
{
    return !field.isEmpty() && std::all_of(field.cbegin(), field.cend(), [](char c) { return c == '0'; });
}

// Interfaces that carry a usable default route, by name.
QSet<QString> defaultRouteInterfaces(const LinuxReachabilityFlagsProvider::SystemState& state)
{
    QSet<QString> names;
    // Iface Destination Gateway Flags RefCnt Use Metric Mask MTU Window IRTT, after a header line.
    const QList<QByteArray> ipv4Lines = state.ipv4Routes.split('\n');
    for (qsizetype i = 1; i < ipv4Lines.size(); ++i) {
        const QList<QByteArray> fields = ipv4Lines[i].simplified().split(' ');
        if (fields.size() < 8)
            continue;
        bool ok = false;
        const unsigned flags = fields[3].toUInt(&ok, 16);
        if (ok && isAllZeroHex(fields[1]) && isAllZeroHex(fields[7]) && (flags & kRouteUp) && !(flags & kRouteReject))
            names.insert(QString::fromLatin1(fields[0]));
    }
    // Destination, prefix length, source, source prefix length, next hop, metric, use and
    // reference counts, flags, interface; no header.
    for (const QByteArray& line : state.ipv6Routes.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 10)
            continue;
        bool ok = false;
        const unsigned flags = fields[8].toUInt(&ok, 16);
        if (ok && isAllZeroHex(fields[0]) && isAllZeroHex(fields[1]) && (flags & kRouteUp) && !(flags & kRouteReject))
            names.insert(QString::fromLatin1(fields[9]));
    }
    return names;
}

bool isUsable(const LinuxReachabilityFlagsProvider::InterfaceState& interface)
{
    return interface.up && !interface.loopback && !interface.addresses.isEmpty();
}

}  // namespace

LinuxReachabilityFlagsProvider::LinuxReachabilityFlagsProvider(ReachabilityTarget target) : m_target(std::move(target))
{
}

LinuxReachabilityFlagsProvider::~LinuxReachabilityFlagsProvider()
{
    if (m_socket < 0)
        return;
    QSocketNotifier* notifier = m_notifier;
    const int socket = m_socket;
    if (dispatch::isMainThread()) {
        delete notifier;
        ::close(socket);
    } else if (QCoreApplication::instance()) {
        // The notifier belongs to the main thread; its handler no longer reaches this object.
        dispatch::asyncMain([notifier, socket] {
            delete notifier;
            ::close(socket);
        });
    } else {
        ::close(socket);
    }
}

bool LinuxReachabilityFlagsProvider::getFlags(SCNetworkReachabilityFlags& flags)
{
    const std::optional<SystemState> state = readSystemState();
    if (!state)
        return false;
    flags = flagsFor(m_target, *state);
    return true;
}

bool LinuxReachabilityFlagsProvider::setCallback(ChangeCallback callback)
{
    std::lock_guard lock(m_mutex);
    m_callback = std::move(callback);
    return true;
}

bool LinuxReachabilityFlagsProvider::schedule()
{
    // Changes are watched by the main thread's event loop; without one there is nothing to run on.
    if (!QCoreApplication::instance())
        return false;
    {
        std::lock_guard lock(m_mutex);
        m_wantScheduled = true;
    }
    if (dispatch::isMainThread())
        return applySchedule();
    dispatch::asyncMain([weak = weak_from_this()] {
        if (const auto self = weak.lock())
            self->applySchedule();
    });
    return true;
}

void LinuxReachabilityFlagsProvider::unschedule()
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_wantScheduled)
            return;  // never scheduled, or already undone
        m_wantScheduled = false;
    }
    if (dispatch::isMainThread()) {
        applySchedule();
        return;
    }
    if (!QCoreApplication::instance())
        return;  // the loop that watched is gone; the destructor closes the socket
    dispatch::asyncMain([weak = weak_from_this()] {
        if (const auto self = weak.lock())
            self->applySchedule();
    });
}

bool LinuxReachabilityFlagsProvider::applySchedule()
{
    bool wanted = false;
    {
        std::lock_guard lock(m_mutex);
        wanted = m_wantScheduled;
    }
    if (!wanted) {
        if (m_socket >= 0) {
            delete m_notifier;
            m_notifier = nullptr;
            ::close(m_socket);
            m_socket = -1;
        }
        m_lastFlags.reset();
        return true;
    }
    if (m_socket >= 0)
        return true;

    const int socket = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (socket < 0)
        return false;
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE;
    if (::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(socket);
        return false;
    }
    m_socket = socket;
    m_notifier = new QSocketNotifier(socket, QSocketNotifier::Read);
    QObject::connect(m_notifier, &QSocketNotifier::activated, m_notifier, [weak = weak_from_this()] {
        if (const auto self = weak.lock())
            self->onNetlinkReadable();
    });
    // Changes are reported against the flags at the time watching began.
    SCNetworkReachabilityFlags flags = 0;
    if (getFlags(flags))
        m_lastFlags = flags;
    return true;
}

void LinuxReachabilityFlagsProvider::onNetlinkReadable()
{
    // The messages only say that something changed; the tables are read afresh below.
    char buffer[8192];
    for (;;) {
        const ssize_t received = ::recv(m_socket, buffer, sizeof buffer, 0);
        if (received > 0 || (received < 0 && (errno == EINTR || errno == ENOBUFS)))
            continue;
        break;
    }

    SCNetworkReachabilityFlags flags = 0;
    if (!getFlags(flags) || m_lastFlags == flags)
        return;
    m_lastFlags = flags;
    ChangeCallback callback;
    {
        std::lock_guard lock(m_mutex);
        callback = m_callback;
    }
    if (callback)
        callback(flags);
}

std::optional<LinuxReachabilityFlagsProvider::SystemState> LinuxReachabilityFlagsProvider::readSystemState()
{
    SystemState state;
    bool ipv4Read = false;
    bool ipv6Read = false;
    state.ipv4Routes = readProcFile("/proc/net/route", &ipv4Read);
    state.ipv6Routes = readProcFile("/proc/net/ipv6_route", &ipv6Read);
    if (!ipv4Read && !ipv6Read)
        return std::nullopt;
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        InterfaceState facts;
        facts.name = interface.name();
        facts.up = interface.flags().testFlags(QNetworkInterface::IsUp | QNetworkInterface::IsRunning);
        facts.loopback = interface.flags().testFlag(QNetworkInterface::IsLoopBack);
        facts.addresses = interface.addressEntries();
        state.interfaces.append(facts);
    }
    return state;
}

SCNetworkReachabilityFlags LinuxReachabilityFlagsProvider::flagsFor(const ReachabilityTarget& target,
                                                                    const SystemState& state)
{
    const QSet<QString> routed = defaultRouteInterfaces(state);
    const bool internet = std::any_of(state.interfaces.cbegin(), state.interfaces.cend(), [&](const InterfaceState& i) {
        return isUsable(i) && routed.contains(i.name);
    });
    const SCNetworkReachabilityFlags internetFlags = internet ? kSCNetworkReachabilityFlagsReachable : 0;
    if (!target.hostName.isEmpty())
        return internetFlags;

    const QHostAddress& address = target.address;
    if (address.isNull() || address == QHostAddress::AnyIPv4 || address == QHostAddress::AnyIPv6)
        return internetFlags;
    if (address.isLoopback())
        return kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsDirect;
    for (const InterfaceState& interface : state.interfaces) {
        if (!isUsable(interface))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addresses) {
            if (entry.prefixLength() >= 0 && address.isInSubnet(entry.ip(), entry.prefixLength()))
                return kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsDirect;
        }
    }
    return internetFlags;
}
