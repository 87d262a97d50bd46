#include "../comments/CommentsTestSupport.h"

#include "account/AccountRequests.h"
#include "account/AccountShell.h"
#include "account/AutoLandOperation.h"
#include "account/PasswordChange.h"
#include "account/UserLogin.h"
#include "account/views/ProfileWindows.h"
#include "account/views/UserInfoWD.h"
#include "account/views/UserLandWD.h"
#include "account/views/modefyPwdWD.h"
#include "Library/FMDB/FMDatabase.h"
#include "database/SessionAccount.h"
#include "database/StoreConnection.h"
#include "HeldReply.h"
#include "ScopeGuard.h"
#include "URLCacheScope.h"
#include "foundation/CommonFunction.h"
#include "networking/AFNetManager.h"
#include "platform/UserDefaults.h"
#include "ui/hud/DJProgressHUD.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
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
    void showMessage(const QString& message) override { messages.append(message); }
    void downloadUserRemindCount(const QString& userId) override { commentPolls.append(userId); }
    void downloadUserForumRemindCount(const QString& userId) override { forumPolls.append(userId); }

    NSMyUserInfoPtr current;
    QStringList commentPolls;
    QStringList forumPolls;
    QStringList messages;
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
        // A login starts the favourites sync; here it goes nowhere.
        const QString nowhere = QStringLiteral("http://127.0.0.1:%1/olvenna").arg(LoopbackHttpServer::closedPort());
        pointUrls({{79, m_server.url(QStringLiteral("/api/User.asmx/G")).toString()},
                   {81, nowhere + QStringLiteral("/GetSyncFileVer.aspx")},
                   {82, nowhere + QStringLiteral("/GetUserFile.aspx")},
                   {83, nowhere + QStringLiteral("/userfileupload.aspx")}});
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
    // The profile windows of a test and their change, as the program's.
    ProfileWindows m_profiles{nullptr};
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

// A login whose account record cannot be written (another connection holds the file) fails
// instead of closing its window as if it worked, and says that the record failed, not the
// network; the automatic login then starts nothing that needs the login to hold.
TEST_F(AccountFlows, ALoginWhoseRecordCannotBeWrittenFails)
{
    serve(LoopbackReply::text(200, userReply(31), "text/xml"));
    rememberAccount(QStringLiteral("kept"), QStringLiteral("pw"), true, true);
    gbReplyRemind = true;
    StoreConnection::setBusyTimeLimit(std::chrono::milliseconds(200));
    const auto limit = onScopeExit([] { StoreConnection::setBusyTimeLimit(StoreConnection::kDefaultBusyTimeLimit); });
    const auto other = FMDatabase::databaseWithPath(QDir(StorageRoot::documentsPath()).filePath(QStringLiteral("tidwenMAC.db")));
    ASSERT_TRUE(other->open());
    ASSERT_TRUE(other->beginTransaction());

    UserLogin login;
    SignalLog done(&login, &UserLogin::finished);
    login.login(QStringLiteral("reader"), QStringLiteral("pw"), true);
    ASSERT_TRUE(waitUntil([&] { return done.size() == 1; }));
    EXPECT_EQ(std::get<0>(done.at(0)), UserLogin::Outcome::NotSaved);
    EXPECT_EQ(UserLogin::message(UserLogin::Outcome::NotSaved), QStringLiteral("本地数据无法写入，所做更改将不会保存"));
    EXPECT_FALSE(gbLoginInProgress);
    EXPECT_TRUE(m_shell->sets.isEmpty());

    EXPECT_TRUE(autoLand());
    EXPECT_TRUE(m_shell->commentPolls.isEmpty());
    EXPECT_TRUE(m_shell->forumPolls.isEmpty());
    ASSERT_TRUE(other->rollback());
    other->close();
    EXPECT_EQ(current()->UserAccount, QStringLiteral("kept"));
}

