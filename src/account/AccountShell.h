#pragma once

#include "foundation/models/NSMyUserInfo.h"
#include "platform/Installed.h"

#include <QString>

#include <memory>

// What the account windows need of the application delegate and the main window, a floor above:
// the logged-in profile, the avatar and a word to the reader. Start-up installs the
// implementation.
class AccountShell : public Installed<AccountShell>
{
public:
    virtual ~AccountShell() = default;
    // Stores the profile as the logged-in user (the delegate then reloads the left bar's avatar;
    // newData also stamps the user-info date).
    virtual void setCurrLandUser(const NSMyUserInfoPtr& user, bool newData) = 0;
    virtual NSMyUserInfoPtr getCurrLandUser() = 0;
    // Nobody is logged in any more.
    virtual void cancelCurrLandUser() = 0;
    // The left bar shows the current account's avatar again.
    virtual void reloadAvatar() = 0;
    // A toast over the main window: what the reader is told when no account window shows.
    virtual void showMessage(const QString& message) = 0;
    // The delegate's reply-count polls for a user id (decimal text): comment replies, community
    // replies. They mark a pending reminder; the callers ask only while reply reminders are on.
    virtual void downloadUserRemindCount(const QString& userId) = 0;
    virtual void downloadUserForumRemindCount(const QString& userId) = 0;
};
