#pragma once

#include <QHash>
#include <QImage>
#include <QString>

#include <cstdint>
#include <list>
#include <mutex>

// The memory level of the image cache: decoded images by key, each with a cost, evicting the
// least recently used entries once the total cost or the number of entries passes its limit.
// An image that alone costs more than the whole limit is not kept. Safe on any thread.
class AutoPurgeCache
{
public:
    explicit AutoPurgeCache(uint64_t totalCostLimit, uint64_t countLimit = 0);

    QString name() const;
    void setName(const QString& name);

    // The image under the key (now the most recently used), or a null image.
    QImage objectForKey(const QString& key);
    bool containsKey(const QString& key) const;
    // False when the image was not kept because it alone is over the cost limit.
    bool setObject(const QString& key, const QImage& image, uint64_t cost);
    void removeObjectForKey(const QString& key);
    void removeAllObjects();

    // 0: no limit.
    uint64_t totalCostLimit() const;
    void setTotalCostLimit(uint64_t limit);
    uint64_t countLimit() const;
    void setCountLimit(uint64_t limit);

    uint64_t totalCost() const;
    qsizetype count() const;

private:
    struct Entry
    {
        QString key;
        QImage image;
        uint64_t cost = 0;
    };
    using Entries = std::list<Entry>;

    void evictLocked();
    void eraseLocked(Entries::iterator it);

    mutable std::mutex m_mutex;
    QString m_name;                                   // guarded by m_mutex
    Entries m_entries;                                // guarded by m_mutex; most recent first
    QHash<QString, Entries::iterator> m_index;        // guarded by m_mutex
    uint64_t m_totalCost = 0;                         // guarded by m_mutex
    uint64_t m_totalCostLimit = 0;                    // guarded by m_mutex
    uint64_t m_countLimit = 0;                        // guarded by m_mutex
};
