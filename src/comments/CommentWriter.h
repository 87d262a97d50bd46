#pragma once

#include <QObject>
#include <QString>

#include <memory>

class AFHTTPSessionManager;

// The form fields of a comment or reply post, named in this one place.
namespace CommentPostFields {
inline constexpr auto kNewsId = "newsid";
inline constexpr auto kParentId = "parentid";
inline constexpr auto kContent = "content";
inline constexpr auto kUserHash = "userHash";
inline constexpr auto kCity = "city";
inline constexpr auto kClient = "client";
// The size of the file system holding /var, in GiB ("%.1f").
inline constexpr auto kRam = "ram";
// The client code this program posts as.
inline constexpr auto kClientCode = "14";
}  // namespace CommentPostFields

// What an accepted comment or reply tells the rest of the program, in this order: the comment
// page reloads its list, the article pane shows "评论成功".
namespace CommentEvents {
inline constexpr auto kReloadCommentView = "reloadCommentView";
inline constexpr auto kSentCommentSuc = "sentCommentSuc";
// The user-info key of "reloadCommentView": the id of the article the comment was posted on.
inline constexpr auto kNewsIdKey = "newsid";
}  // namespace CommentEvents

// The write-comment window's work: which comment it answers, and the post. Without a logged-in
// account (its password remembered or kept for the run) it asks for the login instead of posting.
// An accepted post (a 2xx reply) runs the comment gold-coin task and posts the two comment events.
class CommentWriter : public QObject
{
    Q_OBJECT
public:
    enum class Outcome {
        Posted,         // the service accepted it
        Failed,         // the request failed or was refused
        NeedLogin,      // nobody is logged in: the login window opened
        EmptyText,      // nothing to post
        BadIds,         // an id that is not digits; nothing was sent
        Busy,           // a post is already running
    };
    Q_ENUM(Outcome)

    explicit CommentWriter(QObject* parent = nullptr);
    ~CommentWriter() override;

    // "0", "0", "0", "" is a new top-level comment.
    void show(const QString& newsId, const QString& parentCommentId, const QString& floorId,
              const QString& currentCommentId, const QString& userName);
    // Posts the text; the outcome arrives through finished (at once unless a request was sent).
    void post(const QString& text);

    QString newsId() const { return m_newsId; }
    QString parentCommentId() const { return m_parentId; }
    QString floorId() const { return m_floorId; }
    QString currentCommentId() const { return m_currentId; }
    QString userName() const { return m_userName; }
    bool isReply() const { return m_parentId != QStringLiteral("0"); }
    bool isPosting() const { return m_posting; }

    // The gold-coin task of an accepted post, through the installed shell.
    static void postCommentAndReplyTask();

signals:
    void finished(CommentWriter::Outcome outcome);
    // A login from the window that NeedLogin opened succeeded.
    void loggedIn();

private:
    QString m_newsId;
    QString m_parentId = QStringLiteral("0");
    QString m_floorId = QStringLiteral("0");
    QString m_currentId = QStringLiteral("0");
    QString m_userName;
    bool m_posting = false;
    std::shared_ptr<AFHTTPSessionManager> m_session;
};
