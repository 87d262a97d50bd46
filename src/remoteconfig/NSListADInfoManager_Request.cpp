// The list-ad request, its kept reply, the ads' pictures and the own ads' reports.
#include "remoteconfig/NSListADInfoManager.h"

#include "database/DatabaseOperate.h"
#include "database/ServerUrls.h"
#include "foundation/CommonFunction.h"
#include "foundation/GlobalValues.h"
#include "networking/AFNetManager.h"
#include "networking/AFURLSessionManager.h"
#include "platform/NotificationCenter.h"
#include "platform/StorageRoot.h"
#include "remoteconfig/NSADInfoManager.h"
#include "remoteconfig/RemoteConfigElements.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace E = RemoteConfigElements;

namespace {

constexpr auto kSlots = "slots";
constexpr auto kAds = "ads";

QString jsonText(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? value.toString().trimmed() : QString();
}

}  // namespace

NSListADInfoManager::~NSListADInfoManager()
{
    *m_alive = false;
    if (m_session)
        m_session->invalidateSessionCancelingTasks(true);
}

QString NSListADInfoManager::cacheFilePath()
{
    return QDir(NSADInfoManager::adInfoFolder()).filePath(QStringLiteral("ListAD.dat"));
}

QByteArray NSListADInfoManager::listADRequestBody() const
{
    QJsonArray slotList;
    {
        std::lock_guard lock(m_mutex);
        for (const SlotState& state : m_slots) {
            slotList.append(QJsonObject{{QString::fromLatin1(E::kListAdSlotStart), qint64(state.slot.startPos)},
                                        {QString::fromLatin1(E::kListAdSlotEnd), qint64(state.slot.endPos)}});
        }
    }
    return QJsonDocument(QJsonObject{{QString::fromLatin1(kSlots), slotList}}).toJson(QJsonDocument::Compact);
}

bool NSListADInfoManager::takeListADReply(const QByteArray& reply)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(reply, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonValue slotValue = document.object().value(QLatin1String(kSlots));
    if (!slotValue.isArray())
        return false;
    const QJsonArray replySlots = slotValue.toArray();
    std::lock_guard lock(m_mutex);
    for (qsizetype i = 0; i < m_slots.size(); ++i) {
        ListADSlot& slot = m_slots[i].slot;
        slot.ads.clear();
        slot.weights.clear();
        m_slots[i].lastChosen = -1;
        const QJsonArray ads = i < replySlots.size() ? replySlots.at(i).toObject().value(QLatin1String(kAds)).toArray()
                                                      : QJsonArray();
        for (const QJsonValue& value : ads) {
            const QJsonObject object = value.toObject();
            auto ad = std::make_shared<NSListADInfo>();
            ad->adUrl = jsonText(object, E::kListAdUrl);
            if (ad->adUrl.isEmpty())
                continue;
            ad->adImageUrl = jsonText(object, E::kListAdImage);
            ad->adTitle = jsonText(object, E::kListAdTitle);
            ad->adType = jsonText(object, E::kListAdLabel);
            ad->listADType = 1;
            ad->startPos = slot.startPos;
            ad->endPos = slot.endPos;
            slot.ads.append(ad);
            slot.weights.append(std::max<int64_t>(1, object.value(QLatin1String(E::kListAdWeight)).toInteger(1)));
        }
    }
    return true;
}

void NSListADInfoManager::reloadListAD()
{
    beginApply();
    if (!hasAnyAd()) {
        QFile kept(cacheFilePath());
        if (kept.open(QIODevice::ReadOnly))
            takeListADReply(kept.readAll());
    }
    QString url;
    bool anySlot = false;
    {
        std::lock_guard lock(m_mutex);
        url = m_listADUrl;
        anySlot = !m_slots.isEmpty();
    }
    if (m_requesting) {
        // The running request ends the apply begun here as well.
        endApply();
        return;
    }
    if (url.isEmpty() || !anySlot || !CommonFunction::needReloadWebFile(WebFileType::kListAD)) {
        loadImagesThenPost();
        return;
    }
    requestListAD(url);
}

