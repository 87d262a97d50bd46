#include "foundation/WebFileStampStore.h"

#include <QMutex>

namespace {

QMutex gStoreMutex;
std::shared_ptr<WebFileStampStore> gStore;  // guarded by gStoreMutex

}  // namespace

std::shared_ptr<WebFileStampStore> WebFileStampStore::instance()
{
    QMutexLocker lock(&gStoreMutex);
    return gStore;
}

void WebFileStampStore::setInstance(std::shared_ptr<WebFileStampStore> store)
{
    QMutexLocker lock(&gStoreMutex);
    gStore = std::move(store);
}
