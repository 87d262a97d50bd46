#include "AppTestSupport.h"

#include "TestEnvironment.h"
#include "app/GlobalVarInit.h"
#include "platform/NotificationCenter.h"
#include "platform/TouchBar.h"

#include <QCoreApplication>

namespace {

void writeUrlTable(const QStringList& urls)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    ASSERT_TRUE(store->UrlList_update(urls));
}

}  // namespace

// A delegate with a fake for every neighbour, all writing to one log.
class StartupTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        push = std::make_shared<FakePushService>(log);
        PushService::install(push);
        TouchBarService::install(touchBars);
        remote = std::make_shared<FakeRemoteConfiguration>(log);
        login = std::make_shared<FakeAutomaticLogin>(log);
        delegate = std::make_unique<AppDelegate>();
        delegate->setRemoteConfigurationService(remote);
        delegate->setAutomaticLoginService(login);
        delegate->setMainWindowFactory(std::make_shared<FakeMainWindowFactory>(log));
        delegate->setURLCacheInstaller(std::make_shared<FakeURLCache>(log));
        delegate->setLaunchReporter(std::make_shared<FakeLaunchReporter>(log));
        delegate->setLocationLookup(std::make_shared<FakeLocation>(log));
        delegate->setPushPayloadRouter(std::make_shared<FakeRouter>(log));
    }

    void TearDown() override
    {
        // Let a login that is still waiting end, and its result arrive, before the delegate goes.
        login->release.signal();
        waitUntil([] { return !gbLoginInProgress.load(); }, 30000);
        delegate.reset();
        TouchBarService::install(nullptr);
    }

    // Runs start-up and lets the automatic login end as the test set it up.
    void launchAndFinishLogin()
    {
        delegate->applicationDidFinishLaunching();
        login->release.signal();
        ASSERT_TRUE(waitUntil([] { return !gbLoginInProgress.load(); }, 30000));
    }

    decltype(restoreProcessState()) restore = restoreProcessState();
    std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
    std::shared_ptr<FakePushService> push;
    std::shared_ptr<FakeRemoteConfiguration> remote;
    std::shared_ptr<FakeAutomaticLogin> login;
    std::unique_ptr<AppDelegate> delegate;
    std::shared_ptr<LocalTouchBarService> touchBars = std::make_shared<LocalTouchBarService>();
};

// Every step runs in its place, none of them waiting for a list on screen: the configuration's
// refresh before the push registration, and the launch report, the location lookup and the
// automatic login as soon as the window is up. The login is in flight when start-up returns, so
// the login window refuses to start beside it.
TEST_F(StartupTest, StepsInOrderWithoutWaitingForAList)
{
    push->launchPayload = QVariantMap{{QStringLiteral("newsid"), QStringLiteral("7")}};
    delegate->applicationDidFinishLaunching();
    EXPECT_TRUE(gbLoginInProgress.load()) << "the automatic login had not begun when start-up returned";
    login->release.signal();
    ASSERT_TRUE(waitUntil([] { return !gbLoginInProgress.load(); }, 30000));
    const QStringList expected{
        QStringLiteral("reloadADInfo"),
        QStringLiteral("register 7"),
        QStringLiteral("launchPayload"),
        QStringLiteral("makeMainWindow"),
        QStringLiteral("showWindow"),
        QStringLiteral("urlCache 4194304 33554432 nsurlcache"),
        QStringLiteral("route newsid"),
        QStringLiteral("event open_TidwenMac"),
        QStringLiteral("getLocation"),
        QStringLiteral("autoLogin"),
    };
    EXPECT_EQ(log->all().join(QLatin1String(" | ")).toStdString(), expected.join(QLatin1String(" | ")).toStdString());
    EXPECT_TRUE(delegate->isPushNews());
    EXPECT_FALSE(login->ranOnMainThread.load());
    EXPECT_TRUE(login->flagWhileRunning.load());
    EXPECT_TRUE(touchBars->isAutomaticCustomizeTouchBarMenuItemEnabled()) << "step 10";
}

