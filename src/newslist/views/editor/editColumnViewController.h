#pragma once

#include "newslist/editor/editColumnModel.h"

#include <QList>
#include <QWidget>

class CenterViewController;
class CustomButton;
class QFrame;
class QLabel;

// The channel editor's view: the shown channels' buttons below firstLine, the hidden channels'
// below secondLine. A click hides or shows that channel; both grids are rebuilt after every click.
class editColumnViewController : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kWidth = 340;

    explicit editColumnViewController(editColumnModel::ColumnLink column, QWidget* parent = nullptr);

    editColumnModel& model() { return m_model; }
    QFrame* firstLine() const { return m_firstLine; }
    QFrame* secondLine() const { return m_secondLine; }
    const QList<CustomButton*>& itemArray() const { return m_itemArray; }
    // The grid buttons of a grid, in order (the shown grid first when shown is true).
    QList<CustomButton*> gridButtons(bool shown) const;

    void BeOptional(QObject* sender);
    void BeSelected(QObject* sender);

private:
    void viewDidLoad();
    void redraw();
    void addGrid(const QList<NewsListDataPtr>& channels, int lineBottom, bool shown);

    editColumnModel m_model;
    QLabel* m_firstTitle = nullptr;
    QFrame* m_firstLine = nullptr;
    QLabel* m_secondTitle = nullptr;
    QFrame* m_secondLine = nullptr;
    QList<CustomButton*> m_itemArray;
};

// The list column's edit button: the column's one editor popover (made on first use, kept as the
// column's child), shown under the button.
QWidget* openChannelEditor(CenterViewController* column, QWidget* sender);
