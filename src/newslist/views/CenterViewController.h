#pragma once

#include "foundation/models/NewsListData.h"
#include "newslist/views/ChannelListView.h"
#include "ui/controls/TrackingArea.h"

#include <QList>
#include <QPointer>
#include <QWidget>

class CenterTableView;
class CustomButton;
class QLabel;
class QPushButton;
class QScrollArea;
class QStackedWidget;

// The middle column of the main window (300 wide): the top bar with logo, refresh and search,
// the strip of channel tabs with the edit button, and below them the list of the chosen channel.
// One list view per channel shown since start; channel 153 gets the installed hot-comment list.
// "NEWS" and "ZQ" switch between the channels and the deals view.
class CenterViewController : public QWidget, public TrackingAreaOwner
{
    Q_OBJECT

public:
    static constexpr int kWidth = 300;
    static constexpr int kBarHeight = 40;
    static constexpr int64_t kHotCommentChannel = 153;

    // Reads the shown channels from the content store and builds the column.
    explicit CenterViewController(QWidget* parent = nullptr);
    ~CenterViewController() override;

    void createNewsItemNewsListArray(const QList<NewsListDataPtr>& channels);
    void updateColumn(const QList<NewsListDataPtr>& channels);
    // byClick: the reader chose the tab (a click, the left bar's news); the program's own choice
    // passes false and so takes no keys from the article.
    void itemBtnClick(QPushButton* button, bool byClick = true);
    void tabBarBtnSelected(int32_t listId, bool byClick);
    void refreshNews();
    void searchNews();
    void editNews(QWidget* sender);
    void showNEWS();
    void showZQ();
    void fontChanged();

    void mouseEntered(QWidget* sender) override;
    void mouseExited(QWidget* sender) override;

    // For the program and tests.
    const QList<CustomButton*>& tabButtons() const { return _itemBtnArrayM; }
    QWidget* backView() const { return m_backView; }
    QWidget* bottomLineView() const { return m_bottomLineView; }
    CenterTableView* currentTableV() const { return m_currentTableV; }
    ChannelListView* currentHotTableV() const { return m_currentHotTableV; }
    const QList<ChannelListView*>& tableVCArray() const { return m_tableVCArray; }
    int64_t lastSelectIndex() const { return m_lastSelectIndex; }
    QWidget* dealsView() const;
    QScrollArea* scrollViewNews() const { return m_scrollViewNews; }
    QStackedWidget* centerScrollV() const { return m_centerScrollV; }
    CustomButton* editColumnBtn() const { return m_editColumnBtn; }
    CustomButton* refreshButton() const { return m_topRefreshBtn; }

    static int tabWidth(const QString& name);
    static int tabTag(const NewsListData& channel) { return int(channel.iListID + 10); }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void viewDidLoad();
    void readChannelsAgain();
    void setControls();
    void setLayout();
    ChannelListView* makeListView(const NewsListData& channel);
    void styleTab(QPushButton* tab, bool on, bool hovered = false);
    // The column's one rule for its keys. They go to the list (or deals view) on show in two
    // cases only: a view put aside inside the column while it holds them (the list before, a tab
    // of a rebuilt strip) hands them to listTakingKeys through the column's KeysHandOver area; a
    // list shown takes them when shownListTakesKeys says so, asked before anything is hidden.
    // A list the reader chose takes them from wherever they are (the article beside too) but from
    // the column's own controls reached by Tab, where the reader goes on choosing; a list the
    // program chose by itself takes them only when they wait in the column or are nowhere yet,
    // never from the article.
    QWidget* listTakingKeys() const;
    bool shownListTakesKeys(bool byClick) const;

    QPushButton* m_coinBtn = nullptr;
    QLabel* m_tidwenLogo = nullptr;
    CustomButton* m_topRefreshBtn = nullptr;
    CustomButton* m_searchBtn = nullptr;
    QWidget* m_topBar = nullptr;
    QScrollArea* m_scrollViewNews = nullptr;
    QStackedWidget* m_centerScrollV = nullptr;
    CustomButton* m_editColumnBtn = nullptr;
    QWidget* m_backView = nullptr;
    QWidget* m_bottomLineView = nullptr;
    QList<NewsListDataPtr> _selectedNewsArr;
    QList<CustomButton*> _itemBtnArrayM;
    QList<QPointer<QWidget>> m_hoverArray;
    QList<ChannelListView*> m_tableVCArray;
    CenterTableView* m_currentTableV = nullptr;
    ChannelListView* m_currentHotTableV = nullptr;
    int64_t m_lastSelectIndex = 0;
    DealsColumnView* m_scrollViewZQ = nullptr;
};
