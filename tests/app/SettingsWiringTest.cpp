#include "AppTestSupport.h"
#include "PushTestSupport.h"

#include "app/location/AppLocation.h"
#include "app/push/PushHandler.h"
#include "app/report/ShellFeatures.h"
#include "app/settings/SettingsModel.h"

// The services reach the delegate's fields and the settings pages reach the delegate's user.
TEST(SettingsWiring, FeaturesServeTheDelegate)
{
    const auto restoreState = restoreProcessState();
    auto service = std::make_shared<FakePushService>(std::make_shared<CallLog>());
    PushService::install(service);
    AppDelegate delegate;
    {
        ShellFeatures features(delegate);
        ASSERT_NE(service->delegate(), nullptr);
        service->delegate()->didRegisterForRemoteNotificationsWithDeviceToken(QByteArray::fromHex("0a0b"));
        EXPECT_EQ(delegate.selfDeviceToken(), QStringLiteral("0a0b"));
        EXPECT_EQ(features.push().selfDeviceToken(), QStringLiteral("0a0b"));

        auto user = std::make_shared<NSMyUserInfo>();
        user->userID = 77;
        delegate.setCurrLandUser(user, false);
        const std::shared_ptr<SettingsContext> context = SettingsContext::installed();
        ASSERT_TRUE(context->currentUser);
        EXPECT_EQ(context->currentUser(), user);
        // Without a main window the dot has nowhere to go, and nothing breaks.
        context->setReminderDotVisible(true);
        delegate.cancelCurrLandUser();
        EXPECT_EQ(context->currentUser(), nullptr);
    }
    EXPECT_EQ(service->delegate(), nullptr) << "the handler leaves with the features";
    EXPECT_FALSE(SettingsContext::installed()->currentUser);
}
