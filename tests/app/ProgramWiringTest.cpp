#include "../remoteconfig/RemoteConfigTestSupport.h"
#include "AppTestSupport.h"
#include "ProgramSeams.h"
#include "RememberedAccount.h"
#include "TestEnvironment.h"

#include "Library/FMDB/FMDBLog.h"
#include "Library/FMDB/FMDatabase.h"

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

#include <sqlite3.h>
#include <thread>

// Every seam the program installs answers through the delegate, and none calls back into itself.
TEST(ProgramWiring, SeamsReachTheDelegateAndEndInTheirOwners)
{
    auto restore = restoreProcessState();
    auto uninstall = restoreProgramSeams();
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

    // Without a main window the reminder dot has nowhere to go, and nothing breaks.
    SettingsContext::installed()->setReminderDotVisible(true);

    AccountShell::installed()->cancelCurrLandUser();
    EXPECT_EQ(delegate.getCurrLandUser(), nullptr);
    EXPECT_EQ(SettingsContext::installed()->currentUser(), nullptr);
}

// From start-up on, the push handler hears the push service and tells the delegate the token.
TEST(ProgramWiring, ThePushTokenReachesTheDelegate)
{
    auto restore = restoreProcessState();
    auto log = std::make_shared<CallLog>();
    auto service = std::make_shared<FakePushService>(log);
    PushService::install(service);
    auto uninstall = restoreProgramSeams();
    AppDelegate delegate;
    installProgramWiring(delegate);
    auto login = std::make_shared<FakeAutomaticLogin>(log);
    delegate.setRemoteConfigurationService(std::make_shared<FakeRemoteConfiguration>(log));
    delegate.setAutomaticLoginService(login);
    delegate.setMainWindowFactory(std::make_shared<FakeMainWindowFactory>(log));
    delegate.setURLCacheInstaller(std::make_shared<FakeURLCache>(log));
    delegate.setLaunchReporter(std::make_shared<FakeLaunchReporter>(log));
    delegate.setLocationLookup(std::make_shared<FakeLocation>(log));
    delegate.applicationDidFinishLaunching();
    login->release.signal();
    ASSERT_TRUE(waitUntil([] { return !gbLoginInProgress.load(); }, 30000));

    ASSERT_NE(service->delegate(), nullptr);
    service->delegate()->didRegisterForRemoteNotificationsWithDeviceToken(QByteArray::fromHex("0a0b"));
    EXPECT_EQ(delegate.selfDeviceToken(), QStringLiteral("0a0b"));
}

using ProgramWiringStore = LoopbackStoreTest;

// Another program holds the file locked against readers when the automatic login starts: the
// reader is logged in once the lock ends, not only at the next start.
TEST_F(ProgramWiringStore, TheAutomaticLoginComesOnceALockThatBlocksReadsEnds)
{
    auto restore = restoreProcessState();
    auto uninstall = restoreProgramSeams();
    const auto remind = qScopeGuard([saved = gbReplyRemind.load()] { gbReplyRemind = saved; });
    gbReplyRemind = false;
    LoopbackHttpServer server;
    const QString nowhere = QStringLiteral("http://127.0.0.1:%1/").arg(LoopbackHttpServer::closedPort());
    pointUrls({{79, server.url(QStringLiteral("/G")).toString()}, {81, nowhere}, {82, nowhere}, {83, nowhere}});
    server.route("POST", QStringLiteral("/G"),
                 LoopbackReply::text(200, "<R><UserName>reader</UserName><UserID>77</UserID></R>", "text/xml"));
    rememberAccount(QStringLiteral("reader"), QStringLiteral("pw"), true, true);
    closeStores();
    auto other = FMDatabase::databaseWithPath(StorageRoot::documentsPath() + QStringLiteral("/tidwenMAC.db"));
    ASSERT_TRUE(other->open());
    ASSERT_EQ(sqlite3_exec(other->sqliteHandle(), "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; COMMIT;", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    std::atomic<int> busy{0};
    const auto sink = qScopeGuard(
        [previous = FMDBLog::setSink([&](const QString& line) { busy += line == QLatin1String("Database busy"); })] {
            FMDBLog::setSink(previous);
        });

    AppDelegate delegate;
    installProgramWiring(delegate);
    delegate.setMainWindowFactory(std::make_shared<FakeMainWindowFactory>(std::make_shared<CallLog>()));
    std::atomic<bool> ended{false};
    std::thread shell([&ended, login = delegate.automaticLoginService()] {
        login->run();
        ended = true;
    });
    const auto joined = qScopeGuard([&] {
        other->close();
        waitUntil([&] { return ended.load(); });
        shell.join();
    });
    ASSERT_TRUE(waitUntil([&] { return busy > 0; }));
    EXPECT_EQ(server.requestCount(), 0);
    other->close();
    EXPECT_TRUE(waitUntil([&] { return delegate.getCurrLandUser() != nullptr; }));
}
