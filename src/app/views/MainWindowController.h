#pragma once

#include "app/AppNeighbours.h"

#include <QWidget>

class MainViewController;

// The main window: white, without a system title bar (the left bar draws its own buttons), on the
// primary screen's available area, moved by dragging its background.
class MainWindowController : public QWidget, public MainWindowHost
{
    Q_OBJECT

public:
    explicit MainWindowController(QWidget* parent = nullptr);
    ~MainWindowController() override;

    MainViewController* MainVC() const { return m_mainVC; }

    // MainWindowHost
    void showWindow() override;
    void GetUserAvatar() override;
    void firstScreenShown() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void windowDidLoad();

    MainViewController* m_mainVC = nullptr;
};
