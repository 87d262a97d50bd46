#include "newslist/CenterTableModel.h"

#include "database/DatabaseOperate.h"
#include "database/ServerUrls.h"
#include "foundation/CommonFunction.h"
#include "foundation/GlobalValues.h"
#include "foundation/URLErrorCodes.h"
#include "networking/AFNetManager.h"
#include "networking/TaskResponseHeader.h"
#include "newslist/ListCacheFile.h"
#include "newslist/NewsListFeeds.h"
#include "newslist/NewsListLinks.h"
#include "platform/Clock.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"

namespace {

constexpr int kNotFound = 404;

// An empty field counts as missing here: the stamp is compared and stored only when it says something.
QString lastModifiedOf(const std::shared_ptr<URLSessionDataTask>& task)
{
    const QString value = responseHeaderField(task, QStringLiteral("Last-Modified"));
    return value.isEmpty() ? QString() : value;
}

// The list paths whose missing HEAD falls back to the feed folder.
bool hasFallbackPrefix(const QString& url)
{
    for (const QString* prefix : {&kUrlNewsListXml, &kUrlNewsListMorePrefix, &kUrlIosListXml, &kUrlIosListMorePrefix,
                                  &kUrlRankListXml}) {
        if (!prefix->isEmpty() && url.startsWith(*prefix))
            return true;
    }
    return false;
}

void postHotForumReload(int64_t listId, int number)
{
    if (listId == 0)
        NotificationCenter::defaultCenter().post(QStringLiteral("reloadHotForumTable"), {},
                                                 {{QStringLiteral("number"), number}});
}

}  // namespace

void CenterTableModel::markReadAndFilter(QList<FeedPtr>& feeds)
{
    if (!feeds.isEmpty()) {
        DatabaseOperate::ReadMarkList<Feed> list;
        list.reserve(feeds.size());
        for (const FeedPtr& feed : feeds)
            list.append(feed);
        DatabaseOperate::Lease store;
        if (store)
            store->getNewsState(list);
    }
    filerData(feeds);
}

NewsListEntries CenterTableModel::readListEntries(const QByteArray& bytes)
{
    QList<FeedPtr> feeds;
    if (m_channel.iLoadType == 1) {
        feeds = parserNewsListXmlData(bytes);
    } else {
        for (const QList<FeedPtr>& section : parserRankNewsListXmlData(bytes))
            feeds.append(section);
    }
    markReadAndFilter(feeds);
    return entriesWithAds(feeds);
}

QString CenterTableModel::withCacheBuster(const QString& url, bool firstRefresh) const
{
    if (firstRefresh)
        return url;
    return url + QStringLiteral("?r=%1").arg(CommonFunction::getRandom());
}

// ---- loadData ----

void CenterTableModel::loadData(bool forClick)
{
    if (m_channel.ListUrl.isEmpty()) {
        m_isLoading = false;
        m_isLoadSlide = false;
        didFailedLoadData(nullptr);
        return;
    }
    // A new refresh does not wait for a running one: that one is given up, and this one shows
    // that it runs.
    const bool gaveUp = m_isLoading || m_isLoadSlide;
    if (gaveUp)
        cancelRefresh();
    const quint64 refresh = m_refresh.next();
    m_isLoading = true;
    m_isLoadSlide = true;
    m_bLoadDataForClick = forClick;

    if (!m_newsListArray.isEmpty() && m_preRefreshDate.isValid()
        && m_preRefreshDate.secsTo(Clock::now()) < kRefreshThrottleSeconds) {
        dispatch::after(100, m_refresh.guard(this, refresh, [](CenterTableModel& model) { model.jiashua(); }));
        if (carriesAds())
            rotateAds();
        return;
    }

    m_bLoadSlideSuc = kSlideNone;
    m_downLoadComplate = nullptr;
    const bool firstRefresh = m_newsListArray.isEmpty();
    if (firstRefresh)
        loadLocalData(false);
    m_lastTimeStr.clear();
    m_slideLastTimeStr.clear();

    m_listManager = AFNetManager::requestWithUrlString(
        withCacheBuster(m_channel.ListUrl, firstRefresh), false, QVariant(), 1, nullptr, std::shared_ptr<AFHTTPSessionManager>(),
        AFNetManager::ProgressBlock(),
        m_refresh.guard(this, refresh, [firstRefresh](CenterTableModel& model, const Task& task, const QVariant&) {
            model.onListHead(task, firstRefresh);
        }),
        m_refresh.guard(this, refresh, [](CenterTableModel& model, const Task& task, const Error& error) {
            model.onListHeadFailed(task, error);
        }));
    if (gaveUp)
        emit spinnerShown();

    if (m_channel.SlideUrl.isEmpty()) {
        m_isLoadSlide = false;
        m_bLoadSlideSuc = kSlideUnchanged;
        return;
    }
    m_slideManager = AFNetManager::requestWithUrlString(
        withCacheBuster(m_channel.SlideUrl, firstRefresh), false, QVariant(), 1, nullptr,
        std::shared_ptr<AFHTTPSessionManager>(),
        m_refresh.guard(this, refresh, [firstRefresh](CenterTableModel& model, const Task& task, const QVariant&) {
            model.onSlideHead(task, firstRefresh);
        }),
        m_refresh.guard(this, refresh, [](CenterTableModel& model, const Task&, const Error& error) {
            model.onSlideFailed(error);
        }));
}

