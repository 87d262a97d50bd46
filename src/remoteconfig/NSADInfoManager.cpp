#include "remoteconfig/NSADInfoManager.h"

#include "database/CacheLayout.h"
#include "database/DatabaseOperate.h"
#include "database/ServerUrls.h"
#include "foundation/CommonFunction.h"
#include "foundation/GlobalValues.h"
#include "foundation/URLErrorCodes.h"
#include "networking/AFNetManager.h"
#include "networking/TaskResponseHeader.h"
#include "platform/NotificationCenter.h"
#include "platform/StorageRoot.h"
#include "platform/UserDefaults.h"
#include "remoteconfig/NSListADInfoManager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>


namespace {

constexpr auto kUrlsVersionKey = "UrlsVersion1";
constexpr auto kNewsListVersionKey = "NewsListVersion";
constexpr auto kReloadNewList = "reloadNewList";
constexpr auto kLastModified = "Last-Modified";

QString storedLastModified()
{
    DatabaseOperate::Lease store;
    return store ? store->getWebFileLastModifyTimeforFileType(WebFileType::kRemoteConfig) : QString();
}

// A new version that differs from the stored one, both present.
bool newVersion(const QString& version, const QString& stored)
{
    return !version.isEmpty() && !stored.isEmpty() && version != stored;
}

void applyUrlList(const RemoteConfig::UrlList& list)
{
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    if (!newVersion(list.version, defaults.stringForKey(QString::fromLatin1(kUrlsVersionKey))))
        return;
    // A list shorter than the server URL table is not a table.
    if (list.urls.size() < ServerUrls::kKeyCount)
        return;
    bool updated = false;
    {
        DatabaseOperate::Lease store;
        updated = store && store->UrlList_update(list.urls);
    }
    if (updated) {
        defaults.setString(list.version, QString::fromLatin1(kUrlsVersionKey));
        defaults.synchronize();
    }
}

void applyChannelList(const RemoteConfig::ChannelList& list)
{
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    if (!newVersion(list.version, defaults.stringForKey(QString::fromLatin1(kNewsListVersionKey))))
        return;
    if (list.channels.isEmpty())
        return;
    QList<NewsListDataPtr> channels = list.channels;
    bool updated = false;
    {
        DatabaseOperate::Lease store;
        updated = store && store->NewsList_update(channels);
    }
    if (updated) {
        NotificationCenter::defaultCenter().post(QString::fromLatin1(kReloadNewList));
        defaults.setString(list.version, QString::fromLatin1(kNewsListVersionKey));
        defaults.synchronize();
    }
}

// The hot-comments channel 153: kept by exactly one element, removed otherwise. Written by every
// file that names it, unchanged or not: the insert also resets the channel's next-page address.
void applyHotCommentChannel(DatabaseOperate& store, const RemoteConfig& config)
{
    if (config.hotCommentChannelCount == 1) {
        if (!config.hotCommentName.isEmpty() && !config.hotCommentUrl.isEmpty())
            store.HotComment_insert(config.hotCommentName, config.hotCommentUrl);
    } else {
        store.HotComment_delete();
    }
}

void applyDealCategories(DatabaseOperate& store, const QStringList& names)
{
    QStringList stored;
    store.HotProduct_getList(stored);
    if (stored == QStringList{QStringLiteral("全部")} + names)
        return;
    store.HotProduct_update(names);
}

}  // namespace

NSADInfoManager& NSADInfoManager::getInstance()
{
    static NSADInfoManager manager;
    return manager;
}

NSADInfoManager::NSADInfoManager(NSListADInfoManager* listAds)
    : m_listAds(listAds ? listAds : &NSListADInfoManager::getInstance())
{
}

NSADInfoManager::~NSADInfoManager()
{
    *m_alive = false;
    if (m_session)
        m_session->invalidateSessionCancelingTasks(true);
}

QString NSADInfoManager::adInfoFolder()
{
    return CacheLayout::folderPath("ADInfo");
}

