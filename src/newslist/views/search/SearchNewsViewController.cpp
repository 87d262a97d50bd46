#include "newslist/views/search/SearchNewsViewController.h"

#include "foundation/CommonFunction.h"
#include "newslist/views/search/SearchHistoryCell.h"
#include "newslist/views/search/SearchResultCell.h"
#include "platform/NotificationCenter.h"
#include "ui/controls/CustomButton.h"
#include "ui/controls/KeysHandOver.h"
#include "ui/controls/LightPalette.h"
#include "ui/controls/ListKeyboardSelection.h"
#include "ui/controls/UILabel.h"
#include "ui/controls/WindowKeys.h"
#include "ui/hud/DJActivityIndicator.h"
#include "ui/layout/MASAdditions.h"

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QStackedWidget>
#include <QTabBar>

#include <algorithm>

namespace {

// A window of the program in the sense of its closing: a top-level window or dialog. Tooltips,
// menus and popovers are other kinds of window; an alert sheet is a message box; the HUD's
// toasts only ever hide while they stand in another window.
bool isProgramWindow(const QWidget* widget)
{
    if (!widget->isWindow())
        return false;
    const Qt::WindowType type = widget->windowType();
    if (type != Qt::Window && type != Qt::Dialog)
        return false;
    return widget->inherits("QMessageBox") == false;
}

// History rows are index widgets; the table itself draws nothing under them.
class SearchHistoryDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter*, const QStyleOptionViewItem&, const QModelIndex&) const override {}
};

}  // namespace

SearchResultDelegate::SearchResultDelegate(QObject* parent) : QStyledItemDelegate(parent)
{
    if (CommonFunction::isEICapitanLater())
        NotificationCenter::defaultCenter().addObserver(this, QStringLiteral("fontChanged"), nullptr, [this](const Notification&) {
            m_style = SearchResultCell::RowStyle::current();
            // The rows on screen take the new fonts now, not when they next happen to be painted.
            if (auto* table = qobject_cast<QAbstractItemView*>(this->parent()))
                table->viewport()->update();
        });
}

void SearchResultDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (index.data(SearchResultModel::MoreRowRole).toBool())
        return;
    SearchResultCell::paintRow(*painter, option.rect, index.data(Qt::DisplayRole).toString(),
                               index.data(SearchResultModel::DateRole).toString(),
                               index.data(SearchResultModel::SelectedRole).toBool(), m_style);
}

QSize SearchResultDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    Q_UNUSED(index);
    return QSize(option.rect.width(), SearchResultCell::kHeight);
}

SearchNewsViewController::SearchNewsViewController(QObject* parent) : QObject(parent)
{
    setObjectName(QStringLiteral("SearchNewsViewController"));
    // A window of its own, owned by this controller (not by the column's widget tree), so it goes
    // with the controller whatever the order in which the column's children are destroyed.
    m_window = new QWidget(nullptr, Qt::Window);
    windowDidLoad();
    // Every window of the program that closes empties this one: the filter sees them all,
    // wherever they are made.
    qApp->installEventFilter(this);
}

SearchNewsViewController::~SearchNewsViewController()
{
    qApp->removeEventFilter(this);
    if (m_window) {
        auto* window = m_window.data();
        m_window.clear();
        delete window;
    }
}

QListView* SearchNewsViewController::makeTable(const QString& identifier)
{
    auto* table = new QListView(m_scrollV);
    table->setObjectName(identifier);
    table->setFrameShape(QFrame::NoFrame);
    table->setSpacing(0);
    table->setFocusPolicy(Qt::NoFocus);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    QPalette palette = table->palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Highlight, Qt::transparent);
    table->setPalette(palette);
    table->setMinimumWidth(kWindowWidth);
    table->hide();
    return table;
}

