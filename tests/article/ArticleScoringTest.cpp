#include "ArticleTestSupport.h"

#include "article/GoldCoinTask.h"
#include "database/DatabaseOperate.h"
#include "database/SessionAccount.h"
#include "foundation/CommonFunction.h"
#include "platform/Clock.h"
#include "platform/UserDefaults.h"
#include "ScopeGuard.h"

#include <QUrlQuery>

class ArticleScoringTest : public ArticleFixture
{
protected:
    void SetUp() override
    {
        ArticleFixture::SetUp();
        server.route("GET", QStringLiteral("/xml/newscontent/0/88.xml"),
                     LoopbackReply::text(200, articleXml(QStringLiteral("88"), QStringLiteral("t"), QStringLiteral("<p>x</p>"))));
        server.route("GET", QStringLiteral("/api/newsgrade/get"), LoopbackReply::text(200, "{\"g1\":1,\"g2\":2,\"g3\":3,\"Grade\":\"4\"}"));
        pane = std::make_unique<ArticlePane>(&host);
        pane->show(item(QStringLiteral("88")));
        ASSERT_TRUE(waitUntil([&] { return !host.pages.isEmpty() && !pane->scoreDic().isEmpty(); }));
        pane->pageLoadFinished();
        host.scripts.clear();
        server.clearRequests();
    }
    // Score rows stay in the store between tests: each test reads as its own user.
    void logIn(int64_t userId = 31)
    {
        auto user = std::make_shared<NSMyUserInfo>();
        user->userID = userId;
        delegate->user = user;
    }
    void TearDown() override
    {
        pane.reset();
        ArticleFixture::TearDown();
    }
    int scoreRequests() const { return static_cast<int>(requestsTo(QStringLiteral("/api/newsgrade/create")).size()); }

    std::unique_ptr<ArticlePane> pane;
};

TEST_F(ArticleScoringTest, LoggedOutReadersAreAskedToLogIn)
{
    pane->postScore(2, QStringLiteral("88"));
    EXPECT_EQ(host.loginPrompts, 1);
    EXPECT_FALSE(pane->isScoring());
    pane->postVote(QStringLiteral("77"), QStringLiteral("3,"));
    EXPECT_EQ(host.loginPrompts, 2);
}

TEST_F(ArticleScoringTest, ARefusedGateSendsNothingAndKeepsTheBlock)
{
    logIn();
    rememberAccount(false);
    pane->postScore(2, QStringLiteral("88"));
    // The gate decides before postScore returns; the pause is room for a request that must not
    // reach the server.
    ASSERT_TRUE(drainMainQueue());
    spin(100);
    EXPECT_EQ(scoreRequests(), 0);
    EXPECT_TRUE(host.scripts.isEmpty());
    EXPECT_FALSE(pane->isScoring());
}

TEST_F(ArticleScoringTest, AScoredArticleRefusesASecondScore)
{
    logIn();
    pane->postScore(-1, QStringLiteral("88"));
    EXPECT_EQ(host.alerts, QStringList{QStringLiteral("每篇文章只能打分一次")});
    EXPECT_EQ(scoreRequests(), 0);
}

TEST_F(ArticleScoringTest, AnAcceptedScoreIsStoredAndShown)
{
    logIn();
    rememberAccount();
    server.route("GET", QStringLiteral("/api/newsgrade/create"), LoopbackReply::text(200, "{\"status\":1}"));
    pane->postScore(2, QStringLiteral("88"));
    pane->postScore(0, QStringLiteral("88"));  // a double click sends one request
    ASSERT_FALSE(host.scripts.isEmpty());
    EXPECT_TRUE(host.scripts.first().contains(QStringLiteral("activehighscore")));  // shown at once
    ASSERT_TRUE(waitUntil([&] { return !pane->isScoring(); }));
    EXPECT_EQ(scoreRequests(), 1);
    const LoopbackRequest request = requestsTo(QStringLiteral("/api/newsgrade/create")).first();
    EXPECT_TRUE(request.query.contains(QStringLiteral("grade=2")));
    EXPECT_TRUE(request.query.contains(QStringLiteral("newsid=88")));
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    EXPECT_EQ(store->NewsScore_getScore(QStringLiteral("88"), QStringLiteral("31")), QStringLiteral("2"));
    EXPECT_TRUE(host.scripts.last().contains(QStringLiteral("activehighscore")));
}

