#include "app/views/DesktopUrlOpener.h"

#include <QDesktopServices>

bool DesktopUrlOpener::openURL(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}
