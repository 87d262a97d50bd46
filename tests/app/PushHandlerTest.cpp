#include "AppTestSupport.h"
#include "PushTestSupport.h"
#include "TaskCompletionCount.h"

#include "app/push/PushHandler.h"
#include "database/SettingsDatabaseOperate.h"
#include "foundation/CommonFunction.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QWidget>

namespace {

QString decipheredToken(const QString& hex)
{
    return CommonFunction::DecypteUTF8(hex, kDesKeyPushToken);
}

QVariantMap aps(const QString& alert)
{
    return {{QStringLiteral("alert"), alert}};
}

}  // namespace

class PushHandlerTest : public ::testing::Test
{
protected:
    OpenerScope openers;
    std::shared_ptr<RecordingPushTargets> targets = std::make_shared<RecordingPushTargets>();
    std::shared_ptr<PushHandler> handler = std::make_shared<PushHandler>(targets);
};

TEST_F(PushHandlerTest, TokenBytesBecomeLowerHexRegisteredEncipheredAndNeverCopied)
{
    ShellServer shell;
    shell.server.route("GET", QStringLiteral("/push/push.asmx/SaveMacDevice"), ShellServer::value("ok"));
    QApplication::clipboard()->setText(QStringLiteral("what the user copied"));
    const auto restoreState = restoreProcessState();
    auto service = std::make_shared<FakePushService>(std::make_shared<CallLog>());
    PushService::install(service);
    service->setDelegate(handler);
    QString observed;
    handler->setDeviceTokenObserver([&observed](const QString& token) { observed = token; });
    MessageCapture log;

    // The platform hands the token to whatever delegate the service has.
    service->delegate()->didRegisterForRemoteNotificationsWithDeviceToken(QByteArray("\x01\xab", 2));

    EXPECT_EQ(handler->selfDeviceToken(), QStringLiteral("01ab"));
    EXPECT_EQ(observed, QStringLiteral("01ab"));
    EXPECT_TRUE(log.contains(QStringLiteral("deviceToken:01ab")));
    ASSERT_TRUE(waitUntil([&] { return shell.server.requestCount() == 1; }));
    const LoopbackRequest request = shell.server.requests().first();
    EXPECT_EQ(request.path, QStringLiteral("/push/push.asmx/SaveMacDevice"));
    const QString sent = ShellServer::fields(request.query).value(QStringLiteral("deviceToken"));
    EXPECT_EQ(sent.size(), 16);
    EXPECT_EQ(decipheredToken(sent), QStringLiteral("01ab"));
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("what the user copied"));
    // The reply is read before the test ends: a request left in flight outlives the server.
    EXPECT_TRUE(waitUntil([&] { return log.contains(QStringLiteral("push: device registered")); }));
}

TEST_F(PushHandlerTest, RoutingOpensWhatThePayloadPointsTo)
{
    struct Case
    {
        const char* name;
        QVariantMap payload;
        QStringList opened;
        QStringList news;
        QStringList products;
    };
    const QString url = QStringLiteral("http://www.tidwen.example/html/1.htm");
    const std::vector<Case> cases = {
        {"url wins over newsid", {{"url", url}, {"newsid", "5"}}, {url}, {}, {}},
        {"https address", {{"url", "https://m.tidwen.example/x"}}, {"https://m.tidwen.example/x"}, {}, {}},
        {"integer news id", {{"newsid", 123}}, {}, {"123"}, {}},
        {"whole double news id", {{"newsid", 123.0}}, {}, {"123"}, {}},
        {"fractional news id", {{"newsid", 1.5}}, {}, {}, {}},
        {"text news id", {{"newsid", "456"}}, {}, {"456"}, {}},
        {"postid decides", {{"postid", "9"}, {"newsid", "5"}}, {}, {}, {}},
        {"only aps", {{"aps", aps("hi")}}, {}, {}, {}},
        {"script address", {{"url", "javascript:alert(1)"}}, {}, {}, {}},
        {"file address", {{"url", "file:///etc/passwd"}}, {}, {}, {}},
        {"address without host", {{"url", "http:///path"}}, {}, {}, {}},
        {"path in news id", {{"newsid", "12/../3"}}, {}, {}, {}},
        {"negative news id", {{"newsid", -4}}, {}, {}, {}},
        {"bool news id is absent", {{"newsid", true}}, {}, {}, {}},
        {"url of wrong type is absent", {{"url", 5}, {"newsid", "8"}}, {}, {"8"}, {}},
        {"empty url is absent", {{"url", ""}, {"newsid", "8"}}, {}, {"8"}, {}},
        {"deal id", {{"proid", "77"}, {"newsid", "5"}}, {}, {}, {"77"}},
        {"integer deal id", {{"proid", 78}}, {}, {}, {"78"}},
        {"deal id with letters", {{"proid", "7a"}}, {}, {}, {}},
        {"postid before proid", {{"postid", 1}, {"proid", "77"}}, {}, {}, {}},
        {"coin shop opens nothing", {{"coinshopurl", "http://shop.example/"}, {"newsid", "5"}}, {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        openers.opener->opened.clear();
        targets->news.clear();
        targets->products.clear();
        handler->route(c.payload);
        EXPECT_EQ(openers.opener->opened, c.opened);
        EXPECT_EQ(targets->news, c.news);
        EXPECT_EQ(targets->products, c.products);
    }
}

class PushSheetTest : public PushHandlerTest
{
protected:
    void SetUp() override
    {
        window.resize(800, 600);
        window.show();
        targets->window = &window;
    }
    QAbstractButton* button(const QString& title)
    {
        QMessageBox* sheet = handler->alertSheet();
        if (sheet == nullptr)
            return nullptr;
        for (QAbstractButton* b : sheet->buttons()) {
            if (b->text() == title)
                return b;
        }
        return nullptr;
    }
    QWidget window;
};

TEST_F(PushSheetTest, SheetStandsOnTheMainWindowWithTheAlertAndTwoButtons)
{
    MessageCapture log;
    handler->didReceiveRemoteNotification({{"aps", aps(QStringLiteral("新文章"))}, {"newsid", "5"}});

    QMessageBox* sheet = handler->alertSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->parentWidget(), &window);
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet->text(), QStringLiteral("提示"));
    EXPECT_EQ(sheet->informativeText(), QStringLiteral("新文章"));
    EXPECT_EQ(sheet->icon(), QMessageBox::Information);
    ASSERT_EQ(sheet->buttons().size(), 2);
    EXPECT_EQ(sheet->buttonRole(button(QStringLiteral("查看"))), QMessageBox::AcceptRole);
    EXPECT_EQ(sheet->buttonRole(button(QStringLiteral("取消"))), QMessageBox::RejectRole);
    EXPECT_TRUE(log.contains(QStringLiteral("userinfo:")));
    EXPECT_TRUE(log.contains(QStringLiteral("收到推送消息:新文章")));
    EXPECT_TRUE(targets->news.isEmpty()) << "nothing opens before the user answers";
}