// The first list painted tells the window that the first screen is up (it then makes the detail
// pane), once.
TEST_F(StartupTest, TheFirstListPaintedShowsTheFirstScreenOnce)
{
    delegate->applicationDidFinishLaunching();
    EXPECT_FALSE(log->all().contains(QStringLiteral("windowFirstScreen")));
    NotificationCenter::defaultCenter().post(QLatin1String(AppDelegate::kFirstListPainted));
    ASSERT_TRUE(waitUntil([&] { return log->all().contains(QStringLiteral("windowFirstScreen")); }, 30000))
        << "waited for the first screen after the first list was painted";
    NotificationCenter::defaultCenter().post(QLatin1String(AppDelegate::kFirstListPainted));
    delegate->firstScreenShown();
    QCoreApplication::processEvents();
    EXPECT_EQ(log->all().count(QStringLiteral("windowFirstScreen")), 1);
}

// Work for the detail pane asked for during start-up (a cached list selecting its row) waits
// for the first screen: it runs after the window made what it had put off, in the order asked;
// what it asks for itself runs at once. Before start-up and after the first screen work runs at
// once.
TEST_F(StartupTest, PaneWorkWaitsForTheFirstScreen)
{
    delegate->afterFirstScreen([this] { log->add(QStringLiteral("before launch")); });
    EXPECT_EQ(log->all(), QStringList{QStringLiteral("before launch")});
    delegate->applicationDidFinishLaunching();
    // The automatic login logs from its own queue; once it has, the log below is the main thread's.
    ASSERT_TRUE(waitUntil([&] { return log->all().contains(QStringLiteral("autoLogin")); }, 30000));
    delegate->afterFirstScreen([this] {
        log->add(QStringLiteral("pane work 1"));
        delegate->afterFirstScreen([this] { log->add(QStringLiteral("asked by pane work 1")); });
    });
    delegate->afterFirstScreen([this] { log->add(QStringLiteral("pane work 2")); });
    EXPECT_FALSE(log->all().contains(QStringLiteral("pane work 1"))) << "pane work ran before the first screen";

    delegate->firstScreenShown();
    const QStringList all = log->all();
    const QStringList expected{QStringLiteral("windowFirstScreen"), QStringLiteral("pane work 1"),
                               QStringLiteral("asked by pane work 1"), QStringLiteral("pane work 2")};
    const qsizetype from = all.indexOf(expected.first());
    ASSERT_GE(from, 0) << all.join(QLatin1Char(',')).toStdString();
    EXPECT_EQ(all.mid(from, expected.size()), expected) << all.join(QLatin1Char(',')).toStdString();

    delegate->afterFirstScreen([this] { log->add(QStringLiteral("after")); });
    EXPECT_EQ(log->all().last(), QStringLiteral("after"));
    delegate->firstScreenShown();
    EXPECT_EQ(log->all().count(QStringLiteral("pane work 1")), 1);
}

// Without a list to show (offline, nothing cached) the pane's work still runs, a little later.
TEST_F(StartupTest, PaneWorkRunsWithoutAListAfterTheWait)
{
    delegate->applicationDidFinishLaunching();
    delegate->afterFirstScreen([this] { log->add(QStringLiteral("pane work")); });
    EXPECT_FALSE(log->all().contains(QStringLiteral("pane work")));
    ASSERT_TRUE(waitUntil([&] { return log->all().contains(QStringLiteral("pane work")); },
                          AppDelegate::kFirstScreenWaitMs * 5))
        << "waited for the first screen without a list";
    EXPECT_EQ(log->all().count(QStringLiteral("windowFirstScreen")), 1);
}

TEST_F(StartupTest, LaunchPayloads)
{
    struct Case
    {
        std::optional<QVariantMap> payload;
        bool pushNews;
        bool routed;
    };
    const Case cases[] = {
        {std::nullopt, false, false},
        {QVariantMap{}, false, false},
        {QVariantMap{{QStringLiteral("aps"), QVariantMap{}}}, true, true},
    };
    for (const Case& c : cases) {
        log->calls.clear();
        push->launchPayload = c.payload;
        delegate = std::make_unique<AppDelegate>();
        delegate->setAutomaticLoginService(login);
        delegate->setPushPayloadRouter(std::make_shared<FakeRouter>(log));
        launchAndFinishLogin();
        EXPECT_EQ(delegate->isPushNews(), c.pushNews);
        EXPECT_EQ(log->all().filter(QStringLiteral("route")).size(), c.routed ? 1 : 0);
    }
}