TEST_F(AccountFlows, LogOutRemovesTheEightGoldCoinKeys)
{
    rememberAccount(QStringLiteral("other"), QStringLiteral("pw2"), false, true);
    rememberAccount(QStringLiteral("reader"), QStringLiteral("pw"), true, true);
    m_shell->current = CommonFunction::parseXML(userReply(5));
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    const QStringList keys = AccountRequests::goldCoinKeys();
    ASSERT_EQ(keys.size(), 8);
    for (const QString& key : keys)
        defaults.setString(QStringLiteral("1"), key);
    defaults.setString(QStringLiteral("kept"), QStringLiteral("readercoins_newsTip"));

    const auto window = m_profiles.make();
    window->show();
    EXPECT_TRUE(window->profileText().contains(QStringLiteral("读者")));
    window->logOutButton()->click();

    for (const QString& key : keys)
        EXPECT_FALSE(defaults.objectForKey(key).isValid()) << key.toStdString();
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("readercoins_newsTip")), QStringLiteral("kept"));
    EXPECT_EQ(m_shell->cancels, 1);
    EXPECT_EQ(m_shell->avatars, 1);
    EXPECT_FALSE(window->isVisible());

    // The account is forgotten: its remembered row goes, other accounts' rows stay, and the login
    // window opens with empty fields.
    {
        SettingsDatabaseOperate::Lease settings;
        EXPECT_FALSE(settings->UserLandData_getUserDataByUserName(QStringLiteral("READER")));
        EXPECT_TRUE(settings->UserLandData_getUserDataByUserName(QStringLiteral("other")));
    }
    EXPECT_FALSE(current());
    UserLandWD login;
    EXPECT_TRUE(login.accountField()->text().isEmpty());
    EXPECT_TRUE(login.passwordField()->text().isEmpty());
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

// ---- the password change ------------------------------------------------------------------------

class PasswordChangeFlow : public AccountFlows
{
protected:
    void SetUp() override
    {
        AccountFlows::SetUp();
        pointUrls({{79, m_server.url(QStringLiteral("/api/User.asmx/G")).toString()},
                   {100, m_server.url(QStringLiteral("/api/user.asmx/MP")).toString()}});
    }
    void answerChange(const QByteArray& root) { m_server.route("POST", QStringLiteral("/api/user.asmx/MP"), LoopbackReply::text(200, root, "text/xml")); }
    // Opens the profile's change window and sends a change that passes the window's checks.
    static modefyPwdWD* changePassword(UserInfoWD& profile)
    {
        profile.modefyPwdButton()->click();
        modefyPwdWD* window = profile.modefyPwd();
        if (window == nullptr)
            return nullptr;
        window->oldPasswordField()->setText(QStringLiteral("old"));
        window->newPasswordField()->setText(QStringLiteral("new"));
        window->repeatedPasswordField()->setText(QStringLiteral("new"));
        window->okButton()->click();
        return window;
    }

    // A change sent from a profile window and left with an Escape, its answer held, and the next
    // profile window made in that one's place, as the next avatar click does; shown.
    std::unique_ptr<UserInfoWD> changeFromAReplacedWindow(const HeldReply& held, const QByteArray& answer)
    {
        rememberAccount(QStringLiteral("reader"), QStringLiteral("old"), true, true, QStringLiteral("5"));
        m_shell->current = CommonFunction::parseXML(userReply(5));
        m_server.route("POST", QStringLiteral("/api/user.asmx/MP"), held.handler(LoopbackReply::text(200, answer, "text/xml")));
        serve(LoopbackReply::text(200, userReply(5), "text/xml"));
        auto profile = m_profiles.make();
        profile->show();
        changePassword(*profile)->reject();
        profile = m_profiles.make();
        profile->show();
        return profile;
    }

    // Runs one change to its outcome.
    PasswordChange::Outcome change(const QString& oldPassword, const QString& newPassword, const QString& repeated)
    {
        PasswordChange passwordChange;
        SignalLog done(&passwordChange, &PasswordChange::finished);
        passwordChange.change(oldPassword, newPassword, repeated);
        EXPECT_TRUE(waitUntil([&] { return done.size() == 1; })) << "waited for the change to end";
        return done.isEmpty() ? PasswordChange::Outcome::Failed : std::get<0>(done.at(0));
    }
};

