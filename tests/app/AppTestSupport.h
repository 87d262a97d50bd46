#pragma once

#include "UrlTableSupport.h"
#include "app/AppDelegate.h"
#include "database/DatabaseOperate.h"
#include "database/ServerUrls.h"
#include "database/SettingsDatabaseOperate.h"
#include "foundation/GlobalValues.h"
#include "platform/Clock.h"
#include "platform/Dispatch.h"
#include "platform/PushService.h"
#include "platform/UserDefaults.h"

#include <QScopeGuard>
#include <QStringList>
#include <QThread>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

// What the fakes saw, in order, shared by every fake of one test.
struct CallLog
{
    std::mutex mutex;
    QStringList calls;
    void add(const QString& call)
    {
        std::lock_guard lock(mutex);
        calls.append(call);
    }
    QStringList all()
    {
        std::lock_guard lock(mutex);
        return calls;
    }
};

class FakeRemoteConfiguration : public RemoteConfigurationService
{
public:
    explicit FakeRemoteConfiguration(std::shared_ptr<CallLog> log) : m_log(std::move(log)) {}
    void reloadADInfo() override
    {
        // What start-up had set by the time the configuration was asked for.
        urlAtCall = kUrlNewsListXml;
        loadAllDataAtCall = gbLoadAllData.load();
        m_log->add(QStringLiteral("reloadADInfo"));
    }
    QString urlAtCall;
    bool loadAllDataAtCall = false;

private:
    std::shared_ptr<CallLog> m_log;
};

class FakePushService : public PushService
{
public:
    explicit FakePushService(std::shared_ptr<CallLog> log) : m_log(std::move(log)) {}
    void registerForRemoteNotificationTypes(int types) override
    {
        m_log->add(QStringLiteral("register %1").arg(types));
    }
    std::optional<QVariantMap> launchUserNotificationPayload() const override
    {
        m_log->add(QStringLiteral("launchPayload"));
        return launchPayload;
    }
    std::optional<QVariantMap> launchPayload;

private:
    std::shared_ptr<CallLog> m_log;
};

class FakeMainWindow : public MainWindowHost
{
public:
    explicit FakeMainWindow(std::shared_ptr<CallLog> log) : m_log(std::move(log)) {}
    void showWindow() override { m_log->add(QStringLiteral("showWindow")); }
    void GetUserAvatar() override { m_log->add(QStringLiteral("GetUserAvatar")); }
    void firstScreenShown() override { m_log->add(QStringLiteral("windowFirstScreen")); }

private:
    std::shared_ptr<CallLog> m_log;
};

class FakeMainWindowFactory : public MainWindowFactory
{
public:
    explicit FakeMainWindowFactory(std::shared_ptr<CallLog> log) : m_log(std::move(log)) {}
    std::unique_ptr<MainWindowHost> makeMainWindowController() override
    {
        m_log->add(QStringLiteral("makeMainWindow"));
        return std::make_unique<FakeMainWindow>(m_log);
    }

private:
    std::shared_ptr<CallLog> m_log;
};

class FakeURLCache : public URLCacheInstaller
{
public:
    explicit FakeURLCache(std::shared_ptr<CallLog> log) : m_log(std::move(log)) {}
    void install(qint64 memory, qint64 disk, const QString& path) override
    {
        m_log->add(QStringLiteral("urlCache %1 %2 %3").arg(memory).arg(disk).arg(path));
    }

private:
    std::shared_ptr<CallLog> m_log;
};

class FakeLaunchReporter : public LaunchReporter
{
public:
    explicit FakeLaunchReporter(std::shared_ptr<CallLog> log) : m_log(std::move(log)) {}
    void event(const QString& id) override { m_log->add(QStringLiteral("event %1").arg(id)); }

private:
    std::shared_ptr<CallLog> m_log;
};

class FakeLocation : public LocationLookup
{
public:
    explicit FakeLocation(std::shared_ptr<CallLog> log) : m_log(std::move(log)) {}
    void getLocation() override { m_log->add(QStringLiteral("getLocation")); }

private:
    std::shared_ptr<CallLog> m_log;
};

class FakeRouter : public PushPayloadRouter
{
public:
    explicit FakeRouter(std::shared_ptr<CallLog> log) : m_log(std::move(log)) {}
    void route(const QVariantMap& payload) override
    {
        m_log->add(QStringLiteral("route %1").arg(QStringList(payload.keys()).join(QLatin1Char(','))));
    }

private:
    std::shared_ptr<CallLog> m_log;
};

// An automatic login that ends as told, on the shell's worker, after the test lets it go.
class FakeAutomaticLogin : public AutomaticLoginService
{
public:
    explicit FakeAutomaticLogin(std::shared_ptr<CallLog> log) : m_log(std::move(log)) {}
    AutoLoginOutcome run() override
    {
        ranOnMainThread = dispatch::isMainThread();
        flagWhileRunning = gbLoginInProgress.load();
        m_log->add(QStringLiteral("autoLogin"));
        release.wait(5000);
        if (throws)
            throw std::runtime_error("login blew up");
        if (beforeReturn)
            beforeReturn();
        return outcome;
    }
    AutoLoginOutcome outcome;
    // Runs on the worker as the login ends, before the shell hears of it.
    std::function<void()> beforeReturn;
    bool throws = false;
    dispatch::Semaphore release{0};
    std::atomic<bool> ranOnMainThread{true};
    std::atomic<bool> flagWhileRunning{false};

private:
    std::shared_ptr<CallLog> m_log;
};

// Puts the process-wide state a start-up test changes back however the test ends.
inline auto restoreProcessState()
{
    PushService::install(nullptr);
    return qScopeGuard([] {
        PushService::install(nullptr);
        Clock::reset();
        Clock::resetLocalZone();
        gbLoginInProgress = false;
        gThemeMode = 1;
        gbAutoNightMode = true;
        gAvatarHost.set(QStringLiteral(""));
    });
}

// A full URL table in which key u<number> holds value and every other key its built-in value.
inline QStringList urlTableWith(int number, const QString& value)
{
    QStringList urls = builtInUrlTable();
    urls[number - 1] = value;
    return urls;
}
