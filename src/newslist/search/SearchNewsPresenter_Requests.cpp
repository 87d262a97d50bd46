#include "newslist/search/SearchNewsPresenter.h"

#include "database/ServerUrls.h"
#include "database/SettingsDatabaseOperate.h"
#include "foundation/CommonFunction.h"
#include "foundation/URLErrorCodes.h"
#include "newslist/search/SearchReply.h"
#include "networking/AFNetManager.h"
#include "platform/Clock.h"

#include <QPointer>

#include <cmath>

namespace {

int64_t wholeSeconds()
{
    return int64_t(std::floor(Clock::nowSeconds()));
}

// The remembered current account's user id, else "0".
QString currentUserId()
{
    SettingsDatabaseOperate::Lease settings;
    if (!settings)
        return QStringLiteral("0");
    const UserLandDataPtr account = settings->UserLandData_getCurrentUserData();
    if (account && !account->UserID.isEmpty())
        return account->UserID;
    return QStringLiteral("0");
}

}  // namespace

template <class Handler>
void SearchNewsPresenter::send(const QString& url, const QVariant& parms, bool firstPage, Handler onBytes)
{
    cancelRequest();
    const uint64_t serial = m_requestSerial;
    QPointer<SearchNewsPresenter> self(this);
    m_loadSession = AFNetManager::requestWithUrlString(
        url, true, parms, 1, nullptr,
        [self, serial, onBytes, firstPage](const std::shared_ptr<URLSessionDataTask>&, const QVariant& reply) {
            // A reply of a request that was cancelled or replaced finds nobody.
            if (!self || self->m_requestSerial != serial)
                return;
            self->m_loadSession.reset();
            (self.data()->*onBytes)(reply.toByteArray(), firstPage);
        },
        [self, serial, firstPage](const std::shared_ptr<URLSessionDataTask>&, const Error& error) {
            if (!self || self->m_requestSerial != serial)
                return;
            self->m_loadSession.reset();
            self->onPageFailed(error, firstPage);
        });
}

void SearchNewsPresenter::sendFirstPage(const QString& keyword)
{
    m_searchKey = keyword;
    clearResults(m_kind);
    m_text[std::size_t(m_kind)] = QStringLiteral("");
    if (m_kind == kNews) {
        send(SearchReply::newsFirstPageUrl(kUrlNewsSearch, keyword, CommonFunction::getRandom()), QVariant(), true,
             &SearchNewsPresenter::onNewsPage);
    } else if (m_kind == kDeals) {
        send(kUrlZefupSearch, SearchReply::dealsFirstPageParms(keyword, wholeSeconds(), currentUserId()), true,
             &SearchNewsPresenter::onDealsPage);
    }
    // The third kind asks nobody: it only shows the searching state.
}

void SearchNewsPresenter::loadMoreBtnActive()
{
    if (m_moreTitle != QStringLiteral("搜索更多"))
        return;
    showSearchingMore();
    cancelRequest();
    sendMorePage();
}

void SearchNewsPresenter::sendMorePage()
{
    if (m_kind == kNews) {
        send(SearchReply::newsMorePageUrl(kUrlNewsSearch, m_text[kNews], m_currentMinID[kNews], CommonFunction::getRandom()),
             QVariant(), false, &SearchNewsPresenter::onNewsPage);
    } else if (m_kind == kDeals) {
        send(kUrlZefupSearch, SearchReply::dealsMorePageParms(m_text[kDeals], m_currentMinID[kDeals], wholeSeconds()),
             false, &SearchNewsPresenter::onDealsPage);
    }
}

template <class Item>
void SearchNewsPresenter::appendPage(int kind, QList<std::shared_ptr<Item>>& results,
                                     const QList<std::shared_ptr<Item>>& items, QString Item::*id)
{
    int64_t& cursor = m_currentMinID[std::size_t(kind)];
    for (const std::shared_ptr<Item>& item : items)
        cursor = SearchReply::lowerCursor(cursor, (*item).*id);
    const bool shown = m_kind == kind && !results.isEmpty();
    const int first = int(results.size());
    if (shown)
        m_resultModel.beginAppend(first, first + int(items.size()) - 1);
    results.append(items);
    if (shown)
        m_resultModel.endAppend();
    else if (m_kind == kind)
        reloadResults();
}

void SearchNewsPresenter::onNewsPage(const QByteArray& bytes, bool firstPage)
{
    if (!CommonFunction::checkNetworkState())
        emit tipsRequested(firstPage ? QStringLiteral("网络不给力啊") : QStringLiteral("网络不给力呀"));
    const QList<FeedPtr> feeds = SearchReply::parserNewsListXmlData(bytes);
    if (feeds.isEmpty()) {
        if (firstPage)
            showNoResult();
        else
            showSearchMore(false);
        return;
    }
    if (firstPage) {
        showNewsPage(feeds);
        return;
    }
    appendPage(kNews, m_resultArray1, feeds, &Feed::guid);
    showSearchMore(true);
}

void SearchNewsPresenter::showNewsPage(const QList<FeedPtr>& feeds)
{
    // One reset for the whole page: the table is laid out once.
    const bool shown = m_kind == kNews;
    if (shown)
        m_resultModel.beginReload();
    m_resultArray1 = feeds;
    int64_t& cursor = m_currentMinID[kNews];
    cursor = SearchReply::kNoCursor;
    for (const FeedPtr& feed : feeds)
        cursor = SearchReply::lowerCursor(cursor, feed->guid);
    m_text[kNews] = m_searchKey;
    m_btnTitle = QStringLiteral("搜索更多");
    m_moreTitle = m_btnTitle;
    if (shown)
        m_resultModel.endReload();
    showResultTable();
}

void SearchNewsPresenter::onDealsPage(const QByteArray& bytes, bool firstPage)
{
    const auto deals = SearchReply::parserDealsJsonData(bytes);
    if (!deals) {
        // A reply the deals service did not mean as a success would leave the spinner turning.
        if (firstPage)
            showSearchDataError();
        else
            showSearchMoreError();
        return;
    }
    if (deals->isEmpty()) {
        if (firstPage)
            showNoResult();
        else
            showSearchMore(false);
        return;
    }
    if (firstPage)
        m_text[kDeals] = m_searchKey;
    appendPage(kDeals, m_resultArray2, *deals, &HotProductModel::pro_productid);
    if (firstPage)
        showSearchData(true);
    else
        showSearchMore(true);
}

void SearchNewsPresenter::onPageFailed(const Error& error, bool firstPage)
{
    if (error.code == NSURLErrorCancelled)
        return;
    if (!CommonFunction::checkNetworkState())
        emit tipsRequested(QStringLiteral("网络不给力呀"));
    if (firstPage)
        showSearchDataError();
    else
        showSearchMoreError();
}
