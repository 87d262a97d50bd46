#pragma once

#include "foundation/models/NSVundCategoryInfo.h"
#include "foundation/models/NSVundListInfo.h"

#include <QByteArray>
#include <QJsonArray>
#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

class AFHTTPSessionManager;
class URLSessionDataTask;

// Fetches the community circles into the table ForumList1. One per process. A reply whose
// Last-Modified equals the stored one is dropped unread.
class NSVundListInfoManager : public QObject
{
    Q_OBJECT

public:
    static NSVundListInfoManager& getInstance();

    // Starts a fetch of the circle list unless one is running or its refresh stamp (203) is
    // less than 180 s old.
    void reloadVundInfo();
    static QList<NSVundListInfoPtr> getVundDataFrom(const QJsonArray& array);

    bool bDownLoading() const { return m_bDownLoading; }
    QString lastTimeStr() const { return m_lastTimeStr; }
    int64_t iWebFileLastUpdateTimeType() const { return m_iWebFileLastUpdateTimeType; }
    int64_t iWebFileLastModifyTimeType() const { return m_iWebFileLastModifyTimeType; }

private:
    NSVundListInfoManager() = default;
    void onReply(const std::shared_ptr<URLSessionDataTask>& task, const QByteArray& data);

    bool m_bDownLoading = false;
    QString m_lastTimeStr;
    int64_t m_iWebFileLastUpdateTimeType = 203;
    int64_t m_iWebFileLastModifyTimeType = 203;
};

// Fetches the sub-categories of one community list into the table ForumCategory, at most once a
// day per list. Its owner makes it; its going cancels the request in flight.
class NSVundCategoryInfoManager : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 kThrottleSeconds = 86400;

    explicit NSVundCategoryInfoManager(QObject* parent = nullptr);
    ~NSVundCategoryInfoManager() override;

    // Starts a fetch for the list id; the same id while it runs does nothing, another id
    // replaces the running fetch.
    void reloadCategoryInfoForVundId(int64_t vundId);
    static QList<NSVundCategoryInfoPtr> getVundDataFrom(const QJsonArray& array);

    bool bDownLoading() const { return m_bDownLoading; }
    int64_t vundId() const { return m_vundId; }
    int64_t iWebFileLastModifyTimeType() const { return m_iWebFileLastModifyTimeType; }

private:
    void cancel();
    void onReply(const std::shared_ptr<URLSessionDataTask>& task, const QByteArray& data);

    bool m_bDownLoading = false;
    int64_t m_vundId = 21;
    QString m_lastTimeStr;
    int64_t m_iWebFileLastUpdateTimeType = 203;
    int64_t m_iWebFileLastModifyTimeType = 203;
    std::shared_ptr<AFHTTPSessionManager> m_loadSession;
    uint64_t m_serial = 0;
};
