// What an accepted comment tells the program ("reloadCommentView", "sentCommentSuc") and the reply
// reminder that the comment page clears once it shows the replies it reminded of.

#include "CommentsTestSupport.h"
#include "HeldReply.h"

#include "comments/CommentFeedJsonp.h"
#include "comments/CommentPageLoader.h"
#include "comments/CommentWriter.h"
#include "database/DatabaseOperate.h"
#include "platform/NotificationCenter.h"

#include <QScopeGuard>

namespace {

// The names of the comment events posted while it lives, in order.
class CommentEventLog
{
public:
    CommentEventLog()
    {
        for (const char* name : {CommentEvents::kReloadCommentView, CommentEvents::kSentCommentSuc}) {
            m_tokens.append(NotificationCenter::defaultCenter().addObserver(
                QLatin1String(name), nullptr, [this](const Notification& note) { names.append(note.name); }));
        }
    }
    ~CommentEventLog()
    {
        for (NotificationCenter::Token token : m_tokens)
            NotificationCenter::defaultCenter().removeObserver(token);
    }
    QStringList names;

private:
    QList<NotificationCenter::Token> m_tokens;
};

// A comment by a user with the given replies ("R").
QJsonObject commentWithReplies(int id, int userId, const QList<int>& replyIds)
{
    QJsonObject comment = commentObject(id, QStringLiteral("作者"), QStringLiteral("正文"));
    comment.insert(QStringLiteral("Ui"), userId);
    QJsonArray replies;
    for (int replyId : replyIds)
        replies.append(commentObject(replyId, QStringLiteral("回复者"), QStringLiteral("回复")));
    comment.insert(QStringLiteral("R"), replies);
    return comment;
}

}  // namespace

class CommentEventFlow : public CommentRequests
{
protected:
    void serveList(const QJsonArray& comments)
    {
        m_server.route("GET", listPath(QStringLiteral("123456")), LoopbackReply::text(200, commentJsonp(comments)));
    }
    int gets() { return count("GET"); }
    // What the write-comment window tells once the service took a comment on the article.
    static void commentAccepted(const QString& newsId)
    {
        NotificationCenter::defaultCenter().post(QLatin1String(CommentEvents::kReloadCommentView), {},
                                                 {{QLatin1String(CommentEvents::kNewsIdKey), newsId}});
    }

    // Opens the article's comment page and waits for its first list.
    void open(CommentPageLoader& loader)
    {
        loader.openNewsComment(QStringLiteral("123456"), QStringLiteral("标题"), QString());
        ASSERT_TRUE(waitUntil([&] { return !loader.isLoading() && gets() >= 1; })) << "waited for the first list";
    }

    struct Marks
    {
        int maxId = 0;
        bool remind = false;
    };
    static Marks marks(const QString& userId)
    {
        DatabaseOperate::Lease store;
        return {store->CommentManageMaxId_getMaxId(userId), store->CommentManageMaxId_hasRemind(userId)};
    }
    static void mark(const QString& userId, int maxId)
    {
        DatabaseOperate::Lease store;
        ASSERT_TRUE(store->CommentManageMaxId_setMaxId(maxId, userId));
        ASSERT_TRUE(store->CommentManageMaxId_setRemind(true, userId));
    }
};