TEST_F(StartupTest, UrlTableReachesTheSwitchesAndTheSharedSuite)
{
    auto restoreTable = qScopeGuard([] {
        writeUrlTable(builtInUrlTable());
        DatabaseOperate::Lease store;
        store->UrlList_get();
    });
    const QString custom = QStringLiteral("http://127.0.0.1:9/custom/news.xml");
    writeUrlTable(urlTableWith(16, custom));
    {
        SettingsDatabaseOperate::Lease settings;
        ASSERT_TRUE(settings);
        settings->setLoadAllData(false);
    }
    gbApiRandom = true;
    UserDefaults& suite = UserDefaults::suite(QLatin1String(kSharedSuiteName));
    for (const char* key : {"loadAllData", "getNews", "apiRandom", "tidwenUrl"})
        suite.removeObjectForKey(QLatin1String(key));

    launchAndFinishLogin();

    EXPECT_EQ(kUrlNewsListXml, custom);
    // The configuration was asked for after the table and the switches were read.
    EXPECT_EQ(remote->urlAtCall, custom);
    EXPECT_TRUE(remote->loadAllDataAtCall);
    EXPECT_TRUE(gbLoadAllData.load());

    EXPECT_EQ(suite.objectForKey(QStringLiteral("getNews")).toString(), custom);
    EXPECT_EQ(suite.objectForKey(QStringLiteral("loadAllData")), QVariant(true));
    EXPECT_EQ(suite.objectForKey(QStringLiteral("apiRandom")), QVariant(false));
    EXPECT_EQ(suite.objectForKey(QStringLiteral("tidwenUrl")).toString(), kUrlSiteHome);
    EXPECT_FALSE(kUrlSiteHome.isEmpty());
}

TEST_F(StartupTest, AutomaticLoginOutcomes)
{
    struct Case
    {
        const char* name;
        AutoLoginOutcome::Result result;
        bool withUser;
        bool throws;
        bool loggedIn;
    };
    const Case cases[] = {
        {"success", AutoLoginOutcome::Result::LoggedIn, true, false, true},
        {"refused", AutoLoginOutcome::Result::Refused, false, false, false},
        {"failed", AutoLoginOutcome::Result::Failed, false, false, false},
        {"success without a profile", AutoLoginOutcome::Result::LoggedIn, false, false, false},
        {"thrown", AutoLoginOutcome::Result::LoggedIn, true, true, false},
    };
    for (const Case& c : cases) {
        log->calls.clear();
        login->outcome = AutoLoginOutcome{};
        login->outcome.result = c.result;
        if (c.withUser) {
            login->outcome.user = std::make_shared<NSMyUserInfo>();
            login->outcome.user->userID = 123;
        }
        login->throws = c.throws;
        delegate = std::make_unique<AppDelegate>();
        delegate->setAutomaticLoginService(login);
        delegate->setMainWindowFactory(std::make_shared<FakeMainWindowFactory>(log));

        delegate->applicationDidFinishLaunching();
        EXPECT_TRUE(gbLoginInProgress.load()) << c.name;
        login->release.signal();
        ASSERT_TRUE(waitUntil([] { return !gbLoginInProgress.load(); }, 30000)) << c.name;
        EXPECT_EQ(delegate->getCurrLandUser() != nullptr, c.loggedIn) << c.name;
        // The profile reached the bar from the main thread.
        EXPECT_EQ(log->all().contains(QStringLiteral("GetUserAvatar")), c.loggedIn) << c.name;
    }
}

