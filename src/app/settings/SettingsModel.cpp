#include "app/settings/SettingsModel.h"

#include "database/DatabaseOperate.h"
#include "database/SettingsDatabaseOperate.h"
#include "foundation/CommonFunction.h"
#include "foundation/GlobalValues.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>

namespace {

// One settings call under its own lease; the fallback when the store is busy on this thread.
template <typename Call, typename Result>
Result withSettings(Call call, Result fallback)
{
    SettingsDatabaseOperate::Lease settings;
    if (!settings)
        return fallback;
    return call(*settings);
}

}  // namespace

SettingsModel::SettingsModel(std::shared_ptr<SettingsContext> context, std::shared_ptr<CacheCleaner> cleaner)
    : m_context(context ? std::move(context) : std::make_shared<SettingsContext>()),
      m_cleaner(cleaner ? std::move(cleaner) : std::make_shared<CacheCleaner>())
{
}

NSMyUserInfoPtr SettingsModel::currentUser() const
{
    return m_context->currentUser ? m_context->currentUser() : nullptr;
}

bool SettingsModel::thinFontAvailable() const
{
    return CommonFunction::isEICapitanLater();
}

bool SettingsModel::thinFont() const
{
    return withSettings([](SettingsDatabaseOperate& s) { return s.getXiti(); }, false);
}

bool SettingsModel::douZaiMai() const
{
    return gbDouZaiMai.load();
}

bool SettingsModel::autoClear() const
{
    return withSettings([](SettingsDatabaseOperate& s) { return s.isAutoClearData(); }, true);
}

bool SettingsModel::updateCountTip() const
{
    return gbUpdateNewsCountTiShi.load();
}

bool SettingsModel::replyRemind() const
{
    return gbReplyRemind.load();
}

std::optional<bool> SettingsModel::showTail() const
{
    const NSMyUserInfoPtr user = currentUser();
    if (!user)
        return std::nullopt;
    return user->iNoShowDevice != 1;
}

void SettingsModel::changFont(bool checked)
{
    gbThinFont = checked;
    withSettings([checked](SettingsDatabaseOperate& s) { return s.setXiti(checked ? 1 : 0); }, false);
    NotificationCenter::defaultCenter().post(QLatin1String(kFontChanged));
}

void SettingsModel::showDZM(bool checked)
{
    gbDouZaiMai = checked;
    withSettings([checked](SettingsDatabaseOperate& s) { return s.setDouZaiMai(checked ? 1 : 0); }, false);
}

void SettingsModel::AutoClear(bool checked)
{
    withSettings([checked](SettingsDatabaseOperate& s) { return s.setAutoClearData(checked); }, false);
}

void SettingsModel::UpdateCount(bool checked)
{
    gbUpdateNewsCountTiShi = checked;
    withSettings([checked](SettingsDatabaseOperate& s) { return s.setUpdateNewsCountTiShi(checked); }, false);
}

void SettingsModel::commontReport(bool checked)
{
    gbReplyRemind = checked;
    withSettings([checked](SettingsDatabaseOperate& s) { return s.setReplyRemind(checked); }, false);
}

bool SettingsModel::ShowTail(bool checked)
{
    const NSMyUserInfoPtr user = currentUser();
    if (!user)
        return false;
    user->iNoShowDevice = checked ? 0 : 1;
    if (m_context->postShowDevice)
        m_context->postShowDevice();
    return true;
}

void SettingsModel::refreshReminderDot()
{
    const NSMyUserInfoPtr user = currentUser();
    if (gbReplyRemind.load() && user && m_context->downloadUserRemindCount)
        m_context->downloadUserRemindCount(QString::number(user->userID));
    else
        updateTiXingStatus();
}

bool SettingsModel::updateTiXingStatus()
{
    bool shown = false;
    const NSMyUserInfoPtr user = currentUser();
    if (gbReplyRemind.load() && user) {
        const QString id = QString::number(user->userID);
        DatabaseOperate::Lease store;
        if (store)
            shown = store->CommentManageMaxId_hasRemind(id) || store->ForumManageMaxId_hasRemind(id);
    }
    if (!shown) {
        UserDefaults& defaults = UserDefaults::standardUserDefaults();
        const QString key = QLatin1String(kCoinShopVersionKey);
        QString stored = defaults.stringForKey(key);
        const QString current = gCoinShopVersion.get();
        if (stored.isEmpty()) {
            defaults.setString(current, key);
            defaults.synchronize();
            stored = current;
        }
        shown = stored != current;
    }
    if (m_context->setReminderDotVisible)
        m_context->setReminderDotVisible(shown);
    return shown;
}

void SettingsModel::coinShopOpened()
{
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    defaults.setString(gCoinShopVersion.get(), QLatin1String(kCoinShopVersionKey));
    defaults.synchronize();
    updateTiXingStatus();
}

QString SettingsModel::version()
{
    return QCoreApplication::applicationVersion();
}
