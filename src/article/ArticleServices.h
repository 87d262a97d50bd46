#pragma once

#include "foundation/models/NSMyUserInfo.h"

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
