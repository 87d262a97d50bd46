#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QVariantMap>

#include <memory>
#include <mutex>
#include <optional>

// What the program hears from the platform's push service. Every call comes on the main thread.
class PushServiceDelegate
{
public:
    virtual ~PushServiceDelegate() = default;
    virtual void didRegisterForRemoteNotificationsWithDeviceToken(const QByteArray& deviceToken) = 0;
    virtual void didFailToRegisterForRemoteNotificationsWithError(const Error& error) = 0;
    // A notification that arrived while the program runs; its user information.
    virtual void didReceiveRemoteNotification(const QVariantMap& payload) = 0;
};

// The platform's push notification service: registration, the delegate it reports to, and the
// notification that launched the program. The installed service serves the whole process; tests
// install a fake that hands out tokens and payloads.
class PushService
{
public:
    // Notification types of a registration.
    static constexpr int kTypeBadge = 1;
    static constexpr int kTypeSound = 2;
    static constexpr int kTypeAlert = 4;

    virtual ~PushService() = default;

    // Asks for a device token; the answer, if any, reaches the delegate later.
    virtual void registerForRemoteNotificationTypes(int types) = 0;
    // The user information of the user notification that launched the program; nullopt when the
    // program was not launched by one.
    virtual std::optional<QVariantMap> launchUserNotificationPayload() const = 0;

    void setDelegate(std::weak_ptr<PushServiceDelegate> delegate);
    std::shared_ptr<PushServiceDelegate> delegate() const;

    // The installed service; the platform's own until another is installed.
    static std::shared_ptr<PushService> shared();
    // Installs a service; null puts the platform's own back.
    static void install(std::shared_ptr<PushService> service);

private:
    mutable std::mutex m_mutex;
    std::weak_ptr<PushServiceDelegate> m_delegate;  // guarded by m_mutex
};

// This platform has no push service: a registration gets no token and no notification ever
// arrives; nothing launched the program.
class LocalPushService : public PushService
{
public:
    void registerForRemoteNotificationTypes(int types) override;
    std::optional<QVariantMap> launchUserNotificationPayload() const override { return std::nullopt; }
};
