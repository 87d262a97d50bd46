#include "newslist/views/CenterViewController.h"

#include "database/DatabaseOperate.h"
#include "foundation/CommonFunction.h"
#include "newslist/views/CenterTableView.h"
#include "newslist/views/editor/editColumnViewController.h"
#include "newslist/views/search/SearchNewsViewController.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "ui/controls/CustomButton.h"
#include "ui/controls/ImageNamed.h"
#include "ui/controls/KeysHandOver.h"

#include <QApplication>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>
#include <QStackedWidget>

namespace {

const char* const kTagProperty = "tag";

int tagOf(const QWidget* widget)
{
    return widget ? widget->property(kTagProperty).toInt() : 0;
}

// The tab strip scrolls only sideways: a plain (vertical) wheel moves it too, not just a
// horizontal wheel or Alt with the wheel. A tab that the keys reach scrolls into view, whichever
// way they came (Tab from the bar above, Shift+Tab from the edit button after the strip).
class ChannelTabStrip : public QScrollArea
{
public:
    explicit ChannelTabStrip(QWidget* parent) : QScrollArea(parent)
    {
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
            if (now && widget() && widget()->isAncestorOf(now))
                ensureWidgetVisible(now, 15, 0);
        });
    }

protected:
    void wheelEvent(QWheelEvent* event) override
    {
        if (qAbs(event->angleDelta().y()) > qAbs(event->angleDelta().x())) {
            QCoreApplication::sendEvent(horizontalScrollBar(), event);
            return;
        }
        QScrollArea::wheelEvent(event);
    }
};

}  // namespace

CenterViewController::CenterViewController(QWidget* parent) : QWidget(parent)
{
    setFixedWidth(kWidth);
    m_topBar = new QWidget(this);
    m_scrollViewNews = new ChannelTabStrip(this);
    m_scrollViewNews->setFrameShape(QFrame::NoFrame);
    m_scrollViewNews->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollViewNews->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A click on a tab leaves the keys in the list: the strip around the tabs takes none.
    m_scrollViewNews->setFocusPolicy(Qt::NoFocus);
    m_scrollViewNews->setWidgetResizable(false);
    m_centerScrollV = new QStackedWidget(this);
    m_editColumnBtn = CustomButton::initWithImagePosition(CustomButton::NSImageOnly, QStringLiteral("editColumn"), false, 1, this);
    m_editColumnBtn->addTarget(this, std::function<void()>([this] { editNews(m_editColumnBtn); }));
    // Keys on a view put aside in the column (the list before, a tab of a rebuilt strip) go to the
    // list on show, whoever put the view aside.
    KeysHandOver::addArea(this, [this] { return listTakingKeys(); });
    viewDidLoad();
}

CenterViewController::~CenterViewController()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

// False when the store could not be read (another program may hold the file locked).
static bool readShownChannels(QList<NewsListDataPtr>& shown)
{
    DatabaseOperate::Lease store;
    return store && store->NewsList_getCurrentDisplayNewsList(shown);
}

void CenterViewController::viewDidLoad()
{
    QList<NewsListDataPtr> shown;
    if (!readShownChannels(shown)) {
        // The keys wait in the column, where the lists will come, not on the first button of the window.
        setFocus(Qt::OtherFocusReason);
        readChannelsAgain();
    }
    _selectedNewsArr = shown;
    for (const NewsListDataPtr& channel : std::as_const(_selectedNewsArr)) {
        if (ChannelListView* list = makeListView(*channel))
            m_tableVCArray.append(list);
    }
    setControls();
    setLayout();
    if (!_itemBtnArrayM.isEmpty())
        itemBtnClick(_itemBtnArrayM.first(), false);
    auto& center = NotificationCenter::defaultCenter();
    center.addObserver(this, QStringLiteral("ZQ"), nullptr, [this](const Notification&) { showZQ(); });
    center.addObserver(this, QStringLiteral("NEWS"), nullptr, [this](const Notification&) { showNEWS(); });
    if (CommonFunction::isEICapitanLater())
        center.addObserver(this, QStringLiteral("fontChanged"), nullptr, [this](const Notification&) { fontChanged(); });
}