TEST_F(PasswordChangeFlow, AcceptedChangeDropsTheCoinKeysAndLogsInAgainWithTheNewPassword)
{
    rememberAccount(QStringLiteral("reader"), QStringLiteral("old pw"), true, true, QStringLiteral("5"));
    m_shell->current = CommonFunction::parseXML(userReply(5));
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    for (const QString& key : AccountRequests::goldCoinKeys())
        defaults.setString(QStringLiteral("2"), key);
    gbReplyRemind = true;
    answerChange("<string>true</string>");
    serve(LoopbackReply::text(200, userReply(5), "text/xml"));

    EXPECT_EQ(change(QStringLiteral("old pw"), QStringLiteral("new pw"), QStringLiteral("new pw")), PasswordChange::Outcome::Changed);

    ASSERT_EQ(m_server.requestCount(), 2);
    const QUrlQuery form(QString::fromUtf8(m_server.requests().at(0).body));
    EXPECT_TRUE(m_server.requests().at(0).path.endsWith(QLatin1String("/MP")));
    const auto plain = [&](const QUrlQuery& q, const char* field) {
        return CommonFunction::DecypteUTF8(q.queryItemValue(QLatin1String(field), QUrl::FullyDecoded), kDesKeyRequest);
    };
    EXPECT_EQ(plain(form, PasswordChangeFields::kUserHash), QStringLiteral("reader") + QChar(0x0C) + QStringLiteral("old pw"));
    EXPECT_EQ(plain(form, PasswordChangeFields::kPasswords), QStringLiteral("old pw") + QChar(0x0C) + QStringLiteral("new pw"));
    // The re-login asks with the new password.
    EXPECT_EQ(plain(QUrlQuery(QString::fromUtf8(m_server.requests().at(1).body)), "userHash"),
              QStringLiteral("reader") + QChar(0x0C) + QStringLiteral("new pw"));

    for (const QString& key : AccountRequests::goldCoinKeys())
        EXPECT_FALSE(defaults.objectForKey(key).isValid()) << key.toStdString();
    const UserLandDataPtr stored = current();
    ASSERT_TRUE(stored);
    EXPECT_TRUE(stored->bHaveLand);
    EXPECT_EQ(stored->UserPassWord, QStringLiteral("new pw"));
    // Logged out, the avatar shown again, then the re-login's profile (with its avatar) and poll.
    EXPECT_EQ(m_shell->cancels, 1);
    EXPECT_EQ(m_shell->avatars, 1);
    EXPECT_EQ(m_shell->sets, QList<bool>{true});
    EXPECT_EQ(m_shell->commentPolls, QStringList{QStringLiteral("5")});
    EXPECT_FALSE(gbLoginInProgress);
}

// The service took the new password but the re-login's record cannot be written: the reader is
// told to log in again, not that all went well.
TEST_F(PasswordChangeFlow, AReloginWhoseRecordCannotBeWrittenAsksForANewLogin)
{
    rememberAccount(QStringLiteral("reader"), QStringLiteral("old pw"), true, true, QStringLiteral("5"));
    m_shell->current = CommonFunction::parseXML(userReply(5));
    answerChange("<string>true</string>");
    serve(LoopbackReply::text(200, userReply(5), "text/xml"));
    StoreConnection::setBusyTimeLimit(std::chrono::milliseconds(200));
    const auto limit = onScopeExit([] { StoreConnection::setBusyTimeLimit(StoreConnection::kDefaultBusyTimeLimit); });
    const auto other = FMDatabase::databaseWithPath(QDir(StorageRoot::documentsPath()).filePath(QStringLiteral("tidwenMAC.db")));
    ASSERT_TRUE(other->open());
    ASSERT_TRUE(other->beginTransaction());

    EXPECT_EQ(change(QStringLiteral("old pw"), QStringLiteral("new pw"), QStringLiteral("new pw")),
              PasswordChange::Outcome::ChangedLoggedOut);
    EXPECT_TRUE(m_shell->sets.isEmpty());
    ASSERT_TRUE(other->rollback());
    other->close();
}

