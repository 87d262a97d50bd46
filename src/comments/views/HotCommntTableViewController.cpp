#include "comments/views/HotCommntTableViewController.h"

#include "comments/HotCommentListModel.h"
#include "foundation/GlobalValues.h"
#include "ui/controls/ImageNamed.h"
#include "ui/controls/ListKeyboardSelection.h"
#include "ui/controls/ListRowColours.h"
#include "ui/controls/LoadStateOverlay.h"
#include "ui/imageview/ListRowImages.h"

#include <QListView>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace {

// Title (bold), comment, then "name  支持(n)"; the open (selected) row stands on the lists' open grey.
class HotCommentDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const bool night = gThemeMode == 2;
        painter->save();
        painter->fillRect(option.rect, ListRowColours::background(night, option.state & QStyle::State_Selected));
        // The commenter's avatar sits at the row's left (kAvatarRect); the texts beside it.
        const QRect area = option.rect.adjusted(HotCommntTableViewController::kAvatarRect.right() + 1 + 10, 8, -12, -8);
        QFont bold = option.font;
        bold.setBold(true);
        painter->setFont(bold);
        // An opened row's title takes the model's read ink.
        const QVariant ink = index.data(Qt::ForegroundRole);
        painter->setPen(ink.isValid() ? ink.value<QColor>() : ListRowColours::ink(night));
        const QFontMetrics boldMetrics(bold);
        painter->drawText(QRect(area.left(), area.top(), area.width(), boldMetrics.height()), Qt::AlignLeft,
                          boldMetrics.elidedText(index.data(HotCommentListModel::NewsTitleRole).toString(),
                                                 Qt::ElideRight, area.width()));
        painter->setFont(option.font);
        const QFontMetrics metrics(option.font);
        const QRect text(area.left(), area.top() + boldMetrics.height() + 6, area.width(),
                         area.height() - boldMetrics.height() - metrics.height() - 12);
        painter->drawText(text, Qt::TextWordWrap, index.data(HotCommentListModel::CommentRole).toString());
        painter->setPen(QColor(0x88, 0x88, 0x88));
        painter->drawText(QRect(area.left(), area.bottom() - metrics.height(), area.width(), metrics.height()),
                          Qt::AlignLeft,
                          QStringLiteral("%1  支持(%2)")
                              .arg(index.data(HotCommentListModel::UserNameRole).toString())
                              .arg(index.data(HotCommentListModel::SupportRole).toLongLong()));
        painter->setPen(ListRowColours::separator(night));
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        painter->restore();
    }

    // No width of its own: the list gives each row the viewport's width, so nothing scrolls sideways.
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return {0, 120}; }
};

}  // namespace

HotCommntTableViewController::HotCommntTableViewController(NewsListDataPtr newsListData, QWidget* parent)
    : QWidget(parent), m_model(new HotCommentListModel(std::move(newsListData), this)), m_list(new QListView(this)),
      m_loadState(new LoadStateOverlay(m_list, QStringLiteral("新闻加载失败"), 94))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list);
    m_list->setModel(m_model);
    m_list->setItemDelegate(new HotCommentDelegate(m_list));
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    new ListRowImages(m_list, HotCommentListModel::AvatarRole, kAvatarRect,
                      imageNamed(QStringLiteral("userLandPad_headImage_no")).toImage(), SDLoadRetryFailed);
    connect(m_list, &QListView::clicked, this, [this](const QModelIndex& index) { openRow(index.row()); });
    // The news lists' keys: Up, Down, Home, End and Return open rows as clicks do.
    ListKeyboardSelection::Rows rows;
    rows.count = [this] { return m_model->rowCount(); };
    rows.open = [this](int row) { openRow(row); };
    // New rows keep the open comment marked where it now stands.
    rows.openItemRole = HotCommentListModel::CommentIdRole;
    m_keys = new ListKeyboardSelection(m_list, std::move(rows));
    connect(m_model, &HotCommentListModel::loadFinished, this, &HotCommntTableViewController::loadFinished);
}

void HotCommntTableViewController::openRow(int row)
{
    const QModelIndex index = m_model->index(row, 0);
    if (!index.isValid())
        return;
    m_keys->setOpenRow(row);
    m_model->markRead(row);
    emit hotCommentChosen(articleOf(index), index.data(HotCommentListModel::NewsTitleRole).toString());
}

QString HotCommntTableViewController::articleOf(const QModelIndex& index)
{
    return QString::number(index.data(HotCommentListModel::NewsIdRole).toLongLong());
}

void HotCommntTableViewController::articleShown(const QString& newsId)
{
    // The open comment's row is the selected one: its article may stay on show.
    const QModelIndexList open = m_list->selectionModel()->selectedIndexes();
    if (!open.isEmpty() && articleOf(open.first()) == newsId)
        return;
    // Another list, a link or the back button put another article there (or the open comment is
    // no longer listed to tell): the keys go on from the top.
    m_keys->setOpenItem({});
}

void HotCommntTableViewController::showByClick(bool byClick)
{
    m_model->showByClick(byClick);
    // The spinner only where nothing shows yet: kept rows stay readable while new ones come.
    if (m_model->isLoading() && m_model->rowCount() == 0)
        m_loadState->showLoading();
}

void HotCommntTableViewController::loadFinished(bool ok)
{
    m_loadState->finish(ok, m_model->rowCount() > 0, [this] { showByClick(false); }, m_list);
}

NewsListDataPtr HotCommntTableViewController::newslistData() const
{
    return m_model->newslistData();
}
