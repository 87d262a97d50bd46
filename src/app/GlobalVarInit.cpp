#include "app/GlobalVarInit.h"

#include "app/NightWindow.h"
#include "database/ServerUrls.h"
#include "database/SettingsDatabaseOperate.h"
#include "foundation/CommonFunction.h"
#include "foundation/GlobalValues.h"
#include "platform/Clock.h"
#include "platform/UserDefaults.h"

#include <QDebug>
#include <QScopeGuard>

#include <functional>

namespace {

// One settings call inside its own bracket; the fallback when the store is held by this thread.
template <typename Result, typename Read>
Result readSetting(Read read, Result fallback)
{
    SettingsDatabaseOperate::Lease settings;
    if (!settings) {
        qWarning("initGlobalVar: the settings store is busy on this thread; a default is used");
        return fallback;
    }
    return std::invoke(read, *settings);
}

int chooseTheme()
{
    if (!gbAutoNightMode.load())
        return NightWindow::validTheme(readSetting(&SettingsDatabaseOperate::themeMode, 1));

    const QDateTime now = Clock::now().toTimeZone(Clock::localZone());
    const NightWindow::TimeOfDay timeOfDay{now.time().hour(), now.time().minute()};
    const QString start = readSetting(&SettingsDatabaseOperate::getStartTime, QString());
    const QString end = readSetting(&SettingsDatabaseOperate::getEndTime, QString());
    // The stored theme is read only when the window leaves it to decide.
    const std::optional<int> theme = NightWindow::windowTheme(timeOfDay, start, end);
    if (!theme.has_value())
        return NightWindow::validTheme(readSetting(&SettingsDatabaseOperate::themeMode, 1));
    if (*theme == 1)
        return 1;
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    if (!defaults.boolForKey(QLatin1String(kAutoNightTipKey))) {
        defaults.setBool(true, QLatin1String(kAutoNightTipKey));
        defaults.synchronize();
    }
    return 2;
}

void publishSharedSuite()
{
    UserDefaults& suite = UserDefaults::suite(QLatin1String(kSharedSuiteName));
    const std::pair<const char*, QVariant> values[] = {
        {SharedSuiteKeys::kLoadAllData, QVariant(gbLoadAllData.load())},
        {SharedSuiteKeys::kGetNews, QVariant(kUrlNewsListXml)},
        {SharedSuiteKeys::kApiRandom, QVariant(gbApiRandom.load())},
        {SharedSuiteKeys::kTidwenUrl, QVariant(kUrlSiteHome)},
    };
    // Writing the file costs more than the rest of start-up's reads together; a start whose
    // values are those of the last one leaves it as it is.
    bool changed = false;
    for (const auto& [key, value] : values) {
        if (suite.objectForKey(QLatin1String(key)) != value) {
            suite.setObject(value, QLatin1String(key));
            changed = true;
        }
    }
    if (changed)
        suite.synchronize();
}

}  // namespace

QString defaultConfigReportUrl()
{
    return QStringLiteral("http://%1/receive/kvup.aspx").arg(QLatin1String(ServerHosts::kReport));
}

void initGlobalVar()
{
    // A first start stores a default row for every key read below: one write to the disk for
    // all of them instead of one each.
    readSetting(&SettingsDatabaseOperate::beginWriteBatch, false);
    const auto written = qScopeGuard([] { readSetting(&SettingsDatabaseOperate::endWriteBatch, false); });

    gbApiRandom = false;
    gbOwnAdReport = false;
    gbAdImageCleanEnabled = false;

    gbAutoNightMode = readSetting(&SettingsDatabaseOperate::autoNightMode, true);
    gThemeMode = chooseTheme();

    gbReplyRemind = readSetting(&SettingsDatabaseOperate::isReplyRemind, true);
    // Read for their default rows; nothing uses the values.
    readSetting(&SettingsDatabaseOperate::onlyShowPictureInWIFI, false);
    readSetting(&SettingsDatabaseOperate::getFullScreenMode, false);
    gbUpdateNewsCountTiShi = readSetting(&SettingsDatabaseOperate::getUpdateNewsCountTiShi, true);

    gAvatarHost.set(QStringLiteral(""));

    gbLoadAllData = readSetting(&SettingsDatabaseOperate::isLoadAllData, false);
    gbLoadAllData = true;

    publishSharedSuite();

    readSetting(&SettingsDatabaseOperate::isShowMainViewTiShi, true);
    readSetting(&SettingsDatabaseOperate::isShowNewsViewTiShi, true);

    gRelatedNewsCount = 3;
    gNewsScoreMax = 5;
    gNewsScoreMinRaters = 5;

    if (CommonFunction::isEICapitanLater())
        gbThinFont = readSetting(&SettingsDatabaseOperate::getXiti, false);

    gbDouZaiMai = readSetting(&SettingsDatabaseOperate::getDouZaiMai, true);
    readSetting(&SettingsDatabaseOperate::getAllMute, false);
    readSetting(&SettingsDatabaseOperate::getClickPlay, true);
    readSetting(&SettingsDatabaseOperate::getRefreshPlay, true);
    readSetting(&SettingsDatabaseOperate::getSendPlay, true);
    readSetting(&SettingsDatabaseOperate::getCoinPlay, true);

    gCoinShopVersion.set(QStringLiteral("1"));
    gbZefupHitReport = false;
    gbConfigReportOn = false;
    gConfigReportUrl.set(defaultConfigReportUrl());
}
