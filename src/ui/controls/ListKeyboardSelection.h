#pragma once

#include <QObject>
#include <QVariant>

#include <functional>

class QAbstractItemView;

// Moves a list's selection from the keyboard as the mouse moves it. Up and Down go to the next
// row that takes a selection, PageUp and PageDown to the one a view's height of rows away, Home
// and End to the first and the last such row, and each row reached opens as a click on it does;
// rows that take none (headers, empty rows) are passed over. Return opens the selected row again;
// no other key does (Home on the first row opens nothing).
// A held key only marks the rows it passes and opens the one it rests on when the key comes up
// (or the list loses the focus), so holding Down does not open every article on the way.
//
// A list gets these keys by making one with its view (it becomes the view's child) and telling
// it about its rows; to mark the row a held key rests on, the list's delegate reads pendingRow()
// (the view's viewport is updated whenever that row changes). A list that marks its open row by
// the view's selection names its items by a role, and the item it opens (setOpenItem) keeps its
// row selected, also in new rows; a list that draws its mark itself is told the row to mark.
class ListKeyboardSelection : public QObject
{
    Q_OBJECT

public:
    struct Rows
    {
        std::function<int()> count;
        // The row takes a selection (a click on it selects it). Optional: every row does.
        std::function<bool(int row)> selectable;
        // The row selected now; -1 for none. Optional: the view's selected row.
        std::function<int()> selected;
        // What a click on the row does. Called for the row already selected only by Return.
        std::function<void(int row)> open;
        // Optional. With no row selected because rows came in where the selected one stood: the
        // first of them, which Down opens (Up the row above it); -1 otherwise.
        std::function<int()> resumeAt;
        // Optional. The model's role whose value names a row's item, for setOpenItem().
        int openItemRole = -1;
        // Optional. Marks the open item's row (-1: no row), in place of selecting it in the view.
        std::function<void(int row)> mark;
    };

    ListKeyboardSelection(QAbstractItemView* view, Rows rows);

    // The row a held key rests on and has not opened yet; -1 when none.
    int pendingRow() const { return m_pending; }
    // The item open (rows.openItemRole's value; none when empty): its row is the view's selected
    // row while it is listed, and is found again in new rows (a model reset).
    void setOpenItem(const QVariant& item);
    // The row's item is open, and the row selected.
    void setOpenRow(int row);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The row the key leads to from the row given (-1: none selected); -1 when there is none.
    int target(int key, int from) const;
    // The row a view's height above (step -1) or below (step 1) the row given, the first or the
    // last row when the list ends before.
    int rowAPageAway(int from, int step) const;
    void setPending(int row);
    // Selects the open item's row, or no row when it is not listed.
    void markOpenItem();
    void mark(int row);
    void openPending();
    void open(int row);

    QAbstractItemView* m_view;
    Rows m_rows;
    int m_pending = -1;
    QVariant m_openItem;
};
