#include "newslist/CenterTableModel.h"

#include "foundation/CommonFunction.h"
#include "foundation/EncryptionKeys.h"
#include "foundation/GlobalValues.h"
#include "foundation/URLErrorCodes.h"
#include "networking/AFNetManager.h"
#include "newslist/NewsListFeeds.h"
#include "newslist/NewsListLinks.h"
#include "platform/Dispatch.h"

#include <QSet>

void CenterTableModel::myBoundsChangeNotificationHandler()
{
    if (m_channel.iListID == kRankingChannel)
        return;
    if (m_channel.iListID == kFirstChannel && !m_firstMore) {
        m_firstMore = true;
        return;
    }
    if (m_stopS > m_startS && m_newsListArray.size() <= kBottomPagingLimit) {
        ++m_startS;
        loadMore();
    }
}

FeedPtr CenterTableModel::lastFeed() const
{
    for (qsizetype i = m_newsListArray.size() - 1; i >= 0; --i) {
        if (FeedPtr feed = feedOf(m_newsListArray.at(i)))
            return feed;
    }
    return nullptr;
}

QString CenterTableModel::loadMoreUrl() const
{
    const FeedPtr last = lastFeed();
    if (!last || m_channel.LoadMoreUrl.isEmpty())
        return {};
    const QString page = CommonFunction::EncrypteUTF8(last->guid, kDesKeyNextPage).toLower();
    const QString random = gbApiRandom.load() ? QStringLiteral("?r=%1").arg(CommonFunction::getRandom()) : QString();
    return QStringLiteral("%1%2.xml%3").arg(m_channel.LoadMoreUrl, page, random);
}

void CenterTableModel::loadMore()
{
    // One page at a time, whatever asked for it: the bottom, the "加载更多" row or the keys (which
    // scroll the row into view, a bottom, and then open it). A second request would bring the same
    // page again. A page on its way for a list a refresh has since replaced was given up with that
    // list, so it holds nothing back.
    if (m_newsListArray.isEmpty() || m_isLoadMore)
        return;
    const QString url = loadMoreUrl();
    if (url.isEmpty()) {
        endPageUnmerged(nullptr);
        return;
    }
    m_isLoadMore = true;
    m_pagedFrom = lastFeed()->guid;
    const quint64 page = m_pages.next();
    m_lastTimeStr.clear();
    m_slideLastTimeStr.clear();
    const auto manager = AFNetManager::requestWithUrlString(
        url, true, QVariant(), 1, nullptr, AFNetManager::ProgressBlock(),
        m_pages.guard(this, page, [page](CenterTableModel& model, const Task&, const QVariant& reply) {
            CommonFunction::checkNetworkState();
            const QByteArray bytes = reply.toByteArray();
            // The parse reads nothing but the bytes; the result comes back to the main thread.
            const auto parsed = model.m_pages.guard(
                &model, page, [](CenterTableModel& later, const QList<FeedPtr>& feeds) { later.onPageParsed(feeds); });
            dispatch::asyncGlobal([parsed, bytes] {
                dispatch::asyncMain([parsed, feeds = parserNewsListXmlData(bytes)] { parsed(feeds); });
            });
        }),
        m_pages.guard(this, page, [](CenterTableModel& model, const Task&, const Error& error) {
            if (error.code == NSURLErrorCancelled)
                return;
            CommonFunction::checkNetworkState();
            model.endPageUnmerged(&error);
        }));
    m_pageManagers.removeIf([](const std::weak_ptr<AFHTTPSessionManager>& weak) { return weak.expired(); });
    m_pageManagers.append(manager);
}

void CenterTableModel::endPageUnmerged(const Error* error)
{
    m_isLoadMore = false;
    didFailedLoadMoreData(error);
}

void CenterTableModel::onPageParsed(const QList<FeedPtr>& parsed)
{
    QList<FeedPtr> page = parsed;
    markReadAndFilter(page);
    // Items already listed (newer items pushed the server's pages on) are not listed twice.
    QSet<QString> listed;
    for (const NewsListEntry& entry : std::as_const(m_newsListArray))
        if (const FeedPtr feed = feedOf(entry))
            listed.insert(feed->guid);
    page.removeIf([&listed](const FeedPtr& feed) {
        const bool known = listed.contains(feed->guid);
        listed.insert(feed->guid);
        return known;
    });
    if (page.isEmpty()) {
        endPageUnmerged(nullptr);
        return;
    }
    m_bLoadMoreUseCache = false;
    LoadMoreNewsDataIfNeed(page);
}

void CenterTableModel::LoadMoreNewsDataIfNeed(const QList<FeedPtr>& page)
{
    m_isLoadMore = false;
    NewsListEntries list = m_newsListArray;
    const bool withAds = carriesAds() && page.size() > 6 && ListADManagerLink::instance()->isAdDownloaded();
    int adsBefore = 0;
    for (const NewsListEntry& entry : list)
        adsBefore += adOf(entry) ? 1 : 0;
    for (const FeedPtr& feed : page)
        list.append(feed);
    if (withAds)
        placeAds(list, adsBefore);

    // Rows are appended in place when the list only grew at its end, so the view keeps its
    // scroll position; anything else reloads the model.
    const qsizetype oldCount = m_newsListArray.size();
    bool onlyAppended = !withAds && oldCount > 0 && m_channel.iLoadType == 1;
    if (onlyAppended) {
        const int firstNew = modelRow(oldCount);
        beginInsertRows(QModelIndex(), firstNew, firstNew + int(page.size()) - 1);
        m_newsListArray = std::move(list);
        endInsertRows();
    } else {
        setListEntries(std::move(list));
    }
    didFinishLoadMoreData(m_bLoadMoreUseCache);
    ++m_stopS;
}
