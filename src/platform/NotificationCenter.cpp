#include "platform/NotificationCenter.h"

#include <QPointer>
#include <QThread>

#include <atomic>

NotificationObject NotificationObject::from(QObject* object)
{
    NotificationObject o;
    o.m_identity = object;
    if (object)
        o.m_value = QPointer<QObject>(object);
    return o;
}

QObject* NotificationObject::qobject() const
{
    if (const auto* p = std::any_cast<QPointer<QObject>>(&m_value))
        return p->data();
    return nullptr;
}

struct NotificationCenter::Observer
{
    Token id = 0;
    QString name;
    const void* filter = nullptr;
    Handler handler;
    // Set while the entry is listed: the owner cannot finish its destruction before its
    // destroyed() handler has taken the entry out under the centre's mutex.
    QObject* owner = nullptr;
    QMetaObject::Connection ownerGone;
    // Set under the mutex when the entry leaves the list; checked before every call, so a
    // notification already taken from the list or queued does not reach a removed observer.
    std::atomic<bool> removed = false;
};

NotificationCenter& NotificationCenter::defaultCenter()
{
    // Never destroyed: owners destroyed during exit still find it.
    static auto* center = new NotificationCenter;
    return *center;
}

NotificationCenter::NotificationCenter() = default;

NotificationCenter::~NotificationCenter()
{
    takeObservers([](const Observer&) { return true; });
}

void NotificationCenter::post(const QString& name, const NotificationObject& object, const QVariantMap& userInfo)
{
    const Notification notification{name, object, userInfo};
    const void* identity = object.identity();
    QThread* here = QThread::currentThread();

    std::vector<ObserverPtr> onThisThread;
    {
        std::lock_guard lock(m_mutex);
        for (const ObserverPtr& observer : m_observers) {
            if (observer->name != name || (observer->filter && observer->filter != identity))
                continue;
            if (observer->owner && observer->owner->thread() != here) {
                // The owner is the context of the queued call: Qt drops the call if the owner is
                // destroyed first. Posting it under the mutex keeps the owner alive meanwhile.
                QMetaObject::invokeMethod(
                    observer->owner,
                    [observer, notification] {
                        if (!observer->removed)
                            observer->handler(notification);
                    },
                    Qt::QueuedConnection);
            } else {
                onThisThread.push_back(observer);
            }
        }
    }
    // Handlers run unlocked: they may post, observe or remove observers themselves.
    for (const ObserverPtr& observer : onThisThread) {
        if (!observer->removed)
            observer->handler(notification);
    }
}

void NotificationCenter::addObserver(QObject* owner, const QString& name, const void* objectFilter, Handler handler)
{
    if (!owner || !handler) {
        qWarning("NotificationCenter: observer of %s needs an owner and a handler", qPrintable(name));
        return;
    }
    auto observer = std::make_shared<Observer>();
    observer->name = name;
    observer->filter = objectFilter;
    observer->handler = std::move(handler);
    observer->owner = owner;

    std::lock_guard lock(m_mutex);
    observer->id = m_nextId++;
    // Direct: destroyed() is emitted on the owner's thread while it is being destroyed.
    observer->ownerGone = QObject::connect(owner, &QObject::destroyed, [this, owner] { removeObserver(owner); });
    m_observers.push_back(std::move(observer));
}

NotificationCenter::Token NotificationCenter::addObserver(const QString& name, const void* objectFilter, Handler handler)
{
    if (!handler)
        return 0;
    auto observer = std::make_shared<Observer>();
    observer->name = name;
    observer->filter = objectFilter;
    observer->handler = std::move(handler);

    std::lock_guard lock(m_mutex);
    observer->id = m_nextId++;
    m_observers.push_back(observer);
    return observer->id;
}

void NotificationCenter::removeObserver(Token token)
{
    takeObservers([token](const Observer& o) { return !o.owner && o.id == token; });
}

void NotificationCenter::removeObserver(QObject* owner)
{
    if (owner)
        takeObservers([owner](const Observer& o) { return o.owner == owner; });
}

void NotificationCenter::removeObserver(QObject* owner, const QString& name)
{
    if (owner)
        takeObservers([owner, &name](const Observer& o) { return o.owner == owner && o.name == name; });
}

std::vector<NotificationCenter::ObserverPtr> NotificationCenter::takeObservers(
    const std::function<bool(const Observer&)>& match)
{
    std::vector<ObserverPtr> taken;
    std::lock_guard lock(m_mutex);
    std::erase_if(m_observers, [&](const ObserverPtr& observer) {
        if (!match(*observer))
            return false;
        observer->removed = true;
        if (observer->ownerGone)
            QObject::disconnect(observer->ownerGone);
        taken.push_back(observer);
        return true;
    });
    return taken;
}
