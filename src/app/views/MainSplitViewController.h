#pragma once

#include <QSplitter>

// The two panes side by side: the list column, exactly 300 wide, and the detail pane, 635 to
// 2000 wide. Neither collapses.
class MainSplitViewController : public QSplitter
{
    Q_OBJECT

public:
    static constexpr int kCenterWidth = 300;
    static constexpr int kRightMinWidth = 635;
    static constexpr int kRightMaxWidth = 2000;

    explicit MainSplitViewController(QWidget* parent = nullptr);

    QWidget* CenterViewController() const { return m_center; }
    // The detail pane, made on the first request: its web view is the costliest part of the
    // window and the first list does not need it, so start-up asks for it once that list is on
    // screen (or earlier, when something is to be shown in it). Until then a blank pane of the
    // same widths stands in.
    QWidget* RightViewController();

private:
    void setPaneWidths();

    QWidget* m_center = nullptr;
    QWidget* m_right = nullptr;
    bool m_rightMade = false;
};
