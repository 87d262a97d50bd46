#pragma once

#include <QObject>

#include <functional>
#include <memory>

// Side records kept beside a QObject under a key, like values associated with the object itself:
// each (object, key) holds one shared value, created on first use and freed when the object is
// destroyed (on its `destroyed` signal, so a record's own destructor still finds the QObject part
// of the object alive). Keys are addresses of any static object of the caller, so two callers
// never clash. Every member may be called from any thread.
namespace AssociatedObjects {

// The value stored under the key, or null.
std::shared_ptr<void> get(const QObject* object, const void* key);
// Stores the value under the key (null removes it). The previous value is released after the
// store's lock is let go, so its destructor may itself use the store.
void set(QObject* object, const void* key, std::shared_ptr<void> value);
// The value stored under the key; when there is none, stores what `make` returns and gives that.
// Two threads asking at once get the same value.
std::shared_ptr<void> getOrSet(QObject* object, const void* key, const std::function<std::shared_ptr<void>()>& make);
// Removes the value stored under the key, if any.
void remove(QObject* object, const void* key);
// How many objects have at least one record (for tests of the clean-up).
int objectCount();

// Typed access. The caller chooses T for its own key; a key is only ever used with one type.
template <typename T>
std::shared_ptr<T> value(const QObject* object, const void* key)
{
    return std::static_pointer_cast<T>(get(object, key));
}

// The record under the key, made with T's default constructor on first access.
template <typename T>
std::shared_ptr<T> getOrCreate(QObject* object, const void* key)
{
    return std::static_pointer_cast<T>(getOrSet(object, key, [] { return std::make_shared<T>(); }));
}

}  // namespace AssociatedObjects
