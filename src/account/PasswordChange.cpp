#include "account/PasswordChange.h"

#include "account/AccountRequests.h"
#include "account/AccountShell.h"
#include "database/ServerUrls.h"
#include "database/SessionAccount.h"
#include "database/SettingsDatabaseOperate.h"
#include "foundation/CommonFunction.h"
#include "foundation/GlobalValues.h"
#include "foundation/xml/TTXMLParser.h"
#include "networking/AFHTTPSessionManager.h"
#include "networking/AFNetManager.h"
#include "platform/UserDefaults.h"

#include <QPointer>
#include <QVariantMap>

namespace {

// The service says "true" as the root's text when it took the new password.
bool serviceTookIt(const QByteArray& bytes)
{
    TTXMLParser parser(bytes);
    if (bytes.isEmpty() || !parser.parse() || !parser.rootObject().has_value())
        return false;
    return parser.rootObject()->value(TTXMLKeys::kValue).toString().trimmed() == QLatin1String("true");
}

UserLandDataPtr loggedInAccount()
{
    SettingsDatabaseOperate::Lease settings;
    if (!settings)
        return nullptr;
    UserLandDataPtr account = settings->UserLandData_getCurrentUserData();
    return account && account->bHaveLand && !account->UserAccount.isEmpty() ? account : nullptr;
}

}  // namespace

PasswordChange::PasswordChange(QObject* parent) : QObject(parent) {}

PasswordChange::~PasswordChange()
{
    if (m_session) {
        m_session->invalidateSessionCancelingTasks(true);
        gbLoginInProgress = false;
    }
}

QString PasswordChange::message(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Changed:
        return QStringLiteral("密码修改成功");
    case Outcome::ChangedLoggedOut:
        return QStringLiteral("密码修改成功，请重新登录");
    case Outcome::Refused:
        return QStringLiteral("原密码错误");
    case Outcome::Failed:
        return QStringLiteral("修改失败，请检查网络");
    case Outcome::Busy:
        return QStringLiteral("正在登录，请稍候");
    case Outcome::NotLoggedIn:
        return QStringLiteral("请先登录");
    case Outcome::Empty:
        return QStringLiteral("请输入原密码和新密码");
    case Outcome::Mismatch:
        return QStringLiteral("两次输入的新密码不一致");
    case Outcome::Unchanged:
        return QStringLiteral("新密码不能与原密码相同");
    }
    return QStringLiteral("");
}

void PasswordChange::change(const QString& oldPassword, const QString& newPassword, const QString& repeated)
{
    if (gbLoginInProgress || m_session) {
        emit finished(Outcome::Busy);
        return;
    }
    if (oldPassword.isEmpty() || newPassword.isEmpty()) {
        emit finished(Outcome::Empty);
        return;
    }
    if (newPassword != repeated) {
        emit finished(Outcome::Mismatch);
        return;
    }
    if (newPassword == oldPassword) {
        emit finished(Outcome::Unchanged);
        return;
    }
    const UserLandDataPtr account = loggedInAccount();
    if (!account) {
        emit finished(Outcome::NotLoggedIn);
        return;
    }
    gbLoginInProgress = true;
    namespace F = PasswordChangeFields;
    QVariantMap fields;
    fields.insert(QLatin1String(F::kUserHash), AccountRequests::userHash(account->UserAccount, oldPassword));
    fields.insert(QLatin1String(F::kPasswords),
                  CommonFunction::EncrypteUTF8(oldPassword + QChar(0x0C) + newPassword, kDesKeyRequest));
    QPointer<PasswordChange> self(this);
    const UserLandData record = *account;
    m_session = AFNetManager::requestWithUrlString(
        kUrlModifyPassword, false, fields, 1, nullptr,
        [self, record, newPassword](const std::shared_ptr<URLSessionDataTask>&, const QVariant& body) {
            if (!self)
                return;
            if (serviceTookIt(body.toByteArray()))
                self->accepted(record, newPassword);
            else
                self->end(Outcome::Refused);
        },
        [self](const std::shared_ptr<URLSessionDataTask>&, const Error&) {
            if (self)
                self->end(Outcome::Failed);
        });
}

void PasswordChange::accepted(const UserLandData& account, const QString& newPassword)
{
    // The coins counted under the old password are not the new login's.
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    for (const QString& key : AccountRequests::goldCoinKeys())
        defaults.removeObjectForKey(key);
    defaults.synchronize();

    // Logged out until the re-login says otherwise; the new password kept as the old one is now:
    // the account's row is read again by its name, since the change was on its way for a while.
    UserLandData record = account;
    {
        SettingsDatabaseOperate::Lease settings;
        const UserLandDataPtr stored = settings ? settings->UserLandData_getUserDataByUserName(account.UserAccount) : nullptr;
        if (stored) {
            record = *stored;
            record.UserID = account.UserID;  // a read by name leaves the user id out
        }
        record.UserPassWord = record.bRememberPassWord ? newPassword : QStringLiteral("");
        record.bHaveLand = false;
        record.bCurrentAccount = true;
        if (settings) {
            settings->UserLandData_logOut();
            settings->UserLandData_setNewsUserData(record);
        }
    }
    SessionAccount::loggedOut();
    const auto shell = AccountShell::installed();
    if (shell) {
        shell->cancelCurrLandUser();
        shell->reloadAvatar();
    }

    // The re-login, still under the flag this change holds.
    QPointer<PasswordChange> self(this);
    m_session = AccountRequests::postUserInfo(
        record.UserAccount, newPassword,
        [self, record, newPassword](const QByteArray& bytes) {
            if (!self)
                return;
            NSMyUserInfoPtr user;
            if (AccountRequests::classify(bytes, &user) != AccountRequests::Reply::User) {
                self->end(Outcome::ChangedLoggedOut);
                return;
            }
            UserLandData loggedIn = record;
            loggedIn.bHaveLand = true;
            // The password did change; only the re-login is lost when its record cannot be kept.
            if (!AccountRequests::logIn(bytes, loggedIn, user, newPassword)) {
                self->end(Outcome::ChangedLoggedOut);
                return;
            }
            const auto shell = AccountShell::installed();
            if (shell && gbReplyRemind.load())
                shell->downloadUserRemindCount(QString::number(user->userID));
            self->end(Outcome::Changed);
        },
        [self](qint64) {
            if (self)
                self->end(Outcome::ChangedLoggedOut);
        });
}

void PasswordChange::end(Outcome outcome)
{
    m_session.reset();
    gbLoginInProgress = false;
    emit finished(outcome);
}