QString NSADInfoManager::cacheFilePath()
{
    return QDir(adInfoFolder()).filePath(QStringLiteral("ADInfo.dat"));
}

QString NSADInfoManager::adImageFolder()
{
    return CacheLayout::folderPath(CacheLayout::kAdImageFolder);
}

QString NSADInfoManager::adImageFileName(const QString& imageUrl)
{
    return CommonFunction::md5(imageUrl) + QStringLiteral(".png");
}

QByteArray NSADInfoManager::DecypteData(const QByteArray& data)
{
    return RemoteConfig::DecypteData(data);
}

void NSADInfoManager::reloadADInfo()
{
    if (m_downloading)
        return;
    applyCachedConfiguration();
    // A file checked less than 180 s ago is not asked for again, unless nothing could be applied.
    if (m_applied && !CommonFunction::needReloadWebFile(WebFileType::kRemoteConfig))
        return;
    m_downloading = true;
    downloadHttps();
}

void NSADInfoManager::applyCachedConfiguration()
{
    if (!m_applied)
        applyCacheFile();
}

void NSADInfoManager::applyCacheFile()
{
    QFile file(cacheFilePath());
    // Only a download from the https address is ever cached.
    if (file.open(QIODevice::ReadOnly)) {
        if (const auto config = RemoteConfig::fromEnciphered(file.readAll())) {
            getADDataFrom(*config, true);
            return;
        }
    }
    // No usable cache: forget the stored time so that the file is fetched again even when the
    // server's copy has not changed.
    DatabaseOperate::Lease store;
    if (store && !store->getWebFileLastModifyTimeforFileType(WebFileType::kRemoteConfig).isEmpty())
        store->setWebFileLastModifyTime(QStringLiteral(""), WebFileType::kRemoteConfig);
}

void NSADInfoManager::downloadHttps()
{
    std::weak_ptr<bool> alive = m_alive;
    m_session = AFNetManager::requestWithUrlString(
        kUrlRemoteConfig, false, QVariant(), 1, nullptr, std::shared_ptr<AFHTTPSessionManager>(),
        [this, alive](const std::shared_ptr<URLSessionDataTask>& task, const QVariant&) {
            if (alive.expired())
                return;
            const QString lastModified = responseHeaderField(task, QString::fromLatin1(kLastModified));
            if (!lastModified.isEmpty() && lastModified == storedLastModified()) {
                // Checked and current: the same as a download for the refresh stamp.
                CommonFunction::saveWebFileLastUpdateTime(WebFileType::kRemoteConfig);
                finish();
                return;
            }
            m_session = AFNetManager::requestWithUrlString(
                kUrlRemoteConfig, true, QVariant(), 1, nullptr, m_session,
                [this, alive, lastModified](const std::shared_ptr<URLSessionDataTask>& task, const QVariant& body) {
                    if (alive.expired())
                        return;
                    const QString modified = responseHeaderField(task, QString::fromLatin1(kLastModified));
                    takeDownload(body.toByteArray(), modified.isEmpty() ? lastModified : modified, true);
                },
                [this, alive](const std::shared_ptr<URLSessionDataTask>&, const Error& error) {
                    if (!alive.expired() && error.code != NSURLErrorCancelled)
                        downloadHttp();
                });
        },
        [this, alive](const std::shared_ptr<URLSessionDataTask>&, const Error& error) {
            if (!alive.expired() && error.code != NSURLErrorCancelled)
                downloadHttp();
        });
}

void NSADInfoManager::downloadHttp()
{
    std::weak_ptr<bool> alive = m_alive;
    m_session = AFNetManager::requestWithUrlString(
        kUrlRemoteConfigHttp, true, QVariant(), 1, nullptr, std::shared_ptr<AFHTTPSessionManager>(),
        [this, alive](const std::shared_ptr<URLSessionDataTask>&, const QVariant& body) {
            if (!alive.expired())
                takeDownload(body.toByteArray(), QString(), false);
        },
        [this, alive](const std::shared_ptr<URLSessionDataTask>&, const Error&) {
            if (!alive.expired())
                finish();
        });
}

