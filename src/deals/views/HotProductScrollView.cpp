#include "deals/views/HotProductScrollView.h"

#include "deals/HotProductListModel.h"

#include "foundation/GlobalValues.h"
#include "ui/controls/CustomButton.h"
#include "ui/controls/ImageNamed.h"
#include "ui/controls/ListKeyboardSelection.h"
#include "ui/controls/ListRowColours.h"
#include "ui/controls/LoadStateOverlay.h"
#include "ui/imageview/ListRowImages.h"

#include <QHBoxLayout>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace {

// The thumbnail at the row's left (kPictureRect), beside it the name on up to two lines, the
// promotion and the store with the time. Read deals are grey.
class DealRowDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        // The slide row is its strip's.
        if (index.data(HotProductListModel::SlideRowRole).toBool())
            return;
        const bool night = gThemeMode == 2;
        const bool read = index.data(HotProductListModel::ReadRole).toBool();
        painter->save();
        // The open deal (chosen by a click or a key) stands on the lists' open grey.
        painter->fillRect(option.rect, ListRowColours::background(night, option.state & QStyle::State_Selected));
        const QRect area = option.rect.adjusted(HotProductScrollView::kPictureRect.right() + 1 + 10, 8, -10, -8);
        const QFontMetrics metrics(option.font);
        const QColor ink = read ? QColor(0x99, 0x99, 0x99) : ListRowColours::ink(night);
        painter->setFont(option.font);
        painter->setPen(ink);
        painter->drawText(QRect(area.left(), area.top(), area.width(), 2 * metrics.height()),
                          Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop,
                          index.data(HotProductListModel::NameRole).toString());
        const int bottomLine = area.bottom() - metrics.height() + 1;
        const QString promotion = metrics.elidedText(index.data(HotProductListModel::PromotionRole).toString(),
                                                     Qt::ElideRight, area.width() / 2);
        painter->setPen(QColor(0xe4, 0x39, 0x3c));
        painter->drawText(QRect(area.left(), bottomLine, area.width() / 2, metrics.height()), Qt::AlignLeft, promotion);
        painter->setPen(QColor(0x88, 0x88, 0x88));
        const int storeWidth = area.width() - metrics.horizontalAdvance(promotion) - metrics.horizontalAdvance(QLatin1Char(' '));
        painter->drawText(QRect(area.right() + 1 - storeWidth, bottomLine, storeWidth, metrics.height()), Qt::AlignRight,
                          HotProductScrollView::storeAndDayText(metrics, index.data(HotProductListModel::StoreRole).toString(),
                                                                index.data(HotProductListModel::TimeRole).toString(),
                                                                storeWidth));
        painter->setPen(ListRowColours::separator(night));
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        painter->restore();
    }

    // No width of its own: the list gives each row the viewport's width, so nothing scrolls sideways.
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override
    {
        return {0, index.data(HotProductListModel::SlideRowRole).toBool() ? HotProductScrollView::kSlideRowHeight
                                                                          : HotProductScrollView::kRowHeight};
    }
};

}  // namespace

QString HotProductScrollView::storeAndDayText(const QFontMetrics& metrics, const QString& store, const QString& time,
                                              int width)
{
    // The day is what tells deals apart at a glance: it stays whole, and the store's name gives way.
    const QString day = time.left(10);
    const int roomForStore = width - metrics.horizontalAdvance(day) - metrics.horizontalAdvance(QLatin1Char(' '));
    const QString name = store.isEmpty() ? QString() : metrics.elidedText(store, Qt::ElideRight, roomForStore);
    if (name.isEmpty() || name == QStringLiteral("…"))
        return day;
    return name + QLatin1Char(' ') + day;
}

