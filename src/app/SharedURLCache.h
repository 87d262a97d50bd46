#pragma once

#include "app/AppNeighbours.h"
#include "networking/URLSession.h"

#include <QAbstractNetworkCache>
#include <QObject>
#include <QPointer>

class QNetworkAccessManager;
#include <QNetworkDiskCache>

// The program's one URL cache: a disk cache in Caches/<path> that every network access manager
// of the application object and every session's own manager uses, those made later included. Qt keeps no memory tier, so the
// memory capacity has nothing to size. Main thread only.
class SharedURLCache : public QObject, public URLCacheInstaller
{
    Q_OBJECT

public:
    SharedURLCache();
    ~SharedURLCache() override;

    void install(qint64 memoryCapacity, qint64 diskCapacity, const QString& path) override;

    // The installed disk cache, or null before install.
    QNetworkDiskCache* diskCache() const { return m_disk; }
    // Puts the cache on the manager unless it already has it.
    void attach(QNetworkAccessManager* manager);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QNetworkDiskCache* m_disk = nullptr;  // owned
    bool m_watching = false;
    bool m_hooked = false;  // it receives the sessions' access managers
};

// A manager owns its cache, so each manager gets its own front of the one disk cache.
class SharedURLCacheFront : public QAbstractNetworkCache, public SizableURLCache
{
    Q_OBJECT

public:
    SharedURLCacheFront(QNetworkDiskCache* disk, QObject* parent);

    QNetworkCacheMetaData metaData(const QUrl& url) override;
    void updateMetaData(const QNetworkCacheMetaData& metaData) override;
    QIODevice* data(const QUrl& url) override;
    bool remove(const QUrl& url) override;
    qint64 cacheSize() const override;
    QIODevice* prepare(const QNetworkCacheMetaData& metaData) override;
    void insert(QIODevice* device) override;
    void clear() override;

    QNetworkDiskCache* disk() const { return m_disk.data(); }
    // The one cache's capacities (0: nothing is kept any more). Qt keeps no memory tier, so the
    // memory capacity has nothing to size.
    void setCapacities(qint64 memoryCapacity, qint64 diskCapacity) override;

private:
    QPointer<QNetworkDiskCache> m_disk;
};
