#include "article/ArticleServices.h"

namespace {

class NobodyLoggedIn : public ArticleAppDelegate
{
public:
    NSMyUserInfoPtr getCurrLandUser() override { return nullptr; }
};

}  // namespace

std::shared_ptr<ArticleAppDelegate> ArticleAppDelegate::makeDefault()
{
    return std::make_shared<NobodyLoggedIn>();
}

NSMyUserInfoPtr ArticleAppDelegate::currentUser()
{
    return instance()->getCurrLandUser();
}
