#include "newslist/views/CenterTableView.h"

#include "foundation/CommonFunction.h"
#include "foundation/GlobalValues.h"
#include "newslist/NewsListLinks.h"
#include "newslist/views/ApplicationCache.h"
#include "newslist/views/CenterTableCell.h"
#include "newslist/views/SlideView.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "ui/controls/CustomButton.h"
#include "ui/controls/DDErrorView.h"
#include "ui/controls/ImageNamed.h"
#include "ui/hud/DJActivityIndicator.h"
#include "ui/hud/DJProgressHUD.h"

#include <QCache>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QHash>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>

#include <algorithm>

namespace {

// Rendered rows kept for all lists together: a few screens' worth (a 300 x 70 row is about 82 KB).
constexpr int kRowCacheSize = 120;

struct RenderedRowsTag;

QCache<QString, QPixmap>& renderedRows()
{
    return applicationCache<RenderedRowsTag, QString, QPixmap>(kRowCacheSize);
}

// A rendered row stays good while its item, its state, its picture and the minute (the relative
// date) stay the same.
QString rowKey(const CenterTableModel& model, const NewsListRow& row, bool coverShown)
{
    // Joined in one go, not by a chain of arg() calls: each call scans the whole text again, and a
    // marker such as "%3" inside a server's id or count would be taken for one of the key's own.
    const QChar sep(u':');
    const auto flag = [](bool on) { return on ? QChar(u'1') : QChar(u'0'); };
    const NewsListEntry& entry = model.newsListArray().at(row.index);
    if (const FeedPtr feed = feedOf(entry))
        return u'f' + QString::number(quintptr(feed.get())) + sep + feed->guid + sep
               + QString::number(Clock::now().toSecsSinceEpoch() / 60) + flag(feed->isSelected)
               + flag(feed->isHaveRead) + sep + flag(coverShown) + sep + QString::number(row.height) + sep
               + feed->commentCount;
    const NSListADInfoPtr ad = adOf(entry);
    return u'a' + QString::number(quintptr(ad.get())) + sep + flag(ad && ad->isSelected) + flag(ad && ad->isHaveRead)
           + flag(coverShown);
}

// The relative date of a post ("HH:mm", "昨日HH:mm", "M月d日"), worked out once a minute per date:
// every row drawn in that minute shows it (a rendered row's key names its minute too).
QString postDateText(const QString& postDate)
{
    static QHash<QString, QString> texts;
    static qint64 textsMinute = -1;
    const qint64 minute = Clock::now().toSecsSinceEpoch() / 60;
    if (minute != textsMinute || texts.size() > 4 * kRowCacheSize) {
        texts.clear();
        textsMinute = minute;
    }
    auto known = texts.constFind(postDate);
    if (known == texts.cend())
        known = texts.insert(postDate, CommonFunction::intervalSinceNow(postDate));
    return *known;
}

}  // namespace

// ---- Delegate ----

CenterTableDelegate::CenterTableDelegate(CenterTableView* list)
    : QStyledItemDelegate(list), m_list(list), m_newsCell(new CenterTableCell), m_adCell(new CenterTableCell)
{
}

CenterTableDelegate::~CenterTableDelegate()
{
    delete m_newsCell;
    delete m_adCell;
}

QSize CenterTableDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const
{
    return index.data(Qt::SizeHintRole).toSize();
}

