#pragma once

#include "app/push/PushHandler.h"

#include <functional>

class MainWindowController;
class RightViewController;

// The push targets of the running program: the main window of the delegate and its article pane
// (delegate, MainWindowController, MainVC, MainSplitVC, RightViewController).
class MainWindowPushTargets : public PushTargets
{
public:
    // window: the main window controller, or null while there is none (nothing opens then).
    explicit MainWindowPushTargets(std::function<MainWindowController*()> window);

    QWidget* mainWindow() override;
    void showNews(const FeedPtr& feed) override;
    void showHotProduct(const QString& productId) override;

private:
    RightViewController* rightViewController();

    std::function<MainWindowController*()> m_window;
};
