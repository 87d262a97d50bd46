#include "ProgramSeams.h"
#include "PushTestSupport.h"

#include "account/AccountRequests.h"
#include "app/reminders/ReplyReminders.h"
#include "app/views/LeftViewController.h"
#include "app/views/MainViewController.h"
#include "app/views/MainWindowController.h"
#include "app/wiring/ProgramWiring.h"
#include "database/SessionAccount.h"
#include "database/SettingsDatabaseOperate.h"
#include "foundation/CommonFunction.h"
#include "foundation/GlobalValues.h"

namespace {

const QString kCommentPath = QStringLiteral("/s/reply.asmx/GetReplyCount");
const QString kForumPath = QStringLiteral("/community/s/reply.asmx/GetReplyCount");
const QString kTailPath = QStringLiteral("/api/user.asmx/Tail");

bool commentMarked(const QString& id)
{
    DatabaseOperate::Lease store;
    return store && store->CommentManageMaxId_hasRemind(id);
}

bool forumMarked(const QString& id)
{
    DatabaseOperate::Lease store;
    return store && store->ForumManageMaxId_hasRemind(id);
}

NSMyUserInfoPtr userWithId(int64_t id)
{
    auto user = std::make_shared<NSMyUserInfo>();
    user->userID = id;
    return user;
}

}  // namespace

class ReminderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        shell.pointUrls({{2, kCommentPath}, {77, kTailPath}});
        gbReplyRemind = true;
    }

    ShellServer shell;
    const decltype(restoreOnScopeExit(gbReplyRemind)) restoreRemind = restoreOnScopeExit(gbReplyRemind);
    NSMyUserInfoPtr user;
    ReplyReminders reminders{[this] { return user; }};
};

