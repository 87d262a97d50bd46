#include "platform/PushService.h"

#include <QDebug>

namespace {

std::mutex& installMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<PushService>& installed()
{
    static std::shared_ptr<PushService> service;
    return service;
}

}  // namespace

void PushService::setDelegate(std::weak_ptr<PushServiceDelegate> delegate)
{
    std::lock_guard lock(m_mutex);
    m_delegate = std::move(delegate);
}

std::shared_ptr<PushServiceDelegate> PushService::delegate() const
{
    std::lock_guard lock(m_mutex);
    return m_delegate.lock();
}

std::shared_ptr<PushService> PushService::shared()
{
    std::lock_guard lock(installMutex());
    if (!installed())
        installed() = std::make_shared<LocalPushService>();
    return installed();
}

void PushService::install(std::shared_ptr<PushService> service)
{
    std::lock_guard lock(installMutex());
    installed() = std::move(service);
}

void LocalPushService::registerForRemoteNotificationTypes(int types)
{
    qInfo("push: no push service on this platform; registration for types %d gets no token", types);
}