TEST_F(StartupTest, AnOperationThatClearedTheFlagItselfLeavesALaterLoginItsGuard)
{
    login->outcome.alreadyApplied = true;
    // The operation clears the flag as it ends, and the login window starts a login at once.
    login->beforeReturn = [] {
        gbLoginInProgress = false;
        gbLoginInProgress = true;
    };
    int ended = 0;
    QObject::connect(delegate.get(), &AppDelegate::automaticLoginEnded, delegate.get(), [&ended] { ++ended; });
    delegate->applicationDidFinishLaunching();
    login->release.signal();
    ASSERT_TRUE(waitUntil([&] { return ended == 1; }, 30000)) << "waited for the automatic login's end";
    EXPECT_TRUE(gbLoginInProgress.load()) << "the shell cleared the flag of the window's login";
    // That login's own end.
    gbLoginInProgress = false;
}

TEST_F(StartupTest, ProfileFromAnotherThreadArrivesOnTheMainThread)
{
    delegate->MainWindowController();
    auto user = std::make_shared<NSMyUserInfo>();
    user->userID = 5;
    std::atomic<bool> setBeforeReturn{false};
    AppDelegate* target = delegate.get();
    dispatch::Semaphore done;
    dispatch::asyncGlobal([&] {
        target->setCurrLandUser(user, false);
        setBeforeReturn = target->getCurrLandUser() != nullptr;
        done.signal();
    });
    ASSERT_TRUE(waitUntil([&] { return target->getCurrLandUser() != nullptr; }));
    ASSERT_TRUE(done.wait(30000));
    EXPECT_FALSE(setBeforeReturn.load()) << "set on the worker instead of the main thread";
    EXPECT_EQ(target->getCurrLandUser()->userID, 5);
}

TEST_F(StartupTest, NewProfileStoresItsDate)
{
    Clock::setNow(QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7), QTimeZone::utc()));
    Clock::setLocalZone(QTimeZone::utc());
    delegate->setCurrLandUser(std::make_shared<NSMyUserInfo>(), true);
    SettingsDatabaseOperate::Lease settings;
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->UserInfoDate(), QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7), QTimeZone::utc()));
}

TEST(StartupWithoutNeighbours, MissingStepsAreSkippedAndNoLoginIsInFlight)
{
    auto restore = restoreProcessState();
    AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    EXPECT_FALSE(gbLoginInProgress.load());
    EXPECT_EQ(delegate.MainWindowController(), nullptr);
    EXPECT_FALSE(delegate.isPushNews());
}

// A window whose construction asks the delegate for the window, as the list column does when a
// cached list selects its first row before the detail pane exists.
class ReentrantWindowFactory : public MainWindowFactory
{
public:
    std::unique_ptr<MainWindowHost> makeMainWindowController() override
    {
        ++made;
        AppDelegate* delegate = AppDelegate::shared();
        askedDuringBuild = delegate->MainWindowController();
        delegate->afterMainWindow([this](MainWindowHost& window) { queued.append(&window); });
        delegate->afterMainWindow([this](MainWindowHost& window) { queued.append(&window); });
        return std::make_unique<FakeMainWindow>(std::make_shared<CallLog>());
    }
    int made = 0;
    MainWindowHost* askedDuringBuild = reinterpret_cast<MainWindowHost*>(1);
    QList<MainWindowHost*> queued;
};

TEST(StartupWindow, AskingForTheWindowWhileItIsBuiltMakesNoSecondOneAndQueuedWorkSeesTheFinishedOne)
{
    auto restore = restoreProcessState();
    AppDelegate delegate;
    auto factory = std::make_shared<ReentrantWindowFactory>();
    delegate.setMainWindowFactory(factory);

    MainWindowHost* window = delegate.MainWindowController();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(factory->made, 1);
    EXPECT_EQ(factory->askedDuringBuild, nullptr) << "an unfinished window was handed out";
    EXPECT_EQ(factory->queued, (QList<MainWindowHost*>{window, window}));

    // Once it exists, work runs at once with it, and the getter keeps answering the same window.
    MainWindowHost* later = nullptr;
    delegate.afterMainWindow([&](MainWindowHost& host) { later = &host; });
    EXPECT_EQ(later, window);
    EXPECT_EQ(delegate.MainWindowController(), window);
    EXPECT_EQ(factory->made, 1);
}
