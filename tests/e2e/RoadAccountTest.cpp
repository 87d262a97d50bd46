// The account road: the demo account logs in through the login window and its favourites are
// synchronised with the stand-in; a vote on a comment of the open article's comment page. Run
// with the other road tests in one program (these come first), each puts back what it changed:
// the login, the clock, the comment page over the article.

#include "RoadFixture.h"

#include "ScopeGuard.h"
#include "TestEnvironment.h"
#include "account/AccountRequests.h"
#include "account/views/UserLandWD.h"
#include "article/views/RightViewController.h"
#include "comments/CommentVoter.h"
#include "comments/views/CommontView.h"
#include "database/DatabaseOperate.h"
#include "platform/Clock.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QWebEnginePage>

namespace road {
namespace {

const QString kAccountHost = QStringLiteral("account.tidwen.example");
const QString kDemoAccount = QStringLiteral("tidwen_demo");

// Logs the demo account in through the login window; true once the window closed accepted.
bool logInAsDemo()
{
    UserLandWD window;
    window.show();
    window.accountField()->setText(kDemoAccount);
    window.passwordField()->setText(QStringLiteral("demo2026"));
    window.rememberBox()->setChecked(true);
    window.loginButton()->click();
    const bool closed = waitUntil([&] { return !window.isVisible(); }, 60000);
    if (!closed)
        ADD_FAILURE() << "the login window still shows: " << qPrintable(window.statusText());
    return closed && window.result() == QDialog::Accepted;
}

QStringList favouriteIds()
{
    QList<Favrite_DataPtr> items;
    DatabaseOperate::Lease store;
    if (store)
        store->Favrite_Data_getAllFavriteURLAndTitleData(items, kDemoAccount);
    QStringList ids;
    for (const Favrite_DataPtr& item : items)
        ids.append(item->newsID);
    return ids;
}

}  // namespace

TEST_F(Road, DemoLoginUploadsChangedFavouritesAndALaterLoginDownloadsThem)
{
    const FeedEntry first = s_feed.first();
    {
        DatabaseOperate::Lease store;
        ASSERT_TRUE(store);
        Favrite_Data saved;
        saved.newsID = QString::number(first.id);
        saved.newsTitle = first.title;
        saved.userAccount = kDemoAccount;
        ASSERT_TRUE(store->Favrite_Data_setNewsFavriteData(saved, false));
    }
    const auto restore = onScopeExit([start = Clock::now()] {
        AccountRequests::logOut();
        Clock::setNow(start);
    });
    const qint64 before = lastSeq(service());
    ASSERT_TRUE(logInAsDemo()) << "the demo login did not succeed";

    const auto version = waitForRequest(service(), QStringLiteral("GET"), kAccountHost,
                                        QStringLiteral("/olvenna/GetSyncFileVer\\.aspx\\?.*"), before, 20000);
    ASSERT_TRUE(version) << "no favourites version request:\n" << qPrintable(describeRequests(service(), before));
    EXPECT_EQ(version->field(QStringLiteral("user")), kDemoAccount);
    const auto upload = waitForRequest(service(), QStringLiteral("POST"), kAccountHost,
                                       QStringLiteral("/olvenna/userfileupload\\.aspx"), version->seq, 20000);
    ASSERT_TRUE(upload) << "no favourites upload after the version:\n" << qPrintable(describeRequests(service(), before));
    EXPECT_EQ(upload->field(QStringLiteral("favourites")), QStringLiteral("1"));  // read back from favorite.dat
    EXPECT_EQ(upload->field(QStringLiteral("ver")), QStringLiteral("1"));
    EXPECT_TRUE(waitUntil([] {
        DatabaseOperate::Lease store;
        return store && !store->FavriteUserAndContents_bhaveModifiedByUser(kDemoAccount);
    }, 30000)) << "the changed mark was not cleared";

    // This machine forgets its copy; the next login after the refresh interval brings it back.
    {
        DatabaseOperate::Lease store;
        ASSERT_TRUE(store->Favrite_Data_deleteAllFavriteDataByUserAccount(kDemoAccount));
        FavriteUserAndContents row;
        row.UserAccount = kDemoAccount;
        ASSERT_TRUE(store->FavriteUserAndContents_setNewsData(row));
    }
    ASSERT_TRUE(favouriteIds().isEmpty());
    Clock::advance(181 * 1000);
    const qint64 again = lastSeq(service());
    ASSERT_TRUE(logInAsDemo());
    const auto secondVersion = waitForRequest(service(), QStringLiteral("GET"), kAccountHost,
                                              QStringLiteral("/olvenna/GetSyncFileVer\\.aspx\\?.*"), again, 20000);
    ASSERT_TRUE(secondVersion) << qPrintable(describeRequests(service(), again));
    const auto download = waitForRequest(service(), QStringLiteral("GET"), kAccountHost,
                                         QStringLiteral("/olvenna/GetUserFile\\.aspx\\?.*"), secondVersion->seq, 20000);
    ASSERT_TRUE(download) << "no favourites download:\n" << qPrintable(describeRequests(service(), again));
    EXPECT_TRUE(waitUntil([&] { return favouriteIds() == QStringList{QString::number(first.id)}; }, 30000))
        << "the downloaded favourites were not stored";
    EXPECT_TRUE(matching(service(), QStringLiteral("POST"), kAccountHost, QStringLiteral("/olvenna/userfileupload\\.aspx"), again)
                    .isEmpty());
}

TEST_F(Road, AVoteOnACommentIsSentAndShownAsTheUsersOwn)
{
    RightViewController* pane = detailPane();
    ASSERT_NE(pane, nullptr);
    // The first article opens by itself at start-up; its comments are asked for like the toolbar does.
    ASSERT_TRUE(waitUntil([&] { return !matching(service(), QStringLiteral("GET"), QStringLiteral("api.tidwen.example"),
                                                 QStringLiteral("/xml/newscontent/.*"))
                                            .isEmpty(); }, 20000));
    const qint64 before = lastSeq(service());
    pane->openComment();
    // The article comes back when the test ends, as the toolbar's comment button brings it back.
    const auto restore = onScopeExit([pane] {
        if (const CommontView* page = pane->findChild<CommontView*>(); page && page->isVisible())
            pane->openComment();
    });
    ASSERT_TRUE(waitUntil([&] { return pane->findChild<CommontView*>() != nullptr; }, 20000)) << "no comment page";
    CommontView* comments = pane->findChild<CommontView*>();
    ASSERT_TRUE(waitUntil(
        [&] {
            return runScript(comments->page(), QStringLiteral("document.querySelectorAll('.comment .support').length"))
                       .toInt() > 0;
        },
        20000))
        << "the comment page shows no comment:\n" << qPrintable(describeRequests(service(), before));
    const QString commentId =
        runScript(comments->page(), QStringLiteral("document.querySelector('.comment').getAttribute('data-ci')")).toString();
    ASSERT_FALSE(commentId.isEmpty());
    const QString countBefore =
        runScript(comments->page(), QStringLiteral("document.querySelector('.comment .support').textContent")).toString();

    runScript(comments->page(), QStringLiteral("document.querySelector('.comment .support').click(); true"));
    const auto vote = waitForRequest(service(), QStringLiteral("POST"), QStringLiteral("api.tidwen.example"),
                                     QStringLiteral("/api/comment\\.asmx/CommentVote"), before, 20000);
    ASSERT_TRUE(vote) << "no CommentVote request:\n" << qPrintable(describeRequests(service(), before));
    EXPECT_EQ(vote->field(QStringLiteral("strCommentID")), commentId);
    EXPECT_EQ(vote->field(QStringLiteral("type")), QStringLiteral("1"));
    EXPECT_TRUE(waitUntil(
        [&] {
            return runScript(comments->page(), QStringLiteral("document.querySelectorAll('.comment .support.voted').length"))
                       .toInt() == 1;
        },
        20000))
        << "the vote is not shown";
    EXPECT_NE(runScript(comments->page(), QStringLiteral("document.querySelector('.comment .support').textContent")).toString(),
              countBefore);
    EXPECT_EQ(CommentVoter::recordedVote(commentId), CommentVoter::Support);
}

}  // namespace road
