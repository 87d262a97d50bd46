#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

class AFHTTPSessionManager;

// The form fields of a comment vote and of its cancellation, named in this one place.
namespace CommentVoteFields {
inline constexpr auto kCommentId = "strCommentID";  // DES-hex of the comment id, main key
inline constexpr auto kType = "type";               // "1" support, "2" oppose
inline constexpr auto kUserHash = "userHash";       // "" when nobody is logged in
}  // namespace CommentVoteFields

// The user's support and oppose votes on comments. A vote is sent to the comment service and,
// once the service accepted it (a 2xx reply), kept in the content store under the comment id, so
// the next build of the comment page marks it as the user's own; a cancellation is sent likewise
// and then removed from the store. Votes on different comments run side by side; one comment has
// one request at a time.
class CommentVoter : public QObject
{
    Q_OBJECT
public:
    enum VoteType : int64_t { None = 0, Support = 1, Oppose = 2 };
    enum class Outcome {
        Stored,   // the service accepted it and the store keeps it (or no longer keeps it)
        Refused,  // nothing to send: see commentVoteCommentId
        Pending,  // a request for the same comment is still on its way; nothing sent
        Failed,   // the request failed or the service refused it; the store is unchanged
    };
    Q_ENUM(Outcome)

    explicit CommentVoter(QObject* parent = nullptr);
    ~CommentVoter() override;

    // zhiChi YES casts a vote of the type, NO cancels the user's vote of that type. Refused at
    // once, without a request, for an id that is not digits, a type that is neither kind, a vote
    // on a comment the user voted on already and a cancellation of a vote the user did not cast;
    // Pending while a request for the same comment runs. hot tells a hot comment from one of the
    // plain list; both are kept alike.
    void commentVoteCommentId(const QString& commentId, int64_t type, bool hot, bool zhiChi);

    // The user's recorded vote on the comment; None when there is none.
    static int64_t recordedVote(const QString& commentId);

signals:
    void voteFinished(const QString& commentId, int64_t type, bool zhiChi, CommentVoter::Outcome outcome);

private:
    // The running request of each comment that has one.
    QHash<QString, std::shared_ptr<AFHTTPSessionManager>> m_pending;
};