bool NSADInfoManager::takeDownload(const QByteArray& body, const QString& lastModified, bool trusted)
{
    const auto config = RemoteConfig::fromEnciphered(body);
    if (!config) {
        // A garbled file: the cache and its stored time stay, so the next run tries again.
        finish();
        return false;
    }
    // Kept by the one policy of StorageRoot::writeFileAtomically: a cache that a crash loses is
    // noticed at the next start (applyCacheFile), which then fetches the file again.
    if (trusted && StorageRoot::writeFileAtomically(cacheFilePath(), body)) {
        {
            DatabaseOperate::Lease store;
            if (store && !lastModified.isEmpty())
                store->setWebFileLastModifyTime(lastModified, WebFileType::kRemoteConfig);
        }
        CommonFunction::saveWebFileLastUpdateTime(WebFileType::kRemoteConfig);
    }
    getADDataFrom(*config, trusted);
    // The file just applied decides whether its download is reported.
    if (gbConfigReportOn)
        postConfigReport(config->version.isEmpty() ? lastModified : config->version);
    finish();
    return true;
}

void NSADInfoManager::postConfigReport(const QString& version)
{
    const QString url = gConfigReportUrl.get();
    if (url.isEmpty())
        return;
    AFNetManager::requestWithUrlString(url, false, QVariantMap{{QStringLiteral("version"), version}}, 2, nullptr,
                                       [](const std::shared_ptr<URLSessionDataTask>&, const QVariant&) {},
                                       [](const std::shared_ptr<URLSessionDataTask>&, const Error&) {});
}

void NSADInfoManager::finish()
{
    m_downloading = false;
}

void NSADInfoManager::getADDataFrom(const RemoteConfig& config, bool trusted)
{
    m_listAds->beginApply();
    if (config.avatarHost)
        gAvatarHost.set(*config.avatarHost);
    if (config.relatedNewsCount)
        gRelatedNewsCount = *config.relatedNewsCount;
    if (config.newsScoreMax)
        gNewsScoreMax = *config.newsScoreMax;
    if (config.newsScoreMinRaters)
        gNewsScoreMinRaters = *config.newsScoreMinRaters;
    if (config.apiRandom)
        gbApiRandom = *config.apiRandom;
    if (config.ownAdReport)
        gbOwnAdReport = *config.ownAdReport;
    if (config.coinShopVersion)
        gCoinShopVersion.set(*config.coinShopVersion);
    if (config.zefupHitReport)
        gbZefupHitReport = *config.zefupHitReport;
    if (config.configReportOn)
        gbConfigReportOn = *config.configReportOn;
    if (config.configReportUrl && !config.configReportUrl->isEmpty())
        gConfigReportUrl.set(*config.configReportUrl);
    if (config.loadAllData)
        gbLoadAllData = true;

    if (trusted && config.urlList)
        applyUrlList(*config.urlList);
    if (trusted && config.channelList)
        applyChannelList(*config.channelList);
    {
        DatabaseOperate::Lease store;
        if (store) {
            applyHotCommentChannel(*store, config);
            if (config.dealCategories)
                applyDealCategories(*store, *config.dealCategories);
        }
    }
    if (config.listADSlots) {
        m_listAds->setADSlots(*config.listADSlots);
        m_listAds->setListADUrl(config.listADUrl);
    }
    m_applied = true;
    m_listAds->endApply();
    m_listAds->reloadListAD();
}

void NSADInfoManager::clearDisk()
{
    if (!gbAdImageCleanEnabled)
        return;
    QSet<QString> keep;
    for (const QString& url : m_listAds->adImageUrls())
        keep.insert(adImageFileName(url));
    QDir folder(adImageFolder());
    for (const QString& name : folder.entryList(QDir::Files)) {
        if (!keep.contains(name))
            folder.remove(name);
    }
}
