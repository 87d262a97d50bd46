#pragma once

#include "foundation/models/NSMyUserInfo.h"

#include <QUrl>

#include <memory>

// What the article pane asks of the application shell. src/app/main.cpp installs the real
// delegate; until then (and in tests that install nothing) nobody is logged in.
class ArticleAppDelegate
{
public:
    virtual ~ArticleAppDelegate() = default;
    // The logged-in user's profile, or null.
    virtual NSMyUserInfoPtr getCurrLandUser() = 0;

    static std::shared_ptr<ArticleAppDelegate> instance();
    // Null puts the default back.
    static void install(std::shared_ptr<ArticleAppDelegate> delegate);
    // getCurrLandUser of the installed delegate.
    static NSMyUserInfoPtr currentUser();
};

// Opens an address in the user's browser. Only http and https addresses reach it; the default
// hands them to QDesktopServices.
class ArticleUrlOpener
{
public:
    virtual ~ArticleUrlOpener() = default;
    virtual void openUrl(const QUrl& url) = 0;

    static std::shared_ptr<ArticleUrlOpener> instance();
    static void install(std::shared_ptr<ArticleUrlOpener> opener);
    // True when the address went to the opener (http or https).
    static bool open(const QUrl& url);
};
