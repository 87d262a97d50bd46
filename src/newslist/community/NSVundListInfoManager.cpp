#include "newslist/community/NSVundListInfoManager.h"

#include "database/DatabaseOperate.h"
#include "database/ServerUrls.h"
#include "foundation/CommonFunction.h"
#include "foundation/GlobalValues.h"
#include "newslist/community/VundCategoryJson.h"
#include "networking/AFNetManager.h"
#include "networking/TaskResponseHeader.h"
#include "platform/Clock.h"

#include <QJsonValue>
#include <QPointer>

#include <functional>

#include <mutex>

namespace {

// The stored Last-Modified of the type equals this reply's: nothing has changed.
bool unchanged(const QString& lastTime, int64_t type)
{
    DatabaseOperate::Lease store;
    if (!store)
        return false;
    const QString stored = store->getWebFileLastModifyTimeforFileType(type);
    return !stored.isNull() && stored == lastTime;
}

void storeStamps(const QString& lastTime, int64_t modifyType, int64_t updateType)
{
    if (!lastTime.isEmpty()) {
        DatabaseOperate::Lease store;
        if (store)
            store->setWebFileLastModifyTime(lastTime, modifyType);
    }
    CommonFunction::saveWebFileLastUpdateTime(updateType);
}

// The reply steps both managers share: an unchanged Last-Modified drops the reply; a readable
// reply replaces the stored rows (with nothing for an empty array or a non-array), and only an
// array with entries stores the stamps; an unreadable one changes nothing. Returns the
// Last-Modified text of the reply.
template <class Record>
QString takeReply(const std::shared_ptr<URLSessionDataTask>& task, const QByteArray& data, int64_t modifyType,
                  int64_t updateType, QList<Record> (*records)(const QJsonArray&),
                  const std::function<void(DatabaseOperate&, const QList<Record>&)>& replace)
{
    const QString lastTime = responseHeaderField(task, QStringLiteral("Last-Modified"));
    if (unchanged(lastTime, modifyType) || data.isEmpty())
        return lastTime;
    const VundCategoryJson::Reply reply = VundCategoryJson::read(data);
    if (!reply.readable)
        return lastTime;
    QList<Record> list;
    if (reply.isArray && !reply.array.isEmpty()) {
        list = records(reply.array);
        storeStamps(lastTime, modifyType, updateType);
    }
    DatabaseOperate::Lease store;
    if (store)
        replace(*store, list);
    return lastTime;
}

}  // namespace

// ---- NSVundListInfoManager ----

NSVundListInfoManager& NSVundListInfoManager::getInstance()
{
    static std::once_flag once;
    static NSVundListInfoManager* instance = nullptr;
    std::call_once(once, [] { instance = new NSVundListInfoManager; });
    return *instance;
}

QList<NSVundListInfoPtr> NSVundListInfoManager::getVundDataFrom(const QJsonArray& array)
{
    QList<NSVundListInfoPtr> records;
    VundCategoryJson::forEachObject(array, [&](const QJsonObject& object) {
        auto record = std::make_shared<NSVundListInfo>();
        record->vundId = VundCategoryJson::idOf(object, record->vundId);
        const QJsonValue name = object.value(QLatin1String("n"));
        if (name.isString())
            record->vundTitle = name.toString();
        const QJsonValue count = object.value(QLatin1String("c"));
        if (count.isDouble())
            record->vundCount = QString::number(qint64(count.toDouble()));
        else if (count.isString())
            record->vundCount = count.toString();
        records.append(std::move(record));
    });
    return records;
}

void NSVundListInfoManager::reloadVundInfo()
{
    if (m_bDownLoading || !CommonFunction::needReloadWebFile(m_iWebFileLastUpdateTimeType))
        return;
    m_bDownLoading = true;
    m_lastTimeStr.clear();
    const QString url = QStringLiteral("%1?client=1&r=%2").arg(kUrlVundCategory).arg(CommonFunction::getRandom());
    AFNetManager::requestWithUrlString(
        url, true, QVariant(), 1, nullptr,
        [this](const std::shared_ptr<URLSessionDataTask>& task, const QVariant& reply) { onReply(task, reply.toByteArray()); },
        [this](const std::shared_ptr<URLSessionDataTask>&, const Error&) { m_bDownLoading = false; });
}

