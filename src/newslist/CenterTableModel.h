#pragma once

#include "foundation/models/NewsListData.h"
#include "foundation/models/slideData.h"
#include "newslist/ChannelState.h"
#include "newslist/NewsListEntry.h"
#include "newslist/NewsListRows.h"
#include "platform/Attempts.h"
#include "platform/Error.h"

#include <QAbstractListModel>
#include <QDateTime>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

class AFHTTPSessionManager;
class URLSessionDataTask;

// The news list of one channel without its widgets: the rows, the refresh with its
// Last-Modified check and new-item count, the cached list, load more, and selection. The list
// view (CenterTableView) shows this model and forwards its events here; what the view must draw
// or say comes back through the signals below.
//
// Main thread only; only the load-more parse runs on a pool thread and comes back here.
class CenterTableModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        RowKindRole = Qt::UserRole + 1,  // NewsListRow::Kind
        ItemIndexRole,                   // index into newsListArray, -1 for other rows
        HeaderTitleRole,
        LastPinnedRole,
        GuidRole,  // the news id of an item row's Feed; none for other rows
    };

    // Slide outcome of one refresh.
    enum SlideOutcome { kSlideNone = 0, kSlideUnchanged = 1, kSlideNew = 2, kSlideFailed = 3 };

    static constexpr qint64 kRefreshThrottleSeconds = 180;
    static constexpr qsizetype kBottomPagingLimit = 200;
    static constexpr int64_t kFirstChannel = 101;
    static constexpr int64_t kRankingChannel = 102;

    // initWithNewsListData: keeps its own copy of the channel.
    explicit CenterTableModel(const NewsListData& channel, QObject* parent = nullptr);
    // Cancels the view's requests; their late replies find nobody.
    ~CenterTableModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    NewsListRow rowAt(qsizetype row) const;

    // ---- Showing and refreshing ----
    // YES from a tab choice or the error view's reload button, NO from the refresh button.
    void showByClick(bool byClick);
    void loadData(bool forClick);
    void loadLocalData(bool showWithoutSlides);
    void jiashua();
    // A refresh still waiting for an answer (a server that went silent) is given up for the new one.
    void reloadDataByErrorBtn();

    // Only the list on show opens its item in the article pane; a list that arrives while its
    // channel is hidden keeps it for when it is shown again.
    void setOnShow(bool onShow) { m_onShow = onShow; }
    bool onShow() const { return m_onShow; }

    // ---- Selection ----
    // The reader pressed on a row (-1: below the rows). Rows that take no selection and the row
    // already selected change nothing; any other reaches tableViewSelectionDidChange, which opens
    // its item (the row is marked once the pane shows it, markRow). "加载更多" and the space below
    // the rows ask for their page at every click whenever none is on its way.
    void clickRow(qsizetype row);
    // A row reached from the keyboard: opens as a click on it does, and the row already selected
    // opens its item again (Return).
    void openRow(qsizetype row);
    // The row selected: the "加载更多" row the reader chose, else the marked row; -1 for none.
    qsizetype selectedRow() const;
    // Where the keys go on when a page has come in in place of the selected "加载更多" row: its
    // first row; -1 otherwise.
    qsizetype resumeRow() const;
    void tableViewSelectionDidChange(qsizetype row);
    void selectCellRow(qsizetype row, qsizetype index);
    void ADselectCellRow(qsizetype row, qsizetype index);
    void showLastSelectIndex();
    // Marks the row of the article the pane shows, or no row (-1) when it shows none of this
    // list's items: the only mark of an article. What a refresh or a tab reopens stays the list's own.
    void markRow(qsizetype row);

    // ---- List ads (channel 101) ----
    // Late ads: places the slots' ads into a shown list that has none in their ranges.
    void reloadTableTuiguangAD();
    // Swaps a clicked ad for the next ad of its slot.
    void replaceTableTuiguangAD(const NSListADInfoPtr& clicked);

    // ---- Load more ----
    // The list has been scrolled to its bottom (the bounds-change handler of the list).
    void myBoundsChangeNotificationHandler();
    // Does nothing while a page is on its way.
    void loadMore();
    // The page URL for the last news item, or null when there is nothing to page from.
    QString loadMoreUrl() const;

    // ---- State ----
    const NewsListData& newslistData() const { return m_channel; }
    const NewsListEntries& newsListArray() const { return m_newsListArray; }
    const QList<slideDataPtr>& slideDataArray() const { return m_slideDataArray; }
    bool hasSlideRow() const { return m_channel.iLoadType == 1 && !m_slideDataArray.isEmpty(); }
    bool firstLoadView() const { return m_firstLoadView; }
    bool isLoading() const { return m_isLoading; }
    bool isLoadSlide() const { return m_isLoadSlide; }
    bool isLoadMore() const { return m_isLoadMore; }
    // Rows to fall back on when a refresh fails, whether the cache or the network brought them.
    bool haveLocalData() const { return !m_newsListArray.isEmpty(); }
    int64_t startS() const { return m_startS; }
    int64_t stopS() const { return m_stopS; }
    qsizetype lastSelectIndex() const { return m_lastSelectIndex; }
    QDateTime preRefreshDate() const { return m_preRefreshDate; }
    const ChannelState& channelState() const { return m_state; }
    // Replaces the rows' items and reloads the table; a page on its way for a list that ended
    // otherwise is given up.
    void setListEntries(NewsListEntries entries);

