#pragma once

#include "app/AppNeighbours.h"
#include "foundation/models/NSMyUserInfo.h"
#include "platform/PushService.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

// The application delegate: the start-up sequence, the logged-in user's profile and the main
// window controller. One lives as long as the program; everything else reaches the main window
// through it. All members run on the main thread.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    AppDelegate();
    ~AppDelegate() override;

    // The program's delegate (the one made last and still alive), or null.
    static AppDelegate* shared();

    // The neighbours start-up calls; main.cpp installs the real ones, tests fakes.
    void setRemoteConfigurationService(std::shared_ptr<RemoteConfigurationService> service);
    void setAutomaticLoginService(std::shared_ptr<AutomaticLoginService> service);
    void setMainWindowFactory(std::shared_ptr<MainWindowFactory> factory);
    void setURLCacheInstaller(std::shared_ptr<URLCacheInstaller> installer);
    void setLaunchReporter(std::shared_ptr<LaunchReporter> reporter);
    void setLocationLookup(std::shared_ptr<LocationLookup> lookup);
    void setPushPayloadRouter(std::shared_ptr<PushPayloadRouter> router);
    // Hears the push service (token, failures, notifications while running) from step 5 on.
    void setPushHandler(std::shared_ptr<PushServiceDelegate> handler);
    // What is installed (null when nothing), for the check that the program fills every one.
    std::shared_ptr<RemoteConfigurationService> remoteConfigurationService() const { return m_remoteConfiguration; }
    std::shared_ptr<AutomaticLoginService> automaticLoginService() const { return m_automaticLogin; }
    std::shared_ptr<MainWindowFactory> mainWindowFactory() const { return m_mainWindowFactory; }
    std::shared_ptr<URLCacheInstaller> urlCacheInstaller() const { return m_urlCacheInstaller; }
    std::shared_ptr<LaunchReporter> launchReporter() const { return m_launchReporter; }
    std::shared_ptr<LocationLookup> locationLookup() const { return m_locationLookup; }
    std::shared_ptr<PushPayloadRouter> pushPayloadRouter() const { return m_pushPayloadRouter; }
    std::shared_ptr<PushServiceDelegate> pushHandler() const { return m_pushHandler; }

    // The start-up sequence; main queues it to run once the event loop starts.
    void applicationDidFinishLaunching();
    // The first screen is up: the first list is on screen (the list posts kFirstListPainted), or,
    // without a list, kFirstScreenWaitMs after start-up. The window then makes what it put off
    // (the detail pane), and the work that waited for it runs. Once.
    void firstScreenShown();
    // Runs the work once the first screen is shown: at once when it is, or when start-up has not
    // begun (no launch waits for it). Every way into the detail pane comes through here.
    void afterFirstScreen(std::function<void()> work);
    static constexpr auto kFirstListPainted = "firstListPainted";
    static constexpr int kFirstScreenWaitMs = 3000;

    // Closing the main window ends the process.
    static bool applicationShouldTerminateAfterLastWindowClosed() { return true; }

    // Made on first call from the installed factory; null when none is installed, and while the
    // window is being made: code reached from its construction (a cached list selecting its first
    // row) must not take the unfinished window for a finished one, nor start a second window.
    MainWindowHost* MainWindowController();
    // Runs the work with the finished main window: at once when it exists, else as soon as the
    // window being made is done (making it when nobody has asked yet). Dropped without a factory.
    void afterMainWindow(std::function<void(MainWindowHost&)> work);

    // Keeps the profile and asks the left bar for the avatar; with newData also stores today as
    // the profile's date. Callable from any thread: off the main thread it is queued there.
    void setCurrLandUser(NSMyUserInfoPtr user, bool newData);
    NSMyUserInfoPtr getCurrLandUser() const { return m_currentLandUser; }
    void cancelCurrLandUser() { m_currentLandUser.reset(); }

    // YES when a user notification with a non-empty payload launched the program.
    bool isPushNews() const { return m_isPushNews; }
    void setIsPushNews(bool on) { m_isPushNews = on; }

    // Push device token (lower-case hexadecimal), null until registration succeeds. The push
    // switch last asked of the service is the push handler's (PushHandler::currentPushStatus).
    QString selfDeviceToken() const { return m_selfDeviceToken; }
    void setSelfDeviceToken(const QString& token) { m_selfDeviceToken = token; }

    // The located city, enciphered; "" until located.
    QString gCity() const { return m_gCity; }
    void setGCity(const QString& city) { m_gCity = city; }

    // Capacities and folder of the shared URL cache.
    static constexpr qint64 kURLCacheMemoryCapacity = 4194304;
    static constexpr qint64 kURLCacheDiskCapacity = 33554432;
    static constexpr auto kURLCachePath = "nsurlcache";
    // The launch report's event.
    static constexpr auto kLaunchEvent = "open_TidwenMac";

signals:
    // The automatic login of start-up ended and its outcome was handled (on the main thread).
    void automaticLoginEnded();

private:
    // Step 13: one automatic login on the shell's one-thread queue.
    void startAutomaticLogin();
    // The login's outcome, on the main thread.
    void handleAutoLoginOutcome(const AutoLoginOutcome& outcome);

    QString m_selfDeviceToken;
    bool m_isPushNews = false;
    std::unique_ptr<MainWindowHost> m_mainWindowController;
    bool m_buildingMainWindow = false;
    // Work that asked for the window while it was being made, in the order asked.
    QList<std::function<void(MainWindowHost&)>> m_afterMainWindow;
    bool m_waitingForFirstScreen = false;
    // Work that waits for the first screen, in the order asked.
    QList<std::function<void()>> m_afterFirstScreenWork;
    NSMyUserInfoPtr m_currentLandUser;
    QString m_gCity = QStringLiteral("");

    std::shared_ptr<RemoteConfigurationService> m_remoteConfiguration;
    std::shared_ptr<AutomaticLoginService> m_automaticLogin;
    std::shared_ptr<MainWindowFactory> m_mainWindowFactory;
    std::shared_ptr<URLCacheInstaller> m_urlCacheInstaller;
    std::shared_ptr<LaunchReporter> m_launchReporter;
    std::shared_ptr<LocationLookup> m_locationLookup;
    std::shared_ptr<PushPayloadRouter> m_pushPayloadRouter;
    std::shared_ptr<PushServiceDelegate> m_pushHandler;
};
