#pragma once

#include "foundation/DeviceFacts.h"

#include <QHash>

// Device facts a test writes; installed for the lifetime of the object.
class FakeDeviceFacts : public DeviceFacts
{
public:
    struct Values
    {
        QString productVersion = QStringLiteral("10.15");
        QString modelName;
        QString machine;
        // By path; a path not listed cannot be read.
        QHash<QString, uint64_t> fileSystemSizeBytes;
        QList<NetworkInterfaceFacts> interfaces;
    };

    class Installed
    {
    public:
        Installed() : m_facts(std::make_shared<FakeDeviceFacts>()) { DeviceFacts::setInstance(m_facts); }
        ~Installed() { DeviceFacts::setInstance(nullptr); }
        Values* operator->() { return &m_facts->values; }

    private:
        std::shared_ptr<FakeDeviceFacts> m_facts;
    };

    QString productVersion() override { return values.productVersion; }
    QString modelName() override { return values.modelName; }
    QString machine() override { return values.machine; }
    std::optional<uint64_t> fileSystemSizeBytes(const QString& path) override
    {
        const auto found = values.fileSystemSizeBytes.constFind(path);
        return found == values.fileSystemSizeBytes.constEnd() ? std::nullopt : std::optional<uint64_t>(*found);
    }
    QList<NetworkInterfaceFacts> interfaces() override { return values.interfaces; }

    Values values;
};

inline NetworkInterfaceFacts fakeInterface(const QString& name, QByteArray hardware = {}, bool up = true,
                                           QStringList ipv4 = {}, QStringList ipv6 = {})
{
    NetworkInterfaceFacts facts;
    facts.name = name;
    facts.up = up;
    facts.loopback = name == u"lo";
    facts.hardwareAddress = std::move(hardware);
    facts.ipv4Addresses = std::move(ipv4);
    facts.ipv6Addresses = std::move(ipv6);
    return facts;
}
