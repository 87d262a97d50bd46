#pragma once

#include "foundation/models/NSMyUserInfo.h"

#include <QString>

#include <memory>

// What the shell asks of the folders beside and below it at start-up. src/app/main.cpp installs
// the real implementations in the AppDelegate; tests install fakes. A step whose implementation is
// missing is logged and skipped.

// The remote configuration manager.
class RemoteConfigurationService
{
public:
    virtual ~RemoteConfigurationService() = default;
    // Applies the cached configuration when nothing is loaded yet, then refreshes it in the
    // background.
    virtual void reloadADInfo() = 0;
};

// What one automatic login of the remembered account ended with.
struct AutoLoginOutcome
{
    enum class Result { LoggedIn, Refused, Failed };
    Result result = Result::Failed;
    NSMyUserInfoPtr user;  // the profile, when logged in
    bool newData = false;  // the profile was fetched anew (its date is then stored)
    // The login ran as the program's own operation: it handed its profile to the delegate and
    // cleared the login flag itself when it ended, so the shell leaves both alone.
    bool alreadyApplied = false;
};

// The automatic login of the remembered account at start-up.
class AutomaticLoginService
{
public:
    virtual ~AutomaticLoginService() = default;
    // Runs one login on the calling thread (a worker of the shell), waiting for each of its
    // requests; the shell hands the outcome to the main thread.
    virtual AutoLoginOutcome run() = 0;
};

// The main window controller, as the delegate sees it.
class MainWindowHost
{
public:
    virtual ~MainWindowHost() = default;
    virtual void showWindow() = 0;
    // Asks the left bar to show the current account's avatar again.
    virtual void GetUserAvatar() = 0;
    // The first list is on screen: the parts of the window it does not need are made now.
    virtual void firstScreenShown() {}
};

class MainWindowFactory
{
public:
    virtual ~MainWindowFactory() = default;
    virtual std::unique_ptr<MainWindowHost> makeMainWindowController() = 0;
};

// The shared URL cache of every request the program sends.
class URLCacheInstaller
{
public:
    virtual ~URLCacheInstaller() = default;
    virtual void install(qint64 memoryCapacity, qint64 diskCapacity, const QString& path) = 0;
};

// The launch report.
class LaunchReporter
{
public:
    virtual ~LaunchReporter() = default;
    virtual void event(const QString& eventId) = 0;
};

// The location lookup of start-up.
class LocationLookup
{
public:
    virtual ~LocationLookup() = default;
    virtual void getLocation() = 0;
};

// The launch notification's routing (the push handlers).
class PushPayloadRouter
{
public:
    virtual ~PushPayloadRouter() = default;
    virtual void route(const QVariantMap& payload) = 0;
};
