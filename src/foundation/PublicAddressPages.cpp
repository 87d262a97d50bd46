#include "foundation/PublicAddressPages.h"

#include <QMutex>

namespace {

QMutex gPagesMutex;
PublicAddressPages::Pages gPages;  // guarded by gPagesMutex

}  // namespace

PublicAddressPages::Pages PublicAddressPages::current()
{
    QMutexLocker lock(&gPagesMutex);
    return gPages;
}

void PublicAddressPages::set(const Pages& pages)
{
    QMutexLocker lock(&gPagesMutex);
    gPages = pages;
}

void PublicAddressPages::reset()
{
    set(Pages());
}