void NSVundListInfoManager::onReply(const std::shared_ptr<URLSessionDataTask>& task, const QByteArray& data)
{
    m_lastTimeStr = takeReply<NSVundListInfoPtr>(
        task, data, m_iWebFileLastModifyTimeType, m_iWebFileLastUpdateTimeType, &getVundDataFrom,
        [](DatabaseOperate& store, const QList<NSVundListInfoPtr>& list) { store.ForumList_ReplaceForumList(list); });
    m_bDownLoading = false;
}

// ---- NSVundCategoryInfoManager ----

NSVundCategoryInfoManager::NSVundCategoryInfoManager(QObject* parent) : QObject(parent) {}

NSVundCategoryInfoManager::~NSVundCategoryInfoManager()
{
    cancel();
}

QList<NSVundCategoryInfoPtr> NSVundCategoryInfoManager::getVundDataFrom(const QJsonArray& array)
{
    QList<NSVundCategoryInfoPtr> records;
    VundCategoryJson::forEachObject(array, [&](const QJsonObject& object) {
        auto record = std::make_shared<NSVundCategoryInfo>();
        record->categoryId = VundCategoryJson::idOf(object, record->categoryId);
        const QJsonValue name = object.value(QLatin1String("n"));
        if (name.isString())
            record->categoryTitle = name.toString();
        records.append(std::move(record));
    });
    return records;
}

void NSVundCategoryInfoManager::cancel()
{
    ++m_serial;
    if (m_loadSession) {
        m_loadSession->invalidateSessionCancelingTasks(true);
        m_loadSession.reset();
    }
    // A fetch that was cancelled is over: a later one for any id may start.
    m_bDownLoading = false;
}

void NSVundCategoryInfoManager::reloadCategoryInfoForVundId(int64_t vundId)
{
    if (m_bDownLoading) {
        if (m_vundId == vundId)
            return;
        cancel();
    }
    const int64_t type = WebFileType::vundCategory(vundId);
    const QDateTime last = CommonFunction::getWebFileLastUpdateTime(type);
    if (last.isValid() && last.secsTo(Clock::now()) < kThrottleSeconds)
        return;
    m_bDownLoading = true;
    m_vundId = vundId;
    m_iWebFileLastUpdateTimeType = type;
    m_iWebFileLastModifyTimeType = type;
    m_lastTimeStr.clear();
    const uint64_t serial = ++m_serial;
    QPointer<NSVundCategoryInfoManager> self(this);
    const QString url =
        QStringLiteral("%1?categoryid=%2&r=%3").arg(kUrlVundCategory).arg(vundId).arg(CommonFunction::getRandom());
    m_loadSession = AFNetManager::requestWithUrlString(
        url, true, QVariant(), 1, nullptr,
        [self, serial](const std::shared_ptr<URLSessionDataTask>& task, const QVariant& reply) {
            if (self && self->m_serial == serial)
                self->onReply(task, reply.toByteArray());
        },
        [self, serial](const std::shared_ptr<URLSessionDataTask>&, const Error&) {
            if (self && self->m_serial == serial) {
                self->m_loadSession.reset();
                self->m_bDownLoading = false;
            }
        });
}

void NSVundCategoryInfoManager::onReply(const std::shared_ptr<URLSessionDataTask>& task, const QByteArray& data)
{
    m_loadSession.reset();
    const int64_t vundId = m_vundId;
    m_lastTimeStr = takeReply<NSVundCategoryInfoPtr>(
        task, data, m_iWebFileLastModifyTimeType, m_iWebFileLastUpdateTimeType, &getVundDataFrom,
        [vundId](DatabaseOperate& store, const QList<NSVundCategoryInfoPtr>& list) {
            store.ForumCategory_setCategoryList(list, vundId);
        });
    m_bDownLoading = false;
}