TEST_F(CommentEventFlow, AnAcceptedCommentReloadsThePageThenShowsTheTipAndARefusedOneNeither)
{
    rememberAccount(QStringLiteral("reader"), QStringLiteral("pw"), true, true);
    CommentPageLoader loader;
    open(loader);
    CommentEventLog events;
    CommentWriter writer;
    SignalLog done(&writer, &CommentWriter::finished);
    writer.show(QStringLiteral("123456"), QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"), QString());

    m_server.route("POST", QStringLiteral("/tidwen/postComment.aspx"), LoopbackReply::text(500, "no"));
    writer.post(QStringLiteral("一"));
    ASSERT_TRUE(waitUntil([&] { return done.size() == 1; }));
    EXPECT_TRUE(events.names.isEmpty()) << qPrintable(events.names.join(QLatin1Char(',')));

    m_server.route("POST", QStringLiteral("/tidwen/postComment.aspx"), LoopbackReply::text(200, "<string>1</string>"));
    writer.post(QStringLiteral("二"));
    ASSERT_TRUE(waitUntil([&] { return done.size() == 2; }));
    EXPECT_EQ(events.names, (QStringList{QStringLiteral("reloadCommentView"), QStringLiteral("sentCommentSuc")}));
    EXPECT_TRUE(waitUntil([&] { return gets() == 2; })) << "the page of the article posted on was not reloaded";
}

TEST_F(CommentEventFlow, TheOpenCommentPageFetchesItsListAgainWithoutAsking)
{
    serveList(QJsonArray{commentObject(1, QStringLiteral("甲"), QStringLiteral("一"))});
    CommentPageLoader loader;
    open(loader);
    SignalLog pages(&loader, &CommentPageLoader::pageReady);
    commentAccepted(QStringLiteral("654321"));
    EXPECT_FALSE(loader.isLoading()) << "a comment on another article reloaded the page";

    serveList(QJsonArray{commentObject(2, QStringLiteral("我"), QStringLiteral("新评论")),
                         commentObject(1, QStringLiteral("甲"), QStringLiteral("一"))});
    commentAccepted(QStringLiteral("123456"));
    ASSERT_TRUE(waitUntil([&] { return pages.size() == 1; })) << "waited for the reloaded page";
    EXPECT_EQ(gets(), 2);
    EXPECT_EQ(countRequests(m_server.requests(), "HEAD"), 0) << "a comment just posted needs no freshness check";
    EXPECT_TRUE(std::get<0>(pages.last()).contains(QStringLiteral("新评论")));
}

// A comment accepted while the list hangs is fetched at once; the given-up load's late reply
// changes nothing.
TEST_F(CommentEventFlow, ACommentAcceptedWhileTheListHangsIsFetchedAtOnce)
{
    HeldReply hung;
    m_server.route("GET", listPath(QStringLiteral("123456")), hung.handler(LoopbackReply::text(200, commentJsonp({}))));
    CommentPageLoader loader;
    loader.openNewsComment(QStringLiteral("123456"), QStringLiteral("标题"), QString());
    ASSERT_TRUE(waitUntil([&] { return gets() == 1; }, 30000));
    // That reply holds the first server's thread: the list after the comment comes from another.
    LoopbackHttpServer second;
    second.route("GET", listPath(QStringLiteral("123456")),
                 LoopbackReply::text(200, commentJsonp(QJsonArray{commentObject(2, QStringLiteral("我"), QStringLiteral("新评论"))})));
    pointUrls({{23, second.url(QStringLiteral("/json/commentlist")).toString()}});
    commentAccepted(QStringLiteral("123456"));
    ASSERT_TRUE(waitUntil([&] { return loader.comments().size() == 1 && !loader.isLoading(); }, 30000))
        << "the comment waited for the hung load";
    hung.release();
    ASSERT_TRUE(m_server.waitForReplyAfter(0));
    EXPECT_EQ(loader.comments().size(), 1) << "the given-up load still answered";
}

TEST(CommentPageReplies, NewestReplyToTheUsersOwnComments)
{
    const QVariantList comments = QJsonArray{commentWithReplies(10, 77, {15, 12}), commentWithReplies(20, 88, {40}),
                                             commentWithReplies(30, 77, {}), commentObject(50, QStringLiteral("x"), QString())}
                                      .toVariantList();
    struct Case
    {
        const char* userId;
        qint64 newest;
    };
    for (const Case c : {Case{"77", 15}, Case{"88", 40}, Case{"99", 0}, Case{"", 0}})
        EXPECT_EQ(CommentPageLoader::newestReplyTo(comments, QLatin1String(c.userId)), c.newest) << c.userId;
}

TEST_F(CommentEventFlow, ShownRepliesClearTheReminderSoTheUserIsPolledAgain)
{
    struct Case
    {
        const char* name;
        bool loggedIn;
        int storedMaxId;
        QJsonArray list;
        Marks after;
        int dotUpdates;
    };
    const Case cases[] = {
        {"a newer reply to the user's comment", true, 11, QJsonArray{commentWithReplies(10, 77, {12, 15})}, {15, false}, 1},
        {"only replies already seen", true, 15, QJsonArray{commentWithReplies(10, 77, {12, 15})}, {15, true}, 0},
        {"replies to someone else", true, 11, QJsonArray{commentWithReplies(10, 88, {40})}, {11, true}, 0},
        {"nobody logged in", false, 11, QJsonArray{commentWithReplies(10, 77, {12, 15})}, {11, true}, 0},
    };
    for (const Case& c : cases) {
        rememberAccount(QStringLiteral("reader"), QStringLiteral("pw"), c.loggedIn, true, QStringLiteral("77"));
        mark(QStringLiteral("77"), c.storedMaxId);
        m_shell->remindsCleared = 0;
        serveList(c.list);
        CommentPageLoader loader;
        open(loader);
        const Marks after = marks(QStringLiteral("77"));
        EXPECT_EQ(after.maxId, c.after.maxId) << c.name;
        EXPECT_EQ(after.remind, c.after.remind) << c.name;
        EXPECT_EQ(m_shell->remindsCleared, c.dotUpdates) << c.name;
        m_server.clearRequests();
    }
}
