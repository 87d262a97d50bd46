// The reader's own input on the comment page while requests are on their way: votes on several
// comments, votes the service refuses, and the text of the write-comment window.

#include "CommentsTestSupport.h"
#include "HeldReply.h"

#include "comments/CommentVoter.h"
#include "comments/views/CommontView.h"
#include "comments/views/WriteCommentWD.h"
#include "ui/hud/DJProgressHUD.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QUrlQuery>

#include <memory>

namespace {

const QString kVotePath = QStringLiteral("/api/comment.asmx/CommentVote");
const QString kPostPath = QStringLiteral("/tidwen/postComment.aspx");

// The toast the HUD shows over that widget; "" when none shows there.
QString toastOver(const QWidget* widget)
{
    DJProgressHUD* hud = DJProgressHUD::instance();
    if (!hud->displaying() || hud->parentView() != widget || !hud->label())
        return QString();
    return hud->label()->text();
}

int posts(const LoopbackHttpServer& server, const QString& path)
{
    int n = 0;
    for (const LoopbackRequest& request : server.requests())
        n += request.method == "POST" && request.path == path;
    return n;
}

}  // namespace

class CommentPageVotes : public CommentRequests
{
protected:
    void SetUp() override
    {
        CommentRequests::SetUp();
        pointUrls({{23, m_server.url(QStringLiteral("/json/commentlist")).toString()},
                   {5, m_server.url(kVotePath).toString()}});
        // A toast of an earlier test would swallow this test's.
        DJProgressHUD::dismiss();
        ASSERT_TRUE(waitUntil([] { return !DJProgressHUD::instance()->displaying(); }, 30000));
        m_server.route("GET", listPath(QStringLiteral("4321")),
                       LoopbackReply::text(200, commentJsonp(QJsonArray{commentObject(1, QStringLiteral("甲"), QStringLiteral("一")),
                                                                        commentObject(2, QStringLiteral("乙"), QStringLiteral("二"))})));
        m_view.resize(600, 500);
        m_view.show();
        m_view.openNewsComment(QStringLiteral("4321"), QStringLiteral("文章"), QStringLiteral("http://www.tidwen.example/4321.htm"));
        ASSERT_TRUE(waitUntil([&] { return evaluate(m_view, QStringLiteral("document.querySelectorAll('.comment .support').length")).toInt() == 2; },
                              30000))
            << "the comment page never showed";
    }
    void TearDown() override
    {
        DJProgressHUD::dismiss();
        CommentRequests::TearDown();
    }

    void clickSupport(int row)
    {
        evaluate(m_view, QStringLiteral("document.querySelectorAll('.comment .support')[%1].click()").arg(row));
    }
    int votedOnPage() { return evaluate(m_view, QStringLiteral("document.querySelectorAll('.comment .support.voted').length")).toInt(); }

    CommontView m_view;
};

TEST_F(CommentPageVotes, VotesOnTwoCommentsWithTheFirstReplyDelayedAreBothSentStoredAndShown)
{
    HeldReply first;
    m_server.route("POST", kVotePath, first.handler(LoopbackReply::text(200, "<string>1</string>")));
    clickSupport(0);
    ASSERT_TRUE(waitUntil([&] { return posts(m_server, kVotePath) == 1; }, 30000)) << "the first vote was not sent";

    // The first server's thread holds the first reply: the second vote goes to a server of its own.
    LoopbackHttpServer second;
    second.route("POST", kVotePath, LoopbackReply::text(200, "<string>1</string>"));
    pointUrls({{23, m_server.url(QStringLiteral("/json/commentlist")).toString()}, {5, second.url(kVotePath).toString()}});
    clickSupport(1);
    ASSERT_TRUE(waitUntil([&] { return posts(second, kVotePath) == 1; }, 30000))
        << "the second vote was not sent while the first was on its way";
    first.release();

    ASSERT_TRUE(waitUntil([&] { return votedOnPage() == 2; }, 30000)) << "the page shows " << votedOnPage() << " votes";
    EXPECT_EQ(CommentVoter::recordedVote(QStringLiteral("1")), CommentVoter::Support);
    EXPECT_EQ(CommentVoter::recordedVote(QStringLiteral("2")), CommentVoter::Support);
    EXPECT_EQ(posts(m_server, kVotePath), 1);
    EXPECT_EQ(posts(second, kVotePath), 1);
}

