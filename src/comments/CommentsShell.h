#pragma once

#include "platform/Installed.h"

#include <QString>

#include <functional>
#include <memory>

// What the comment pages need of folders they may not include: the located city of the
// application delegate, the login window of the account folder and the comment gold-coin task of
// the article folder. Start-up installs the implementation; without one, the city is "" and the
// other two do nothing.
class CommentsShell : public Installed<CommentsShell>
{
public:
    virtual ~CommentsShell() = default;
    // The located city, already enciphered; "" until located.
    virtual QString city() = 0;
    // Opens the login window (modal for the caller); loggedIn runs once a login from it succeeds.
    virtual void openLogin(std::function<void()> loggedIn) = 0;
    // Sends the comment gold-coin task (id "1") for the current account when its password is
    // remembered.
    virtual void postCommentAndReplyTask() = 0;
    // The comment page stored the newest reply the user has now seen, which clears the user's
    // reply reminder: the left bar's reminder dot follows the marks again.
    virtual void replyRemindCleared() = 0;
};
