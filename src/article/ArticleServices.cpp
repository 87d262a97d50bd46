#include "article/ArticleServices.h"

#include <QMutex>

namespace {

class NobodyLoggedIn : public ArticleAppDelegate
{
public:
    NSMyUserInfoPtr getCurrLandUser() override { return nullptr; }
};

QMutex gMutex;
std::shared_ptr<ArticleAppDelegate> gDelegate;

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