TEST_F(CommentPageVotes, ASecondClickOnACommentWhoseVoteIsOnItsWaySaysSoAndSendsNothing)
{
    m_server.route("POST", kVotePath, [](const LoopbackRequest&) {
        LoopbackReply reply = LoopbackReply::text(200, "<string>1</string>");
        reply.delayMs = 300;
        return reply;
    });
    m_view.commentVoteCommentId(QStringLiteral("1"), CommentVoter::Support, false, true);
    m_view.commentVoteCommentId(QStringLiteral("1"), CommentVoter::Support, false, true);
    EXPECT_EQ(toastOver(&m_view), QStringLiteral("正在投票..."));
    ASSERT_TRUE(waitUntil([&] { return votedOnPage() == 1; }, 30000));
    EXPECT_EQ(posts(m_server, kVotePath), 1);
}

TEST_F(CommentPageVotes, AVoteTheServiceRefusesSaysItFailedAndLeavesTheCount)
{
    m_server.route("POST", kVotePath, LoopbackReply::text(500, "no"));
    clickSupport(0);
    ASSERT_TRUE(waitUntil([&] { return !toastOver(&m_view).isEmpty(); }, 30000)) << "the failure was not told";
    EXPECT_EQ(toastOver(&m_view), QStringLiteral("投票失败，请稍后再试"));
    EXPECT_EQ(votedOnPage(), 0);
    EXPECT_EQ(evaluate(m_view, QStringLiteral("document.querySelector('.comment .support').textContent")).toString(),
              QStringLiteral("支持(2)"));
    EXPECT_EQ(CommentVoter::recordedVote(QStringLiteral("1")), CommentVoter::None);
}

// ---- the write-comment window ----------------------------------------------------------------------

class WriteCommentDrafts : public CommentRequests
{
protected:
    void SetUp() override
    {
        CommentRequests::SetUp();
        rememberAccount(QStringLiteral("reader"), QStringLiteral("pw"), true, true);
        // The post stays on its way until the test lets its answer go.
        m_server.route("POST", kPostPath, m_accepted.handler(LoopbackReply::text(200, "<string>1</string>")));
    }
    void TearDown() override
    {
        m_accepted.release();
        CommentRequests::TearDown();
    }

    void open(const QString& parentId = QStringLiteral("0"))
    {
        m_window.show(QStringLiteral("123456"), parentId, QStringLiteral("0"), parentId, QString());
    }
    QString typed() const { return m_window.textBox()->toPlainText(); }
    // Presses 发表 and waits until the post is on its way.
    void sendAndWaitForThePost(const QString& text)
    {
        m_window.textBox()->setPlainText(text);
        m_window.sendButton()->click();
        ASSERT_TRUE(waitUntil([&] { return posts(m_server, kPostPath) == 1; }, 30000)) << "nothing was posted";
        ASSERT_TRUE(m_window.writer()->isPosting()) << "the post ended before the test could act during it";
    }
    QString sentContent() const
    {
        for (const LoopbackRequest& request : m_server.requests())
            if (request.path == kPostPath)
                return QUrlQuery(QString::fromUtf8(request.body).replace(QLatin1Char('+'), QLatin1Char(' ')))
                    .queryItemValue(QStringLiteral("content"), QUrl::FullyDecoded);
        return QString();
    }

    HeldReply m_accepted;
    WriteCommentWD m_window;
};

TEST_F(WriteCommentDrafts, TextTypedWhileThePostIsOnItsWayStays)
{
    open();
    sendAndWaitForThePost(QStringLiteral("第一句"));
    m_window.textBox()->setPlainText(QStringLiteral("第一句\n再补充一句"));
    m_accepted.release();
    ASSERT_TRUE(waitUntil([&] { return !m_window.writer()->isPosting(); }, 30000));
    EXPECT_EQ(sentContent(), QStringLiteral("第一句"));
    EXPECT_EQ(typed(), QStringLiteral("\n再补充一句"));
    EXPECT_TRUE(m_window.isVisible()) << "the window closed over unsent text";
}

TEST_F(WriteCommentDrafts, ReopenedDuringThePostTheWindowKeepsItsTextAndASecondSendIsRefusedWithAWord)
{
    open();
    sendAndWaitForThePost(QStringLiteral("好文"));
    m_window.sendButton()->setFocus();  // where a click on 发表 leaves the keys
    m_window.close();
    open();
    EXPECT_EQ(typed(), QStringLiteral("好文"));
    EXPECT_EQ(m_window.focusWidget(), m_window.textBox()) << "the reopened window does not take typing";
    EXPECT_TRUE(m_window.textBox()->textCursor().atEnd());
    EXPECT_EQ(m_window.statusText(), QStringLiteral("正在发表，请稍候"));

    m_window.textBox()->setPlainText(QStringLiteral("另一条"));
    m_window.sendButton()->click();
    EXPECT_EQ(m_window.statusText(), QStringLiteral("正在发表，请稍候"));
    EXPECT_EQ(typed(), QStringLiteral("另一条"));

    m_accepted.release();
    ASSERT_TRUE(waitUntil([&] { return !m_window.writer()->isPosting(); }, 30000));
    EXPECT_EQ(posts(m_server, kPostPath), 1);
    EXPECT_EQ(sentContent(), QStringLiteral("好文"));
    EXPECT_EQ(typed(), QStringLiteral("另一条"));
    EXPECT_TRUE(m_window.isVisible());
    EXPECT_TRUE(m_window.sendButton()->isEnabled());
}