void CenterViewController::readChannelsAgain()
{
    // Until the store can be read; then the channels come as at start.
    dispatch::retryEvery(this, 1000, [this] {
        QList<NewsListDataPtr> shown;
        if (!readShownChannels(shown))
            return false;
        _selectedNewsArr = shown;
        updateColumn(shown);
        if (!_itemBtnArrayM.isEmpty() && !m_scrollViewNews->isHidden())
            itemBtnClick(_itemBtnArrayM.first(), false);
        return true;
    });
}

ChannelListView* CenterViewController::makeListView(const NewsListData& channel)
{
    ChannelListView* list = nullptr;
    if (channel.iListID == kHotCommentChannel) {
        if (const auto& maker = ListColumnNeighbours::hotCommentListMaker())
            list = maker(channel, m_centerScrollV);
    } else {
        list = new CenterTableView(channel, m_centerScrollV);
    }
    if (!list)
        return nullptr;
    m_centerScrollV->addWidget(list->listWidget());
    list->listWidget()->hide();
    return list;
}

void CenterViewController::setControls()
{
    m_coinBtn = new QPushButton(CommonFunction::getMacDeviceName(), m_topBar);
    m_coinBtn->setIcon(imageNamed(QStringLiteral("TOPGold")));
    m_coinBtn->setFlat(true);
    m_tidwenLogo = new QLabel(m_topBar);
    m_tidwenLogo->setPixmap(imageNamed(QStringLiteral("TidwenLogo")));
    m_topRefreshBtn = CustomButton::initWithImagePosition(CustomButton::NSImageOnly, QStringLiteral("TOPRefresh"), false, 1, m_topBar);
    m_topRefreshBtn->addTarget(this, &CenterViewController::refreshNews);
    m_searchBtn = CustomButton::initWithImagePosition(CustomButton::NSImageOnly, QStringLiteral("TOPSearch"), false, 1, m_topBar);
    m_searchBtn->addTarget(this, &CenterViewController::searchNews);
    for (CustomButton* button : {m_topRefreshBtn, m_searchBtn})
        button->resize(40, 40);

    createNewsItemNewsListArray(_selectedNewsArr);
    m_coinBtn->hide();
    m_editColumnBtn->resize(40, 40);
    for (QWidget* view : {static_cast<QWidget*>(m_topRefreshBtn), static_cast<QWidget*>(m_searchBtn),
                          static_cast<QWidget*>(m_editColumnBtn)}) {
        m_hoverArray.prepend(view);
        TrackingArea::add(view, this);
    }
}

void CenterViewController::setLayout()
{
    const int width = kWidth;
    m_topBar->setGeometry(0, 0, width, kBarHeight);
    m_coinBtn->setGeometry(0, 0, 82, kBarHeight);
    m_tidwenLogo->setGeometry((width - 60) / 2, 8, 60, 25);  // 7.5 below the bar's top
    m_topRefreshBtn->setGeometry(width - kBarHeight, 0, kBarHeight, kBarHeight);
    m_searchBtn->setGeometry(m_topRefreshBtn->x() - kBarHeight, 0, kBarHeight, kBarHeight);
    m_scrollViewNews->setGeometry(0, kBarHeight, width - 40, kBarHeight);
    m_editColumnBtn->setGeometry(width - 40, kBarHeight, 40, 40);
    m_centerScrollV->setGeometry(0, 2 * kBarHeight, width, std::max(0, height() - 2 * kBarHeight));
    if (m_scrollViewZQ)
        m_scrollViewZQ->dealsWidget()->setGeometry(0, kBarHeight, width, std::max(0, height() - kBarHeight));
}

void CenterViewController::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    setLayout();
}

int CenterViewController::tabWidth(const QString& name)
{
    switch (name.size()) {
    case 3:
        return 55;
    case 4:
    case 7:
        return 70;
    default:
        return 40;
    }
}