void NSListADInfoManager::requestListAD(const QString& url)
{
    m_requesting = true;
    URLRequest request;
    request.URL = QUrl(url, QUrl::StrictMode);
    request.HTTPMethod = QStringLiteral("POST");
    request.setValue(QStringLiteral("application/json"), QStringLiteral("Content-Type"));
    m_session = std::make_shared<AFURLSessionManager>();
    m_session->setResponseSerializer(std::make_shared<AFHTTPResponseSerializer>());
    std::weak_ptr<bool> alive = m_alive;
    const auto task = m_session->uploadTaskWithRequestFromData(
        request, listADRequestBody(), AFURLSessionProgressBlock(),
        [this, alive](const std::optional<HTTPURLResponse>& response, const QVariant& body, const std::optional<Error>& error) {
            if (alive.expired())
                return;
            const QString lastModified = response ? response->valueForHTTPHeaderField(QStringLiteral("Last-Modified")) : QString();
            finishListADRequest(body.toByteArray(), lastModified, !error.has_value());
        });
    if (!task) {
        finishListADRequest(QByteArray(), QString(), false);
        return;
    }
    // The manager makes its tasks suspended; this one goes out at once.
    task->resume();
}

void NSListADInfoManager::finishListADRequest(const QByteArray& reply, const QString& lastModified, bool ok)
{
    m_requesting = false;
    m_session.reset();
    // A reply that is no list-ad reply keeps the ads and the kept file as they are.
    if (ok && takeListADReply(reply)) {
        StorageRoot::writeFileAtomically(cacheFilePath(), reply);
        if (!lastModified.isEmpty()) {
            DatabaseOperate::Lease store;
            if (store)
                store->setWebFileLastModifyTime(lastModified, WebFileType::kListAD);
        }
        CommonFunction::saveWebFileLastUpdateTime(WebFileType::kListAD);
    }
    loadImagesThenPost();
}

void NSListADInfoManager::loadImagesThenPost()
{
    // One load for each ad picture not on disk yet; the list hears of the ads when the last ends.
    auto pending = std::make_shared<int>(1);
    std::weak_ptr<bool> alive = m_alive;
    auto done = [this, alive, pending]() {
        if (--*pending != 0 || alive.expired())
            return;
        endApply();
        NotificationCenter::defaultCenter().post(QString::fromLatin1(kReloadTableTuiguangAD));
    };
    for (const QString& url : adImageUrls()) {
        const QString path = QDir(NSADInfoManager::adImageFolder()).filePath(NSADInfoManager::adImageFileName(url));
        if (QFileInfo::exists(path))
            continue;
        ++*pending;
        AFNetManager::requestWithUrlString(
            url, true, QVariant(), 1, nullptr,
            [path, done](const std::shared_ptr<URLSessionDataTask>&, const QVariant& body) {
                StorageRoot::writeFileAtomically(path, body.toByteArray());
                done();
            },
            [done](const std::shared_ptr<URLSessionDataTask>&, const Error&) { done(); });
    }
    done();
}

void NSListADInfoManager::postOwnAdClick(const NSListADInfoPtr& ad)
{
    if (ad && ad->listADType == 1)
        postOwnAdReport(ad, QStringLiteral("click"));
}

void NSListADInfoManager::postOwnAdReport(const NSListADInfoPtr& ad, const QString& event)
{
    if (!gbOwnAdReport || kUrlOwnAdReport.isEmpty())
        return;
    const QVariantMap parms{{QStringLiteral("url"), ad->adUrl}, {QStringLiteral("event"), event}};
    AFNetManager::requestWithUrlString(kUrlOwnAdReport, false, parms, 2, nullptr,
                                       [](const std::shared_ptr<URLSessionDataTask>&, const QVariant&) {},
                                       [](const std::shared_ptr<URLSessionDataTask>&, const Error&) {});
}
