#pragma once

#include "foundation/models/NSMyUserInfo.h"

#include <QString>

#include <functional>
#include <memory>

// The reply-count polls that mark a pending reply reminder for the logged-in user, and the
// device-tail switch of the account service. Requests go out as form POSTs; their replies and
// failures come back on the main thread, where the marks are written. Main thread only.
class ReplyReminders
{
public:
    // The logged-in user's profile, or null when nobody is logged in.
    using CurrentUser = std::function<NSMyUserInfoPtr()>;

    // Told when a poll marks a reminder or finds one already marked (outside the store's lease):
    // the left bar's dot shows it at once.
    using ReminderMarked = std::function<void()>;

    explicit ReplyReminders(CurrentUser currentUser, ReminderMarked reminderMarked = {});
    ~ReplyReminders();

    // Comment replies (URL-table entry u2): "strUserID" enciphered, "commentID" the highest
    // comment-reply id stored for the user. Nothing for an empty id or a reminder already marked.
    void downloadUserRemindCount(const QString& userId);
    // Community replies (the community service's fixed address): the same with "rID".
    void downloadUserForumRemindCount(const QString& userId);
    // Tells the account service whether the logged-in user's comments show the device: needs a
    // logged-in user whose current account is logged in with a known password (remembered, or
    // kept for the run).
    void postShowDevice();

    // The log line of an accepted device-tail switch.
    static constexpr auto kTailSetLog = "小尾巴设置成功";

private:
    enum class Kind { Comment, Forum };
    void poll(Kind kind, const QString& userId);
    void takeCount(Kind kind, const QString& userId, const QByteArray& reply);

    void tellMarked() const;

    CurrentUser m_currentUser;
    ReminderMarked m_reminderMarked;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
