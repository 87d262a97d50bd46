#include "newslist/search/SearchNewsPresenter.h"

#include "database/DatabaseOperate.h"
#include "newslist/NewsListLinks.h"
#include "newslist/search/SearchReply.h"
#include "networking/AFHTTPSessionManager.h"
#include "platform/NotificationCenter.h"

namespace {

const QString kMoreTitle = QStringLiteral("搜索更多");
const QString kSearchingMoreTitle = QStringLiteral("正在搜索...");
const QString kNoMoreTitle = QStringLiteral("已无更多数据");

}  // namespace

SearchNewsPresenter::SearchNewsPresenter(QObject* parent) : QObject(parent)
{
    m_currentMinID.fill(SearchReply::kNoCursor);
    m_btnTitle = kMoreTitle;
    m_moreTitle = kMoreTitle;
    NotificationCenter::defaultCenter().addObserver(
        this, QStringLiteral("searchHistoryDelete"), nullptr, [this](const Notification& note) {
            if (const auto keyword = note.object.sharedPtr<QString>())
                searchHistoryDelete(*keyword);
        });
}

SearchNewsPresenter::~SearchNewsPresenter()
{
    cancelRequest();
}

// ---- State ----

qsizetype SearchNewsPresenter::resultCount() const
{
    switch (m_kind) {
    case kNews:
        return m_resultArray1.size();
    case kDeals:
        return m_resultArray2.size();
    default:
        return m_resultArray3.size();
    }
}

SearchNewsPresenter::ResultRow SearchNewsPresenter::resultRow(qsizetype row) const
{
    ResultRow result;
    if (m_kind == kDeals) {
        if (row >= 0 && row < m_resultArray2.size()) {
            const HotProductModel& deal = *m_resultArray2.at(row);
            result.title = deal.pro_productName;
            result.date = QString(deal.pro_createTime).replace(QLatin1Char('T'), QLatin1Char(' '));
            result.selected = deal.isSelected;
        }
        return result;
    }
    const QList<FeedPtr>& list = m_kind == kNews ? m_resultArray1 : m_resultArray3;
    if (row >= 0 && row < list.size()) {
        const Feed& feed = *list.at(row);
        result.title = feed.title;
        result.date = feed.postDate;
        result.selected = feed.isSelected;
    }
    return result;
}

QString SearchNewsPresenter::keptKeyword(int kind) const
{
    return kind >= 0 && kind < 3 ? m_text[std::size_t(kind)] : QString();
}

int64_t SearchNewsPresenter::cursor(int kind) const
{
    return kind >= 0 && kind < 3 ? m_currentMinID[std::size_t(kind)] : SearchReply::kNoCursor;
}

// ---- Operations ----

void SearchNewsPresenter::showInit()
{
    m_lastSelectedIndex = 0;
    m_hotLastSelectedIndex = 0;
    readHistory(kNews);
    if (!m_historyArray.isEmpty()) {
        m_display.historyVisible = true;
        m_display.resultVisible = false;
        m_display.historyIsDocument = true;
        m_display.scrollVisible = true;
        reloadHistory();
    } else {
        m_display.historyVisible = false;
        m_display.resultVisible = false;
        m_display.historyIsDocument = false;
    }
    m_display.labelVisible = false;
    setMoreTitle(kMoreTitle, true);
    emit displayChanged();
}

bool SearchNewsPresenter::textShouldEndEditing(const QString& text)
{
    if (text.size() >= kMinKeywordLength && text.size() <= kMaxKeywordLength) {
        Search(text);
        return true;
    }
    emit tipsRequested(QStringLiteral("搜索关键词的字数必须在2到20个字之间"));
    return false;
}

void SearchNewsPresenter::Search(const QString& keyword)
{
    cancelRequest();
    showSearching();
    clearHistory();
    sendFirstPage(keyword);
    DatabaseOperate::Lease store;
    if (store) {
        SearchInfo info;
        info.searchKey = keyword;
        info.searchType = m_kind;
        store->SearchHistory_insert(info);
    }
}

void SearchNewsPresenter::SwitchBtnActive(int kind, const QString& fieldText)
{
    if (kind < kNews || kind > kThirdKind)
        return;
    // A page still on its way belongs to the kind left behind: it must not land in this one. Its
    // spinner goes with it, whatever the new kind shows.
    const bool wasLoading = requestInFlight();
    cancelRequest();
    if (wasLoading && m_display.spinnerVisible) {
        m_display.spinnerVisible = false;
        m_display.scrollVisible = true;
    }
    setKind(kind);
    clearHistory();
    if (fieldText.size() >= kMinKeywordLength && fieldText.size() <= kMaxKeywordLength) {
        if (resultCount() > 0 && fieldText == m_text[std::size_t(kind)])
            showSearchData(true);
        else
            Search(fieldText);
        return;
    }
    clearResults(kind);
    readHistory(kind);
    if (!m_historyArray.isEmpty())
        showHistoryData();
    else
        hideAllData();
}

