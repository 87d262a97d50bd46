#include "app/report/ShellFeatures.h"

#include "app/AppDelegate.h"
#include "app/location/AppLocation.h"
#include "app/push/MainWindowPushTargets.h"
#include "app/push/PushHandler.h"
#include "app/reminders/ReplyReminders.h"
#include "app/report/MobClick.h"
#include "app/settings/SettingsModel.h"
#include "app/views/LeftViewController.h"
#include "app/views/MainViewController.h"
#include "app/views/MainWindowController.h"

#include <QPointer>

namespace {

// The main window once start-up has made it; null before, and with a window of another kind.
MainWindowController* mainWindowOf(const QPointer<AppDelegate>& delegate)
{
    if (!delegate)
        return nullptr;
    return dynamic_cast<MainWindowController*>(delegate->MainWindowController());
}

}  // namespace

ShellFeatures::ShellFeatures(AppDelegate& delegate)
{
    QPointer<AppDelegate> owner(&delegate);

    m_push = std::make_shared<PushHandler>(
        std::make_shared<MainWindowPushTargets>([owner] { return mainWindowOf(owner); }));
    m_push->setDeviceTokenObserver([owner](const QString& token) {
        if (owner)
            owner->setSelfDeviceToken(token);
    });
    PushService::shared()->setDelegate(m_push);
    delegate.setPushPayloadRouter(m_push);

    m_location = std::make_shared<AppLocation>(nullptr, [owner](const QString& city) {
        if (owner)
            owner->setGCity(city);
    });
    delegate.setLocationLookup(m_location);
    delegate.setLaunchReporter(std::make_shared<MobClickLaunchReporter>());

    m_reminders = std::make_shared<ReplyReminders>([owner] { return owner ? owner->getCurrLandUser() : nullptr; });

    auto context = std::make_shared<SettingsContext>();
    context->currentUser = [owner] { return owner ? owner->getCurrLandUser() : nullptr; };
    std::weak_ptr<ReplyReminders> reminders = m_reminders;
    context->downloadUserRemindCount = [reminders](const QString& userId) {
        if (auto r = reminders.lock())
            r->downloadUserRemindCount(userId);
    };
    context->postShowDevice = [reminders] {
        if (auto r = reminders.lock())
            r->postShowDevice();
    };
    context->setReminderDotVisible = [owner](bool shown) {
        MainWindowController* window = mainWindowOf(owner);
        if (window == nullptr || window->MainVC() == nullptr || window->MainVC()->leftViewController() == nullptr)
            return;
        if (QWidget* dot = window->MainVC()->leftViewController()->tixingImageView())
            dot->setVisible(shown);
    };
    SettingsContext::install(context);
}

ShellFeatures::~ShellFeatures()
{
    if (PushService::shared()->delegate() == m_push)
        PushService::shared()->setDelegate({});
    SettingsContext::install(nullptr);
}