// The new password is kept as the account's row stands when the service takes the change, read
// by the account's name: a password no longer remembered meanwhile is not stored.
TEST_F(PasswordChangeFlow, TheNewPasswordIsKeptAsTheAccountsRowStandsWhenTheChangeIsTaken)
{
    rememberAccount(QStringLiteral("reader"), QStringLiteral("old pw"), true, true, QStringLiteral("5"));
    m_server.route("POST", QStringLiteral("/api/user.asmx/MP"), [](const LoopbackRequest&) {
        rememberAccount(QStringLiteral("reader"), QStringLiteral(""), true, false, QStringLiteral("5"));
        return LoopbackReply::text(200, "<string>true</string>", "text/xml");
    });
    serve(LoopbackReply::text(200, userReply(5), "text/xml"));

    EXPECT_EQ(change(QStringLiteral("old pw"), QStringLiteral("new pw"), QStringLiteral("new pw")), PasswordChange::Outcome::Changed);
    const UserLandDataPtr stored = current();
    ASSERT_TRUE(stored);
    EXPECT_TRUE(stored->bHaveLand);
    EXPECT_FALSE(stored->bRememberPassWord);
    EXPECT_TRUE(stored->UserPassWord.isEmpty());
    EXPECT_EQ(stored->UserID, QStringLiteral("5"));
}

TEST_F(PasswordChangeFlow, ARefusedOrImpossibleChangeKeepsTheLogin)
{
    struct Case
    {
        const char* name;
        bool loggedIn;
        bool busy;
        QString oldPassword, newPassword, repeated;
        PasswordChange::Outcome outcome;
        int requests;
    };
    const QString o = QStringLiteral("old"), n = QStringLiteral("new");
    const Case cases[] = {
        {"refused", true, false, o, n, n, PasswordChange::Outcome::Refused, 1},
        {"another login runs", true, true, o, n, n, PasswordChange::Outcome::Busy, 0},
        {"nobody logged in", false, false, o, n, n, PasswordChange::Outcome::NotLoggedIn, 0},
        {"repetition differs", true, false, o, n, QStringLiteral("neW"), PasswordChange::Outcome::Mismatch, 0},
        {"empty", true, false, o, QString(), QString(), PasswordChange::Outcome::Empty, 0},
        {"same as the old", true, false, o, o, o, PasswordChange::Outcome::Unchanged, 0},
    };
    answerChange("<string>false</string>");
    for (const Case& c : cases) {
        m_server.clearRequests();
        rememberAccount(QStringLiteral("reader"), o, c.loggedIn, true);
        gbLoginInProgress = c.busy;
        EXPECT_EQ(change(c.oldPassword, c.newPassword, c.repeated), c.outcome) << c.name;
        EXPECT_EQ(m_server.requestCount(), c.requests) << c.name;
        EXPECT_EQ(gbLoginInProgress.load(), c.busy) << c.name;
        EXPECT_EQ(current()->UserPassWord, o) << c.name;
        EXPECT_EQ(current()->bHaveLand, c.loggedIn) << c.name;
    }
    EXPECT_EQ(m_shell->cancels, 0);
}

TEST_F(PasswordChangeFlow, TheProfileWindowOpensTheChangeWindowAndShowsWhoIsLoggedInAfterIt)
{
    rememberAccount(QStringLiteral("reader"), QStringLiteral("old"), true, true, QStringLiteral("5"));
    m_shell->current = CommonFunction::parseXML(userReply(5));
    answerChange("<string>true</string>");
    // The re-login is refused: the new password is not the service's yet.
    serve(LoopbackReply::text(200, userReply(99999), "text/xml"));

    const auto profile = m_profiles.make();
    profile->show();
    ASSERT_TRUE(profile->modefyPwdButton()->isEnabled());
    profile->modefyPwdButton()->click();
    modefyPwdWD* window = profile->modefyPwd();
    ASSERT_TRUE(window && window->isVisible());
    profile->modefyPwdButton()->click();
    EXPECT_EQ(profile->modefyPwd(), window) << "a second change window";
    window->oldPasswordField()->setText(QStringLiteral("old"));
    window->newPasswordField()->setText(QStringLiteral("new"));
    window->repeatedPasswordField()->setText(QStringLiteral("new"));
    window->okButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !window->isVisible(); })) << qPrintable(window->statusText());
    EXPECT_EQ(window->statusText(), PasswordChange::message(PasswordChange::Outcome::ChangedLoggedOut));
    EXPECT_FALSE(current()->bHaveLand);
    EXPECT_EQ(profile->profileText(), QStringLiteral("未登录"));
    EXPECT_FALSE(profile->modefyPwdButton()->isEnabled());
}

