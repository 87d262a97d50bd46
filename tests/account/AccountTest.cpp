#include "../comments/CommentsTestSupport.h"

#include "account/AccountRequests.h"
#include "account/AccountShell.h"
#include "account/AutoLandOperation.h"
#include "account/UserLogin.h"
#include "account/views/UserInfoWD.h"
#include "account/views/UserLandWD.h"
#include "foundation/CommonFunction.h"
#include "platform/UserDefaults.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QUrlQuery>

namespace {

QByteArray userReply(int userId, const QString& account = QStringLiteral("reader"))
{
    return QStringLiteral("<?xml version=\"1.0\"?><soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
                          "<soap:Body><GResponse><GResult><UserName>%1</UserName><UserID>%2</UserID>"
                          "<NickName>读者</NickName><RankDays>12</RankDays><Coin>42</Coin></GResult></GResponse>"
                          "</soap:Body></soap:Envelope>")
        .arg(account)
        .arg(userId)
        .toUtf8();
}

class RecordingAccountShell : public AccountShell
{
public:
    void setCurrLandUser(const NSMyUserInfoPtr& user, bool newData) override
    {
        current = user;
        sets.append(newData);
    }
    NSMyUserInfoPtr getCurrLandUser() override { return current; }
    void cancelCurrLandUser() override
    {
        current.reset();
        ++cancels;
    }
    void reloadAvatar() override { ++avatars; }
    void downloadUserRemindCount(const QString& userId) override { commentPolls.append(userId); }
    void downloadUserForumRemindCount(const QString& userId) override { forumPolls.append(userId); }

    NSMyUserInfoPtr current;
    QStringList commentPolls;
    QStringList forumPolls;
    QList<bool> sets;
    int cancels = 0;
    int avatars = 0;
};

// Restores the login and reminder flags however the test ends.
struct LoginFlagGuard
{
    bool saved = gbLoginInProgress;
    bool savedRemind = gbReplyRemind;
    ~LoginFlagGuard()
    {
        gbLoginInProgress = saved;
        gbReplyRemind = savedRemind;
    }
};

}  // namespace

class AccountFlows : public LoopbackStoreTest
{
protected:
    void SetUp() override
    {
        LoopbackStoreTest::SetUp();
        pointUrls({{79, m_server.url(QStringLiteral("/api/User.asmx/G")).toString()}});
        AccountShell::install(m_shell);
    }
    void TearDown() override
    {
        AccountShell::install(nullptr);
        LoopbackStoreTest::TearDown();
    }

    void serve(const LoopbackReply& reply) { m_server.route("POST", QStringLiteral("/api/User.asmx/G"), reply); }

    // Runs one automatic login to its end; true when the flag was clear afterwards.
    bool autoLand(bool onlySuccess = false)
    {
        gbLoginInProgress = true;
        auto operation = AutoLandOperation::create();
        operation->setBUpdateOnlySuss(onlySuccess);
        bool completed = false;
        operation->setCompletionBlock([&] { completed = true; });
        operation->start();
        EXPECT_TRUE(waitUntil([&] { return completed; }));
        return operation->isFinished() && !gbLoginInProgress;
    }

    UserLandDataPtr current()
    {
        SettingsDatabaseOperate::Lease settings;
        return settings->UserLandData_getCurrentUserData();
    }

    LoopbackHttpServer m_server;
    std::shared_ptr<RecordingAccountShell> m_shell = std::make_shared<RecordingAccountShell>();
    LoginFlagGuard m_flag;
};

TEST_F(AccountFlows, TheAutomaticLoginSendsTheCredentialHashAndRenewsTheProfile)
{
    rememberAccount(QStringLiteral("reader"), QStringLiteral("p w\u00e9"), true, true);
    ASSERT_TRUE(AccountRequests::storeLastUserInfo(userReply(5)));
    serve(LoopbackReply::text(200, userReply(77), "text/xml"));

    EXPECT_TRUE(autoLand());

    ASSERT_EQ(m_server.requestCount(), 1);
    const QUrlQuery form(QString::fromUtf8(m_server.requests().first().body));
    EXPECT_EQ(CommonFunction::DecypteUTF8(form.queryItemValue(QStringLiteral("userHash"), QUrl::FullyDecoded), kDesKeyRequest),
              QStringLiteral("reader") + QChar(0x0C) + QStringLiteral("p w\u00e9"));
    // The stored profile at once, then the renewed one.
    EXPECT_EQ(m_shell->sets, (QList<bool>{false, true}));
    ASSERT_TRUE(m_shell->current);
    EXPECT_EQ(m_shell->current->userID, 77);
    QFile info(CommonFunction::getLastUserInfoPath());
    ASSERT_TRUE(info.open(QIODevice::ReadOnly));
    EXPECT_EQ(info.readAll(), userReply(77));
    EXPECT_EQ(current()->UserID, QStringLiteral("77"));
    EXPECT_TRUE(current()->bHaveLand);
}

