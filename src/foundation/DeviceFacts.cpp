#include "foundation/DeviceFacts.h"

#include <QFile>

#include <algorithm>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace {

// First line of a small system file, without trailing zero bytes and white space.
QString firstLineOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray line = file.readLine(256);
    const qsizetype zero = line.indexOf('\0');
    if (zero >= 0)
        line.truncate(zero);
    return QString::fromUtf8(line).trimmed();
}

QString numericAddress(const sockaddr* address)
{
    char text[INET6_ADDRSTRLEN] = {};
    const void* raw = nullptr;
    if (address->sa_family == AF_INET)
        raw = &reinterpret_cast<const sockaddr_in*>(address)->sin_addr;
    else
        raw = &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
    if (inet_ntop(address->sa_family, raw, text, sizeof text) == nullptr)
        return {};
    return QString::fromLatin1(text);
}

}  // namespace

std::shared_ptr<DeviceFacts> DeviceFacts::makeDefault()
{
    return std::make_shared<SystemDeviceFacts>();
}

QString SystemDeviceFacts::productVersion()
{
    return QString::fromLatin1(kProductVersion);
}

QString SystemDeviceFacts::modelName()
{
    // PCs name their model in the firmware tables; boards with a device tree name it there.
    for (const char* path : {"/sys/devices/virtual/dmi/id/product_name", "/proc/device-tree/model"}) {
        const QString name = firstLineOf(QString::fromLatin1(path));
        if (!name.isEmpty())
            return name;
    }
    return QStringLiteral("");
}

QString SystemDeviceFacts::machine()
{
    utsname record{};
    if (uname(&record) != 0)
        return QStringLiteral("");
    return QString::fromUtf8(record.machine);
}

std::optional<uint64_t> SystemDeviceFacts::fileSystemSizeBytes(const QString& path)
{
    struct statvfs record{};
    if (path.isEmpty() || statvfs(QFile::encodeName(path).constData(), &record) != 0)
        return std::nullopt;
    return static_cast<uint64_t>(record.f_blocks) * static_cast<uint64_t>(record.f_frsize);
}

QList<NetworkInterfaceFacts> SystemDeviceFacts::interfaces()
{
    QList<NetworkInterfaceFacts> list;
    ifaddrs* head = nullptr;
    if (getifaddrs(&head) != 0)
        return list;
    for (const ifaddrs* entry = head; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_name == nullptr)
            continue;
        const QString name = QString::fromUtf8(entry->ifa_name);
        qsizetype at = 0;
        while (at < list.size() && list[at].name != name)
            ++at;
        if (at == list.size()) {
            NetworkInterfaceFacts facts;
            facts.name = name;
            list.append(facts);
        }
        NetworkInterfaceFacts& facts = list[at];
        facts.up = facts.up || (entry->ifa_flags & IFF_UP) != 0;
        facts.loopback = facts.loopback || (entry->ifa_flags & IFF_LOOPBACK) != 0;
        const sockaddr* address = entry->ifa_addr;
        if (address == nullptr)
            continue;
        if (address->sa_family == AF_PACKET) {
            const auto* link = reinterpret_cast<const sockaddr_ll*>(address);
            const int length = std::min<int>(link->sll_halen, sizeof link->sll_addr);
            facts.hardwareAddress = QByteArray(reinterpret_cast<const char*>(link->sll_addr), length);
        } else if (address->sa_family == AF_INET || address->sa_family == AF_INET6) {
            const QString text = numericAddress(address);
            if (!text.isEmpty())
                (address->sa_family == AF_INET ? facts.ipv4Addresses : facts.ipv6Addresses).append(text);
        }
    }
    freeifaddrs(head);
    return list;
}