// The change window closes as the change succeeds: its result is a toast over the profile window
// that stays, whole, whether the re-login after the change succeeds or not; the profile window
// keeps its size.
TEST_F(PasswordChangeFlow, AnAcceptedChangesResultShowsOverTheProfileWindowAsTheChangeWindowCloses)
{
    struct Case
    {
        const char* name;
        int reloginUserId;  // the re-login's answer; not the account's: refused
        PasswordChange::Outcome outcome;
    };
    const Case cases[] = {
        {"logged in again", 5, PasswordChange::Outcome::Changed},
        {"re-login refused", 99999, PasswordChange::Outcome::ChangedLoggedOut},
    };
    answerChange("<string>true</string>");
    DJProgressHUD* hud = DJProgressHUD::instance();
    for (const Case& c : cases) {
        rememberAccount(QStringLiteral("reader"), QStringLiteral("old"), true, true, QStringLiteral("5"));
        m_shell->current = CommonFunction::parseXML(userReply(5));
        serve(LoopbackReply::text(200, userReply(c.reloginUserId), "text/xml"));
        // A toast asked for while the HUD shows is dropped: the last case's must be gone.
        ASSERT_TRUE(waitUntil([&] { return !hud->displaying(); })) << c.name;

        const auto profile = m_profiles.make();
        profile->show();
        const QSize profileSize = profile->size();
        modefyPwdWD* window = changePassword(*profile);
        ASSERT_TRUE(window) << c.name;
        ASSERT_TRUE(waitUntil([&] { return !window->isVisible(); })) << c.name;

        const QString message = PasswordChange::message(c.outcome);
        EXPECT_TRUE(hud->displaying()) << c.name;
        ASSERT_TRUE(hud->label()) << c.name;
        EXPECT_EQ(hud->label()->text().toStdString(), message.toStdString()) << c.name;
        EXPECT_TRUE(hud->label()->isVisible()) << c.name;
        QWidget* host = hud->parentView();
        ASSERT_TRUE(host) << c.name;
        EXPECT_TRUE(host->isVisible()) << c.name;
        EXPECT_GE(host->width(), hud->pSize().width()) << c.name << ": the toast is wider than what it covers";
        const QPoint middle = profile->mapToGlobal(profile->rect().center());
        const QPoint toastMiddle = host->mapToGlobal(host->rect().center());
        EXPECT_LE((toastMiddle - middle).manhattanLength(), 2) << c.name << ": the toast is not over the profile window";
        EXPECT_EQ(profile->size(), profileSize) << c.name;
        // The toast goes, as every toast does, a second later.
        EXPECT_TRUE(waitUntil([&] { return !hud->displaying(); })) << c.name;
        // Opened again after the change and after an Escape: empty, the typing in the old password.
        for (int again = 0; again < 2 && c.outcome == PasswordChange::Outcome::Changed; ++again) {
            profile->modefyPwdButton()->click();
            EXPECT_EQ(window->statusText() + window->newPasswordField()->text(), QString()) << again;
            EXPECT_EQ(window->focusWidget(), window->oldPasswordField()) << again;
            window->newPasswordField()->setText(QStringLiteral("typed"));
            window->repeatedPasswordField()->setFocus();
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(window, &escape);
        }
    }
}

// The change is the program's, not the window's: its answer is told over the profile window shown
// by then, else over the main window (also when no profile window is left), and the new password
// is kept.
TEST_F(PasswordChangeFlow, AChangeOutlivesItsProfileWindowAndItsAnswerIsToldWhereTheReaderIs)
{
    DJProgressHUD* hud = DJProgressHUD::instance();
    const QString changed = PasswordChange::message(PasswordChange::Outcome::Changed);
    enum class Profile { Shown, Hidden, Gone };
    for (const Profile left : {Profile::Shown, Profile::Hidden, Profile::Gone}) {
        const int c = static_cast<int>(left);
        m_shell->messages.clear();
        ASSERT_TRUE(waitUntil([&] { return !hud->displaying(); }));
        HeldReply held;
        auto profile = changeFromAReplacedWindow(held, "<string>true</string>");
        profile->setVisible(left == Profile::Shown);
        if (left == Profile::Gone)
            profile.reset();
        held.release();
        ASSERT_TRUE(waitUntil([] { return !gbLoginInProgress; })) << c;
        EXPECT_EQ(current()->UserPassWord, QStringLiteral("new")) << c;
        EXPECT_EQ(m_shell->messages, left == Profile::Shown ? QStringList() : QStringList{changed}) << c;
        const QWidget* toastOver = hud->displaying() ? hud->parentView()->parentWidget() : nullptr;
        EXPECT_EQ(toastOver, left == Profile::Shown ? profile.get() : nullptr) << c;
        EXPECT_EQ(hud->displaying() ? hud->label()->text() : QString(), left == Profile::Shown ? changed : QString()) << c;
    }
}

