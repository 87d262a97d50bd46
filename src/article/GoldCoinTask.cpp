#include "article/GoldCoinTask.h"

#include "account/AccountRequests.h"
#include "database/ServerUrls.h"
#include "foundation/CommonFunction.h"
#include "foundation/xml/TTXMLParser.h"
#include "networking/AFNetManager.h"
#include "platform/Clock.h"
#include "platform/NSStringValues.h"
#include "platform/UserDefaults.h"

#include <QDebug>

#include <array>
#include <limits>

namespace {

// Reading rewards its first four a day, comments their first three, ad clicks one. The read
// task's day moves on every rewarded reply; the other two only on the first ones of the day.
const std::array<GoldCoinTask::Rule, 3> kRules = {{
    {GoldCoinTask::kCoinTaskReadNews, "coinRead", "coinNewsLastTime", 4, std::numeric_limits<int>::max()},
    {GoldCoinTask::kCoinTaskComment, "coinComment", "coinCommentLastTime", 3, 2},
    {GoldCoinTask::kCoinTaskAdClick, "coinAdvertise", "coinAdvertiseLastTime", 1, 1},
}};

// Main thread only, like every caller.
std::array<int, 3> gInFlight = {0, 0, 0};

int index(GoldCoinTask::Kind kind)
{
    return static_cast<int>(kind);
}

QString today()
{
    return CommonFunction::BJZoneDateStringFromDate(Clock::now());
}

}  // namespace

const GoldCoinTask::Rule& GoldCoinTask::rule(Kind kind)
{
    return kRules.at(static_cast<size_t>(index(kind)));
}

QString GoldCoinTask::userHash(const UserLandData& account)
{
    return AccountRequests::userHash(account.UserAccount, account.UserPassWord);
}

int GoldCoinTask::inFlight(Kind kind)
{
    return gInFlight.at(static_cast<size_t>(index(kind)));
}

bool GoldCoinTask::due(Kind kind)
{
    const Rule& r = rule(kind);
    const QString counterKey = QLatin1String(r.counterKey);
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    if (defaults.stringForKey(QLatin1String(r.lastDayKey)) == today()) {
        const QString count = defaults.stringForKey(counterKey);
        const int64_t done = count.isNull() ? 0 : NSStringValues::integerValue(count);
        // A report still on its way will raise the counter: pages built before its reply must
        // not slip past the limit.
        return done + inFlight(kind) < r.perDay;
    }
    defaults.setObject(QVariant(), counterKey);
    defaults.synchronize();
    return inFlight(kind) < r.perDay;
}

bool GoldCoinTask::post(Kind kind)
{
    const UserLandDataPtr account = AccountRequests::rememberedLogin();
    if (!account)
        return false;
    QVariantMap fields;
    fields.insert(QStringLiteral("userHash"), userHash(*account));
    fields.insert(QStringLiteral("strTaskID"), CommonFunction::EncrypteUTF8(QLatin1String(rule(kind).taskId), kDesKeyRequest));
    const QString name = account->UserAccount;
    ++gInFlight.at(static_cast<size_t>(index(kind)));
    const auto settle = [kind] {
        int& waiting = gInFlight.at(static_cast<size_t>(index(kind)));
        waiting = std::max(0, waiting - 1);
    };
    AFNetManager::requestWithUrlString(
        kUrlDoTask, false, fields, 1, nullptr,
        [kind, name, settle](const std::shared_ptr<URLSessionDataTask>&, const QVariant& reply) {
            settle();
            const QByteArray bytes = reply.toByteArray();
            if (!bytes.isEmpty())
                replied(kind, bytes, name);
        },
        [settle](const std::shared_ptr<URLSessionDataTask>&, const Error&) { settle(); });
    return true;
}

void GoldCoinTask::report(Kind kind)
{
    if (due(kind))
        post(kind);
}

void GoldCoinTask::replied(Kind kind, const QByteArray& reply, const QString& account)
{
    const Rule& r = rule(kind);
    TTXMLParser parser(reply);
    parser.parse();
    QString value;
    if (const auto& root = parser.rootObject())
        value = root->value(TTXMLKeys::kValue).toString();
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    const QString counterKey = QLatin1String(r.counterKey);
    const QString count = defaults.stringForKey(counterKey);
    const int64_t next = count.isNull() ? 1 : NSStringValues::integerValue(count) + 1;
    defaults.setString(QString::asprintf("%lld", static_cast<long long>(next)), counterKey);
    defaults.synchronize();
    if (value != QStringLiteral("false") && next <= r.lastDayUpTo) {
        defaults.setString(today(), QLatin1String(r.lastDayKey));
        defaults.synchronize();
    }
    if (kind != Kind::ReadNews)
        return;
    const QString tipKey = QStringLiteral("%1coins_newsTip").arg(account);
    if (!defaults.objectForKey(tipKey).isValid()) {
        defaults.setString(QStringLiteral("qqq"), tipKey);
        defaults.synchronize();
    }
    qInfo() << "未完成";
}