TEST_F(ReminderTest, CommentCountMarksOnlyAPositiveCountForTheLoggedInUserWithRemindersOn)
{
    struct Case
    {
        const char* name;
        int64_t id;
        QByteArray reply;
        bool remindersOn;
        bool loggedOutMeanwhile;
        bool marked;
    };
    const std::vector<Case> cases = {
        {"three replies", 5101, "3", true, false, true},
        {"no reply", 5102, "0", true, false, false},
        {"not a number", 5103, "abc", true, false, false},
        {"negative", 5104, "-2", true, false, false},
        {"reminders off", 5105, "3", false, false, false},
        {"logged out before the reply", 5106, "3", true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString id = QString::number(c.id);
        {
            DatabaseOperate::Lease store;
            ASSERT_TRUE(store);
            store->CommentManageMaxId_setMaxId(40 + static_cast<int>(c.id % 100), id);
        }
        shell.server.clearRequests();
        gbReplyRemind = c.remindersOn;
        user = userWithId(c.id);
        const NSMyUserInfoPtr someoneElse = userWithId(c.id + 1000);
        shell.server.route("POST", kCommentPath, [&, reply = c.reply](const LoopbackRequest&) {
            return ShellServer::value(reply);
        });
        reminders.downloadUserRemindCount(id);
        if (c.loggedOutMeanwhile)
            user = someoneElse;

        ASSERT_TRUE(waitUntil([&] { return shell.server.requestCount() == 1; })) << "the poll is always sent";
        const QMap<QString, QString> form = ShellServer::form(shell.server.requests().first());
        EXPECT_EQ(CommonFunction::DecypteUTF8(form.value(QStringLiteral("strUserID")), kDesKeyRequest), id);
        EXPECT_EQ(form.value(QStringLiteral("commentID")), QString::number(40 + c.id % 100));
        if (c.marked)
            EXPECT_TRUE(waitUntil([&] { return commentMarked(id); }));
        else {
            settle();
            EXPECT_FALSE(commentMarked(id));
            EXPECT_FALSE(commentMarked(QString::number(c.id + 1000)));
        }
    }
}

TEST_F(ReminderTest, MarkedUserOrEmptyIdSendsNothing)
{
    {
        DatabaseOperate::Lease store;
        ASSERT_TRUE(store);
        store->CommentManageMaxId_setRemind(true, QStringLiteral("5201"));
        store->ForumManageMaxId_setRemind(true, QStringLiteral("5201"));
    }
    user = userWithId(5201);
    reminders.downloadUserRemindCount(QStringLiteral("5201"));
    reminders.downloadUserForumRemindCount(QStringLiteral("5201"));
    reminders.downloadUserRemindCount(QString());
    reminders.downloadUserForumRemindCount(QStringLiteral(""));
    settle();
    EXPECT_EQ(shell.server.requestCount(), 0);
}

TEST_F(ReminderTest, ForumCountPostsToTheCommunityAddressWithRid)
{
    const QString id = QStringLiteral("5301");
    {
        DatabaseOperate::Lease store;
        ASSERT_TRUE(store);
        store->ForumManageMaxId_setMaxId(77, id);
    }
    shell.server.route("POST", kForumPath, ShellServer::value("2"));
    user = userWithId(5301);
    reminders.downloadUserForumRemindCount(id);
    ASSERT_TRUE(waitUntil([&] { return forumMarked(id); }));
    const QMap<QString, QString> form = ShellServer::form(shell.server.requests().first());
    EXPECT_EQ(shell.server.requests().first().path, kForumPath);
    EXPECT_EQ(form.value(QStringLiteral("rID")), QStringLiteral("77"));
    EXPECT_FALSE(form.contains(QStringLiteral("commentID")));
    EXPECT_FALSE(commentMarked(id)) << "the community count marks only community replies";
}

// Through the program's wiring: a poll that marks a reply for the logged-in reader shows the left
// bar's dot at once, and so does a poll that finds the reply already marked. The dot is the
// logged-in reader's: a log-out clears it, a login decides it again.
TEST_F(ReminderTest, APollThatMarksOrFindsAReplyShowsTheDotUntilTheLogOut)
{
    struct PlainPanes : PaneFactory
    {
        QWidget* makeCenterViewController(QWidget* parent) override { return new QWidget(parent); }
        QWidget* makeRightViewController(QWidget* parent) override { return new QWidget(parent); }
    };
    const auto restore = restoreProcessState();
    const auto uninstall = restoreProgramSeams();
    AppDelegate delegate;
    installProgramWiring(delegate);
    PaneFactory::install(std::make_shared<PlainPanes>());
    auto* window = dynamic_cast<MainWindowController*>(delegate.MainWindowController());
    ASSERT_NE(window, nullptr);
    QWidget* dot = window->MainVC()->leftViewController()->tixingImageView();
    ASSERT_TRUE(dot->isHidden());
    AccountShell::installed()->setCurrLandUser(userWithId(5501), false);
    shell.server.route("POST", kCommentPath, ShellServer::value("3"));

    AccountShell::installed()->downloadUserRemindCount(QStringLiteral("5501"));
    EXPECT_TRUE(waitUntil([&] { return !dot->isHidden(); })) << "the marked reply shows no dot";
    dot->hide();
    AccountShell::installed()->downloadUserRemindCount(QStringLiteral("5501"));
    EXPECT_FALSE(dot->isHidden()) << "the reply already marked shows no dot";
    EXPECT_EQ(shell.server.requestCount(), 1);
    AccountRequests::logOut();
    EXPECT_TRUE(dot->isHidden()) << "the log-out left the dot";
    AccountShell::installed()->setCurrLandUser(userWithId(5501), false);
    EXPECT_FALSE(dot->isHidden()) << "the login left the reader's marked reply unshown";
}

class DeviceTailTest : public ReminderTest
{
protected:
    void remember(const UserLandData& account)
    {
        SettingsDatabaseOperate::Lease settings;
        ASSERT_TRUE(settings);
        ASSERT_TRUE(settings->UserLandData_setNewsUserData(account));
    }
    void TearDown() override
    {
        SettingsDatabaseOperate::Lease settings;
        if (settings)
            settings->UserLandData_deleteUserDataByUserName(QStringLiteral("tail@tidwen.example"));
    }
    static UserLandData account(bool landed, bool remembered, const QString& password)
    {
        UserLandData a;
        a.UserAccount = QStringLiteral("tail@tidwen.example");
        a.UserPassWord = password;
        a.bRememberPassWord = remembered;
        a.bCurrentAccount = true;
        a.bHaveLand = landed;
        a.UserID = QStringLiteral("5401");
        return a;
    }
};

TEST_F(DeviceTailTest, UserHashIsAccountFormFeedPasswordAndBCloseFollowsTheProfile)
{
    remember(account(true, true, QStringLiteral("pa ss")));
    shell.server.route("POST", kTailPath, ShellServer::value("true"));
    user = userWithId(5401);
    user->iNoShowDevice = 1;
    MessageCapture log;

    reminders.postShowDevice();
    ASSERT_TRUE(waitUntil([&] { return shell.server.requestCount() == 1; }));
    QMap<QString, QString> form = ShellServer::form(shell.server.requests().first());
    EXPECT_EQ(CommonFunction::DecypteUTF8(form.value(QStringLiteral("userHash")), kDesKeyRequest),
              QStringLiteral("tail@tidwen.example") + QChar(0x0C) + QStringLiteral("pa ss"));
    EXPECT_EQ(form.value(QStringLiteral("bClose")), QStringLiteral("true"));
    EXPECT_TRUE(waitUntil([&] { return log.contains(QStringLiteral("小尾巴设置成功")); }));

    user->iNoShowDevice = 0;
    reminders.postShowDevice();
    ASSERT_TRUE(waitUntil([&] { return shell.server.requestCount() == 2; }));
    form = ShellServer::form(shell.server.requests().last());
    EXPECT_EQ(form.value(QStringLiteral("bClose")), QStringLiteral("false"));
}

TEST_F(DeviceTailTest, NothingIsSentWithoutALoggedInRememberedAccount)
{
    struct Case
    {
        const char* name;
        bool userLoggedIn;
        UserLandData stored;
    };
    const std::vector<Case> cases = {
        {"nobody logged in", false, account(true, true, QStringLiteral("pw"))},
        {"account not logged in", true, account(false, true, QStringLiteral("pw"))},
        {"password not remembered", true, account(true, false, QStringLiteral("pw"))},
        {"empty password", true, account(true, true, QStringLiteral(""))},
    };
    shell.server.route("POST", kTailPath, ShellServer::value("true"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        remember(c.stored);
        user = c.userLoggedIn ? userWithId(5401) : nullptr;
        reminders.postShowDevice();
    }
    settle();
    EXPECT_EQ(shell.server.requestCount(), 0);
}

TEST_F(DeviceTailTest, ALoginThatKeepsNoPasswordSetsTheTailWithThePasswordOfThisRun)
{
    remember(account(true, false, QString()));
    SessionAccount::loggedIn(QStringLiteral("tail@tidwen.example"), QStringLiteral("pa ss"));
    const auto forget = onScopeExit([] { SessionAccount::loggedOut(); });
    shell.server.route("POST", kTailPath, ShellServer::value("true"));
    user = userWithId(5401);
    reminders.postShowDevice();
    ASSERT_TRUE(waitUntil([&] { return shell.server.requestCount() == 1; }));
    EXPECT_EQ(CommonFunction::DecypteUTF8(ShellServer::form(shell.server.requests().first()).value(QStringLiteral("userHash")),
                                          kDesKeyRequest),
              QStringLiteral("tail@tidwen.example") + QChar(0x0C) + QStringLiteral("pa ss"));
}
