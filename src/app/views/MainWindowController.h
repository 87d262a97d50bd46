#pragma once

#include "app/AppNeighbours.h"

#include <QWidget>

class MainViewController;
class QScrollArea;

// The main window: white, without a system title bar (the left bar draws its own buttons), on the
// primary screen's available area, moved by dragging its background.
class MainWindowController : public QWidget, public MainWindowHost
{
    Q_OBJECT

public:
    explicit MainWindowController(QWidget* parent = nullptr);
    ~MainWindowController() override;

    MainViewController* MainVC() const { return m_mainVC; }

    // The size the left bar and both panes need: 70 + 300 + the divider + 635 wide.
    static QSize panesMinimumSize(int dividerWidth);
    // The window's smallest size on a screen whose available area is that big: the panes' size,
    // or the whole available area where that is smaller (the content then scrolls, and its
    // sideways scroll bar takes scrollBarExtent more height where the screen has it).
    static QSize minimumSizeOn(const QSize& available, int dividerWidth, int scrollBarExtent = 0);
    // The scroller the content sits in once the window has been smaller than its panes; null
    // until then.
    QScrollArea* contentScroller() const { return m_scroller; }

    // MainWindowHost
    void showWindow() override;
    void GetUserAvatar() override;
    void firstScreenShown() override;

signals:
    // The window was closed (the left bar's close button, or the session's end).
    void windowClosed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void windowDidLoad();
    // Puts the content into a scroller, so all of it can be reached in a window smaller than it.
    void scrollContent();

    MainViewController* m_mainVC = nullptr;
    QScrollArea* m_scroller = nullptr;
};