void CenterViewController::styleTab(QPushButton* tab, bool on, bool hovered)
{
    const QString colour = on ? QStringLiteral("rgb(200, 3, 19)") : QStringLiteral("black");
    const QString background = hovered ? QStringLiteral("rgb(244, 244, 244)") : QStringLiteral("transparent");
    tab->setStyleSheet(QStringLiteral("QPushButton { border: none; color: %1; background: %2; }").arg(colour, background));
    tab->setFont(CommonFunction::fontWithSize(14));
}

void CenterViewController::createNewsItemNewsListArray(const QList<NewsListDataPtr>& channels)
{
    for (CustomButton* old : std::as_const(_itemBtnArrayM)) {
        m_hoverArray.removeAll(QPointer<QWidget>(old));
        // Hidden first, so that keys on it reach the list rather than the next view of the Tab chain.
        old->hide();
        old->deleteLater();
    }
    _itemBtnArrayM.clear();
    int stripWidth = int(channels.size() + 2) * 40;
    if (!m_backView) {
        m_backView = new QWidget;
        m_backView->setFocusPolicy(Qt::NoFocus);
        m_bottomLineView = new QWidget(m_backView);
        m_bottomLineView->setGeometry(10, kBarHeight - 5 - 2, 30, 2);
        m_bottomLineView->setStyleSheet(QStringLiteral("background: rgb(210, 34, 34);"));
        m_scrollViewNews->setWidget(m_backView);
    }
    int x = 15;
    for (const NewsListDataPtr& channel : channels) {
        CustomButton* tab = CustomButton::initWithAttributedTitle(channel->ListName, m_backView);
        tab->setProperty(kTagProperty, tabTag(*channel));
        styleTab(tab, false);
        const int width = tabWidth(channel->ListName);
        tab->setGeometry(x, 0, width, kBarHeight);
        x += width + 5;
        switch (channel->ListName.size()) {
        case 3:
            stripWidth += 15;
            break;
        case 4:
            stripWidth += 30;
            break;
        case 7:
            stripWidth += 50;
            break;
        default:
            break;
        }
        tab->addTarget(this, std::function<void()>([this, tab] { itemBtnClick(tab); }));
        tab->show();
        _itemBtnArrayM.append(tab);
        // Rebuilt tabs track hover as the first ones do.
        m_hoverArray.append(tab);
        TrackingArea::add(tab, this);
    }
    m_backView->resize(stripWidth, kBarHeight);
    m_bottomLineView->raise();
}

void CenterViewController::updateColumn(const QList<NewsListDataPtr>& channels)
{
    for (const NewsListDataPtr& channel : channels) {
        const bool known = std::any_of(m_tableVCArray.cbegin(), m_tableVCArray.cend(), [&](ChannelListView* list) {
            return list->newslistData().iListID == channel->iListID;
        });
        if (!known) {
            if (ChannelListView* list = makeListView(*channel))
                m_tableVCArray.append(list);
        }
    }
    createNewsItemNewsListArray(channels);
}

void CenterViewController::itemBtnClick(QPushButton* button, bool byClick)
{
    if (!button)
        return;
    tabBarBtnSelected(tagOf(button) - 10, byClick);
    for (CustomButton* tab : std::as_const(_itemBtnArrayM)) {
        if (tab->isChecked()) {
            tab->setChecked(false);
            styleTab(tab, false);
        }
    }
    button->setChecked(true);
    styleTab(button, true);
    m_bottomLineView->setGeometry(button->x(), m_bottomLineView->y(), button->width() - 8, m_bottomLineView->height());
    m_lastSelectIndex = tagOf(button);
}

void CenterViewController::tabBarBtnSelected(int32_t listId, bool byClick)
{
    const bool takesKeys = shownListTakesKeys(byClick);
    for (ChannelListView* list : std::as_const(m_tableVCArray)) {
        QWidget* widget = list->listWidget();
        list->setOnShow(list->newslistData().iListID == listId);
        if (list->newslistData().iListID != listId) {
            widget->hide();
            continue;
        }
        // The stack lays out only its current page, and only when its layout is dirty: a page
        // shown before it became current keeps the size it had while hidden.
        m_centerScrollV->setCurrentWidget(widget);
        widget->setGeometry(m_centerScrollV->contentsRect());
        widget->show();
        if (takesKeys)
            KeysHandOver::clickKeysOf(widget)->setFocus(Qt::OtherFocusReason);
        if (list->isHotCommentList()) {
            m_currentHotTableV = list;
            m_currentTableV = nullptr;
        } else {
            m_currentTableV = dynamic_cast<CenterTableView*>(list);
            m_currentHotTableV = nullptr;
        }
        list->showByClick(true);
    }
}