CenterTableCell* CenterTableDelegate::fillCell(const CenterTableModel& model, const NewsListRow& row) const
{
    const NewsListEntry& entry = model.newsListArray().at(row.index);
    const bool ranking = model.newslistData().iLoadType != 1;
    if (const NSListADInfoPtr ad = adOf(entry)) {
        CenterTableCell* cell = m_adCell;
        cell->layoutRow(row.height);
        cell->setIOdd(1);
        cell->setCurrentAd(ad);
        cell->setIsSelected(ad->isSelected);
        cell->setupWithAdData(ad);
        const QPixmap cover = m_list->coverFor(ad->adImageUrl);
        cell->setCoverImage(cover.isNull() ? imageNamed(QStringLiteral("placeholder_iphone")) : cover);
        cell->currentImageLink = ad->adImageUrl;
        cell->updateCellTextColor();
        return cell;
    }
    const FeedPtr feed = feedOf(entry);
    CenterTableCell* cell = m_newsCell;
    cell->layoutRow(row.height);
    cell->setIOdd(0);
    cell->setCrackVisible(row.lastPinned);
    // Every pinned row makes room for its tag with nine blanks, not only the last one: the tag
    // stands where the title begins.
    cell->setTitle(feed->isTop ? QStringLiteral("         %1").arg(feed->title) : feed->title);
    cell->setCommentCountText(feed->commentCount);
    cell->setPostDateText(postDateText(feed->postDate));
    const QPixmap cover = m_list->coverFor(feed->imgurl);
    cell->setCoverImage(!cover.isNull() ? cover : ranking ? QPixmap() : imageNamed(QStringLiteral("placeholder")));
    cell->setCurrentFeed(feed);
    cell->setIsSelected(feed->isSelected);
    cell->setIsShiPin(!ranking && feed->isShiPin);
    cell->setIsTouPiao(!ranking && feed->isTouPiao);
    cell->setIsYuanChuang(!ranking && feed->isYuanChuang);
    cell->setTitlecolor(ranking ? QStringLiteral("") : feed->titlecolor);
    cell->updateCellTextColor();
    cell->updateCellBgImage();
    return cell;
}

QPixmap CenterTableDelegate::renderRow(const CenterTableModel& model, const NewsListRow& row) const
{
    const NewsListEntry& entry = model.newsListArray().at(row.index);
    const FeedPtr feed = feedOf(entry);
    const NSListADInfoPtr ad = adOf(entry);
    const QString url = feed ? feed->imgurl : ad ? ad->adImageUrl : QString();
    const QString key = rowKey(model, row, !m_list->coverFor(url).isNull());
    if (const QPixmap* cached = renderedRows().object(key))
        return *cached;
    CenterTableCell* cell = fillCell(model, row);
    // The off-screen row takes the list's screen: each of its labels would otherwise look for
    // the screen under it as it paints.
    if (QScreen* screen = m_list->screen(); screen != nullptr && screen != m_cellScreen) {
        m_newsCell->setScreen(screen);
        m_adCell->setScreen(screen);
        m_cellScreen = screen;
    }
    const qreal ratio = m_list->devicePixelRatioF();
    QPixmap pixmap(QSize(CenterTableCell::kWidth, row.height) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::white);
    cell->render(&pixmap, QPoint(), QRegion(), QWidget::DrawChildren);
    renderedRows().insert(key, new QPixmap(pixmap));
    return pixmap;
}

void CenterTableDelegate::clearRows()
{
    renderedRows().clear();
}

void CenterTableDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const auto* model = qobject_cast<const CenterTableModel*>(index.model());
    if (!model)
        return;
    const NewsListRow row = model->rowAt(index.row());
    const QRect rect = option.rect;
    switch (row.kind) {
    case NewsListRow::Item:
        painter->drawPixmap(rect.topLeft(), renderRow(*model, row));
        break;
    case NewsListRow::SectionHeader: {
        painter->fillRect(rect, QColor(244, 244, 244));
        painter->setPen(QColor(25, 25, 25));
        painter->setFont(CommonFunction::fontWithSize(13));
        painter->drawText(rect, Qt::AlignCenter, row.headerTitle);
        break;
    }
    case NewsListRow::LoadMore: {
        // A disabled square-bezel button.
        const QRect button = rect.adjusted(1, 1, -2, -2);
        painter->fillRect(button, QColor(240, 240, 240));
        painter->setPen(QColor(200, 200, 200));
        painter->drawRect(button);
        painter->setPen(QColor(150, 150, 150));
        painter->setFont(CommonFunction::fontWithSize(20));
        painter->drawText(rect, Qt::AlignCenter, QStringLiteral("加载更多"));
        break;
    }
    case NewsListRow::SlideStrip:
    case NewsListRow::Nothing:
        break;
    }
    // The row a held key rests on, not opened yet.
    if (const ListKeyboardSelection* keys = m_list->keyboardSelection(); keys && keys->pendingRow() == index.row())
        painter->fillRect(rect, QColor(0, 0, 0, 24));
}

