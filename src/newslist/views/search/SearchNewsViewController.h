#pragma once

#include "newslist/search/SearchNewsPresenter.h"
#include "newslist/views/search/SearchResultCell.h"
#include "ui/controls/CustomButton.h"

#include <QObject>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QWidget>

class DJActivityIndicator;
class QKeyEvent;
class QLineEdit;
class QListView;
class QStackedWidget;
class QTabBar;
class UILabel;

// Paints result rows as SearchResultCell draws them; the more row is left to its button.
class SearchResultDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit SearchResultDelegate(QObject* parent = nullptr);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    SearchResultCell::RowStyle m_style = SearchResultCell::RowStyle::current();
};

// The search window: a top-level window of its own, not modal, made once by the list column and
// kept. Before every showing the opener calls showInit, then showWindow. The window shows the
// presenter's two models and display state and hands the user's actions to it.
class SearchNewsViewController : public QObject
{
    Q_OBJECT

public:
    static constexpr int kWindowWidth = 400;
    static constexpr int kWindowHeight = 600;

    explicit SearchNewsViewController(QObject* parent = nullptr);
    ~SearchNewsViewController() override;

    void showInit();
    // Shows the window, raised and active.
    void showWindow();

    QWidget* window() const { return m_window; }
    SearchNewsPresenter* presenter() { return &m_presenter; }
    QLineEdit* searchBar() const { return m_searchBar; }
    QTabBar* segmentControl() const { return m_segmentControl; }
    QStackedWidget* scrollV() const { return m_scrollV; }
    QListView* searchHistoryTV() const { return m_searchHistoryTV; }
    QListView* searchResultTV() const { return m_searchResultTV; }
    QWidget* lineView() const { return m_lineView; }
    UILabel* tiShiLabel() const { return m_tiShiLabel; }
    DJActivityIndicator* logoView() const { return m_logoView; }
    CustomButton* MoreBtn() const { return m_moreBtn; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void windowDidLoad();
    QListView* makeTable(const QString& identifier);
    void setLayout();
    void applyDisplay();
    void rebuildMoreButton();
    void rebuildHistoryRows();
    void keywordEditingFinished();
    // True when the key, pressed in the keyword field, went on to the results.
    bool keysIntoResults(QKeyEvent* key);
    void selectionChanged(QListView* table);
    // Any window of the program is closing (this one included).
    void windowWillClose(QWidget* closing);

    SearchNewsPresenter m_presenter;
    QPointer<QWidget> m_window;
    QLineEdit* m_searchBar = nullptr;
    QTabBar* m_segmentControl = nullptr;
    QStackedWidget* m_scrollV = nullptr;
    QListView* m_searchHistoryTV = nullptr;
    QListView* m_searchResultTV = nullptr;
    QWidget* m_lineView = nullptr;
    UILabel* m_tiShiLabel = nullptr;
    DJActivityIndicator* m_logoView = nullptr;
    QPointer<CustomButton> m_moreBtn;
    // The more button's row as the keys reached it (further results then stand there); -1 while
    // the keys are on a result.
    int m_moreRowByKeys = -1;
};

// The list column's search button: the column's one search window (made on first use, kept as
// the column's child), prepared with showInit and shown.
SearchNewsViewController* openSearchWindow(QObject* column);