void SearchNewsViewController::windowDidLoad()
{
    QWidget* window = m_window;
    window->setObjectName(QStringLiteral("SearchNewsViewController"));
    window->setWindowTitle(QStringLiteral("搜索"));
    // Its own white with its own dark texts (field, kinds, rows, buttons), whatever the desktop's
    // colour scheme.
    window->setAutoFillBackground(true);
    window->setPalette(lightPalette());
    window->resize(kWindowWidth, kWindowHeight);

    m_searchBar = new QLineEdit(window);
    m_searchBar->setObjectName(QStringLiteral("searchBar"));
    // A style sheet takes its text colour from the desktop unless it names one.
    m_searchBar->setStyleSheet(QStringLiteral("QLineEdit { border: 1px solid rgb(210, 210, 210); border-radius: 5px;"
                                              " padding: 0 6px; background: white; color: rgb(34, 34, 34); }"));
    m_searchBar->setPlaceholderText(QStringLiteral("搜索"));
    // The keyword rule runs when the reader ends the keyword with Return; the field losing the
    // focus (to a history button, another window, a menu) ends nothing.
    connect(m_searchBar, &QLineEdit::returnPressed, this, &SearchNewsViewController::keywordEditingFinished);

    m_segmentControl = new QTabBar(window);
    m_segmentControl->setObjectName(QStringLiteral("segmentControl"));
    m_segmentControl->addTab(QStringLiteral("新闻"));
    m_segmentControl->addTab(QStringLiteral("商品"));
    m_segmentControl->setExpanding(true);
    m_segmentControl->setDrawBase(false);
    connect(m_segmentControl, &QTabBar::currentChanged, this,
            [this](int kind) { m_presenter.SwitchBtnActive(kind, m_searchBar->text()); });

    m_lineView = new QWidget(window);
    m_lineView->setAutoFillBackground(true);
    QPalette line = m_lineView->palette();
    line.setColor(QPalette::Window, QColor(0, 0, 0, 26));  // black at 0.1
    m_lineView->setPalette(line);

    m_scrollV = new QStackedWidget(window);
    m_scrollV->setObjectName(QStringLiteral("scrollV"));
    m_searchHistoryTV = makeTable(QStringLiteral("history"));
    m_searchResultTV = makeTable(QStringLiteral("result"));
    m_scrollV->addWidget(m_searchHistoryTV);
    m_scrollV->addWidget(m_searchResultTV);
    m_searchHistoryTV->setModel(m_presenter.historyModel());
    m_searchResultTV->setModel(m_presenter.resultModel());
    m_searchResultTV->setItemDelegate(new SearchResultDelegate(m_searchResultTV));
    m_searchHistoryTV->setItemDelegate(new SearchHistoryDelegate(m_searchHistoryTV));
    m_searchResultTV->setUniformItemSizes(true);
    // The results take the news list's keys once they have them (a click, Tab, or Down from the
    // keyword field): Up, Down, PageUp, PageDown, Home and End open the result they reach as a
    // click does, Return opens it again. The more button's row is reached as the news list's
    // "加载更多" row: reaching it asks for more, as Return on it does, and once the further
    // results stand where it stood the keys go on from the first.
    m_searchResultTV->setFocusPolicy(Qt::StrongFocus);
    const auto moreRowReached = [this] {
        const SearchResultModel* model = m_presenter.resultModel();
        return m_moreRowByKeys >= 0 && model->index(m_moreRowByKeys).data(SearchResultModel::MoreRowRole).toBool();
    };
    ListKeyboardSelection::Rows rows;
    rows.count = [this] { return m_presenter.resultModel()->rowCount(); };
    rows.selected = [this, moreRowReached] {
        if (m_moreRowByKeys >= 0)
            return moreRowReached() ? m_moreRowByKeys : -1;
        const QModelIndexList selected = m_searchResultTV->selectionModel()->selectedRows();
        return selected.isEmpty() ? -1 : selected.first().row();
    };
    rows.resumeAt = [this, moreRowReached] {
        return moreRowReached() || m_moreRowByKeys >= m_presenter.resultModel()->rowCount() ? -1 : m_moreRowByKeys;
    };
    rows.open = [this](int row) {
        const QModelIndex index = m_presenter.resultModel()->index(row);
        if (index.data(SearchResultModel::MoreRowRole).toBool()) {
            m_moreRowByKeys = row;
            m_presenter.loadMoreBtnActive();
            return;
        }
        m_moreRowByKeys = -1;
        if (m_searchResultTV->selectionModel()->isSelected(index))
            m_presenter.tableViewSelectionDidChange(row);
        else
            m_searchResultTV->setCurrentIndex(index);
    };
    new ListKeyboardSelection(m_searchResultTV, std::move(rows));
    m_scrollV->hide();
    // Keys of a list that goes (results of the other kind on their way) go back to the keyword.
    KeysHandOver::addArea(window, [this] { return m_searchBar; });

    m_tiShiLabel = new UILabel(window);
    m_tiShiLabel->setObjectName(QStringLiteral("tiShiLabel"));
    m_tiShiLabel->setFont(CommonFunction::fontWithSize(16));
    m_tiShiLabel->setWordWrap(CommonFunction::isEICapitanLater());
    m_tiShiLabel->setAlignment(Qt::AlignCenter);
    m_tiShiLabel->hide();

    m_logoView = new DJActivityIndicator(window);
    m_logoView->resize(94, 94);
    m_logoView->hide();

    closeOnWindowKeys(window);

    connect(m_searchHistoryTV->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { selectionChanged(m_searchHistoryTV); });
    connect(m_searchResultTV->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { selectionChanged(m_searchResultTV); });
    connect(m_presenter.resultModel(), &QAbstractItemModel::modelReset, this, &SearchNewsViewController::rebuildMoreButton);
    // New results, and a result chosen by the mouse, take the keys off the more button's row.
    connect(m_presenter.resultModel(), &QAbstractItemModel::modelReset, this, [this] { m_moreRowByKeys = -1; });
    connect(m_searchResultTV, &QAbstractItemView::pressed, this, [this] { m_moreRowByKeys = -1; });
    // Results put in place of others open at their top; further pages are appended, not reset.
    connect(m_presenter.resultModel(), &QAbstractItemModel::modelReset, m_searchResultTV, &QAbstractItemView::scrollToTop);
    connect(m_presenter.historyModel(), &QAbstractItemModel::modelReset, this, &SearchNewsViewController::rebuildHistoryRows);
    connect(&m_presenter, &SearchNewsPresenter::displayChanged, this, &SearchNewsViewController::applyDisplay);
    connect(&m_presenter, &SearchNewsPresenter::moreTitleChanged, this, [this](const QString& title) {
        if (m_moreBtn)
            m_moreBtn->setText(title);
    });
    connect(&m_presenter, &SearchNewsPresenter::tipsRequested, this,
            [this](const QString& text) { CommonFunction::alert(QStringLiteral("确定"), text, m_window); });
    connect(&m_presenter, &SearchNewsPresenter::keywordFieldChanged, this, [this](const QString& text) {
        const QSignalBlocker blocker(m_searchBar);
        m_searchBar->setText(text);
    });
    setLayout();
}