void SearchNewsPresenter::clearAllHistory()
{
    clearHistory();
    m_display.historyVisible = false;
    m_display.resultVisible = false;
    m_display.historyIsDocument = false;
    DatabaseOperate::Lease store;
    if (store)
        store->SearchHistory_clear(m_kind);
    emit displayChanged();
}

void SearchNewsPresenter::searchHistoryDelete(const QString& keyword)
{
    qsizetype found = -1;
    for (qsizetype i = 0; i < m_historyArray.size(); ++i) {
        if (m_historyArray.at(i)->searchKey == keyword) {
            found = i;
            break;
        }
    }
    if (found < 0)
        return;
    {
        DatabaseOperate::Lease store;
        if (store)
            store->SearchHistory_delete(*m_historyArray.at(found));
    }
    m_historyModel.beginRemoveEntry(int(found));
    m_historyArray.removeAt(found);
    m_historyModel.endRemoveEntry();
}

void SearchNewsPresenter::tableViewSelectionDidChange(int row)
{
    // A cleared selection, and the rows that hold no item (the history header, the more button),
    // choose nothing.
    if (row < 0)
        return;
    if (historyMode()) {
        if (row == 0 || row > m_historyArray.size())
            return;
        const QString keyword = m_historyArray.at(row - 1)->searchKey;
        emit keywordFieldChanged(keyword);
        Search(keyword);
        return;
    }
    if (!m_display.resultVisible || row >= resultCount())
        return;
    if (m_kind == kNews) {
        // The remembered row may lie beyond a newer, shorter list: then there is nothing to
        // un-mark.
        if (m_lastSelectedIndex >= 0 && m_lastSelectedIndex < m_resultArray1.size())
            m_resultArray1.at(m_lastSelectedIndex)->isSelected = false;
        const FeedPtr feed = m_resultArray1.at(row);
        feed->isSelected = true;
        // The pane gets the item without its date, so that it asks for the article's own feed,
        // which carries it. A copy: blanking the result itself would take the date from its row
        // and from the item the pane still holds when the result is chosen again.
        auto opened = std::make_shared<Feed>(*feed);
        opened->postDate = QStringLiteral("");
        if (const auto pane = ArticlePaneLink::instance())
            pane->show(opened);
        m_lastSelectedIndex = row;
    } else if (m_kind == kDeals) {
        if (m_hotLastSelectedIndex >= 0 && m_hotLastSelectedIndex < m_resultArray2.size())
            m_resultArray2.at(m_hotLastSelectedIndex)->isSelected = false;
        const HotProductModelPtr deal = m_resultArray2.at(row);
        deal->isSelected = true;
        if (const auto pane = ArticlePaneLink::instance())
            pane->showDealByClick(deal->pro_productid, true);
        m_hotLastSelectedIndex = row;
    }
    m_resultModel.rowsChanged(0, int(resultCount()) - 1);
}

void SearchNewsPresenter::windowWillClose()
{
    cancelRequest();
    emit keywordFieldChanged(QStringLiteral(""));
    m_resultModel.beginReload();
    m_resultArray1.clear();
    m_resultArray2.clear();
    m_resultArray3.clear();
    m_resultModel.endReload();
    clearHistory();
    m_currentMinID.fill(SearchReply::kNoCursor);
    m_searchKey = QStringLiteral("");
    m_display.historyVisible = false;
    m_display.resultVisible = false;
    m_display.spinnerVisible = false;
    m_display.labelVisible = false;
    emit displayChanged();
}

// ---- Helpers ----

void SearchNewsPresenter::cancelRequest()
{
    ++m_requestSerial;
    if (m_loadSession) {
        m_loadSession->invalidateSessionCancelingTasks(true);
        m_loadSession.reset();
    }
}

void SearchNewsPresenter::setKind(int kind)
{
    if (kind == m_kind)
        return;
    // The result table shows the current kind's list: its rows change with the kind.
    m_resultModel.beginReload();
    m_kind = kind;
    m_resultModel.endReload();
}

