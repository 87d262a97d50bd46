#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// The object a notification is about: any shared value, plus the identity that observers
// filter on (the address of the object it stands for).
class NotificationObject
{
public:
    NotificationObject() = default;

    template <typename T>
    static NotificationObject from(std::shared_ptr<T> object)
    {
        NotificationObject o;
        o.m_identity = object.get();
        o.m_value = std::move(object);
        return o;
    }
    // The QObject is held weakly: the notification does not keep it alive.
    static NotificationObject from(QObject* object);

    // nullptr for "no object".
    const void* identity() const { return m_identity; }
    bool isNull() const { return m_identity == nullptr; }

    // The shared value when it was made from a std::shared_ptr<T>; empty otherwise.
    template <typename T>
    std::shared_ptr<T> sharedPtr() const
    {
        if (const auto* p = std::any_cast<std::shared_ptr<T>>(&m_value))
            return *p;
        return {};
    }
    // The QObject when it was made from one and still exists; nullptr otherwise.
    QObject* qobject() const;

private:
    const void* m_identity = nullptr;
    std::any m_value;
};

struct Notification
{
    QString name;
    NotificationObject object;
    QVariantMap userInfo;
};

// Named notifications between parts of the program that do not know each other.
//
// Observers bound to an owner QObject go away with it, and run on the owner's thread: a
// notification posted on that thread reaches them before post() returns; one posted on another
// thread is queued to the owner's thread and dropped if the owner is destroyed (or the observer
// removed) before it runs. Observers without an owner run on the posting thread.
// Every member may be called from any thread, handlers included.
class NotificationCenter
{
public:
    using Handler = std::function<void(const Notification&)>;
    // Identifies an observer added without an owner; 0 is never handed out.
    using Token = uint64_t;

    static NotificationCenter& defaultCenter();

    NotificationCenter();
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    void post(const QString& name, const NotificationObject& object = {}, const QVariantMap& userInfo = {});

    // objectFilter nullptr observes the name whatever the object.
    void addObserver(QObject* owner, const QString& name, const void* objectFilter, Handler handler);
    Token addObserver(const QString& name, const void* objectFilter, Handler handler);

    void removeObserver(Token token);
    void removeObserver(QObject* owner);
    void removeObserver(QObject* owner, const QString& name);

private:
    struct Observer;
    using ObserverPtr = std::shared_ptr<Observer>;

    // Takes the matching observers out of the list; the caller lets them go after unlocking,
    // because a handler's captures may post or observe when they are destroyed.
    std::vector<ObserverPtr> takeObservers(const std::function<bool(const Observer&)>& match);

    std::mutex m_mutex;
    std::vector<ObserverPtr> m_observers;  // guarded by m_mutex; in the order they were added
    Token m_nextId = 1;                    // guarded by m_mutex
};