TEST_F(PushSheetTest, CancelRoutesNothingAndViewRoutes)
{
    handler->didReceiveRemoteNotification({{"aps", aps(QStringLiteral("a"))}, {"newsid", "5"}});
    ASSERT_NE(button(QStringLiteral("取消")), nullptr);
    button(QStringLiteral("取消"))->click();
    settle(50);
    EXPECT_TRUE(targets->news.isEmpty());

    handler->didReceiveRemoteNotification({{"aps", aps(QStringLiteral("b"))}, {"newsid", "6"}});
    ASSERT_NE(button(QStringLiteral("查看")), nullptr);
    button(QStringLiteral("查看"))->click();
    EXPECT_TRUE(waitUntil([&] { return targets->news == QStringList{QStringLiteral("6")}; })) << "waited for the news to open";
    EXPECT_EQ(targets->news, QStringList{QStringLiteral("6")});
}

TEST_F(PushHandlerTest, PushSwitchNeedsATokenAndStoresOnlyAnAcceptedOn)
{
    ShellServer shell;
    shell.server.route("POST", QStringLiteral("/push/push.asmx/SaveIosDeviceIsPush"), ShellServer::value("true"));
    {
        SettingsDatabaseOperate::Lease settings;
        ASSERT_TRUE(settings);
        settings->setNewsPush(false);
    }
    auto pushSetting = [] {
        SettingsDatabaseOperate::Lease settings;
        return settings && settings->pushSetting();
    };

    // Without a token nothing goes out, but the switch is kept.
    handler->postEnablePushNotification(true);
    settle(200);
    EXPECT_EQ(shell.server.requestCount(), 0);
    EXPECT_TRUE(handler->currentPushStatus());

    handler->didRegisterForRemoteNotificationsWithDeviceToken(QByteArray::fromHex("a1b2"));
    ASSERT_TRUE(waitUntil([&] { return shell.server.requestCount() == 1; }));  // the registration
    shell.server.clearRequests();

    // Off: sent, the reply "true" stores nothing.
    const TaskCompletionCount ended;
    handler->postEnablePushNotification(false);
    ASSERT_TRUE(waitUntil([&] { return shell.server.requestCount() == 1 && ended.count() >= 1; })) << "waited for the switch's reply";
    settle(100);
    EXPECT_FALSE(pushSetting());
    QMap<QString, QString> form = ShellServer::form(shell.server.requests().first());
    EXPECT_EQ(form.value(QStringLiteral("isPush")), QStringLiteral("false"));
    EXPECT_EQ(decipheredToken(form.value(QStringLiteral("deviceToken"))), QStringLiteral("a1b2"));

    // On: the accepted switch is stored.
    handler->postEnablePushNotification(true);
    ASSERT_TRUE(waitUntil([&] { return pushSetting(); }));
    form = ShellServer::form(shell.server.requests().last());
    EXPECT_EQ(form.value(QStringLiteral("isPush")), QStringLiteral("true"));
}

// The launching notification, through the delegate's start-up with the handler as its router.
TEST_F(PushHandlerTest, LaunchPayloadSetsIsPushNewsAndOpensTheArticle)
{
    struct Case
    {
        const char* name;
        QVariantMap payload;
        bool isPushNews;
        QStringList news;
    };
    const std::vector<Case> cases = {
        {"empty payload", {}, false, {}},
        {"news id", {{"newsid", "7"}}, true, {"7"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto restoreState = restoreProcessState();
        targets->news.clear();
        auto log = std::make_shared<CallLog>();
        auto service = std::make_shared<FakePushService>(log);
        service->launchPayload = c.payload;
        PushService::install(service);
        AppDelegate delegate;
        delegate.setMainWindowFactory(std::make_shared<FakeMainWindowFactory>(log));
        delegate.setPushPayloadRouter(handler);
        delegate.applicationDidFinishLaunching();
        EXPECT_EQ(delegate.isPushNews(), c.isPushNews);
        EXPECT_EQ(targets->news, c.news);
    }
}
