#include "foundation/CommonFunction.h"

#include <cstdio>

#include "foundation/DeviceFacts.h"

#include <QRandomGenerator>
#include <QUuid>

#include <algorithm>

namespace {

constexpr qsizetype kHardwareAddressLength = 6;

bool isUsableHardwareAddress(const QByteArray& address)
{
    return address.size() == kHardwareAddressLength
        && std::any_of(address.begin(), address.end(), [](char byte) { return byte != 0; });
}

QString hardwareAddressText(const QByteArray& address)
{
    QString text;
    for (qsizetype i = 0; i < address.size(); ++i) {
        if (i > 0)
            text += u':';
        text += QStringLiteral("%1").arg(static_cast<uint8_t>(address[i]), 2, 16, QChar(u'0')).toUpper();
    }
    return text;
}

}  // namespace

QString CommonFunction::getUUID()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QString CommonFunction::getMacAddress()
{
    QList<NetworkInterfaceFacts> interfaces = DeviceFacts::instance()->interfaces();
    // en0 is the preferred one; its name rarely exists here, so fall back to the first other
    // interface by name. An error text must never travel as an address.
    std::stable_sort(interfaces.begin(), interfaces.end(),
                     [](const NetworkInterfaceFacts& a, const NetworkInterfaceFacts& b) {
                         const bool aIsEn0 = a.name == u"en0";
                         const bool bIsEn0 = b.name == u"en0";
                         if (aIsEn0 != bIsEn0)
                             return aIsEn0;
                         return a.name < b.name;
                     });
    for (const NetworkInterfaceFacts& facts : interfaces) {
        if (facts.loopback || !isUsableHardwareAddress(facts.hardwareAddress))
            continue;
        const QString address = hardwareAddressText(facts.hardwareAddress);
        qInfo("Mac Address: %s", qUtf8Printable(address));
        return address;
    }
    qInfo("Error: %s", "no interface with a hardware address");
    return QStringLiteral("");
}

QString CommonFunction::getMacDeviceName()
{
    return DeviceFacts::instance()->modelName();
}

QString CommonFunction::getDeviceVersionStr()
{
    return DeviceFacts::instance()->machine();
}

QString CommonFunction::getDeviceRamSize()
{
    // The size of the partition that holds /var, which the launch report and the comment post
    // send under this name; a negative zero says it could not be read.
    constexpr double kGiB = 1024.0 * 1024.0 * 1024.0;
    const std::optional<uint64_t> bytes = DeviceFacts::instance()->fileSystemSizeBytes(QStringLiteral("/var"));
    const double size = bytes ? static_cast<double>(*bytes) / kGiB : -0.0;
    // The C formatter keeps the sign of a negative zero; QString::asprintf drops it.
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", size);
    return QString::fromLatin1(text);
}

int32_t CommonFunction::getRandom()
{
    // 31 random bits: every non-negative value equally likely, none negative.
    return static_cast<int32_t>(QRandomGenerator::global()->generate() & 0x7FFFFFFFu);
}