// A change window opened while a change is on its way says so and takes no other; the answer it
// then shows is that change's.
TEST_F(PasswordChangeFlow, AChangeWindowShownWhileAChangeIsOnItsWayTellsOnlyThatChangesAnswer)
{
    HeldReply held;
    const auto profile = changeFromAReplacedWindow(held, "<string>false</string>");
    profile->modefyPwdButton()->click();
    modefyPwdWD* window = profile->modefyPwd();
    EXPECT_EQ(window->statusText(), QStringLiteral("正在修改密码…"));
    EXPECT_FALSE(window->okButton()->isEnabled());
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
    QApplication::sendEvent(window->newPasswordField(), &typed);
    EXPECT_EQ(window->newPasswordField()->text(), QString()) << "another change typed while one is on its way";
    held.release();
    ASSERT_TRUE(waitUntil([] { return !gbLoginInProgress; }));
    EXPECT_EQ(window->statusText(), PasswordChange::message(PasswordChange::Outcome::Refused));
    EXPECT_TRUE(window->okButton()->isEnabled() && !window->newPasswordField()->isReadOnly());
}

// The result's toast taken away early (another dismissal), a toast shown after it outlives the
// result's second.
TEST_F(PasswordChangeFlow, AResultsToastLeavesALaterToastShowing)
{
    rememberAccount(QStringLiteral("reader"), QStringLiteral("old"), true, true, QStringLiteral("5"));
    m_shell->current = CommonFunction::parseXML(userReply(5));
    answerChange("<string>true</string>");
    serve(LoopbackReply::text(200, userReply(5), "text/xml"));
    DJProgressHUD* hud = DJProgressHUD::instance();
    ASSERT_TRUE(waitUntil([&] { return !hud->displaying(); }));

    const auto profile = m_profiles.make();
    profile->show();
    modefyPwdWD* window = changePassword(*profile);
    ASSERT_TRUE(window);
    ASSERT_TRUE(waitUntil([&] { return !window->isVisible() && hud->displaying(); }));
    const QPointer<QWidget> result = hud->parentView();
    ASSERT_TRUE(result);
    DJProgressHUD::dismiss();
    ASSERT_TRUE(waitUntil([&] { return !hud->displaying(); }));

    QWidget other;
    other.resize(400, 300);
    other.show();
    const QString later = QStringLiteral("later");
    DJProgressHUD::showMessage(later, &other);
    ASSERT_TRUE(hud->displaying());
    // The result's second is over when its toast's window is gone (or when it took the later
    // toast away).
    ASSERT_TRUE(waitUntil([&] { return result.isNull() || !hud->displaying(); })) << "the result's toast outlived its second";
    ASSERT_TRUE(drainMainQueue());
    EXPECT_TRUE(hud->displaying()) << "the result's timer took the later toast away";
    EXPECT_EQ(hud->label()->text(), later);
    EXPECT_EQ(hud->parentView(), &other);
    DJProgressHUD::dismiss();
    EXPECT_TRUE(waitUntil([&] { return !hud->displaying(); }));
}

TEST_F(AccountFlows, ALoginThatKeepsNoPasswordActsWithItForTheRunUntilTheLogOut)
{
    const auto forget = onScopeExit([] { SessionAccount::loggedOut(); });
    serve(LoopbackReply::text(200, userReply(31), "text/xml"));
    UserLogin login;
    SignalLog done(&login, &UserLogin::finished);
    login.login(QStringLiteral("reader"), QStringLiteral("secret"), false);
    ASSERT_TRUE(waitUntil([&] { return done.size() == 1; }));
    ASSERT_EQ(std::get<0>(done.at(0)), UserLogin::Outcome::LoggedIn);
    EXPECT_TRUE(current()->UserPassWord.isEmpty()) << "a password the reader did not want kept was stored";

    const UserLandDataPtr acting = SessionAccount::current();
    ASSERT_TRUE(acting) << "the logged-in reader cannot act";
    EXPECT_EQ(acting->UserAccount, QStringLiteral("reader"));
    EXPECT_EQ(acting->UserPassWord, QStringLiteral("secret"));
    // Only the gold-coin tasks wait for a remembered password.
    EXPECT_FALSE(AccountRequests::rememberedLogin());

    AccountRequests::logOut();
    EXPECT_FALSE(SessionAccount::current());
    rememberAccount(QStringLiteral("reader"), QString(), true, false);
    EXPECT_FALSE(SessionAccount::current()) << "the log-out left the password in memory";
}

