#pragma once

#include "platform/Installed.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>

// One network interface as the device reports it.
struct NetworkInterfaceFacts
{
    QString name;
    bool up = false;
    bool loopback = false;
    QByteArray hardwareAddress;   // link-level address bytes; empty when the interface has none
    QStringList ipv4Addresses;    // numeric texts, in the order the system lists them
    QStringList ipv6Addresses;
};

// Where the device facts come from. The program reads them from the running system; tests put
// their own in place with setInstance().
class DeviceFacts : protected Installed<DeviceFacts>
{
public:
    virtual ~DeviceFacts() = default;

    // The product version text of the operating system generation the program reports itself
    // running on, e.g. "10.15".
    virtual QString productVersion() = 0;
    // The machine's model identifier; "" when the system does not tell.
    virtual QString modelName() = 0;
    // The hardware architecture text, e.g. "x86_64".
    virtual QString machine() = 0;
    // The size in bytes of the file system that holds path; nothing when it cannot be read.
    virtual std::optional<uint64_t> fileSystemSizeBytes(const QString& path) = 0;
    // Every interface, in the order the system lists them.
    virtual QList<NetworkInterfaceFacts> interfaces() = 0;

    // The facts in use; the running system's unless a test set others.
    static std::shared_ptr<DeviceFacts> instance() { return installed(); }
    // Null puts the running system's facts back.
    static void setInstance(std::shared_ptr<DeviceFacts> facts) { install(std::move(facts)); }

private:
    friend class Installed<DeviceFacts>;
    static std::shared_ptr<DeviceFacts> makeDefault();  // the running system's
};

// The running system's facts (Linux).
class SystemDeviceFacts : public DeviceFacts
{
public:
    // No system version file exists here: the program reports a fixed generation on which every
    // version-dependent feature (thin font, font-change observers) is on.
    static constexpr auto kProductVersion = "10.15";

    QString productVersion() override;
    QString modelName() override;
    QString machine() override;
    std::optional<uint64_t> fileSystemSizeBytes(const QString& path) override;
    QList<NetworkInterfaceFacts> interfaces() override;
};
