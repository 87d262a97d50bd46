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
    QWidget* RightViewController() const { return m_right; }

private:
    QWidget* m_center = nullptr;
    QWidget* m_right = nullptr;
};
