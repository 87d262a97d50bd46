#include "article/GoldCoinTask.h"

#include "database/ServerUrls.h"
#include "database/SettingsDatabaseOperate.h"
#include "foundation/CommonFunction.h"
#include "foundation/xml/TTXMLParser.h"
#include "networking/AFNetManager.h"
#include "platform/Clock.h"
#include "platform/NSStringValues.h"
#include "platform/UserDefaults.h"

#include <QDebug>

namespace {

constexpr int kMostReadsPerDay = 4;

QString today()
{
    return CommonFunction::BJZoneDateStringFromDate(Clock::now());
}

}  // namespace

UserLandDataPtr GoldCoinTask::reportingAccount()
{
    UserLandDataPtr account;
    {
        SettingsDatabaseOperate::Lease settings;
        if (settings)
            account = settings->UserLandData_getCurrentUserData();
    }
    if (!account || !account->bHaveLand || !account->bRememberPassWord || account->UserAccount.isEmpty()
        || account->UserPassWord.isEmpty())
        return nullptr;
    return account;
}

QString GoldCoinTask::userHash(const UserLandData& account)
{
    return CommonFunction::EncrypteUTF8(account.UserAccount + QChar(0x0C) + account.UserPassWord, kDesKeyRequest);
}

bool GoldCoinTask::readTaskDue()
{
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    if (defaults.stringForKey(QStringLiteral("coinNewsLastTime")) == today()) {
        const QString count = defaults.stringForKey(QStringLiteral("coinRead"));
        return count.isNull() || NSStringValues::integerValue(count) < kMostReadsPerDay;
    }
    defaults.setObject(QVariant(), QStringLiteral("coinRead"));
    defaults.synchronize();
    return true;
}

void GoldCoinTask::postOpenNewsTask()
{
    const UserLandDataPtr account = reportingAccount();
    if (!account)
        return;
    QVariantMap fields;
    fields.insert(QStringLiteral("userHash"), userHash(*account));
    fields.insert(QStringLiteral("strTaskID"), CommonFunction::EncrypteUTF8(QLatin1String(kCoinTaskReadNews), kDesKeyRequest));
    const QString name = account->UserAccount;
    AFNetManager::requestWithUrlString(
        kUrlDoTask, false, fields, 1, nullptr,
        [name](const std::shared_ptr<URLSessionDataTask>&, const QVariant& reply) {
            const QByteArray bytes = reply.toByteArray();
            if (!bytes.isEmpty())
                readTaskReplied(bytes, name);
        },
        [](const std::shared_ptr<URLSessionDataTask>&, const Error&) {});
}

void GoldCoinTask::readTaskReplied(const QByteArray& reply, const QString& account)
{
    TTXMLParser parser(reply);
    parser.parse();
    QString value;
    if (const auto& root = parser.rootObject())
        value = root->value(TTXMLKeys::kValue).toString();
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    const QString count = defaults.stringForKey(QStringLiteral("coinRead"));
    const int64_t next = count.isNull() ? 1 : NSStringValues::integerValue(count) + 1;
    defaults.setString(QString::number(next), QStringLiteral("coinRead"));
    defaults.synchronize();
    if (value != QStringLiteral("false")) {
        defaults.setString(today(), QStringLiteral("coinNewsLastTime"));
        defaults.synchronize();
    }
    const QString tipKey = QStringLiteral("%1coins_newsTip").arg(account);
    if (!defaults.objectForKey(tipKey).isValid()) {
        defaults.setString(QStringLiteral("qqq"), tipKey);
        defaults.synchronize();
    }
    qInfo() << "未完成";
}