void SearchNewsViewController::setLayout()
{
    using namespace MASAdditions;
    QWidget* content = m_window;
    mas_makeConstraints(m_segmentControl, [content](MASConstraintMaker& make) {
        make.top().equalTo(mas_top(content)).offset(15);
        make.right().equalTo(mas_right(content)).offset(-15);
        make.width().equalTo(120);
        make.height().equalTo(30);
    });
    mas_makeConstraints(m_searchBar, [this, content](MASConstraintMaker& make) {
        make.top().equalTo(mas_top(content)).offset(15);
        make.left().equalTo(mas_left(content)).offset(15);
        make.right().equalTo(mas_left(m_segmentControl)).offset(-10);
        make.height().equalTo(30);
    });
    mas_makeConstraints(m_lineView, [content](MASConstraintMaker& make) {
        make.top().equalTo(mas_top(content)).offset(59);
        make.left().equalTo(mas_left(content));
        make.right().equalTo(mas_right(content));
        make.height().equalTo(1);
    });
    mas_makeConstraints(m_scrollV, [this, content](MASConstraintMaker& make) {
        make.top().equalTo(mas_bottom(m_lineView));
        make.left().equalTo(mas_left(content));
        make.right().equalTo(mas_right(content));
        make.bottom().equalTo(mas_bottom(content));
    });
    // The window's width less its margins holds the no-result message of the longest keyword on
    // two lines; the label is as high as two lines of the message's own characters (the Chinese
    // ones may come from a taller fallback font than the label's).
    const int twoLines = QFontMetrics(m_tiShiLabel->font())
                             .boundingRect(QRect(0, 0, kWindowWidth, kWindowHeight), Qt::AlignCenter, QStringLiteral("没有\n数据"))
                             .height();
    const int labelHeight = std::max(40, twoLines + 2);
    mas_makeConstraints(m_tiShiLabel, [content, labelHeight](MASConstraintMaker& make) {
        make.centerY().equalTo(mas_centerY(content));
        make.left().equalTo(mas_left(content)).offset(15);
        make.right().equalTo(mas_right(content)).offset(-15);
        make.height().equalTo(labelHeight);
    });
    mas_makeConstraints(m_logoView, [content](MASConstraintMaker& make) {
        make.center().equalTo(content);
        make.width().equalTo(94);
        make.height().equalTo(94);
    });
}

void SearchNewsViewController::showInit()
{
    m_presenter.showInit();
}

void SearchNewsViewController::showWindow()
{
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    // Each opening is ready for a keyword, wherever the focus was when the window closed.
    m_searchBar->setFocus(Qt::OtherFocusReason);
}

