#include "AppTestSupport.h"

#include "account/AccountShell.h"
#include "app/views/AccountWindows.h"
#include "app/views/PaneFactory.h"
#include "app/wiring/ProgramWiring.h"
#include "app/settings/SettingsModel.h"
#include "article/ArticleServices.h"
#include "article/views/ArticleNeighbours.h"
#include "comments/CommentsShell.h"
#include "deals/DealPageBlocks.h"
#include "newslist/NewsListLinks.h"
#include "platform/UrlOpener.h"
#include "remoteconfig/ListADGoldCoinTask.h"

// Every seam the program installs answers through the delegate, and none calls back into itself.
TEST(ProgramWiring, SeamsReachTheDelegateAndEndInTheirOwners)
{
    auto restore = restoreProcessState();
    auto uninstall = qScopeGuard([] {
        UrlOpener::install(nullptr);
        ArticleUrlOpener::install(nullptr);
        PaneFactory::install(nullptr);
        AccountWindowFactory::install(nullptr);
        AccountShell::install(nullptr);
        ArticlePaneLink::install(nullptr);
        PushNewsFlag::install(nullptr);
        ArticleAppDelegate::install(nullptr);
        ArticleNeighbours::install(nullptr);
        CommentsShell::install(nullptr);
        DealPageBlocks::install(nullptr);
        SettingsContext::install(nullptr);
        ListADGoldCoinTask::install(nullptr);
    });
    AppDelegate delegate;
    installProgramWiring(delegate);
    // The real window would bring the web engine up; the seams are what is looked at here.
    auto log = std::make_shared<CallLog>();
    delegate.setMainWindowFactory(std::make_shared<FakeMainWindowFactory>(log));

    auto user = std::make_shared<NSMyUserInfo>();
    user->userID = 77;
    AccountShell::installed()->setCurrLandUser(user, false);
    EXPECT_EQ(delegate.getCurrLandUser(), user);
    EXPECT_TRUE(log->all().contains(QStringLiteral("GetUserAvatar")));
    EXPECT_EQ(ArticleAppDelegate::currentUser(), user);
    EXPECT_EQ(SettingsContext::installed()->currentUser(), user);

    PushNewsFlag::instance()->setIsPushNews(true);
    EXPECT_TRUE(delegate.isPushNews());

    delegate.setGCity(QStringLiteral("d6d0"));
    EXPECT_EQ(CommentsShell::installed()->city(), QStringLiteral("d6d0"));

    // The comment writer's task and the list ad's task end in the gold-coin task (with no
    // remembered account nothing is sent); a loop back into the writer would never return.
    CommentsShell::installed()->postCommentAndReplyTask();
    ASSERT_TRUE(ListADGoldCoinTask::installed());
    ListADGoldCoinTask::installed()->postAdvertiseTask();

    EXPECT_TRUE(DealPageBlocks::installed()->GetNewsPageHaiZaiMaiBody({}, QStringLiteral("9")).startsWith(QStringLiteral("9")));

    AccountShell::installed()->cancelCurrLandUser();
    EXPECT_EQ(delegate.getCurrLandUser(), nullptr);
}
