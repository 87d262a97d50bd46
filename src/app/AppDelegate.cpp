#include "app/AppDelegate.h"

#include "app/GlobalVarInit.h"
#include "database/DatabaseOperate.h"
#include "database/SettingsDatabaseOperate.h"
#include "foundation/GlobalValues.h"
#include "networking/AFNetworkReachabilityManager.h"
#include "platform/Clock.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/PushService.h"
#include "platform/TouchBar.h"

#include <QDebug>
#include <QPointer>
#include <QScopeGuard>
#include <QThreadPool>
#include <QTimer>

#include <exception>

namespace {

AppDelegate* gSharedDelegate = nullptr;

void missing(const char* what)
{
    qInfo("start-up: %s is not installed; step skipped", what);
}

// The automatic login's queue: one thread, kept for the life of the process. It is never waited
// for, because a login waits for replies that the main thread delivers.
QThreadPool* loginQueue()
{
    static QThreadPool* const queue = [] {
        auto* pool = new QThreadPool;
        pool->setMaxThreadCount(1);
        return pool;
    }();
    return queue;
}

}  // namespace

AppDelegate::AppDelegate()
{
    gSharedDelegate = this;
}

AppDelegate::~AppDelegate()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    if (gSharedDelegate == this)
        gSharedDelegate = nullptr;
    // The window goes before the services it may still call.
    m_mainWindowController.reset();
}

AppDelegate* AppDelegate::shared()
{
    return gSharedDelegate;
}

void AppDelegate::setRemoteConfigurationService(std::shared_ptr<RemoteConfigurationService> service)
{
    m_remoteConfiguration = std::move(service);
}
void AppDelegate::setAutomaticLoginService(std::shared_ptr<AutomaticLoginService> service)
{
    m_automaticLogin = std::move(service);
}
void AppDelegate::setMainWindowFactory(std::shared_ptr<MainWindowFactory> factory)
{
    m_mainWindowFactory = std::move(factory);
}
void AppDelegate::setURLCacheInstaller(std::shared_ptr<URLCacheInstaller> installer)
{
    m_urlCacheInstaller = std::move(installer);
}
void AppDelegate::setLaunchReporter(std::shared_ptr<LaunchReporter> reporter)
{
    m_launchReporter = std::move(reporter);
}
void AppDelegate::setLocationLookup(std::shared_ptr<LocationLookup> lookup)
{
    m_locationLookup = std::move(lookup);
}
void AppDelegate::setPushPayloadRouter(std::shared_ptr<PushPayloadRouter> router)
{
    m_pushPayloadRouter = std::move(router);
}

void AppDelegate::setPushHandler(std::shared_ptr<PushServiceDelegate> handler)
{
    m_pushHandler = std::move(handler);
}

void AppDelegate::applicationDidFinishLaunching()
{
    // 1. No login is in flight yet.
    gbLoginInProgress = false;

    // 2. The lower layers' stores first, then the server URL table.
    DatabaseOperate::installWebFileStampStore();
    AFNetworkReachabilityManager::installAsNetworkStateSource();
    {
        DatabaseOperate::Lease store;
        if (store)
            store->UrlList_get();
        else
            qWarning("start-up: the database store is busy on this thread; server URLs not read");
    }

    // 3. The start-up switches.
    initGlobalVar();

    // 4. The remote configuration: the cached one at once (the first list's ads), and its refresh
    // sent; the reply comes back on the event loop.
    if (m_remoteConfiguration)
        m_remoteConfiguration->reloadADInfo();
    else
        missing("the remote configuration manager");

    // 5. Push registration with badge, sound and alert.
    const std::shared_ptr<PushService> push = PushService::shared();
    if (m_pushHandler)
        push->setDelegate(m_pushHandler);
    push->registerForRemoteNotificationTypes(PushService::kTypeBadge | PushService::kTypeSound |
                                             PushService::kTypeAlert);

    // 6. Was the program launched by a user notification?
    const std::optional<QVariantMap> payload = push->launchUserNotificationPayload();
    if (payload.has_value())
        m_isPushNews = !payload->isEmpty();

    // The detail pane's work waits for the first screen; a list painted while the window is made
    // counts too.
    m_waitingForFirstScreen = true;
    NotificationCenter::defaultCenter().addObserver(this, QLatin1String(kFirstListPainted), nullptr,
                                                    [this](const Notification&) {
                                                        // Not inside the list's paint: once it is done.
                                                        QTimer::singleShot(0, this, &AppDelegate::firstScreenShown);
                                                    });

    // 7. The main window.
    if (MainWindowHost* window = MainWindowController())
        window->showWindow();

    // 8. The shared URL cache.
    if (m_urlCacheInstaller)
        m_urlCacheInstaller->install(kURLCacheMemoryCapacity, kURLCacheDiskCapacity, QLatin1String(kURLCachePath));
    else
        missing("the URL cache");

    // 9. Open what the launching notification points to.
    if (payload.has_value() && !payload->isEmpty()) {
        if (m_pushPayloadRouter)
            m_pushPayloadRouter->route(*payload);
        else
            missing("the push payload router");
    }

    // 10. The Touch Bar's customisation menu item, where the platform has one.
    if (const std::shared_ptr<TouchBarService> touchBars = TouchBarService::shared();
        touchBars && touchBars->respondsToAutomaticCustomizeTouchBarMenuItem())
        touchBars->setAutomaticCustomizeTouchBarMenuItemEnabled(true);

    // Steps 11 to 13 only send their requests (the login's go from its own queue); nothing of them
    // holds up the first list.

    // 11. The launch report.
    if (m_launchReporter)
        m_launchReporter->event(QLatin1String(kLaunchEvent));
    else
        missing("the launch report");

    // 12. The location lookup.
    if (m_locationLookup)
        m_locationLookup->getLocation();
    else
        missing("the location lookup");

    // 13. The automatic login.
    if (!gbLoginInProgress.load())
        startAutomaticLogin();

    // Without a list to show (offline, nothing cached) the pane's work still runs, a little later.
    QTimer::singleShot(kFirstScreenWaitMs, this, &AppDelegate::firstScreenShown);
}