void SearchNewsViewController::applyDisplay()
{
    const SearchNewsPresenter::Display& display = m_presenter.display();
    m_scrollV->setCurrentWidget(display.historyIsDocument ? m_searchHistoryTV : m_searchResultTV);
    m_searchHistoryTV->setVisible(display.historyVisible);
    m_searchResultTV->setVisible(display.resultVisible);
    m_scrollV->setVisible(display.scrollVisible);
    m_tiShiLabel->setText(display.labelText);
    m_tiShiLabel->setVisible(display.labelVisible);
    if (display.spinnerVisible) {
        m_logoView->show();
        m_logoView->raise();
        if (!m_logoView->isAnimating())
            m_logoView->startAnimation();
    } else if (m_logoView->isVisible() || m_logoView->isAnimating()) {
        m_logoView->hide();
        m_logoView->stopAnimation();
    }
}

void SearchNewsViewController::rebuildMoreButton()
{
    const int rows = m_presenter.resultModel()->rowCount();
    if (rows == 0) {
        m_moreBtn.clear();
        return;
    }
    auto* button = CustomButton::initWithTitle(m_presenter.btnTitle());
    button->setObjectName(QStringLiteral("MoreBtn"));
    button->addTarget(this, std::function<void()>([this] { m_presenter.loadMoreBtnActive(); }));
    m_searchResultTV->setIndexWidget(m_presenter.resultModel()->index(rows - 1), button);
    m_moreBtn = button;
}

void SearchNewsViewController::rebuildHistoryRows()
{
    SearchHistoryModel* model = m_presenter.historyModel();
    const int width = m_window ? m_window->width() : kWindowWidth;
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row);
        if (row == 0) {
            auto* header = new SearchHistoryHeader(width);
            header->clearButton()->addTarget(this, std::function<void()>([this] { m_presenter.clearAllHistory(); }));
            m_searchHistoryTV->setIndexWidget(index, header);
            continue;
        }
        auto* cell = new SearchHistoryCell;
        cell->showText(index.data().toString());
        m_searchHistoryTV->setIndexWidget(index, cell);
    }
}

bool SearchNewsViewController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_searchBar && event->type() == QEvent::KeyPress && keysIntoResults(static_cast<QKeyEvent*>(event)))
        return true;
    // A window closes when its close is accepted or a dialog is done; both hide it. A window the
    // system minimises hides too, but on its own (spontaneously), and stays open.
    if (event->type() == QEvent::Hide && !event->spontaneous() && watched->isWidgetType() &&
        isProgramWindow(static_cast<QWidget*>(watched))) {
        windowWillClose(static_cast<QWidget*>(watched));
        return false;
    }
    return QObject::eventFilter(watched, event);
}

bool SearchNewsViewController::keysIntoResults(QKeyEvent* key)
{
    // Down, or a page down, in the keyword field reads on in the results shown below it: the keys
    // go to the list, which takes this key as its own (with none open yet, the first result opens
    // as a click on it does).
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier || (key->key() != Qt::Key_Down && key->key() != Qt::Key_PageDown))
        return false;
    if (!m_searchResultTV->isVisible() || m_presenter.resultCount() == 0)
        return false;
    m_searchResultTV->setFocus(Qt::OtherFocusReason);
    QKeyEvent forwarded(key->type(), key->key(), key->modifiers(), key->text(), key->isAutoRepeat(), key->count());
    QCoreApplication::sendEvent(m_searchResultTV, &forwarded);
    return true;
}

void SearchNewsViewController::keywordEditingFinished()
{
    if (!m_presenter.textShouldEndEditing(m_searchBar->text()))
        m_searchBar->setFocus();
}

void SearchNewsViewController::selectionChanged(QListView* table)
{
    const QModelIndexList rows = table->selectionModel()->selectedRows();
    m_presenter.tableViewSelectionDidChange(rows.isEmpty() ? -1 : rows.first().row());
}

void SearchNewsViewController::windowWillClose(QWidget* closing)
{
    m_presenter.windowWillClose();
    // A modal loop running on the closing window (a dialog made over it) ends with it: left
    // running, it would outlive the window it stands on and keep its caller waiting.
    for (QDialog* dialog : closing->findChildren<QDialog*>()) {
        if (dialog != closing && dialog->isVisible() && dialog->isModal())
            dialog->reject();
    }
}

SearchNewsViewController* openSearchWindow(QObject* column)
{
    auto* controller = column ? column->findChild<SearchNewsViewController*>(QStringLiteral("SearchNewsViewController"),
                                                                            Qt::FindDirectChildrenOnly)
                              : nullptr;
    if (!controller)
        controller = new SearchNewsViewController(column);
    controller->showInit();
    controller->showWindow();
    return controller;
}