void CenterTableModel::reloadDataByErrorBtn()
{
    if (m_isLoading || m_isLoadSlide)
        cancelRefresh();
    showByClick(true);
    if (m_isLoading)
        emit spinnerShown();
}

void CenterTableModel::cancelRefresh()
{
    m_refresh.next();
    for (Manager* manager : {&m_listManager, &m_slideManager}) {
        if (*manager)
            (*manager)->invalidateSessionCancelingTasks(true);
        manager->reset();
    }
    m_isLoading = false;
    m_isLoadSlide = false;
    m_downLoadComplate = nullptr;
}

// ---- The list ----

void CenterTableModel::onListHead(const Task& task, bool firstRefresh)
{
    m_lastTimeStr = lastModifiedOf(task);
    const QString stored = m_state.getNewListLastUpdateTime();
    if (!stored.isNull() && !m_lastTimeStr.isNull() && stored == m_lastTimeStr && !m_newsListArray.isEmpty()) {
        m_preRefreshDate = Clock::now();
        m_isLoading = false;
        completeOrWait([this](int outcome) {
            if (!m_bLoadDataForClick)
                didFinishLoadDataWithNoNeedLoad();
            if (outcome == kSlideNew)
                didFinishLoadDataWithNeedReloadTable();
            if (outcome == kSlideFailed)
                tip(QStringLiteral("更新列表失败"));
            else if (outcome == kSlideNew)
                tip(QStringLiteral("更新列表成功"));
            else
                tip(QStringLiteral("本栏目暂无更新"));
        });
        if (!firstRefresh)
            loadLocalData(true);
        return;
    }
    sendListGet(withCacheBuster(m_channel.ListUrl, firstRefresh));
}

void CenterTableModel::sendListGet(const QString& url)
{
    m_listManager = AFNetManager::requestWithUrlString(
        url, true, QVariant(), 1, nullptr, m_listManager, AFNetManager::ProgressBlock(),
        m_refresh.guard(this, m_refresh.current(), [](CenterTableModel& model, const Task&, const QVariant& reply) {
            model.onListReply(reply.toByteArray());
        }),
        m_refresh.guard(this, m_refresh.current(), [](CenterTableModel& model, const Task&, const Error& error) {
            model.onListFailed(error);
        }));
}

void CenterTableModel::onListHeadFailed(const Task& task, const Error& error)
{
    if (error.code == NSURLErrorCancelled)
        return;
    const auto response = task ? task->response() : std::nullopt;
    if (response && response->statusCode == kNotFound) {
        const QString sent = task->originalRequest().URL.toString();
        if (hasFallbackPrefix(sent) && !kUrlNewsListBase.isEmpty()) {
            QString fallback = sent;
            fallback.replace(kUrlNewsListBase, kUrlRss);
            sendListGet(fallback);
            return;
        }
    }
    // Every other failed HEAD, a 404 outside the fallback paths included, ends the refresh here.
    onListFailed(error);
}

