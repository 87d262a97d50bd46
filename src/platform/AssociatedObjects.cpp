#include "platform/AssociatedObjects.h"

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

void set(QObject* object, const void* key, std::shared_ptr<void> value)
{
    if (!object)
        return;
    if (!value) {
        remove(object, key);
        return;
    }
    std::shared_ptr<void> previous;
    bool needsConnection = false;
    {
        Store& s = store();
        std::lock_guard lock(s.mutex);
        auto [it, inserted] = s.records.try_emplace(object);
        needsConnection = inserted;
        bool replaced = false;
        for (auto& entry : it->second.values) {
            if (entry.first == key) {
                previous = std::exchange(entry.second, std::move(value));
                replaced = true;
                break;
            }
        }
        if (!replaced)
            it->second.values.emplace_back(key, std::move(value));
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
