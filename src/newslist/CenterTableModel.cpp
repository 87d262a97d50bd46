#include "newslist/CenterTableModel.h"

#include "foundation/CommonFunction.h"
#include "foundation/GlobalValues.h"
#include "networking/AFHTTPSessionManager.h"
#include "newslist/NewsListLinks.h"
#include "platform/NotificationCenter.h"

#include <QSize>

#include <algorithm>

CenterTableModel::CenterTableModel(const NewsListData& channel, QObject* parent)
    : QAbstractListModel(parent), m_channel(channel)
{
    for (QString* text : {&m_channel.ListName, &m_channel.ListUrl, &m_channel.SlideUrl, &m_channel.LoadMoreUrl}) {
        if (text->isNull())
            *text = QStringLiteral("");
    }
    if (m_channel.iListID == kFirstChannel) {
        // Bound to this model: a post from the ad manager's thread runs here on the main thread.
        auto& center = NotificationCenter::defaultCenter();
        center.addObserver(this, QStringLiteral("reloadTableTuiguangAD"), nullptr,
                           [this](const Notification&) { reloadTableTuiguangAD(); });
        center.addObserver(this, QStringLiteral("replaceTableTuiguangAD"), nullptr, [this](const Notification& note) {
            replaceTableTuiguangAD(note.object.sharedPtr<NSListADInfo>());
        });
    }
}

CenterTableModel::~CenterTableModel()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    // Cancelled requests still call their failed blocks later; the blocks hold this model weakly.
    for (const Manager& manager : {m_listManager, m_slideManager}) {
        if (manager)
            manager->invalidateSessionCancelingTasks(true);
    }
    for (const auto& weak : m_pageManagers) {
        if (const Manager manager = weak.lock())
            manager->invalidateSessionCancelingTasks(true);
    }
}

// ---- Rows ----

int CenterTableModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return int(NewsListRows::rowCount(m_newsListArray, m_channel.iLoadType, hasSlideRow()));
}

NewsListRow CenterTableModel::rowAt(qsizetype row) const
{
    return NewsListRows::rowAt(row, m_newsListArray, m_channel.iLoadType, hasSlideRow());
}

QVariant CenterTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const NewsListRow row = rowAt(index.row());
    switch (role) {
    case Qt::SizeHintRole:
        return QSize(300, row.height);
    case Qt::DisplayRole:
        if (row.kind == NewsListRow::SectionHeader)
            return row.headerTitle;
        if (row.kind == NewsListRow::LoadMore)
            return QStringLiteral("加载更多");
        if (row.kind == NewsListRow::Item) {
            const NewsListEntry& entry = m_newsListArray.at(row.index);
            if (const FeedPtr feed = feedOf(entry))
                return feed->title;
            if (const NSListADInfoPtr ad = adOf(entry))
                return ad->adTitle;
        }
        return {};
    case RowKindRole:
        return int(row.kind);
    case ItemIndexRole:
        return qlonglong(row.index);
    case HeaderTitleRole:
        return row.headerTitle;
    case LastPinnedRole:
        return row.lastPinned;
    case GuidRole:
        if (row.kind == NewsListRow::Item)
            if (const FeedPtr feed = feedOf(m_newsListArray.at(row.index)))
                return feed->guid;
        return {};
    default:
        return {};
    }
}

Qt::ItemFlags CenterTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    const NewsListRow row = rowAt(index.row());
    // The "加载更多" row acts on a click; headers and empty ranking rows ignore it.
    if (row.kind == NewsListRow::Item || row.kind == NewsListRow::LoadMore)
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    return Qt::NoItemFlags;
}

void CenterTableModel::reloadTable()
{
    if (rowCount() > 0)
        emit dataChanged(index(0), index(rowCount() - 1));
}

void CenterTableModel::setListEntries(NewsListEntries entries)
{
    const qsizetype open = markedEntry();
    const NewsListEntry opened = open >= 0 ? m_newsListArray.at(open) : NewsListEntry();
    beginResetModel();
    m_newsListArray = std::move(entries);
    if (m_picked)
        followPick(opened);
    endResetModel();
    // A page on its way for the list replaced would be appended after a gap: whether it would come,
    // fail or time out, it is given up, and the new list's bottom pages on as if it had never been
    // asked for.
    if (const FeedPtr last = lastFeed(); m_isLoadMore && (!last || last->guid != m_pagedFrom)) {
        m_pages.next();
        m_isLoadMore = false;
        m_stopS = std::max(m_stopS, m_startS + 1);
    }
}

