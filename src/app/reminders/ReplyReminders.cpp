#include "app/reminders/ReplyReminders.h"

#include "account/AccountRequests.h"
#include "app/report/FixedAddresses.h"
#include "app/report/ServiceReply.h"
#include "database/DatabaseOperate.h"
#include "database/ServerUrls.h"
#include "database/SessionAccount.h"
#include "foundation/CommonFunction.h"
#include "foundation/GlobalValues.h"
#include "networking/AFNetManager.h"
#include "platform/NSStringValues.h"

#include <QDebug>

ReplyReminders::ReplyReminders(CurrentUser currentUser, ReminderMarked reminderMarked)
    : m_currentUser(std::move(currentUser)), m_reminderMarked(std::move(reminderMarked))
{
}

ReplyReminders::~ReplyReminders()
{
    *m_alive = false;
}

void ReplyReminders::downloadUserRemindCount(const QString& userId)
{
    poll(Kind::Comment, userId);
}

void ReplyReminders::downloadUserForumRemindCount(const QString& userId)
{
    poll(Kind::Forum, userId);
}

void ReplyReminders::poll(Kind kind, const QString& userId)
{
    if (userId.isEmpty())
        return;
    int maxId = 0;
    bool marked = false;
    {
        DatabaseOperate::Lease store;
        if (!store)
            return;
        marked = kind == Kind::Comment ? store->CommentManageMaxId_hasRemind(userId)
                                       : store->ForumManageMaxId_hasRemind(userId);
        if (!marked)
            maxId = kind == Kind::Comment ? store->CommentManageMaxId_getMaxId(userId)
                                          : store->ForumManageMaxId_getMaxId(userId);
    }
    // A reminder still unread is shown even though nothing is asked.
    if (marked) {
        tellMarked();
        return;
    }

    QVariantMap fields;
    fields.insert(QStringLiteral("strUserID"), CommonFunction::EncrypteUTF8(userId, kDesKeyRequest));
    fields.insert(kind == Kind::Comment ? QStringLiteral("commentID") : QStringLiteral("rID"), QString::number(maxId));
    const QString url = kind == Kind::Comment ? kUrlVundReplyCount : FixedAddresses::current().communityReplyCount;

    std::weak_ptr<bool> alive = m_alive;
    AFNetManager::requestWithUrlString(
        url, false, fields, 1, nullptr,
        [this, alive, kind, userId](const std::shared_ptr<URLSessionDataTask>&, const QVariant& body) {
            if (!alive.expired())
                takeCount(kind, userId, body.toByteArray());
        },
        [](const std::shared_ptr<URLSessionDataTask>&, const Error&) {});
}

void ReplyReminders::takeCount(Kind kind, const QString& userId, const QByteArray& reply)
{
    if (NSStringValues::integerValue(ServiceReply::rootValue(reply)) <= 0)
        return;
    if (!gbReplyRemind.load())
        return;
    const NSMyUserInfoPtr user = m_currentUser ? m_currentUser() : nullptr;
    if (!user)
        return;
    // The count belongs to the polled account: after a log-out or a switch to another account
    // meanwhile it marks nobody.
    const QString current = QString::number(user->userID);
    if (current != userId)
        return;
    {
        DatabaseOperate::Lease store;
        if (!store)
            return;
        if (kind == Kind::Comment)
            store->CommentManageMaxId_setRemind(true, current);
        else
            store->ForumManageMaxId_setRemind(true, current);
    }
    tellMarked();
}

void ReplyReminders::tellMarked() const
{
    if (m_reminderMarked)
        m_reminderMarked();
}

void ReplyReminders::postShowDevice()
{
    const NSMyUserInfoPtr user = m_currentUser ? m_currentUser() : nullptr;
    if (!user)
        return;
    const UserLandDataPtr account = SessionAccount::current();
    if (!account)
        return;

    QVariantMap fields;
    fields.insert(QStringLiteral("userHash"), AccountRequests::userHash(account->UserAccount, account->UserPassWord));
    fields.insert(QStringLiteral("bClose"), user->iNoShowDevice == 1 ? QStringLiteral("true") : QStringLiteral("false"));
    AFNetManager::requestWithUrlString(
        kUrlUserTail, false, fields, 1, nullptr,
        [](const std::shared_ptr<URLSessionDataTask>&, const QVariant& body) {
            if (ServiceReply::rootValue(body.toByteArray()) == QLatin1String("true"))
                qInfo().noquote() << QString::fromUtf8(kTailSetLog);
        },
        [](const std::shared_ptr<URLSessionDataTask>&, const Error&) {});
}
