#include "comments/CommentVoter.h"

#include "comments/CommentFeedJsonp.h"
#include "database/DatabaseOperate.h"
#include "database/ServerUrls.h"
#include "database/SessionAccount.h"
#include "foundation/CommonFunction.h"
#include "foundation/EncryptionKeys.h"
#include "networking/AFNetManager.h"

#include <QPointer>
#include <QVariantMap>

namespace {

// The userHash of the logged-in account, or "".
QString currentUserHash()
{
    const UserLandDataPtr account = SessionAccount::current();
    if (!account)
        return QStringLiteral("");
    return SessionAccount::userHash(account->UserAccount, account->UserPassWord);
}

}  // namespace

CommentVoter::CommentVoter(QObject* parent) : QObject(parent) {}

CommentVoter::~CommentVoter()
{
    for (const auto& session : std::as_const(m_pending))
        if (session)
            session->invalidateSessionCancelingTasks(true);
}

int64_t CommentVoter::recordedVote(const QString& commentId)
{
    DatabaseOperate::Lease store;
    return store ? store->ZhiChiFanDui_get(commentId) : None;
}

void CommentVoter::commentVoteCommentId(const QString& commentId, int64_t type, bool hot, bool zhiChi)
{
    Q_UNUSED(hot);
    const int64_t recorded = CommentUrls::isDigitsId(commentId) ? recordedVote(commentId) : None;
    const bool allowed = CommentUrls::isDigitsId(commentId) && (type == Support || type == Oppose) &&
                         (zhiChi ? recorded == None : recorded == type);
    if (m_pending.contains(commentId) || !allowed) {
        emit voteFinished(commentId, type, zhiChi, m_pending.contains(commentId) ? Outcome::Pending : Outcome::Refused);
        return;
    }
    namespace F = CommentVoteFields;
    const QVariantMap fields{{QString::fromLatin1(F::kCommentId), CommonFunction::EncrypteUTF8(commentId, kDesKeyRequest)},
                             {QString::fromLatin1(F::kType), QString::number(type)},
                             {QString::fromLatin1(F::kUserHash), currentUserHash()}};
    // Held before the request starts, so a reply that completes at once finds it.
    m_pending.insert(commentId, nullptr);
    QPointer<CommentVoter> self(this);
    const auto finish = [self, commentId, type, zhiChi](bool ok) {
        if (!self)
            return;
        self->m_pending.remove(commentId);
        emit self->voteFinished(commentId, type, zhiChi, ok ? Outcome::Stored : Outcome::Failed);
    };
    auto session = AFNetManager::requestWithUrlString(
        zhiChi ? kUrlCommentVote : kUrlCancelCommentVote, false, fields, 1, nullptr,
        [finish, commentId, type, zhiChi](const std::shared_ptr<URLSessionDataTask>&, const QVariant&) {
            // The session reports every status outside 200..299 as a failure: this one counts.
            bool stored = false;
            {
                DatabaseOperate::Lease store;
                if (store)
                    stored = zhiChi ? store->ZhiChiFanDui_insert(commentId, type) : store->ZhiChiFanDui_delete(commentId);
            }
            finish(stored);
        },
        [finish](const std::shared_ptr<URLSessionDataTask>&, const Error&) { finish(false); });
    if (m_pending.contains(commentId))
        m_pending.insert(commentId, std::move(session));
}