void CenterTableModel::followPick(const NewsListEntry& opened)
{
    const FeedPtr openedFeed = feedOf(opened);
    const NSListADInfoPtr openedAd = adOf(opened);
    // Nothing is reopened when the open item has left the list, or the pane went elsewhere: the
    // pane keeps what it shows.
    m_lastSelectIndex = -1;
    for (qsizetype i = 0; i < m_newsListArray.size() && (openedFeed || openedAd); ++i) {
        const FeedPtr feed = feedOf(m_newsListArray.at(i));
        const bool same = openedFeed ? feed && feed->guid == openedFeed->guid : adOf(m_newsListArray.at(i)) == openedAd;
        if (same) {
            m_lastSelectIndex = i;
            return;
        }
    }
}

void CenterTableModel::setSlides(QList<slideDataPtr> slides)
{
    beginResetModel();
    m_slideDataArray = std::move(slides);
    endResetModel();
    emit slidesChanged();
}

// ---- Showing a channel ----

void CenterTableModel::showByClick(bool byClick)
{
    if (m_firstLoadView) {
        loadData(false);
        return;
    }
    // The first item is reopened once the list is in; until then the open item keeps its mark,
    // also when the refresh fails.
    m_lastSelectIndex = 0;
    m_picked = false;
    const int64_t type = CommonFunction::getWebFileLastUpdateTimeTypeByListType(m_channel.iListID);
    if (CommonFunction::needReloadWebFile(type)) {
        loadData(false);
        emit scrollToTopRequested();
        return;
    }
    if (!byClick)
        didFinishLoadDataWithDescribe(QStringLiteral("本栏目暂无更新"));
    showLastSelectIndex();
}

// ---- Selection ----

void CenterTableModel::clickRow(qsizetype row)
{
    if (row >= rowCount())
        row = -1;
    if (row >= 0 && !(flags(index(int(row))) & Qt::ItemIsSelectable))
        return;
    const bool loadMoreRow = row >= 0 && rowAt(row).kind == NewsListRow::LoadMore;
    // "加载更多", and the space below the rows, ask for their page at every click whenever none is
    // on its way, also when a failed page left the row selected.
    if (row >= 0 && row == selectedRow() && !loadMoreRow)
        return;
    m_loadMoreSelectedRow = loadMoreRow ? row : -1;
    tableViewSelectionDidChange(row);
}

void CenterTableModel::openRow(qsizetype row)
{
    if (row >= 0 && row < rowCount() && row == selectedRow()) {
        tableViewSelectionDidChange(row);
        return;
    }
    clickRow(row);
}

qsizetype CenterTableModel::selectedRow() const
{
    if (m_loadMoreSelectedRow >= 0) {
        // The table keeps the row number when rows come in under it: once a page has pushed the
        // "加载更多" row down, the kept row shows an item the reader has not opened (an unmarked
        // row, as below) or lies past the end, and the "加载更多" row is another row.
        return m_loadMoreSelectedRow == NewsListRows::loadMoreRowOf(m_newsListArray, m_channel.iLoadType, hasSlideRow())
                   ? m_loadMoreSelectedRow
                   : -1;
    }
    // The row the reader sees marked: a row seen unmarked opens its item.
    const qsizetype marked = markedEntry();
    return marked >= 0 ? rowOfEntry(marked) : -1;
}

qsizetype CenterTableModel::markedEntry() const
{
    for (qsizetype i = 0; i < m_newsListArray.size(); ++i) {
        const NewsListEntry& entry = m_newsListArray.at(i);
        const FeedPtr feed = feedOf(entry);
        const NSListADInfoPtr ad = adOf(entry);
        if (feed ? feed->isSelected : ad && ad->isSelected)
            return i;
    }
    return -1;
}

qsizetype CenterTableModel::resumeRow() const
{
    if (m_loadMoreSelectedRow < 0 || selectedRow() >= 0 || m_loadMoreSelectedRow >= rowCount())
        return -1;
    return m_loadMoreSelectedRow;
}

qsizetype CenterTableModel::rowOfEntry(qsizetype at) const
{
    return NewsListRows::rowOfEntry(at, m_newsListArray, m_channel.iLoadType, hasSlideRow());
}

void CenterTableModel::tableViewSelectionDidChange(qsizetype row)
{
    const qsizetype n = m_newsListArray.size();
    qsizetype chosen = -1;
    if (m_channel.iLoadType == 1) {
        if (!m_channel.SlideUrl.isEmpty() && !m_slideDataArray.isEmpty()) {
            if (row == 0)
                return;
            if (row < 0 || row >= n + 1) {
                loadMore();
                return;
            }
            chosen = row - 1;
            ADselectCellRow(chosen, chosen);
        } else if (row >= 0 && row < n) {
            // No selection reads as past the end.
            chosen = row;
            selectCellRow(row, chosen);
        } else {
            loadMore();
            return;
        }
    } else {
        const NewsListRow layout = rowAt(row);
        if (layout.kind != NewsListRow::Item)
            return;
        chosen = layout.index;
        selectCellRow(row, chosen);
    }
    // What the reader chose stays chosen when a refresh replaces the rows under it.
    if (m_lastSelectIndex == chosen)
        m_picked = true;
}