void CenterTableModel::onListFailed(const Error& error)
{
    if (error.code == NSURLErrorCancelled)
        return;
    endFailedRefresh(error, CommonFunction::checkNetworkState());
}

void CenterTableModel::endFailedRefresh(const std::optional<Error>& error, bool online)
{
    m_isLoading = false;
    completeOrWait([this, error, online](int outcome) {
        didFailedLoadData(error ? &*error : nullptr);
        if (outcome == kSlideNew)
            didFinishLoadDataWithNeedReloadTable();
        if (online)
            tip(QStringLiteral("更新列表失败"));
    });
}

void CenterTableModel::onListReply(const QByteArray& bytes)
{
    const bool offline = !CommonFunction::checkNetworkState();
    if (offline)
        emit offlineToastRequested(QStringLiteral("网络不给力啊"));
    const NewsListEntries entries = readListEntries(bytes);
    if (entries.isEmpty()) {
        endFailedRefresh(std::nullopt, !offline);
        return;
    }
    m_preRefreshDate = Clock::now();
    m_isLoading = false;
    if (!offline)
        ListCacheFile::write(ListCacheFile::filePathForUrl(m_channel.ListUrl), bytes);
    const QString lastModified = m_lastTimeStr;
    completeOrWait([this, entries, lastModified, offline](int outcome) {
        showNewList(entries, lastModified, offline, outcome);
    });
}

void CenterTableModel::showNewList(const NewsListEntries& entries, const QString& lastModified, bool offline,
                                   int slideOutcome)
{
    setListEntries(entries);
    didFinishLoadDataWithCacheData(false);
    if (offline)
        return;
    if (m_channel.iLoadType != 1) {
        m_state.setNewListLastUpdateTime(lastModified);
        tip(slideOutcome == kSlideFailed ? QStringLiteral("更新列表失败") : QStringLiteral("更新列表成功"));
        return;
    }
    const int64_t storedMaxId = m_state.getCurrentMaxNewsID();
    if (storedMaxId >= 0) {
        const int count = newItemCount(storedMaxId);
        if (slideOutcome == kSlideFailed)
            tip(QStringLiteral("更新列表失败"));
        else if (count >= 1)
            tip(QStringLiteral("为您更新了%1篇文章").arg(count));
        else if (slideOutcome == kSlideNew)
            tip(QStringLiteral("更新列表成功"));
        else
            tip(QStringLiteral("本栏目暂无更新"));
    }
    // The highest id is the first unpinned item's; a list of pinned items and ads alone keeps
    // the stored one.
    for (const NewsListEntry& entry : m_newsListArray) {
        const FeedPtr feed = feedOf(entry);
        if (!feed || feed->isTop)
            continue;
        bool ok = false;
        const qlonglong id = feed->guid.toLongLong(&ok);
        if (ok)
            m_state.setCurrentMaxNewsID(id);
        break;
    }
    m_state.setNewListLastUpdateTime(lastModified);
}

int CenterTableModel::newItemCount(int64_t storedMaxId) const
{
    int count = 0;
    for (const NewsListEntry& entry : m_newsListArray) {
        const FeedPtr feed = feedOf(entry);
        if (!feed)
            continue;
        if (feed->guid.toLongLong() > storedMaxId)
            ++count;
        else if (!feed->isTop)
            break;
    }
    return count;
}

// ---- The slides ----

void CenterTableModel::onSlideHead(const Task& task, bool firstRefresh)
{
    m_slideLastTimeStr = lastModifiedOf(task);
    const QString stored = m_state.getSlideDataLastUpdateTime();
    if (!stored.isNull() && !m_slideLastTimeStr.isNull() && stored == m_slideLastTimeStr
        && (m_bHaveLocalSlideData || !m_slideDataArray.isEmpty())) {
        m_isLoadSlide = false;
        deliverSlideOutcome(kSlideUnchanged);
        return;
    }
    m_slideManager = AFNetManager::requestWithUrlString(
        withCacheBuster(m_channel.SlideUrl, firstRefresh), true, QVariant(), 1, nullptr, m_slideManager,
        m_refresh.guard(this, m_refresh.current(), [](CenterTableModel& model, const Task&, const QVariant& reply) {
            model.onSlideReply(reply.toByteArray());
        }),
        m_refresh.guard(this, m_refresh.current(), [](CenterTableModel& model, const Task&, const Error& error) {
            model.onSlideFailed(error);
        }));
}

