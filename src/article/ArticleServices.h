#pragma once

#include "foundation/models/NSMyUserInfo.h"
#include "platform/Installed.h"

#include <memory>

// What the article pane asks of the application shell. src/app/main.cpp installs the real
// delegate; until then (and in tests that install nothing) nobody is logged in.
class ArticleAppDelegate : public Installed<ArticleAppDelegate>
{
public:
    virtual ~ArticleAppDelegate() = default;
    // The logged-in user's profile, or null.
    virtual NSMyUserInfoPtr getCurrLandUser() = 0;

    // The installed delegate; install(nullptr) puts the default back.
    static std::shared_ptr<ArticleAppDelegate> instance() { return installed(); }
    // getCurrLandUser of the installed delegate.
    static NSMyUserInfoPtr currentUser();

private:
    friend class Installed<ArticleAppDelegate>;
    static std::shared_ptr<ArticleAppDelegate> makeDefault();  // nobody logged in
};
