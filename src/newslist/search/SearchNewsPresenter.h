#pragma once

#include "foundation/models/Feed.h"
#include "foundation/models/HotProductModel.h"
#include "foundation/models/SearchInfo.h"
#include "newslist/search/SearchModels.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>

class AFHTTPSessionManager;
struct Error;

// What the search window does, without its widgets: the keyword rule, the history of each kind,
// the requests of both kinds with their paging, the result lists and which part of the window
// shows. The window (SearchNewsViewController) shows the two models and the display state, and
// forwards the user's actions here.
//
// Main thread only; request completions arrive there. One request at a time: each new one and
// the closing of the window cancel the one in flight, whose reply is then dropped.
class SearchNewsPresenter : public QObject
{
    Q_OBJECT

public:
    enum Kind { kNews = 0, kDeals = 1, kThirdKind = 2 };

    static constexpr int kMinKeywordLength = 2;
    static constexpr int kMaxKeywordLength = 20;

    // What a result row shows.
    struct ResultRow
    {
        QString title;
        QString date;
        bool selected = false;
    };

    // Which parts of the window are visible.
    struct Display
    {
        bool scrollVisible = false;
        bool historyVisible = false;
        bool resultVisible = false;
        bool historyIsDocument = false;  // else the result table is the scroll view's document
        bool labelVisible = false;
        QString labelText;
        bool spinnerVisible = false;
    };

    explicit SearchNewsPresenter(QObject* parent = nullptr);
    // Cancels the request in flight.
    ~SearchNewsPresenter() override;

    // ---- The window's operations ----
    // Before every showing: selections back to 0, the news history, the more title.
    void showInit();
    // The keyword rule when editing of the field ends: true (and a search starts) for 2 to 20
    // UTF-16 units; otherwise the length alert and false (the field keeps editing).
    bool textShouldEndEditing(const QString& text);
    // A search of the current kind for the keyword.
    void Search(const QString& keyword);
    // The more button.
    void loadMoreBtnActive();
    // The segmented control chose kind; fieldText is the keyword field's text.
    void SwitchBtnActive(int kind, const QString& fieldText);
    void clearAllHistory();
    // The cross of a history row ("searchHistoryDelete"; observed here as well).
    void searchHistoryDelete(const QString& keyword);
    // A row of the table on show was chosen; -1 for a cleared selection.
    void tableViewSelectionDidChange(int row);
    // The search window is closing.
    void windowWillClose();

    // A first news page with these items has arrived: they replace the news results and show.
    void showNewsPage(const QList<FeedPtr>& feeds);

    // ---- State ----
    int kind() const { return m_kind; }
    const QList<SearchInfoPtr>& historyArray() const { return m_historyArray; }
    const QList<FeedPtr>& resultArray1() const { return m_resultArray1; }
    const QList<HotProductModelPtr>& resultArray2() const { return m_resultArray2; }
    qsizetype resultCount() const;
    ResultRow resultRow(qsizetype row) const;
    QString searchKey() const { return m_searchKey; }
    QString keptKeyword(int kind) const;
    int64_t cursor(int kind) const;
    QString btnTitle() const { return m_btnTitle; }
    QString moreTitle() const { return m_moreTitle; }
    int64_t lastSelectedIndex() const { return m_lastSelectedIndex; }
    int64_t hotLastSelectedIndex() const { return m_hotLastSelectedIndex; }
    const Display& display() const { return m_display; }
    bool historyMode() const { return m_display.historyVisible && !m_display.resultVisible; }
    bool requestInFlight() const { return m_loadSession != nullptr; }

    SearchResultModel* resultModel() { return &m_resultModel; }
    SearchHistoryModel* historyModel() { return &m_historyModel; }

    // ---- Display states ----
    void showLogo();
    void hideLogo();
    void showSearching();
    void showSearchingMore();
    void showSearchData(bool more);
    void showSearchMore(bool more);
    void showSearchMoreError();
    void showNoResult();
    void showSearchDataError();
    void hideAllData();
    void showHistoryData();

signals:
    void displayChanged();
    // The more button's title changed without a reload.
    void moreTitleChanged(const QString& title);
    // An alert sheet on the search window with the button "确定".
    void tipsRequested(const QString& text);
    // The keyword field takes this text (a history keyword was chosen, or the window closed).
    void keywordFieldChanged(const QString& text);

private:
    using Manager = std::shared_ptr<AFHTTPSessionManager>;

    void cancelRequest();
    void setKind(int kind);
    void setMoreTitle(const QString& title, bool alsoButtonTitle);
    void reloadResults();
    void reloadHistory();
    // The stored keywords of kind replace the history rows, unless there are none.
    void readHistory(int kind);
    void clearHistory();
    void resetCurrentKind();
    void clearResults(int kind);
    // The result table shown as the document, the spinner gone (showSearchData without reload).
    void showResultTable();
    // A first page that brought nothing: the text in place of the tables, the keyword given up.
    void showSearchEnded(const QString& text);

    // Requests (SearchNewsPresenter_Requests.cpp).
    void sendFirstPage(const QString& keyword);
    void sendMorePage();
    void onNewsPage(const QByteArray& bytes, bool firstPage);
    void onDealsPage(const QByteArray& bytes, bool firstPage);
    void onPageFailed(const Error& error, bool firstPage);
    template <class Handler>
    void send(const QString& url, const QVariant& parms, bool firstPage, Handler onBytes);
    // A further page of the kind: its cursor moves below the items' ids, and the items go to the
    // end of the kind's results (as new rows when that table is on show).
    template <class Item>
    void appendPage(int kind, QList<std::shared_ptr<Item>>& results, const QList<std::shared_ptr<Item>>& items,
                    QString Item::*id);

    int m_kind = kNews;
    QList<SearchInfoPtr> m_historyArray;
    QList<FeedPtr> m_resultArray1;
    QList<HotProductModelPtr> m_resultArray2;
    QList<FeedPtr> m_resultArray3;
    Manager m_loadSession;
    uint64_t m_requestSerial = 0;
    QString m_searchKey = QStringLiteral("");
    std::array<QString, 3> m_text{QStringLiteral(""), QStringLiteral(""), QStringLiteral("")};
    std::array<int64_t, 3> m_currentMinID{};
    int64_t m_lastSelectedIndex = 0;
    int64_t m_hotLastSelectedIndex = 0;
    QString m_btnTitle;
    QString m_moreTitle;
    Display m_display;
    SearchResultModel m_resultModel{*this};
    SearchHistoryModel m_historyModel{*this};
};