signals:
    // A short note on the strip over the list's top; the view removes it after a second.
    void toastRequested(const QString& text);
    // The offline note shown on the list itself.
    void offlineToastRequested(const QString& text);
    // The first-load spinner goes for good.
    void spinnerHidden();
    // didFinishLoadDataWithNoNeedLoad: any note on show goes.
    void hudDismissRequested();
    void errorViewRequested(bool shown);
    // A reload asked for from the error view runs: the spinner turns until its outcome.
    void spinnerShown();
    void scrollToTopRequested();
    // slideDataArray was replaced: the strip of row 0 is made anew.
    void slidesChanged();

private:
    using Completion = std::function<void(int slideOutcome)>;
    using Manager = std::shared_ptr<AFHTTPSessionManager>;
    using Task = std::shared_ptr<URLSessionDataTask>;

    // Outcomes.
    void didFinishLoadDataWithCacheData(bool fromCache);
    void didFinishLoadDataWithNoNeedLoad();
    void didFinishLoadDataWithNeedReloadTable();
    void didFinishLoadDataWithDescribe(const QString& text);
    void didFailedLoadData(const Error* error);
    void didFinishLoadMoreData(bool fromCache);
    void didFailedLoadMoreData(const Error* error);
    void tip(const QString& text);

    // Refresh steps.
    QString withCacheBuster(const QString& url, bool firstRefresh) const;
    void onListHead(const Task& task, bool firstRefresh);
    void onListHeadFailed(const Task& task, const Error& error);
    void sendListGet(const QString& url);
    void onListReply(const QByteArray& bytes);
    void onListFailed(const Error& error);
    // A list request failed or brought no items: once the slides are done, the failure is shown,
    // new slides are drawn, and the tip says so when online.
    void endFailedRefresh(const std::optional<Error>& error, bool online);
    void onSlideHead(const Task& task, bool firstRefresh);
    void onSlideReply(const QByteArray& bytes);
    // A failed slide request (HEAD or GET); a cancelled one says nothing.
    void onSlideFailed(const Error& error);
    void deliverSlideOutcome(int outcome);
    // Runs the completion now when the slides are done, or leaves it for them.
    void completeOrWait(Completion completion);
    void showNewList(const NewsListEntries& entries, const QString& lastModified, bool offline, int slideOutcome);
    int newItemCount(int64_t storedMaxId) const;
    void setSlides(QList<slideDataPtr> slides);
    void reloadTable();
    // The row that shows entry at of an ordinary list: one further down under the slide strip.
    int modelRow(qsizetype at) const { return int(at + (hasSlideRow() ? 1 : 0)); }
    // No item or ad is marked selected any more.
    void unmarkEntries();
    // The entry marked selected, -1 for none.
    qsizetype markedEntry() const;
    // The table row that shows entry at (-1 when none does).
    qsizetype rowOfEntry(qsizetype at) const;
    // The open entry (opened, from the rows replaced) keeps its place in the list that replaced them.
    void followPick(const NewsListEntry& opened);
    // Gives up the refresh in flight: its requests are cancelled, and a reply already on its way
    // finds another refresh running and changes nothing.
    void cancelRefresh();
    NewsListEntries readListEntries(const QByteArray& bytes);
    // Every parsed batch (a refresh, the cached list, a further page): items already opened are
    // marked read, then the keyword filter runs.
    static void markReadAndFilter(QList<FeedPtr>& feeds);

    // Ads.
    bool carriesAds() const;
    static void placeAds(NewsListEntries& list, int64_t firstSlot);
    NewsListEntries entriesWithAds(const QList<FeedPtr>& feeds);
    void rotateAds();
    // The ad takes the place of entry at; its row is drawn again.
    void replaceEntry(qsizetype at, const NSListADInfoPtr& ad);
    void adClicked(const NSListADInfoPtr& ad);

    // Load-more steps.
    void onPageParsed(const QList<FeedPtr>& page);
    FeedPtr lastFeed() const;
    // A page's reply that merges nothing (failed or empty) ends its load.
    void endPageUnmerged(const Error* error);
    void LoadMoreNewsDataIfNeed(const QList<FeedPtr>& page);

    NewsListData m_channel;
    ChannelState m_state{m_channel};

    bool m_firstLoadView = true;
    bool m_firstMore = false;
    bool m_isLoadMore = false;
    // The guid of the item the page on its way follows; the pages asked for, numbered.
    QString m_pagedFrom;
    Attempts m_pages;
    bool m_isLoading = false;
    bool m_isLoadSlide = false;
    int64_t m_startS = 0;
    int64_t m_stopS = 1;
    bool m_bLoadMoreUseCache = false;
    qsizetype m_lastSelectIndex = 0;
    QList<slideDataPtr> m_slideDataArray;
    QString m_lastTimeStr;
    QString m_slideLastTimeStr;
    int m_bLoadSlideSuc = kSlideNone;
    bool m_bHaveLocalSlideData = false;
    Completion m_downLoadComplate;
    QDateTime m_preRefreshDate;
    bool m_bLoadDataForClick = false;
    NewsListEntries m_newsListArray;
    bool m_onShow = true;
    // The "加载更多" row the reader selected (-1: none); otherwise the marked row is the selected one.
    qsizetype m_loadMoreSelectedRow = -1;
    // The reader chose an entry since the channel was last shown: a list replacing the rows then
    // reopens the open entry where it now stands, not whatever sits at the remembered index.
    bool m_picked = false;

    // Numbers the refreshes: each loadData and each giving up takes the next one.
    Attempts m_refresh;
    Manager m_listManager;
    Manager m_slideManager;
    QList<std::weak_ptr<AFHTTPSessionManager>> m_pageManagers;
};
