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
    appendNews(feeds);
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
    appendDeals(*deals);
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

void SearchNewsPresenter::appendNews(const QList<FeedPtr>& feeds)
{
    int64_t& cursor = m_currentMinID[kNews];
    for (const FeedPtr& feed : feeds)
        cursor = SearchReply::lowerCursor(cursor, feed->guid);
    const bool shown = m_kind == kNews && !m_resultArray1.isEmpty();
    const int first = int(m_resultArray1.size());
    if (shown)
        m_resultModel.beginAppend(first, first + int(feeds.size()) - 1);
    m_resultArray1.append(feeds);
    if (shown)
        m_resultModel.endAppend();
    else if (m_kind == kNews)
        reloadResults();
}

void SearchNewsPresenter::appendDeals(const QList<HotProductModelPtr>& deals)
{
    int64_t& cursor = m_currentMinID[kDeals];
    for (const HotProductModelPtr& deal : deals)
        cursor = SearchReply::lowerCursor(cursor, deal->pro_productid);
    const bool shown = m_kind == kDeals && !m_resultArray2.isEmpty();
    const int first = int(m_resultArray2.size());
    if (shown)
        m_resultModel.beginAppend(first, first + int(deals.size()) - 1);
    m_resultArray2.append(deals);
    if (shown)
        m_resultModel.endAppend();
    else if (m_kind == kDeals)
        reloadResults();
}