TEST_F(WriteCommentDrafts, CtrlReturnPostsAsTheSendButtonDoes)
{
    open();
    ASSERT_TRUE(waitUntil([&] { return m_window.isActiveWindow(); }, 30000));
    // The same checks: nothing typed is refused with the button's word, from either Return key.
    using Press = std::pair<Qt::Key, Qt::KeyboardModifiers>;
    for (const auto& [key, modifiers] : {Press{Qt::Key_Return, Qt::ControlModifier},
                                         Press{Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier}}) {
        m_window.textBox()->setPlainText(QStringLiteral("  "));
        QTest::keyClick(m_window.textBox(), key, modifiers);
        EXPECT_EQ(m_window.statusText(), QStringLiteral("请输入评论内容")) << key;
    }
    m_window.textBox()->setPlainText(QStringLiteral("好文"));
    QTest::keyClick(m_window.textBox(), Qt::Key_Return, Qt::ControlModifier);
    ASSERT_TRUE(waitUntil([&] { return posts(m_server, kPostPath) == 1; }, 30000)) << "nothing was posted";
    EXPECT_EQ(sentContent(), QStringLiteral("好文"));
}

TEST_F(WriteCommentDrafts, ATextWaitsForTheCommentItWasWrittenFor)
{
    open();
    m_window.textBox()->setPlainText(QStringLiteral("草稿"));
    m_window.close();
    open(QStringLiteral("778"));
    EXPECT_EQ(typed(), QString());
    m_window.textBox()->setPlainText(QStringLiteral("回复草稿"));
    open();
    EXPECT_EQ(typed(), QStringLiteral("草稿"));
    open(QStringLiteral("778"));
    EXPECT_EQ(typed(), QStringLiteral("回复草稿"));
    EXPECT_EQ(m_server.requestCount(), 0);
}

TEST_F(WriteCommentDrafts, ALoginFromTheWindowTakesBackItsRequestToLogIn)
{
    rememberAccount(QStringLiteral("reader"), QStringLiteral("pw"), false, true);
    open();
    m_window.textBox()->setPlainText(QStringLiteral("好文"));
    m_window.sendButton()->click();
    ASSERT_EQ(m_shell->logins, 1);
    EXPECT_EQ(m_window.statusText(), QStringLiteral("请先登录"));

    rememberAccount(QStringLiteral("reader"), QStringLiteral("pw"), true, true);
    ASSERT_TRUE(m_shell->onLoggedIn) << "the window cannot learn of the login";
    m_shell->onLoggedIn();
    EXPECT_EQ(m_window.statusText(), QString());
    EXPECT_EQ(typed(), QStringLiteral("好文"));
    EXPECT_EQ(m_server.requestCount(), 0);
}

TEST_F(WriteCommentDrafts, APostsResultShowsOnlyWithTheCommentItWasSentFor)
{
    HeldReply refused;
    m_server.route("POST", kPostPath, refused.handler(LoopbackReply::text(500, "no")));
    open();
    sendAndWaitForThePost(QStringLiteral("好文"));
    open(QStringLiteral("778"));
    EXPECT_EQ(m_window.statusText(), QString()) << "the other comment's post shows under this box";
    refused.release();
    ASSERT_TRUE(waitUntil([&] { return !m_window.writer()->isPosting(); }, 30000));
    EXPECT_EQ(m_window.statusText(), QString());
    // Its own box shows what became of it.
    open();
    EXPECT_EQ(typed(), QStringLiteral("好文"));
    EXPECT_EQ(m_window.statusText(), QStringLiteral("发表失败，请稍后再试"));

    m_server.route("POST", kPostPath, m_accepted.handler(LoopbackReply::text(200, "<string>1</string>")));
    m_window.sendButton()->click();
    ASSERT_TRUE(waitUntil([&] { return posts(m_server, kPostPath) == 2; }, 30000)) << "nothing was posted";
    open(QStringLiteral("778"));
    m_accepted.release();
    ASSERT_TRUE(waitUntil([&] { return !m_window.writer()->isPosting(); }, 30000));
    EXPECT_EQ(m_window.statusText(), QString());
    EXPECT_TRUE(m_window.isVisible());
}