void CenterTableModel::onSlideReply(const QByteArray& bytes)
{
    const bool online = CommonFunction::checkNetworkState();
    QList<slideDataPtr> newSlides;
    bool parsed = false;
    if (!bytes.isEmpty()) {
        parsed = parserSlideXmlData(bytes, newSlides);
        if (parsed && online) {
            ListCacheFile::write(ListCacheFile::slideFilePathForUrl(m_channel.SlideUrl), bytes);
            m_state.setSlideDataLastUpdateTime(m_slideLastTimeStr);
            m_bHaveLocalSlideData = true;
        }
    }
    m_isLoadSlide = false;
    if (!parsed) {
        deliverSlideOutcome(kSlideFailed);
        return;
    }
    setSlides(newSlides);
    deliverSlideOutcome(kSlideNew);
}

void CenterTableModel::onSlideFailed(const Error& error)
{
    if (error.code == NSURLErrorCancelled)
        return;
    m_isLoadSlide = false;
    deliverSlideOutcome(kSlideFailed);
}

void CenterTableModel::deliverSlideOutcome(int outcome)
{
    m_bLoadSlideSuc = outcome;
    if (!m_isLoading && !m_isLoadSlide && m_downLoadComplate) {
        Completion completion = std::move(m_downLoadComplate);
        m_downLoadComplate = nullptr;
        completion(outcome);
    }
}

// The completion is kept by this model and run only by its own member functions: it needs no
// guard against the model's going.
void CenterTableModel::completeOrWait(Completion completion)
{
    if (m_isLoadSlide)
        m_downLoadComplate = std::move(completion);
    else
        completion(m_bLoadSlideSuc);
}

// ---- The cached list and the pretend refresh ----

void CenterTableModel::loadLocalData(bool showWithoutSlides)
{
    m_bHaveLocalSlideData = false;
    bool mayShow = showWithoutSlides;
    if (m_channel.SlideUrl.isEmpty()) {
        mayShow = true;
    } else if (m_slideDataArray.isEmpty()) {
        const QByteArray slides = ListCacheFile::read(ListCacheFile::slideFilePathForUrl(m_channel.SlideUrl));
        if (!slides.isEmpty()) {
            m_bHaveLocalSlideData = true;
            QList<slideDataPtr> cached;
            if (parserSlideXmlData(slides, cached)) {
                mayShow = true;
                setSlides(m_slideDataArray + cached);
            }
        }
    }
    const QByteArray list = ListCacheFile::read(ListCacheFile::filePathForUrl(m_channel.ListUrl));
    if (list.isEmpty() || !mayShow)
        return;
    // The cache holds the channel's own feed, a ranking one for a ranking channel.
    NewsListEntries entries = readListEntries(list);
    // A cache without an item is nothing to fall back on: a failed refresh then shows the error
    // view rather than leaving the column blank.
    if (entries.isEmpty())
        return;
    setListEntries(std::move(entries));
    didFinishLoadDataWithCacheData(true);
}

void CenterTableModel::jiashua()
{
    m_isLoading = false;
    m_isLoadSlide = false;
    if (!m_bLoadDataForClick)
        didFinishLoadDataWithNoNeedLoad();
    if (!CommonFunction::checkNetworkState()) {
        postHotForumReload(m_channel.iListID, 3);
        return;
    }
    if (gbUpdateNewsCountTiShi.load()) {
        didFinishLoadDataWithDescribe(QStringLiteral("本栏目暂无更新"));
        showLastSelectIndex();
        postHotForumReload(m_channel.iListID, 2);
    }
}