TEST_F(AccountFlows, RefusalLogsOutFailureChangesNothingAndEachClearsTheFlag)
{
    struct Case
    {
        const char* name;
        LoopbackReply reply;
        bool loggedInAfter;
        int cancels;
    };
    const Case cases[] = {
        {"refused", LoopbackReply::text(200, userReply(99999), "text/xml"), false, 1},
        {"server error", LoopbackReply::text(500, "oops"), true, 0},
        {"garbled", LoopbackReply::text(200, "<GResult><UserID>5</User", "text/xml"), true, 0},
        {"dropped", LoopbackReply::closeConnection(), true, 0},
    };
    for (const Case& c : cases) {
        rememberAccount(QStringLiteral("reader"), QStringLiteral("pw"), true, true);
        UserDefaults::standardUserDefaults().setString(QStringLiteral("3"), QStringLiteral("coinRead"));
        m_shell->cancels = 0;
        serve(c.reply);
        EXPECT_TRUE(autoLand()) << c.name;
        EXPECT_EQ(current()->bHaveLand, c.loggedInAfter) << c.name;
        EXPECT_EQ(m_shell->cancels, c.cancels) << c.name;
        EXPECT_EQ(UserDefaults::standardUserDefaults().objectForKey(QStringLiteral("coinRead")).isValid(), c.loggedInAfter)
            << c.name;
    }
}

TEST_F(AccountFlows, NothingIsSentWithoutARememberedLogin)
{
    rememberAccount(QStringLiteral("reader"), QStringLiteral("pw"), true, false);
    EXPECT_TRUE(autoLand());
    rememberAccount(QStringLiteral("reader"), QStringLiteral("pw"), false, true);
    EXPECT_TRUE(autoLand());
    EXPECT_EQ(m_server.requestCount(), 0);
    EXPECT_TRUE(m_shell->sets.isEmpty());
}

TEST_F(AccountFlows, OnlySuccessMayChangeAnythingWhenAskedSo)
{
    rememberAccount(QStringLiteral("reader"), QStringLiteral("pw"), true, true);
    ASSERT_TRUE(AccountRequests::storeLastUserInfo(userReply(5)));
    serve(LoopbackReply::text(200, userReply(99999), "text/xml"));
    EXPECT_TRUE(autoLand(true));
    EXPECT_TRUE(current()->bHaveLand);
    EXPECT_TRUE(m_shell->sets.isEmpty());
}

TEST_F(AccountFlows, TheLoginWindowStoresTheAccountAndRefusesWhileAnotherLoginRuns)
{
    serve(LoopbackReply::text(200, userReply(31, QStringLiteral("新读者")), "text/xml"));
    UserLandWD window;
    window.show();
    window.accountField()->setText(QStringLiteral("新读者"));
    window.passwordField()->setText(QStringLiteral("secret"));
    window.rememberBox()->setChecked(false);

    gbLoginInProgress = true;
    window.loginButton()->click();
    EXPECT_EQ(window.statusText(), UserLogin::message(UserLogin::Outcome::Busy));
    EXPECT_EQ(m_server.requestCount(), 0);

    gbLoginInProgress = false;
    window.loginButton()->click();
    EXPECT_TRUE(gbLoginInProgress);
    ASSERT_TRUE(waitUntil([&] { return !window.isVisible(); }));
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_FALSE(gbLoginInProgress);
    const UserLandDataPtr stored = current();
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->UserAccount, QStringLiteral("新读者"));
    EXPECT_TRUE(stored->bHaveLand);
    EXPECT_FALSE(stored->bRememberPassWord);
    EXPECT_TRUE(stored->UserPassWord.isEmpty());  // not remembered, not stored
    EXPECT_EQ(stored->UserID, QStringLiteral("31"));
    EXPECT_EQ(m_shell->sets, QList<bool>{true});
}

