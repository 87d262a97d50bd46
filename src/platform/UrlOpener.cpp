#include "platform/UrlOpener.h"

#include <QDebug>

#include <mutex>

namespace {

std::mutex& installMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<UrlOpener>& installed()
{
    static std::shared_ptr<UrlOpener> opener;
    return opener;
}

}  // namespace

bool UrlOpener::isWebAddress(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
           !url.host().isEmpty();
}

std::shared_ptr<UrlOpener> UrlOpener::shared()
{
    std::lock_guard lock(installMutex());
    return installed();
}

void UrlOpener::install(std::shared_ptr<UrlOpener> opener)
{
    std::lock_guard lock(installMutex());
    installed() = std::move(opener);
}

bool UrlOpener::open(const QUrl& url)
{
    if (!isWebAddress(url)) {
        qWarning() << "url opener: not a web address, not opened:" << url.toString();
        return false;
    }
    const std::shared_ptr<UrlOpener> opener = shared();
    if (!opener) {
        qWarning() << "url opener: none installed;" << url.toString() << "not opened";
        return false;
    }
    return opener->openURL(url);
}