void CenterViewController::refreshNews()
{
    // Over the deals view the reader means its category, not the news channel hidden behind it.
    if (QWidget* deals = dealsView(); deals && !deals->isHidden()) {
        m_scrollViewZQ->showLastSelectedIndex();
        return;
    }
    if (m_currentHotTableV)
        m_currentHotTableV->showByClick(false);
    else if (m_currentTableV)
        m_currentTableV->showByClick(false);
}

void CenterViewController::searchNews()
{
    openSearchWindow(this);
}

void CenterViewController::editNews(QWidget* sender)
{
    openChannelEditor(this, sender);
}

QWidget* CenterViewController::dealsView() const
{
    return m_scrollViewZQ ? m_scrollViewZQ->dealsWidget() : nullptr;
}

QWidget* CenterViewController::listTakingKeys() const
{
    QWidget* deals = dealsView();
    QWidget* list = deals && !deals->isHidden() ? deals : m_centerScrollV->currentWidget();
    return list ? KeysHandOver::clickKeysOf(list) : nullptr;
}

bool CenterViewController::shownListTakesKeys(bool byClick) const
{
    const QWidget* keys = window()->focusWidget();
    if (!byClick)
        return !keys || keys == this;
    const bool onOwnControls =
        keys && (m_topBar->isAncestorOf(keys) || m_scrollViewNews->isAncestorOf(keys) || keys == m_editColumnBtn);
    return !onOwnControls;
}

void CenterViewController::showNEWS()
{
    QPushButton* chosen = nullptr;
    for (CustomButton* tab : std::as_const(_itemBtnArrayM)) {
        if (tagOf(tab) == m_lastSelectIndex)
            chosen = tab;
    }
    // The remembered channel may have been hidden meanwhile: the first tab stands in.
    if (!chosen && !_itemBtnArrayM.isEmpty())
        chosen = _itemBtnArrayM.first();
    itemBtnClick(chosen);
    m_scrollViewNews->show();
    m_centerScrollV->show();
    if (QWidget* deals = dealsView())
        deals->hide();
    m_editColumnBtn->show();
}

void CenterViewController::showZQ()
{
    if (!m_scrollViewZQ) {
        if (const auto& maker = ListColumnNeighbours::dealsViewMaker())
            m_scrollViewZQ = maker(this);
        setLayout();
    }
    const bool takesKeys = shownListTakesKeys(true);
    // Behind the deals view no news list is on show: a late one must not take the pane.
    for (ChannelListView* list : std::as_const(m_tableVCArray))
        list->setOnShow(false);
    if (m_scrollViewZQ)
        m_scrollViewZQ->showLastSelectedIndex();
    m_scrollViewNews->hide();
    if (QWidget* deals = dealsView()) {
        deals->show();
        if (takesKeys)
            KeysHandOver::clickKeysOf(deals)->setFocus(Qt::OtherFocusReason);
    }
    m_centerScrollV->hide();
    m_editColumnBtn->hide();
}

void CenterViewController::fontChanged()
{
    for (CustomButton* tab : std::as_const(_itemBtnArrayM))
        styleTab(tab, tab->isChecked());
}

void CenterViewController::mouseEntered(QWidget* sender)
{
    auto* button = qobject_cast<CustomButton*>(sender);
    if (!button)
        return;
    if (_itemBtnArrayM.contains(button))
        styleTab(button, button->isChecked(), true);
    else
        button->setStyleSheet(QStringLiteral("background: rgb(244, 244, 244); border: none;"));
}

void CenterViewController::mouseExited(QWidget* sender)
{
    auto* button = qobject_cast<CustomButton*>(sender);
    if (!button)
        return;
    if (_itemBtnArrayM.contains(button))
        styleTab(button, button->isChecked(), false);
    else
        button->setStyleSheet(QString());
}
