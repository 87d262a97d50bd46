#pragma once

#include "app/settings/CacheCleaner.h"
#include "foundation/models/NSMyUserInfo.h"
#include "platform/Installed.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

// What the settings pages need of the application delegate and the left bar. main.cpp installs
// the program's; tests their own.
struct SettingsContext : Installed<SettingsContext>
{
    // The logged-in user's profile, or null.
    std::function<NSMyUserInfoPtr()> currentUser;
    // The delegate's comment-reply poll (user id text); a reminder it marks or finds shows the dot.
    std::function<void(const QString&)> downloadUserRemindCount;
    // The delegate's device-tail switch.
    std::function<void()> postShowDevice;
    // Shows or hides the left bar's reminder dot.
    std::function<void(bool)> setReminderDotVisible;

private:
    friend class Installed<SettingsContext>;
    // Without an installation (and after install(nullptr)) an empty context: no user, no calls.
    static std::shared_ptr<SettingsContext> makeDefault() { return std::make_shared<SettingsContext>(); }
};

// The logic of the settings popover and of the general settings page: the initial state of each
// box, what a click on it changes (the stored setting and the start-up switch the running program
// reads, kept equal to the box), the cache size and clearing, and the reminder dot.
class SettingsModel
{
public:
    explicit SettingsModel(std::shared_ptr<SettingsContext> context = SettingsContext::installed(),
                           std::shared_ptr<CacheCleaner> cleaner = nullptr);

    // Initial states of the boxes.
    bool thinFontAvailable() const;   // the thin font needs the newer system generation
    bool thinFont() const;            // setting Xiti
    bool douZaiMai() const;           // gbDouZaiMai
    bool autoClear() const;           // setting autocleardata
    bool updateCountTip() const;      // gbUpdateNewsCountTiShi
    bool replyRemind() const;         // gbReplyRemind
    // The device-tail box: on unless the logged-in user hides the device; nothing when nobody is
    // logged in (the box keeps its own state).
    std::optional<bool> showTail() const;

    // Clicks, with the box's new state. The running switch and the setting become that state.
    void changFont(bool checked);      // also posts "fontChanged"
    void showDZM(bool checked);
    void AutoClear(bool checked);
    void UpdateCount(bool checked);
    void commontReport(bool checked);
    // Only with a logged-in user: hides (box off) or shows the device, then tells the service.
    // False when nobody is logged in and nothing was done.
    bool ShowTail(bool checked);

    // The general page's set-up: with reminders on and a user logged in, the comment-reply poll;
    // otherwise the dot is decided now.
    void refreshReminderDot();
    // Shows the dot for a pending reply reminder of the logged-in user, else for a coin-shop
    // version newer than the one stored under "coinShopVersion" (stored on first use). Returns
    // whether it is shown.
    bool updateTiXingStatus();
    // The coin-shop page was opened: its version counts as seen, and the dot is decided again.
    void coinShopOpened();

    QString countCacheSize() const { return m_cleaner->countCacheSize(); }
    QString cleanCaches() { return m_cleaner->cleanCaches(); }
    CacheCleaner& cleaner() { return *m_cleaner; }

    // The program's version as the popover shows it.
    static QString version();

    static constexpr auto kCoinShopVersionKey = "coinShopVersion";
    static constexpr auto kFontChanged = "fontChanged";

private:
    NSMyUserInfoPtr currentUser() const;

    std::shared_ptr<SettingsContext> m_context;
    std::shared_ptr<CacheCleaner> m_cleaner;
};
