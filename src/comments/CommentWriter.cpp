#include "comments/CommentWriter.h"

#include "comments/CommentFeedJsonp.h"
#include "comments/CommentsShell.h"
#include "database/ServerUrls.h"
#include "database/SessionAccount.h"
#include "foundation/CommonFunction.h"
#include "networking/AFNetManager.h"
#include "platform/NotificationCenter.h"

#include <QPointer>
#include <QVariantMap>

CommentWriter::CommentWriter(QObject* parent) : QObject(parent) {}

CommentWriter::~CommentWriter()
{
    if (m_session)
        m_session->invalidateSessionCancelingTasks(true);
}

void CommentWriter::show(const QString& newsId, const QString& parentCommentId, const QString& floorId,
                         const QString& currentCommentId, const QString& userName)
{
    m_newsId = newsId;
    m_parentId = parentCommentId;
    m_floorId = floorId;
    m_currentId = currentCommentId;
    m_userName = userName;
}

void CommentWriter::post(const QString& text)
{
    if (m_posting) {
        emit finished(Outcome::Busy);
        return;
    }
    if (!CommentUrls::isDigitsId(m_newsId) || !CommentUrls::isDigitsId(m_parentId)) {
        emit finished(Outcome::BadIds);
        return;
    }
    const QString content = text.trimmed();
    if (content.isEmpty()) {
        emit finished(Outcome::EmptyText);
        return;
    }
    // Logged in is enough: whether the password is remembered on disk is no matter here.
    const UserLandDataPtr account = SessionAccount::current();
    const auto shell = CommentsShell::installed();
    if (!account) {
        if (shell) {
            QPointer<CommentWriter> self(this);
            shell->openLogin([self] {
                if (self)
                    emit self->loggedIn();
            });
        }
        emit finished(Outcome::NeedLogin);
        return;
    }
    namespace F = CommentPostFields;
    QVariantMap fields;
    fields.insert(QString::fromLatin1(F::kNewsId), m_newsId);
    fields.insert(QString::fromLatin1(F::kParentId), m_parentId);
    fields.insert(QString::fromLatin1(F::kContent), content);
    fields.insert(QString::fromLatin1(F::kUserHash),
                  SessionAccount::userHash(account->UserAccount, account->UserPassWord));
    fields.insert(QString::fromLatin1(F::kCity), shell ? shell->city() : QString());
    fields.insert(QString::fromLatin1(F::kClient), QString::fromLatin1(F::kClientCode));
    fields.insert(QString::fromLatin1(F::kRam), CommonFunction::getDeviceRamSize());

    m_posting = true;
    QPointer<CommentWriter> self(this);
    // The article posted on, as it is now: the window may be shown for another before the reply.
    const QVariantMap posted{{QString::fromLatin1(CommentEvents::kNewsIdKey), m_newsId}};
    m_session = AFNetManager::requestWithUrlString(
        kUrlPostComment, false, fields, 1, nullptr,
        [self, posted](const std::shared_ptr<URLSessionDataTask>&, const QVariant&) {
            // The session reports every status outside 200..299 as a failure.
            postCommentAndReplyTask();
            // The comment stands even when the window went meanwhile: the comment page shows it
            // and the pane says so.
            NotificationCenter::defaultCenter().post(QLatin1String(CommentEvents::kReloadCommentView), {}, posted);
            NotificationCenter::defaultCenter().post(QLatin1String(CommentEvents::kSentCommentSuc));
            if (!self)
                return;
            self->m_posting = false;
            emit self->finished(Outcome::Posted);
        },
        [self](const std::shared_ptr<URLSessionDataTask>&, const Error&) {
            if (!self)
                return;
            self->m_posting = false;
            emit self->finished(Outcome::Failed);
        });
}

void CommentWriter::postCommentAndReplyTask()
{
    if (const auto shell = CommentsShell::installed())
        shell->postCommentAndReplyTask();
}