// ---- List ----

CenterTableView::CenterTableView(const NewsListData& channel, QWidget* parent)
    : QListView(parent),
      m_model(new CenterTableModel(channel, this)),
      m_delegate(new CenterTableDelegate(this)),
      m_covers(new ListCovers(CenterTableCell::kCoverSize, this))
{
    setControls();
}

void CenterTableView::showByClick(bool byClick)
{
    m_covers->retryFailed();
    viewport()->update();
    m_model->showByClick(byClick);
}

CenterTableView::~CenterTableView()
{
    // The model goes first, so no late reply reaches a half-destroyed view.
    setModel(nullptr);
    delete m_model;
}

void CenterTableView::setControls()
{
    setModel(m_model);
    setItemDelegate(m_delegate);
    setFrameShape(QFrame::NoFrame);
    setSelectionMode(QAbstractItemView::NoSelection);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Rows are drawn for the column's full 300 points, as over a scroller that overlays the
    // content; a scroll bar beside them would cut off their right edge. The bar still moves with
    // the wheel and its maximum still pages further items in.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setMinimumWidth(300);
    setUniformItemSizes(false);
    setMouseTracking(false);

    m_firstLoadIndicatorView = new DJActivityIndicator(this);
    m_firstLoadIndicatorView->resize(94, 94);
    m_firstLoadIndicatorView->startAnimation();

    // The keys move the selection as clicks do.
    ListKeyboardSelection::Rows rows;
    rows.count = [this] { return m_model->rowCount(); };
    rows.selectable = [this](int row) { return bool(m_model->flags(m_model->index(row)) & Qt::ItemIsSelectable); };
    rows.selected = [this] { return int(m_model->selectedRow()); };
    rows.open = [this](int row) { m_model->openRow(row); };
    rows.resumeAt = [this] { return int(m_model->resumeRow()); };
    // The mark follows the article the pane shows, wherever it was chosen, also in new rows.
    rows.openItemRole = CenterTableModel::GuidRole;
    rows.mark = [this](int row) { m_model->markRow(row); };
    m_keyboard = new ListKeyboardSelection(this, std::move(rows));
    if (const auto pane = ArticlePaneLink::instance())
        pane->followShownArticles(this, [keys = m_keyboard](const QString& newsId) { keys->setOpenItem(newsId); });

    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (atBottom())
            m_model->myBoundsChangeNotificationHandler();
    });
    // Rendered rows are kept across resets: their keys name the item and its state.
    connect(m_model, &QAbstractItemModel::modelReset, this, &CenterTableView::replaceStrip);
    connect(m_model, &CenterTableModel::toastRequested, this, &CenterTableView::didFinishLoadDataWithDescribe);
    connect(m_model, &CenterTableModel::offlineToastRequested, this, &CenterTableView::showOfflineNote);
    connect(m_model, &CenterTableModel::errorViewRequested, this, &CenterTableView::showErrorView);
    connect(m_model, &CenterTableModel::spinnerHidden, this, &CenterTableView::hideLogo);
    connect(m_model, &CenterTableModel::spinnerShown, this, &CenterTableView::showReloadSpinner);
    connect(m_model, &CenterTableModel::hudDismissRequested, this, [] { DJProgressHUD::dismiss(); });
    connect(m_model, &CenterTableModel::scrollToTopRequested, this, [this] { scrollToTop(); });
    m_covers->followRows(this);
    connect(m_covers, &ListCovers::coverArrived, viewport(), qOverload<>(&QWidget::update));
    connect(m_covers, &ListCovers::cleared, this, [this] {
        CenterTableDelegate::clearRows();
        viewport()->update();
    });
    // Rows are kept as painted; a new font paints them anew at once, not when their minute ends.
    if (CommonFunction::isEICapitanLater())
        NotificationCenter::defaultCenter().addObserver(this, QStringLiteral("fontChanged"), nullptr, [this](const Notification&) {
            CenterTableDelegate::clearRows();
            viewport()->update();
        });
}

void CenterTableView::resizeEvent(QResizeEvent* event)
{
    QListView::resizeEvent(event);
    placeSpinner();
    if (m_errorView)
        m_errorView->setGeometry(rect());
}