void CenterTableModel::unmarkEntries()
{
    // The mark may stand elsewhere than the remembered index: on the article the pane went to.
    for (const NewsListEntry& entry : std::as_const(m_newsListArray)) {
        if (const FeedPtr feed = feedOf(entry))
            feed->isSelected = false;
        else if (const NSListADInfoPtr ad = adOf(entry))
            ad->isSelected = false;
    }
}

void CenterTableModel::markRow(qsizetype row)
{
    const NewsListRow layout = row >= 0 && row < rowCount() ? rowAt(row) : NewsListRow{};
    FeedPtr feed = layout.kind == NewsListRow::Item ? feedOf(m_newsListArray.at(layout.index)) : nullptr;
    // An article listed twice: the row the list opened it from is the one marked.
    const FeedPtr opened = m_lastSelectIndex >= 0 && m_lastSelectIndex < m_newsListArray.size()
                               ? feedOf(m_newsListArray.at(m_lastSelectIndex))
                               : nullptr;
    if (feed && opened && opened->guid == feed->guid)
        feed = opened;
    if (feed ? feed->isSelected : markedEntry() < 0)
        return;
    unmarkEntries();
    if (feed)
        feed->isSelected = true;
    reloadTable();
}

void CenterTableModel::selectCellRow(qsizetype row, qsizetype index)
{
    Q_UNUSED(row);
    if (index < 0 || index >= m_newsListArray.size())
        return;
    const FeedPtr feed = feedOf(m_newsListArray.at(index));
    if (!feed)
        return;
    // The row is marked when the pane shows its article (markRow), as when another list or a link
    // puts one of this list's articles there; the index is taken first, for the mark to find it.
    m_lastSelectIndex = index;
    m_loadMoreSelectedRow = -1;
    if (const auto pane = ArticlePaneLink::instance()) {
        pane->emptyRecordNewsAndHot();
        pane->show(feed);
    }
    reloadTable();
}

void CenterTableModel::ADselectCellRow(qsizetype row, qsizetype index)
{
    if (index < 0 || index >= m_newsListArray.size())
        return;
    const NSListADInfoPtr ad = adOf(m_newsListArray.at(index));
    if (!ad) {
        selectCellRow(row, index);
        return;
    }
    // The pane shows no ad: the list marks the ad itself.
    unmarkEntries();
    ad->isSelected = true;
    adClicked(ad);
    m_lastSelectIndex = index;
    m_loadMoreSelectedRow = -1;
    reloadTable();
}

void CenterTableModel::showLastSelectIndex()
{
    // A hidden channel's list leaves the pane to the list on show (and a pushed article's flag to it).
    if (!m_onShow)
        return;
    if (const auto push = PushNewsFlag::instance(); push && push->isPushNews()) {
        push->setIsPushNews(false);
        return;
    }
    if (m_lastSelectIndex >= 0 && m_lastSelectIndex < m_newsListArray.size())
        selectCellRow(m_lastSelectIndex, m_lastSelectIndex);
}

// ---- Outcomes ----

void CenterTableModel::didFinishLoadDataWithCacheData(bool fromCache)
{
    emit spinnerHidden();
    emit errorViewRequested(false);
    reloadTable();
    showLastSelectIndex();
    m_firstLoadView = false;
    if (!fromCache)
        CommonFunction::saveWebFileLastUpdateTime(CommonFunction::getWebFileLastUpdateTimeTypeByListType(m_channel.iListID));
}

void CenterTableModel::didFinishLoadDataWithNoNeedLoad()
{
    emit spinnerHidden();
    emit hudDismissRequested();
}

void CenterTableModel::didFinishLoadDataWithNeedReloadTable()
{
    reloadTable();
}

void CenterTableModel::didFinishLoadDataWithDescribe(const QString& text)
{
    if (!m_newsListArray.isEmpty())
        emit toastRequested(text);
}

void CenterTableModel::tip(const QString& text)
{
    if (gbUpdateNewsCountTiShi.load())
        didFinishLoadDataWithDescribe(text);
}

void CenterTableModel::didFailedLoadData(const Error* error)
{
    Q_UNUSED(error);
    emit spinnerHidden();
    emit toastRequested(QStringLiteral("新闻加载失败，请查看网络设置"));
    // Rows on screen stay for the reader to go on reading, offline too: the error view stands only
    // in place of a list with nothing to show.
    if (!haveLocalData())
        emit errorViewRequested(true);
}

void CenterTableModel::didFinishLoadMoreData(bool fromCache)
{
    emit spinnerHidden();
    reloadTable();
    if (!fromCache)
        CommonFunction::saveWebFileLastUpdateTime(CommonFunction::getWebFileLastUpdateTimeTypeByListType(m_channel.iListID));
}

void CenterTableModel::didFailedLoadMoreData(const Error* error)
{
    Q_UNUSED(error);
    emit spinnerHidden();
}
