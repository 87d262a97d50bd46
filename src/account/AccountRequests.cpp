#include "account/AccountRequests.h"

#include "account/AccountShell.h"
#include "database/ServerUrls.h"
#include "database/SessionAccount.h"
#include "database/SettingsDatabaseOperate.h"
#include "foundation/CommonFunction.h"
#include "foundation/xml/TTXMLParser.h"
#include "networking/AFNetManager.h"
#include "platform/StorageRoot.h"
#include "platform/UserDefaults.h"

#include <QFile>
#include <QVariantMap>

namespace {
constexpr int64_t kNobody = 99999;
}  // namespace

QString AccountRequests::userHash(const QString& account, const QString& password)
{
    return SessionAccount::userHash(account, password);
}

AccountRequests::Reply AccountRequests::classify(const QByteArray& bytes, NSMyUserInfoPtr* user)
{
    TTXMLParser parser(bytes);
    if (bytes.isEmpty() || !parser.parse())
        return Reply::Garbled;
    NSMyUserInfoPtr info = CommonFunction::parseXML(bytes);
    if (!info || info->userID == kNobody || info->userID <= 0)
        return Reply::NoUser;
    if (user)
        *user = info;
    return Reply::User;
}

std::shared_ptr<AFHTTPSessionManager> AccountRequests::postUserInfo(const QString& account, const QString& password,
                                                                    std::function<void(const QByteArray&)> finished,
                                                                    std::function<void(qint64)> failed)
{
    QVariantMap fields;
    fields.insert(QStringLiteral("userHash"), userHash(account, password));
    return AFNetManager::requestWithUrlString(
        kUrlUserInfo, false, fields, 1, nullptr,
        [finished](const std::shared_ptr<URLSessionDataTask>&, const QVariant& body) { finished(body.toByteArray()); },
        [failed](const std::shared_ptr<URLSessionDataTask>&, const Error& error) { failed(error.code); });
}

bool AccountRequests::storeLastUserInfo(const QByteArray& bytes)
{
    return StorageRoot::writeFileAtomically(CommonFunction::getLastUserInfoPath(), bytes);
}

NSMyUserInfoPtr AccountRequests::lastUserInfo()
{
    QFile file(CommonFunction::getLastUserInfoPath());
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    NSMyUserInfoPtr user;
    return classify(file.readAll(), &user) == Reply::User ? user : nullptr;
}

bool AccountRequests::logIn(const QByteArray& bytes, UserLandData record, const NSMyUserInfoPtr& user,
                            const QString& password)
{
    record.UserID = QString::number(user->userID);
    {
        SettingsDatabaseOperate::Lease settings;
        if (!settings || !settings->UserLandData_setNewsUserData(record))
            return false;
    }
    // Kept for this run whether or not the store keeps the password: the reader is logged in.
    SessionAccount::loggedIn(record.UserAccount, password);
    storeLastUserInfo(bytes);
    if (const auto shell = AccountShell::installed())
        shell->setCurrLandUser(user, true);
    return true;
}

UserLandDataPtr AccountRequests::rememberedLogin()
{
    UserLandDataPtr account;
    {
        SettingsDatabaseOperate::Lease settings;
        if (settings)
            account = settings->UserLandData_getCurrentUserData();
    }
    if (!account || !account->bHaveLand || !account->bRememberPassWord || account->UserAccount.isEmpty() ||
        account->UserPassWord.isEmpty())
        return nullptr;
    return account;
}

QStringList AccountRequests::goldCoinKeys()
{
    return {QStringLiteral("coinRead"),      QStringLiteral("coinNewsLastTime"),      QStringLiteral("coinComment"),
            QStringLiteral("coinCommentLastTime"), QStringLiteral("coinAdvertise"), QStringLiteral("coinAdvertiseLastTime"),
            QStringLiteral("coinShare"),     QStringLiteral("coinShareLastTime")};
}

void AccountRequests::logOut(bool forgetAccount)
{
    SessionAccount::loggedOut();
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    for (const QString& key : goldCoinKeys())
        defaults.removeObjectForKey(key);
    defaults.synchronize();
    {
        SettingsDatabaseOperate::Lease settings;
        if (settings) {
            const UserLandDataPtr account = forgetAccount ? settings->UserLandData_getCurrentUserData() : nullptr;
            settings->UserLandData_logOut();
            if (account && !account->UserAccount.isEmpty())
                settings->UserLandData_deleteUserDataByUserName(account->UserAccount);
        }
    }
    if (const auto shell = AccountShell::installed()) {
        shell->cancelCurrLandUser();
        shell->reloadAvatar();
    }
}