void CenterTableView::placeSpinner()
{
    if (!m_firstLoadIndicatorView)
        return;
    // Over the error view the spinner stands above its centred text, which starts 20 above the middle.
    const bool overError = m_errorView && m_errorView->isVisible();
    const int y = overError ? height() / 2 - 20 - 10 - 94 : (height() - 94) / 2;
    m_firstLoadIndicatorView->move((width() - 94) / 2, std::max(0, y));
}

void CenterTableView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        const QModelIndex index = indexAt(event->position().toPoint());
        m_model->clickRow(index.isValid() ? index.row() : -1);
    }
    QListView::mousePressEvent(event);
}

bool CenterTableView::atBottom() const
{
    const QScrollBar* bar = verticalScrollBar();
    return bar->value() > 0 && bar->value() >= bar->maximum();
}

void CenterTableView::wheelEvent(QWheelEvent* event)
{
    // At the bottom the wheel moves nothing, so the bar tells nothing: a turn down there is a
    // further bottom event, or a reader whose first one was passed over would wait for ever.
    const bool further = atBottom() && event->angleDelta().y() < 0;
    QListView::wheelEvent(event);
    if (further)
        m_model->myBoundsChangeNotificationHandler();
}

void CenterTableView::paintEvent(QPaintEvent* event)
{
    QListView::paintEvent(event);
    // The first list with rows on screen: the detail pane is made after it, and one diagnostic
    // line says when it came.
    static bool painted = false;
    if (!painted && m_model->rowCount() > 0) {
        painted = true;
        qInfo("tidwen: first list painted");
        NotificationCenter::defaultCenter().post(QStringLiteral("firstListPainted"));
    }
}

void CenterTableView::replaceStrip()
{
    // The view deletes index widgets on a reset; a new strip (and timer) stands in row 0.
    if (!m_model->hasSlideRow()) {
        if (m_strip)
            delete m_strip;
        return;
    }
    auto* strip = new SlideView(m_model->slideDataArray());
    setIndexWidget(m_model->index(0), strip);
    m_strip = strip;
}

QPixmap CenterTableView::coverFor(const QString& url)
{
    return m_covers->coverFor(url, devicePixelRatioF());
}

void CenterTableView::didFinishLoadDataWithDescribe(const QString& text)
{
    if (!m_toastStrip) {
        m_toastStrip = new QWidget(this);
        m_toastStrip->setGeometry(0, 0, 300, 20);
    }
    m_toastStrip->show();
    m_toastStrip->raise();
    QPointer<QWidget> strip = m_toastStrip;
    DJProgressHUD::showToast(text, m_toastStrip, [strip] {
        if (strip)
            strip->deleteLater();
    });
}

void CenterTableView::showOfflineNote(const QString& text)
{
    // Left on screen, the note would make the HUD drop every later toast.
    DJProgressHUD::showToast(text, this);
}

void CenterTableView::showErrorView(bool shown)
{
    if (!shown) {
        if (m_errorView)
            m_errorView->hide();
        return;
    }
    if (!m_errorView) {
        m_errorView = new DDErrorView(rect(), this);
        m_errorView->setTitle(QStringLiteral("新闻加载失败"));
        m_errorView->setSubtitle(QStringLiteral("点击刷新按钮重新加载"));
        m_errorView->addReloadButton();
        m_errorView->reloadButton()->addTarget(m_model, &CenterTableModel::reloadDataByErrorBtn);
    }
    m_errorView->setGeometry(rect());
    m_errorView->fitColor(gThemeMode.load());
    m_errorView->show();
    m_errorView->raise();
}

void CenterTableView::hideLogo()
{
    if (!m_firstLoadIndicatorView)
        return;
    m_firstLoadIndicatorView->stopAnimation();
    m_firstLoadIndicatorView->hide();
}

void CenterTableView::showReloadSpinner()
{
    if (!m_firstLoadIndicatorView)
        return;
    placeSpinner();
    m_firstLoadIndicatorView->show();
    m_firstLoadIndicatorView->raise();
    m_firstLoadIndicatorView->startAnimation();
}
