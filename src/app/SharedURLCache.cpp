#include "app/SharedURLCache.h"

#include "networking/URLSession.h"
#include "platform/StorageRoot.h"

#include <QChildEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QTimer>

namespace {

// Qt lays out its folder only when it is given it, and afterwards warns at every reply it cannot
// keep: a file standing in the folder's place is removed and the folder laid out again.
void mendFolder(QNetworkDiskCache& disk)
{
    const QString folder = QDir::cleanPath(disk.cacheDirectory());
    if (folder.isEmpty() || QFileInfo(folder).isDir())
        return;
    const QFileInfo place(folder);
    StorageRoot::ensureFolder(StorageRoot::cacheFolderPath(place.path(), place.fileName()));
    disk.setCacheDirectory(folder);
}

}  // namespace

SharedURLCache::SharedURLCache() = default;

SharedURLCache::~SharedURLCache()
{
    if (m_watching && QCoreApplication::instance() != nullptr)
        QCoreApplication::instance()->removeEventFilter(this);
    if (m_hooked)
        URLSession::setAccessManagerHook({});
    // The fronts (owned by their managers) stop using the disk cache once it is gone.
    delete m_disk;
}

void SharedURLCache::install(qint64 memoryCapacity, qint64 diskCapacity, const QString& path)
{
    Q_UNUSED(memoryCapacity);
    QCoreApplication* const app = QCoreApplication::instance();
    if (app == nullptr)
        return;
    const QString folder = StorageRoot::cacheFolderPath(StorageRoot::cachesPath(), path);
    StorageRoot::ensureFolder(folder);
    if (m_disk == nullptr)
        m_disk = new QNetworkDiskCache;
    m_disk->setCacheDirectory(folder);
    m_disk->setMaximumCacheSize(diskCapacity);

    for (QNetworkAccessManager* manager : app->findChildren<QNetworkAccessManager*>())
        attach(manager);
    if (!m_watching) {
        app->installEventFilter(this);
        m_watching = true;
    }
    // The sessions' own managers (one per session for https) belong to their sessions, not to
    // the application object: they are handed over as they are made.
    QPointer<SharedURLCache> self(this);
    URLSession::setAccessManagerHook([self](QNetworkAccessManager* manager) {
        if (self)
            self->attach(manager);
    });
    m_hooked = true;
}

void SharedURLCache::attach(QNetworkAccessManager* manager)
{
    if (manager == nullptr || m_disk == nullptr)
        return;
    if (auto* front = qobject_cast<SharedURLCacheFront*>(manager->cache()); front != nullptr && front->disk() == m_disk)
        return;
    manager->setCache(new SharedURLCacheFront(m_disk, manager));
}

bool SharedURLCache::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ChildAdded && watched == QCoreApplication::instance()) {
        // The child is still being constructed: look at it once it is whole.
        QPointer<QObject> child = static_cast<QChildEvent*>(event)->child();
        QPointer<SharedURLCache> self(this);
        QTimer::singleShot(0, this, [self, child] {
            if (self && child)
                self->attach(qobject_cast<QNetworkAccessManager*>(child.data()));
        });
    }
    return QObject::eventFilter(watched, event);
}

SharedURLCacheFront::SharedURLCacheFront(QNetworkDiskCache* disk, QObject* parent)
    : QAbstractNetworkCache(parent), m_disk(disk)
{
}

QNetworkCacheMetaData SharedURLCacheFront::metaData(const QUrl& url)
{
    return m_disk ? m_disk->metaData(url) : QNetworkCacheMetaData();
}

void SharedURLCacheFront::updateMetaData(const QNetworkCacheMetaData& metaData)
{
    if (m_disk)
        m_disk->updateMetaData(metaData);
}

QIODevice* SharedURLCacheFront::data(const QUrl& url)
{
    return m_disk ? m_disk->data(url) : nullptr;
}

bool SharedURLCacheFront::remove(const QUrl& url)
{
    return m_disk ? m_disk->remove(url) : false;
}

qint64 SharedURLCacheFront::cacheSize() const
{
    return m_disk ? m_disk->cacheSize() : 0;
}

QIODevice* SharedURLCacheFront::prepare(const QNetworkCacheMetaData& metaData)
{
    if (!m_disk)
        return nullptr;
    mendFolder(*m_disk);
    return m_disk->prepare(metaData);
}

void SharedURLCacheFront::insert(QIODevice* device)
{
    if (m_disk)
        m_disk->insert(device);
}

void SharedURLCacheFront::setCapacities(qint64 memoryCapacity, qint64 diskCapacity)
{
    Q_UNUSED(memoryCapacity);
    if (m_disk)
        m_disk->setMaximumCacheSize(diskCapacity);
}

void SharedURLCacheFront::clear()
{
    if (!m_disk)
        return;
    m_disk->clear();
    mendFolder(*m_disk);
}