HotProductScrollView::HotProductScrollView(QWidget* parent)
    : QWidget(parent), m_model(new HotProductListModel(this)), m_list(new QListView(this)),
      m_loadState(new LoadStateOverlay(m_list, QStringLiteral("新闻加载失败"), 94))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(8, 4, 8, 4);
    const QStringList names = m_model->categories();
    for (int i = 0; i < names.size(); ++i) {
        // The news channels' tab button: a click leaves the keys in the deals list; Tab still reaches it.
        auto* button = CustomButton::initWithAttributedTitle(names[i], this);
        connect(button, &QPushButton::clicked, this, [this, i] { select(i); });
        bar->addWidget(button);
        m_buttons.append(button);
    }
    bar->addStretch(1);
    layout->addLayout(bar);
    layout->addWidget(m_list, 1);
    m_list->setModel(m_model);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setItemDelegate(new DealRowDelegate(m_list));
    // The slide row is taller than the deals.
    m_list->setUniformItemSizes(false);
    // As the news lists: no frame and no scroll bar beside the rows, which take the column's whole
    // width; the wheel still scrolls.
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    new ListRowImages(m_list, HotProductListModel::PictureRole, kPictureRect, imageNamed(QStringLiteral("placeholder")).toImage());
    connect(m_list, &QListView::clicked, this, [this](const QModelIndex& index) { openRow(index.row()); });
    // The news list's keys: Up, Down, Home, End and Return open deals as clicks do.
    ListKeyboardSelection::Rows rows;
    rows.count = [this] { return m_model->rowCount(); };
    rows.selectable = [this](int row) { return !m_model->index(row).data(HotProductListModel::SlideRowRole).toBool(); };
    rows.open = [this](int row) { openRow(row); };
    // New rows (a refresh, a category again) keep the open deal marked where it now stands.
    rows.openItemRole = HotProductListModel::ProductIdRole;
    m_keys = new ListKeyboardSelection(m_list, std::move(rows));
    connect(m_model, &HotProductListModel::loadStarted, this, [this] {
        // Rows of the same category stay while they are asked for again.
        if (m_model->deals().isEmpty())
            m_loadState->showLoading();
        else
            m_loadState->clear();
    });
    connect(m_model, &HotProductListModel::loadFinished, this, &HotProductScrollView::loadFinished);
    // A reset drops the row widgets, the strip among them.
    connect(m_model, &HotProductListModel::slidesChanged, this, &HotProductScrollView::replaceStrip);
    connect(m_model, &QAbstractItemModel::modelReset, this, &HotProductScrollView::replaceStrip);
}

void HotProductScrollView::openRow(int row)
{
    const QModelIndex index = m_model->index(row);
    if (!index.isValid() || index.data(HotProductListModel::SlideRowRole).toBool())
        return;
    m_keys->setOpenRow(row);
    m_list->setCurrentIndex(index);
    m_model->markRead(row);
    emit dealChosen(index.data(HotProductListModel::ProductIdRole).toString());
}

void HotProductScrollView::setOpenDeal(const QString& productId)
{
    m_keys->setOpenItem(productId);
}

void HotProductScrollView::setSlideStripMaker(SlideStripMaker maker)
{
    m_stripMaker = std::move(maker);
    replaceStrip();
}

void HotProductScrollView::replaceStrip()
{
    if (!m_model->hasSlideRow() || !m_stripMaker) {
        delete m_strip.data();
        return;
    }
    QWidget* strip = m_stripMaker(m_model->slides());
    m_list->setIndexWidget(m_model->index(0), strip);
    m_strip = strip;
}

void HotProductScrollView::loadFinished(bool ok)
{
    m_loadState->finish(ok, !m_model->deals().isEmpty(), [this] { select(m_lastSelected); }, m_list);
}

void HotProductScrollView::showLastSelectedIndex()
{
    if (m_lastSelected >= 0 && m_lastSelected < m_buttons.size())
        m_buttons[m_lastSelected]->click();
}

void HotProductScrollView::select(int index)
{
    m_lastSelected = index;
    for (int i = 0; i < m_buttons.size(); ++i)
        m_buttons[i]->setChecked(i == index);
    m_model->selectCategory(index);
}
