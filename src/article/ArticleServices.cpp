#include "article/ArticleServices.h"

#include <QDesktopServices>
#include <QMutex>

namespace {

class NobodyLoggedIn : public ArticleAppDelegate
{
public:
    NSMyUserInfoPtr getCurrLandUser() override { return nullptr; }
};

class DesktopOpener : public ArticleUrlOpener
{
public:
    void openUrl(const QUrl& url) override { QDesktopServices::openUrl(url); }
};

QMutex gMutex;
std::shared_ptr<ArticleAppDelegate> gDelegate;
std::shared_ptr<ArticleUrlOpener> gOpener;

}  // namespace

std::shared_ptr<ArticleAppDelegate> ArticleAppDelegate::instance()
{
    QMutexLocker lock(&gMutex);
    if (!gDelegate)
        gDelegate = std::make_shared<NobodyLoggedIn>();
    return gDelegate;
}

void ArticleAppDelegate::install(std::shared_ptr<ArticleAppDelegate> delegate)
{
    QMutexLocker lock(&gMutex);
    gDelegate = std::move(delegate);
}

NSMyUserInfoPtr ArticleAppDelegate::currentUser()
{
    return instance()->getCurrLandUser();
}

std::shared_ptr<ArticleUrlOpener> ArticleUrlOpener::instance()
{
    QMutexLocker lock(&gMutex);
    if (!gOpener)
        gOpener = std::make_shared<DesktopOpener>();
    return gOpener;
}

void ArticleUrlOpener::install(std::shared_ptr<ArticleUrlOpener> opener)
{
    QMutexLocker lock(&gMutex);
    gOpener = std::move(opener);
}

bool ArticleUrlOpener::open(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QStringLiteral("http") && scheme != QStringLiteral("https")))
        return false;
    instance()->openUrl(url);
    return true;
}