void AppDelegate::firstScreenShown()
{
    NotificationCenter::defaultCenter().removeObserver(this, QLatin1String(kFirstListPainted));
    if (!m_waitingForFirstScreen)
        return;
    m_waitingForFirstScreen = false;
    if (m_mainWindowController)
        m_mainWindowController->firstScreenShown();
    // What waited runs in the order asked; what it asks for now runs at once.
    while (!m_afterFirstScreenWork.isEmpty())
        m_afterFirstScreenWork.takeFirst()();
}

void AppDelegate::afterFirstScreen(std::function<void()> work)
{
    if (!work)
        return;
    if (m_waitingForFirstScreen) {
        m_afterFirstScreenWork.append(std::move(work));
        return;
    }
    work();
}

MainWindowHost* AppDelegate::MainWindowController()
{
    if (m_mainWindowController)
        return m_mainWindowController.get();
    if (m_buildingMainWindow) {
        qWarning("main window: asked for while it is being made; refused (use afterMainWindow)");
        return nullptr;
    }
    if (!m_mainWindowFactory) {
        missing("the main window");
        return nullptr;
    }
    {
        m_buildingMainWindow = true;
        const auto built = qScopeGuard([this] { m_buildingMainWindow = false; });
        m_mainWindowController = m_mainWindowFactory->makeMainWindowController();
    }
    // Work queued while the window was made may queue more; it all runs, in order, now.
    while (m_mainWindowController && !m_afterMainWindow.isEmpty()) {
        const std::function<void(MainWindowHost&)> work = m_afterMainWindow.takeFirst();
        work(*m_mainWindowController);
    }
    m_afterMainWindow.clear();
    return m_mainWindowController.get();
}

void AppDelegate::afterMainWindow(std::function<void(MainWindowHost&)> work)
{
    if (!work)
        return;
    if (m_buildingMainWindow) {
        m_afterMainWindow.append(std::move(work));
        return;
    }
    if (MainWindowHost* window = MainWindowController())
        work(*window);
}

void AppDelegate::setCurrLandUser(NSMyUserInfoPtr user, bool newData)
{
    if (!dispatch::isMainThread()) {
        QPointer<AppDelegate> self(this);
        dispatch::asyncMain([self, user = std::move(user), newData]() mutable {
            if (self)
                self->setCurrLandUser(std::move(user), newData);
        });
        return;
    }
    m_currentLandUser = std::move(user);
    if (MainWindowHost* window = MainWindowController())
        window->GetUserAvatar();
    if (newData) {
        SettingsDatabaseOperate::Lease settings;
        if (settings)
            settings->setUserInfoDate(Clock::now());
    }
}

void AppDelegate::startAutomaticLogin()
{
    if (!m_automaticLogin) {
        // Nothing runs, so no login is in flight: the flag stays clear for the login window.
        missing("the automatic login");
        return;
    }
    gbLoginInProgress = true;
    std::shared_ptr<AutomaticLoginService> service = m_automaticLogin;
    QPointer<AppDelegate> self(this);
    loginQueue()->start([service, self]() {
        AutoLoginOutcome outcome;
        try {
            outcome = service->run();
        } catch (const std::exception& e) {
            qWarning("automatic login: %s", e.what());
            outcome = AutoLoginOutcome{};
        }
        dispatch::asyncMain([self, outcome]() {
            // The flag goes however the login ended, also once the delegate is gone, and only
            // once: an operation that cleared it itself may have been followed by a login of the
            // login window, whose guard a second clear would drop.
            if (!outcome.alreadyApplied)
                gbLoginInProgress = false;
            if (self) {
                self->handleAutoLoginOutcome(outcome);
                emit self->automaticLoginEnded();
            }
        });
    });
}

void AppDelegate::handleAutoLoginOutcome(const AutoLoginOutcome& outcome)
{
    if (!outcome.alreadyApplied && outcome.result == AutoLoginOutcome::Result::LoggedIn && outcome.user)
        setCurrLandUser(outcome.user, outcome.newData);
}