TEST_F(AccountFlows, EachShowingOfTheLoginWindowTakesItsFieldsFromTheStore)
{
    serve(LoopbackReply::text(200, userReply(31), "text/xml"));
    UserLandWD window;
    window.show();
    window.accountField()->setText(QStringLiteral("reader"));
    window.passwordField()->setText(QStringLiteral("secret"));
    window.rememberBox()->setChecked(false);
    window.loginButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !window.isVisible(); }));
    ASSERT_EQ(window.result(), QDialog::Accepted);

    // Logged out, the window comes back without the password it was not asked to keep.
    AccountRequests::logOut();
    window.show();
    const UserLandDataPtr stored = current();
    EXPECT_EQ(window.accountField()->text(), stored ? stored->UserAccount : QString());
    EXPECT_EQ(window.passwordField()->text(), QString());
    EXPECT_FALSE(window.rememberBox()->isChecked());
    EXPECT_EQ(window.statusText(), QString());
    window.hide();

    // Another account remembered meanwhile: the window shows it, with its password.
    rememberAccount(QStringLiteral("other"), QStringLiteral("kept"), false, true);
    window.show();
    EXPECT_EQ(window.accountField()->text(), QStringLiteral("other"));
    EXPECT_EQ(window.passwordField()->text(), QStringLiteral("kept"));
    EXPECT_TRUE(window.rememberBox()->isChecked());
}

// The kept window opens with the focus in its first empty field, not where the reader left it.
TEST_F(AccountFlows, TheLoginWindowOpensWithTheFocusInItsFirstEmptyField)
{
    rememberAccount(QStringLiteral("reader"), QString(), true, false);
    UserLandWD window;
    window.show();
    EXPECT_EQ(window.focusWidget(), window.passwordField()) << "the account is kept";
    window.hide();
    AccountRequests::logOut(true);
    window.show();
    EXPECT_EQ(window.focusWidget(), window.accountField()) << "after the log-out";
}

// A request carrying the reader's credentials (a score is a GET with the user hash in its query)
// leaves nothing in the URL cache, and a connection lost before the answer does not send it again.
TEST_F(AccountFlows, AGetCarryingTheUserHashIsNeitherCachedNorSentAgain)
{
    URLCacheScope cache;
    const QString path = QStringLiteral("/api/newsgrade/create");
    const QString hash = AccountRequests::userHash(QStringLiteral("reader"), QStringLiteral("pw"));
    const auto send = [&](const QString& newsId) {
        auto ended = std::make_shared<bool>(false);
        AFNetManager::requestWithUrlString(
            m_server.url(path).toString(), true,
            QVariantMap{{QStringLiteral("user"), hash}, {QStringLiteral("newsid"), newsId}, {QStringLiteral("grade"), QStringLiteral("5")}},
            1, nullptr, [ended](const std::shared_ptr<URLSessionDataTask>&, const QVariant&) { *ended = true; },
            [ended](const std::shared_ptr<URLSessionDataTask>&, const Error&) { *ended = true; });
        return waitUntil([ended] { return *ended; });
    };
    m_server.route("GET", path, LoopbackReply::text(200, "{\"status\":1}").withHeader("Cache-Control", "max-age=600"));
    ASSERT_TRUE(send(QStringLiteral("123456")));
    ASSERT_EQ(m_server.requestCount(), 1);
    EXPECT_FALSE(cache.holds(m_server.url(m_server.requests().first().pathAndQuery())));

    m_server.route("GET", path, LoopbackReply::closeConnection());
    ASSERT_TRUE(send(QStringLiteral("123457")));
    EXPECT_EQ(m_server.requestCount(), 2) << "sent again after the connection dropped";
}