TEST_F(AccountFlows, AWrongPasswordShowsTheRefusalAndClearsTheFlag)
{
    serve(LoopbackReply::text(200, userReply(99999), "text/xml"));
    UserLogin login;
    SignalLog done(&login, &UserLogin::finished);
    login.login(QStringLiteral("reader"), QStringLiteral("bad"), true);
    ASSERT_TRUE(waitUntil([&] { return done.size() == 1; }));
    EXPECT_EQ(std::get<0>(done.at(0)), UserLogin::Outcome::Refused);
    EXPECT_FALSE(gbLoginInProgress);
    EXPECT_FALSE(current());
    login.login(QStringLiteral(" "), QStringLiteral("x"), true);
    EXPECT_EQ(std::get<0>(done.last()), UserLogin::Outcome::Empty);
}

TEST_F(AccountFlows, LogOutRemovesTheEightGoldCoinKeys)
{
    rememberAccount(QStringLiteral("reader"), QStringLiteral("pw"), true, true);
    m_shell->current = CommonFunction::parseXML(userReply(5));
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    const QStringList keys = AccountRequests::goldCoinKeys();
    ASSERT_EQ(keys.size(), 8);
    for (const QString& key : keys)
        defaults.setString(QStringLiteral("1"), key);
    defaults.setString(QStringLiteral("kept"), QStringLiteral("readercoins_newsTip"));

    UserInfoWD window;
    window.show();
    EXPECT_TRUE(window.profileText().contains(QStringLiteral("读者")));
    window.logOutButton()->click();

    for (const QString& key : keys)
        EXPECT_FALSE(defaults.objectForKey(key).isValid()) << key.toStdString();
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("readercoins_newsTip")), QStringLiteral("kept"));
    EXPECT_FALSE(current()->bHaveLand);
    EXPECT_EQ(m_shell->cancels, 1);
    EXPECT_EQ(m_shell->avatars, 1);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(AccountFlows, ASuccessfulLoginStartsTheReplyPollsWhileRemindersAreOn)
{
    struct Case
    {
        const char* name;
        bool automatic;
        bool reminders;
        LoopbackReply reply;
        QStringList commentPolls;
        QStringList forumPolls;
    };
    const LoopbackReply user = LoopbackReply::text(200, userReply(77), "text/xml");
    const LoopbackReply refused = LoopbackReply::text(200, userReply(99999), "text/xml");
    const Case cases[] = {
        {"automatic", true, true, user, {QStringLiteral("77")}, {QStringLiteral("77")}},
        {"automatic, reminders off", true, false, user, {}, {}},
        {"automatic, refused", true, true, refused, {}, {}},
        {"automatic, server error", true, true, LoopbackReply::text(500, "oops"), {}, {}},
        {"automatic, garbled", true, true, LoopbackReply::text(200, "<GResult><UserID>5</User", "text/xml"), {}, {}},
        {"window", false, true, user, {QStringLiteral("77")}, {}},
        {"window, reminders off", false, false, user, {}, {}},
        {"window, refused", false, true, refused, {}, {}},
        {"window, dropped", false, true, LoopbackReply::closeConnection(), {}, {}},
    };
    for (const Case& c : cases) {
        m_shell->commentPolls.clear();
        m_shell->forumPolls.clear();
        gbReplyRemind = c.reminders;
        serve(c.reply);
        if (c.automatic) {
            rememberAccount(QStringLiteral("reader"), QStringLiteral("pw"), true, true);
            // The stored profile shown first is no login: it starts no poll.
            ASSERT_TRUE(AccountRequests::storeLastUserInfo(userReply(5)));
            EXPECT_TRUE(autoLand()) << c.name;
        } else {
            gbLoginInProgress = false;
            UserLogin login;
            SignalLog done(&login, &UserLogin::finished);
            login.login(QStringLiteral("reader"), QStringLiteral("pw"), true);
            ASSERT_TRUE(waitUntil([&] { return done.size() == 1; })) << c.name;
        }
        EXPECT_EQ(m_shell->commentPolls, c.commentPolls) << c.name;
        EXPECT_EQ(m_shell->forumPolls, c.forumPolls) << c.name;
    }
}
