#include "account/UserLogin.h"

#include "account/AccountRequests.h"
#include "account/AccountShell.h"
#include "account/FavSynchronousCommonFunction.h"
#include "database/StoreConnection.h"
#include "foundation/GlobalValues.h"

#include "networking/AFHTTPSessionManager.h"

#include <QPointer>

UserLogin::UserLogin(QObject* parent) : QObject(parent) {}

UserLogin::~UserLogin()
{
    if (m_session) {
        m_session->invalidateSessionCancelingTasks(true);
        gbLoginInProgress = false;
    }
}

QString UserLogin::message(Outcome outcome)
{
    switch (outcome) {
    case Outcome::LoggedIn:
        return QStringLiteral("");
    case Outcome::Refused:
        return QStringLiteral("账号或密码错误");
    case Outcome::Failed:
        return QStringLiteral("登录失败，请检查网络");
    case Outcome::NotSaved:
        // The store's own words for a write it cannot make.
        return QString::fromUtf8(kStoreReadOnlyText);
    case Outcome::Busy:
        return QStringLiteral("正在登录，请稍候");
    case Outcome::Empty:
        return QStringLiteral("请输入账号和密码");
    }
    return QStringLiteral("");
}

void UserLogin::login(const QString& account, const QString& password, bool rememberPassword)
{
    if (gbLoginInProgress) {
        emit finished(Outcome::Busy);
        return;
    }
    const QString name = account.trimmed();
    if (name.isEmpty() || password.isEmpty()) {
        emit finished(Outcome::Empty);
        return;
    }
    gbLoginInProgress = true;
    QPointer<UserLogin> self(this);
    m_session = AccountRequests::postUserInfo(
        name, password,
        [self, name, password, rememberPassword](const QByteArray& bytes) {
            if (!self)
                return;
            NSMyUserInfoPtr user;
            const auto reply = AccountRequests::classify(bytes, &user);
            if (reply != AccountRequests::Reply::User) {
                self->end(reply == AccountRequests::Reply::NoUser ? Outcome::Refused : Outcome::Failed);
                return;
            }
            UserLandData record;
            record.UserAccount = name;
            record.UserPassWord = rememberPassword ? password : QStringLiteral("");
            record.bRememberPassWord = rememberPassword;
            record.bCurrentAccount = true;
            record.bHaveLand = true;
            self->m_user = user;
            if (!AccountRequests::logIn(bytes, record, user, password)) {
                self->end(Outcome::NotSaved);
                return;
            }
            FavSynchronousCommonFunction::synchronize(name, password);
            const auto shell = AccountShell::installed();
            if (shell && gbReplyRemind.load())
                shell->downloadUserRemindCount(QString::number(user->userID));
            self->end(Outcome::LoggedIn);
        },
        [self](qint64) {
            if (self)
                self->end(Outcome::Failed);
        });
}

void UserLogin::end(Outcome outcome)
{
    m_session.reset();
    gbLoginInProgress = false;
    emit finished(outcome);
}