void SearchNewsPresenter::setMoreTitle(const QString& title, bool alsoButtonTitle)
{
    if (alsoButtonTitle)
        m_btnTitle = title;
    if (m_moreTitle == title)
        return;
    m_moreTitle = title;
    const int count = int(resultCount());
    if (count > 0)
        m_resultModel.rowsChanged(count, count);
    emit moreTitleChanged(title);
}

void SearchNewsPresenter::reloadResults()
{
    // A rebuilt more button takes btnTitle.
    m_moreTitle = m_btnTitle;
    m_resultModel.beginReload();
    m_resultModel.endReload();
}

void SearchNewsPresenter::reloadHistory()
{
    m_historyModel.beginReload();
    m_historyModel.endReload();
}

void SearchNewsPresenter::readHistory(int kind)
{
    DatabaseOperate::Lease store;
    if (!store)
        return;
    const auto history = store->SearchHistory_get(kind);
    if (history && !history->isEmpty()) {
        m_historyModel.beginReload();
        m_historyArray = *history;
        m_historyModel.endReload();
    }
}

void SearchNewsPresenter::clearHistory()
{
    m_historyModel.beginReload();
    m_historyArray.clear();
    m_historyModel.endReload();
}

void SearchNewsPresenter::resetCurrentKind()
{
    m_currentMinID[std::size_t(m_kind)] = SearchReply::kNoCursor;
}

void SearchNewsPresenter::clearResults(int kind)
{
    m_currentMinID[std::size_t(kind)] = SearchReply::kNoCursor;
    const bool shown = kind == m_kind;
    if (shown)
        m_resultModel.beginReload();
    if (kind == kNews)
        m_resultArray1.clear();
    else if (kind == kDeals)
        m_resultArray2.clear();
    else
        m_resultArray3.clear();
    if (shown)
        m_resultModel.endReload();
}

// ---- Display states ----

void SearchNewsPresenter::showLogo()
{
    m_display.scrollVisible = false;
    m_display.spinnerVisible = true;
    emit displayChanged();
}

void SearchNewsPresenter::hideLogo()
{
    m_display.scrollVisible = true;
    m_display.spinnerVisible = false;
    emit displayChanged();
}

void SearchNewsPresenter::showSearching()
{
    m_display.labelVisible = false;
    m_display.labelText = QStringLiteral("正在搜索，请稍后");
    setMoreTitle(kMoreTitle, true);
    showLogo();
}

void SearchNewsPresenter::showSearchingMore()
{
    setMoreTitle(kSearchingMoreTitle, false);
}

void SearchNewsPresenter::showSearchData(bool more)
{
    m_btnTitle = more ? kMoreTitle : kNoMoreTitle;
    reloadResults();
    showResultTable();
}

void SearchNewsPresenter::showResultTable()
{
    m_display.historyVisible = false;
    m_display.resultVisible = true;
    m_display.historyIsDocument = false;
    m_display.labelVisible = false;
    hideLogo();
}

void SearchNewsPresenter::showSearchMore(bool more)
{
    m_display.labelVisible = false;
    setMoreTitle(more ? kMoreTitle : kNoMoreTitle, true);
    hideLogo();
}

void SearchNewsPresenter::showSearchMoreError()
{
    m_display.historyVisible = false;
    m_display.resultVisible = true;
    m_display.historyIsDocument = false;
    setMoreTitle(kMoreTitle, true);
    emit displayChanged();
}

void SearchNewsPresenter::showNoResult()
{
    showSearchEnded(QStringLiteral("没有搜索到与\"%1\"相匹配的数据").arg(m_searchKey));
}

void SearchNewsPresenter::showSearchDataError()
{
    showSearchEnded(QStringLiteral("搜索错误"));
}

void SearchNewsPresenter::showSearchEnded(const QString& text)
{
    m_display.scrollVisible = true;
    m_display.historyVisible = false;
    m_display.resultVisible = false;
    m_display.labelVisible = true;
    m_display.labelText = text;
    m_display.spinnerVisible = false;
    setMoreTitle(kMoreTitle, true);
    resetCurrentKind();
    m_searchKey = QStringLiteral("");
    emit displayChanged();
}

void SearchNewsPresenter::hideAllData()
{
    m_display.scrollVisible = false;
    m_display.labelVisible = false;
    reloadHistory();
    reloadResults();
    emit displayChanged();
}

void SearchNewsPresenter::showHistoryData()
{
    m_display.scrollVisible = true;
    m_display.historyVisible = true;
    m_display.resultVisible = false;
    m_display.historyIsDocument = true;
    m_display.labelVisible = false;
    reloadHistory();
    emit displayChanged();
}
