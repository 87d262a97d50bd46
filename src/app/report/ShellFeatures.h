#pragma once

#include <memory>

class AppDelegate;
class AppLocation;
class PushHandler;
class ReplyReminders;

// The delegate's push, reminder, location, launch-report and settings services, made and
// installed together: the push handler becomes the push service's delegate and the launch
// payload's router, the location lookup and the launch report become start-up's, and the settings
// pages reach the reminders, the logged-in user and the left bar's reminder dot. main.cpp makes
// one right after the delegate and keeps it as long as the delegate.
class ShellFeatures
{
public:
    explicit ShellFeatures(AppDelegate& delegate);
    ~ShellFeatures();
    ShellFeatures(const ShellFeatures&) = delete;
    ShellFeatures& operator=(const ShellFeatures&) = delete;

    PushHandler& push() const { return *m_push; }
    ReplyReminders& reminders() const { return *m_reminders; }
    AppLocation& location() const { return *m_location; }

private:
    std::shared_ptr<PushHandler> m_push;
    std::shared_ptr<ReplyReminders> m_reminders;
    std::shared_ptr<AppLocation> m_location;
};
