#include "platform/AssociatedObjects.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

struct ObjectRecords
{
    QMetaObject::Connection destroyedConnection;
    std::vector<std::pair<const void*, std::shared_ptr<void>>> values;
};

struct Store
{
    std::mutex mutex;
    std::unordered_map<const QObject*, ObjectRecords> records;
};

Store& store()
{
    // Never destroyed: records of objects that outlive static destruction stay reachable.
    static auto* s = new Store;
    return *s;
}

// Takes every record of the object out of the store; they are released by the caller, unlocked.
std::vector<std::shared_ptr<void>> takeAll(const QObject* object)
{
    std::vector<std::shared_ptr<void>> released;
    Store& s = store();
    std::lock_guard lock(s.mutex);
    auto it = s.records.find(object);
    if (it == s.records.end())
        return released;
    for (auto& entry : it->second.values)
        released.push_back(std::move(entry.second));
    s.records.erase(it);
    return released;
}

}  // namespace

namespace AssociatedObjects {

std::shared_ptr<void> get(const QObject* object, const void* key)
{
    if (!object)
        return {};
    Store& s = store();
    std::lock_guard lock(s.mutex);
    auto it = s.records.find(object);
    if (it == s.records.end())
        return {};
    for (const auto& entry : it->second.values)
        if (entry.first == key)
            return entry.second;
    return {};
}

namespace {

// Stores the value under the key, or leaves a value already there when keepExisting; returns
// what the key holds afterwards. Whatever is let go is released after the lock.
std::shared_ptr<void> put(QObject* object, const void* key, std::shared_ptr<void> value, bool keepExisting)
{
    std::shared_ptr<void> previous;
    std::shared_ptr<void> stored;
    bool needsConnection = false;
    {
        Store& s = store();
        std::lock_guard lock(s.mutex);
        auto [it, inserted] = s.records.try_emplace(object);
        needsConnection = inserted;
        auto& values = it->second.values;
        auto entry = std::find_if(values.begin(), values.end(), [key](const auto& e) { return e.first == key; });
        if (entry == values.end()) {
            values.emplace_back(key, value);
            stored = std::move(value);
        } else if (keepExisting) {
            stored = entry->second;
        } else {
            previous = std::exchange(entry->second, value);
            stored = std::move(value);
        }
    }
    if (needsConnection) {
        // Direct connection without a context: it runs in the destroying thread, before the
        // address can be reused by another object.
        auto connection = QObject::connect(object, &QObject::destroyed, [object] { takeAll(object); });
        Store& s = store();
        std::lock_guard lock(s.mutex);
        auto it = s.records.find(object);
        if (it != s.records.end())
            it->second.destroyedConnection = connection;
        else
            QObject::disconnect(connection);
    }
    return stored;
}

}  // namespace

void set(QObject* object, const void* key, std::shared_ptr<void> value)
{
    if (!object)
        return;
    if (!value) {
        remove(object, key);
        return;
    }
    put(object, key, std::move(value), false);
}

std::shared_ptr<void> getOrSet(QObject* object, const void* key, const std::function<std::shared_ptr<void>()>& make)
{
    if (!object)
        return {};
    if (auto existing = get(object, key))
        return existing;
    // Made outside the lock (making it may use the store); a value another thread stored
    // meanwhile wins and this one is let go.
    std::shared_ptr<void> made = make();
    if (!made)
        return {};
    return put(object, key, std::move(made), true);
}

void remove(QObject* object, const void* key)
{
    if (!object)
        return;
    std::shared_ptr<void> previous;
    QMetaObject::Connection dropConnection;
    {
        Store& s = store();
        std::lock_guard lock(s.mutex);
        auto it = s.records.find(object);
        if (it == s.records.end())
            return;
        auto& values = it->second.values;
        for (auto v = values.begin(); v != values.end(); ++v) {
            if (v->first == key) {
                previous = std::move(v->second);
                values.erase(v);
                break;
            }
        }
        if (values.empty()) {
            dropConnection = it->second.destroyedConnection;
            s.records.erase(it);
        }
    }
    if (dropConnection)
        QObject::disconnect(dropConnection);
}

int objectCount()
{
    Store& s = store();
    std::lock_guard lock(s.mutex);
    return static_cast<int>(s.records.size());
}

}  // namespace AssociatedObjects