TEST_F(ArticleScoringTest, ARefusedOrFailedScorePutsTheButtonsBack)
{
    logIn(32);
    rememberAccount();
    for (const LoopbackReply& reply : {LoopbackReply::text(200, "{\"status\":0}"), LoopbackReply::text(500, "x"),
                                       LoopbackReply::text(200, "[1]")}) {
        server.route("GET", QStringLiteral("/api/newsgrade/create"), reply);
        host.scripts.clear();
        pane->postScore(1, QStringLiteral("88"));
        ASSERT_TRUE(waitUntil([&] { return !pane->isScoring(); }));
        ASSERT_EQ(host.scripts.size(), 2);
        EXPECT_TRUE(host.scripts.first().contains(QStringLiteral("activemidscore")));
        EXPECT_TRUE(host.scripts.last().contains(QStringLiteral("clickNewScore(1);")));
        EXPECT_FALSE(host.scripts.last().contains(QStringLiteral("activemidscore")));
    }
}

TEST_F(ArticleScoringTest, AVoteSendsItsItemsAndRestoresTheButton)
{
    logIn();
    rememberAccount();
    server.route("POST", QStringLiteral("/api/vote.asmx/PostVote"), LoopbackReply::text(200, "<string>ok</string>"));
    pane->postVote(QStringLiteral("77"), QStringLiteral("3,4,"));
    EXPECT_EQ(host.scripts, QStringList{QStringLiteral("voteButtonState('正在投票...')")});
    ASSERT_TRUE(waitUntil([&] { return host.scripts.size() == 2; }));
    EXPECT_EQ(host.scripts.last(), QStringLiteral("voteButtonState('投票')"));
    const LoopbackRequest post = requestsTo(QStringLiteral("/api/vote.asmx/PostVote")).first();
    EXPECT_TRUE(post.body.contains("items=3%2C4&")) << post.body.toStdString();
    EXPECT_TRUE(post.body.contains("voteid=77"));
    EXPECT_TRUE(waitUntil([&] { return requestsTo(QStringLiteral("/xml/vote/77_31.xml")).size() == 1; }));
    pane->postVoteempty();
    EXPECT_EQ(host.alerts.last(), QStringLiteral("至少选择一项"));
}

// A score is judged by the page that sent it: one from a page of another article (the page the
// reader is leaving) does nothing at all.
TEST_F(ArticleScoringTest, AScoreFromAnotherArticlesPageDoesNothing)
{
    logIn();
    rememberAccount();
    server.route("GET", QStringLiteral("/api/newsgrade/create"), LoopbackReply::text(200, "{\"status\":1}"));
    for (const long grade : {2L, -1L}) {
        pane->postScore(grade, QStringLiteral("123456"));
        EXPECT_FALSE(pane->isScoring());
    }
    // Refused before postScore returns; the pause is room for a request that must not reach the server.
    ASSERT_TRUE(drainMainQueue());
    spin(100);
    EXPECT_EQ(scoreRequests(), 0);
    EXPECT_TRUE(host.scripts.isEmpty());
    EXPECT_TRUE(host.alerts.isEmpty());
    EXPECT_EQ(host.loginPrompts, 0);
}

TEST_F(ArticleScoringTest, ALoginThatKeepsNoPasswordScoresAndVotesWithThePasswordOfThisRun)
{
    logIn();
    rememberAccount(false, QStringLiteral("reader"), QString());
    SessionAccount::loggedIn(QStringLiteral("reader"), QStringLiteral("p@ss"));
    const auto forget = onScopeExit([] { SessionAccount::loggedOut(); });
    server.route("GET", QStringLiteral("/api/newsgrade/create"), LoopbackReply::text(200, "{\"status\":1}"));
    server.route("POST", QStringLiteral("/api/vote.asmx/PostVote"), LoopbackReply::text(200, "<string>ok</string>"));
    pane->postScore(2, QStringLiteral("88"));
    ASSERT_TRUE(waitUntil([&] { return !pane->isScoring(); }));
    pane->postVote(QStringLiteral("77"), QStringLiteral("3,"));
    ASSERT_TRUE(waitUntil([&] { return requestsTo(QStringLiteral("/api/vote.asmx/PostVote")).size() == 1; }));
    EXPECT_EQ(host.loginPrompts, 0);

    const QString hash = QStringLiteral("reader") + QChar(0x0C) + QStringLiteral("p@ss");
    const QList<LoopbackRequest> scores = requestsTo(QStringLiteral("/api/newsgrade/create"));
    ASSERT_EQ(scores.size(), 1);
    EXPECT_EQ(CommonFunction::DecypteUTF8(QUrlQuery(scores.first().query).queryItemValue(QStringLiteral("user")), kDesKeyRequest), hash);
    const QUrlQuery vote(QString::fromUtf8(requestsTo(QStringLiteral("/api/vote.asmx/PostVote")).first().body));
    EXPECT_EQ(CommonFunction::DecypteUTF8(vote.queryItemValue(QStringLiteral("userhash"), QUrl::FullyDecoded), kDesKeyRequest), hash);
}
