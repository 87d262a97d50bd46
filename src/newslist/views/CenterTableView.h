#pragma once

#include "newslist/CenterTableModel.h"
#include "newslist/views/ChannelListView.h"
#include "newslist/views/ListCovers.h"
#include "newslist/views/SlideView.h"
#include "ui/controls/DDErrorView.h"
#include "ui/controls/ListKeyboardSelection.h"
#include "ui/hud/DJActivityIndicator.h"

#include <QListView>
#include <QPointer>
#include <QScreen>
#include <QStyledItemDelegate>

class CenterTableCell;
class CenterTableView;

// Paints the rows of a news list: item rows through one off-screen CenterTableCell per row kind,
// kept as pixmaps until their item or picture changes; headers and the "加载更多" row directly.
class CenterTableDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit CenterTableDelegate(CenterTableView* list);
    ~CenterTableDelegate() override;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Forgets every rendered row of every list.
    static void clearRows();
    // Fills the off-screen row as the list shows item index of the model (tests look at it).
    CenterTableCell* fillCell(const CenterTableModel& model, const NewsListRow& row) const;

private:
    QPixmap renderRow(const CenterTableModel& model, const NewsListRow& row) const;

    CenterTableView* m_list;
    CenterTableCell* m_newsCell;
    CenterTableCell* m_adCell;
    mutable QPointer<QScreen> m_cellScreen;
};

// The news list of one channel (initWithNewsListData:). The model does the work; this view shows
// rows, the slide strip of row 0, the first-load spinner, the toast strip and the error view, and
// hands clicks and the bottom of the scroll range back to the model.
class CenterTableView : public QListView, public ChannelListView
{
    Q_OBJECT

public:
    explicit CenterTableView(const NewsListData& channel, QWidget* parent = nullptr);
    ~CenterTableView() override;

    CenterTableModel* tableModel() const { return m_model; }
    ListKeyboardSelection* keyboardSelection() const { return m_keyboard; }
    SlideView* slideStrip() const { return m_strip; }
    DDErrorView* errorView() const { return m_errorView; }
    QWidget* toastStrip() const { return m_toastStrip; }

    // ChannelListView
    QWidget* listWidget() override { return this; }
    const NewsListData& newslistData() const override { return m_model->newslistData(); }
    // Covers that failed before are asked for again with the list shown again.
    void showByClick(bool byClick) override;
    void setOnShow(bool onShow) override { m_model->setOnShow(onShow); }

    // The cover picture of a URL at the row's size when it has arrived; starts its load otherwise.
    QPixmap coverFor(const QString& url);
    ListCovers* covers() const { return m_covers; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    // The table selects on the press of the button, below the rows too.
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void setControls();
    // The list has been scrolled to its end.
    bool atBottom() const;
    void replaceStrip();
    void didFinishLoadDataWithDescribe(const QString& text);
    void showOfflineNote(const QString& text);
    void showErrorView(bool shown);
    void hideLogo();
    // The spinner of a reload from the error view, above the error view's text.
    void showReloadSpinner();
    void placeSpinner();

    CenterTableModel* m_model;
    CenterTableDelegate* m_delegate;
    QPointer<SlideView> m_strip;
    QPointer<DDErrorView> m_errorView;
    QPointer<DJActivityIndicator> m_firstLoadIndicatorView;
    QPointer<QWidget> m_toastStrip;
    ListCovers* m_covers;
    ListKeyboardSelection* m_keyboard = nullptr;
};
