#include "images/AutoPurgeCache.h"

AutoPurgeCache::AutoPurgeCache(uint64_t totalCostLimit, uint64_t countLimit)
    : m_totalCostLimit(totalCostLimit), m_countLimit(countLimit)
{
}

QString AutoPurgeCache::name() const
{
    std::lock_guard lock(m_mutex);
    return m_name;
}

void AutoPurgeCache::setName(const QString& name)
{
    std::lock_guard lock(m_mutex);
    m_name = name;
}

QImage AutoPurgeCache::objectForKey(const QString& key)
{
    std::lock_guard lock(m_mutex);
    const auto found = m_index.constFind(key);
    if (found == m_index.constEnd())
        return {};
    const Entries::iterator it = *found;
    if (it != m_entries.begin())
        m_entries.splice(m_entries.begin(), m_entries, it);
    return it->image;
}

bool AutoPurgeCache::containsKey(const QString& key) const
{
    std::lock_guard lock(m_mutex);
    return m_index.contains(key);
}

bool AutoPurgeCache::setObject(const QString& key, const QImage& image, uint64_t cost)
{
    std::lock_guard lock(m_mutex);
    if (const auto found = m_index.constFind(key); found != m_index.constEnd())
        eraseLocked(*found);
    if (m_totalCostLimit > 0 && cost > m_totalCostLimit)
        return false;
    m_entries.push_front(Entry{key, image, cost});
    m_index.insert(key, m_entries.begin());
    m_totalCost += cost;
    evictLocked();
    return true;
}

void AutoPurgeCache::removeObjectForKey(const QString& key)
{
    std::lock_guard lock(m_mutex);
    if (const auto found = m_index.constFind(key); found != m_index.constEnd())
        eraseLocked(*found);
}

void AutoPurgeCache::removeAllObjects()
{
    std::lock_guard lock(m_mutex);
    m_entries.clear();
    m_index.clear();
    m_totalCost = 0;
}

uint64_t AutoPurgeCache::totalCostLimit() const
{
    std::lock_guard lock(m_mutex);
    return m_totalCostLimit;
}

void AutoPurgeCache::setTotalCostLimit(uint64_t limit)
{
    std::lock_guard lock(m_mutex);
    m_totalCostLimit = limit;
    evictLocked();
}

uint64_t AutoPurgeCache::countLimit() const
{
    std::lock_guard lock(m_mutex);
    return m_countLimit;
}

void AutoPurgeCache::setCountLimit(uint64_t limit)
{
    std::lock_guard lock(m_mutex);
    m_countLimit = limit;
    evictLocked();
}

uint64_t AutoPurgeCache::totalCost() const
{
    std::lock_guard lock(m_mutex);
    return m_totalCost;
}

qsizetype AutoPurgeCache::count() const
{
    std::lock_guard lock(m_mutex);
    return m_index.size();
}

void AutoPurgeCache::evictLocked()
{
    while (!m_entries.empty()
           && ((m_totalCostLimit > 0 && m_totalCost > m_totalCostLimit)
               || (m_countLimit > 0 && static_cast<uint64_t>(m_entries.size()) > m_countLimit)))
        eraseLocked(std::prev(m_entries.end()));
}

void AutoPurgeCache::eraseLocked(Entries::iterator it)
{
    m_totalCost -= it->cost;
    m_index.remove(it->key);
    m_entries.erase(it);
}
