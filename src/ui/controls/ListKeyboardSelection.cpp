#include "ui/controls/ListKeyboardSelection.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QKeyEvent>

#include <algorithm>

namespace {

bool movesSelection(int key)
{
    return key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Home || key == Qt::Key_End
           || key == Qt::Key_PageUp || key == Qt::Key_PageDown;
}

bool opensSelection(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

}  // namespace

ListKeyboardSelection::ListKeyboardSelection(QAbstractItemView* view, Rows rows)
    : QObject(view), m_view(view), m_rows(std::move(rows))
{
    if (!m_rows.selectable)
        m_rows.selectable = [](int) { return true; };
    if (!m_rows.selected)
        m_rows.selected = [view] {
            const QModelIndexList selected = view->selectionModel()->selectedIndexes();
            return selected.isEmpty() ? -1 : selected.first().row();
        };
    view->installEventFilter(this);
    if (m_rows.openItemRole >= 0)
        connect(view->model(), &QAbstractItemModel::modelReset, this, &ListKeyboardSelection::markOpenItem);
}

void ListKeyboardSelection::setOpenItem(const QVariant& item)
{
    m_openItem = item;
    markOpenItem();
}

void ListKeyboardSelection::setOpenRow(int row)
{
    m_openItem = m_view->model()->index(row, 0).data(m_rows.openItemRole);
    mark(row);
}

void ListKeyboardSelection::markOpenItem()
{
    // An item without a name (none, or an empty one) has no row.
    const QAbstractItemModel* model = m_view->model();
    const QModelIndexList rows =
        m_openItem.toString().isEmpty()
            ? QModelIndexList()
            : model->match(model->index(0, 0), m_rows.openItemRole, m_openItem, 1, Qt::MatchExactly);
    mark(rows.isEmpty() ? -1 : rows.first().row());
}

void ListKeyboardSelection::mark(int row)
{
    if (m_rows.mark) {
        m_rows.mark(row);
        return;
    }
    // Selected without becoming current: the list stays where the reader scrolled it.
    if (row < 0)
        m_view->selectionModel()->clearSelection();
    else
        m_view->selectionModel()->select(m_view->model()->index(row, 0), QItemSelectionModel::ClearAndSelect);
}

bool ListKeyboardSelection::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_view)
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::FocusOut) {
        openPending();
        return false;
    }
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    // With a modifier held the key is someone else's (a shortcut, a selection extension).
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    if (!movesSelection(key->key()) && !opensSelection(key->key()))
        return false;
    if (event->type() == QEvent::KeyRelease) {
        // The held key came up: the row it rests on opens.
        if (!key->isAutoRepeat())
            openPending();
        return true;
    }
    if (opensSelection(key->key())) {
        if (!key->isAutoRepeat()) {
            const int row = m_pending >= 0 ? m_pending : m_rows.selected();
            setPending(-1);
            if (row >= 0)
                open(row);
        }
        return true;
    }
    const int from = m_pending >= 0 ? m_pending : m_rows.selected();
    const int row = target(key->key(), from);
    // Home or End where the list already stands: the open item is not loaded again.
    if (row < 0 || row == from)
        return true;
    if (key->isAutoRepeat()) {
        setPending(row);
        m_view->scrollTo(m_view->model()->index(row, 0));
        return true;
    }
    setPending(-1);
    open(row);
    return true;
}

int ListKeyboardSelection::target(int key, int from) const
{
    const int count = m_rows.count();
    const auto firstFrom = [&](int row, int step) {
        for (; row >= 0 && row < count; row += step) {
            if (m_rows.selectable(row))
                return row;
        }
        return -1;
    };
    // Without a selection the keys go on from where it stood, else from the top or the bottom.
    const int resume = from < 0 && m_rows.resumeAt ? m_rows.resumeAt() : -1;
    switch (key) {
    case Qt::Key_Down:
        return firstFrom(from >= 0 ? from + 1 : std::max(resume, 0), 1);
    case Qt::Key_Up:
        return firstFrom(from >= 0 ? from - 1 : resume >= 0 ? resume - 1 : count - 1, -1);
    case Qt::Key_Home:
        return firstFrom(0, 1);
    case Qt::Key_End:
        return firstFrom(count - 1, -1);
    case Qt::Key_PageDown:
    case Qt::Key_PageUp: {
        const int step = key == Qt::Key_PageDown ? 1 : -1;
        // Without a selection a page goes from where Down or Up would go on, else it starts
        // where a single row would.
        const int start = from >= 0 ? from : resume >= 0 ? resume - std::max(step, 0) : -1;
        if (start < 0)
            return target(step > 0 ? Qt::Key_Down : Qt::Key_Up, from);
        const int row = rowAPageAway(start, step);
        // The row a page away, or the nearest one beyond it that takes a selection; at the end of
        // the rows the last one before it.
        int reached = firstFrom(row, step);
        if (reached < 0)
            reached = firstFrom(row - step, -step);
        return reached >= 0 && (reached - start) * step > 0 ? reached : -1;
    }
    default:
        return -1;
    }
}

int ListKeyboardSelection::rowAPageAway(int from, int step) const
{
    // The row that stands where the row given stood once the list has moved by its view's
    // height, so a page of rows goes by whatever their heights.
    const int count = m_rows.count();
    const int page = m_view->viewport()->height();
    const int top = m_view->visualRect(m_view->model()->index(from, 0)).top();
    int row = from;
    while (row + step >= 0 && row + step < count) {
        const int next = m_view->visualRect(m_view->model()->index(row + step, 0)).top();
        if (std::abs(next - top) > page)
            break;
        row += step;
    }
    return row;
}

void ListKeyboardSelection::setPending(int row)
{
    if (m_pending == row)
        return;
    m_pending = row;
    m_view->viewport()->update();
}

void ListKeyboardSelection::openPending()
{
    const int row = m_pending;
    if (row < 0)
        return;
    setPending(-1);
    if (row < m_rows.count() && row != m_rows.selected())
        open(row);
}

void ListKeyboardSelection::open(int row)
{
    m_view->scrollTo(m_view->model()->index(row, 0));
    m_rows.open(row);
}
