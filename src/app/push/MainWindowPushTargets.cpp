#include "app/push/MainWindowPushTargets.h"

#include "app/views/MainSplitViewController.h"
#include "app/views/MainViewController.h"
#include "app/views/MainWindowController.h"
#include "article/views/RightViewController.h"

#include <QDebug>

MainWindowPushTargets::MainWindowPushTargets(std::function<MainWindowController*()> window)
    : m_window(std::move(window))
{
}

QWidget* MainWindowPushTargets::mainWindow()
{
    return m_window ? m_window() : nullptr;
}

RightViewController* MainWindowPushTargets::rightViewController()
{
    MainWindowController* window = m_window ? m_window() : nullptr;
    if (window == nullptr || window->MainVC() == nullptr || window->MainVC()->MainSplitVC() == nullptr)
        return nullptr;
    return qobject_cast<RightViewController*>(window->MainVC()->MainSplitVC()->RightViewController());
}

void MainWindowPushTargets::showNews(const FeedPtr& feed)
{
    if (RightViewController* pane = rightViewController())
        pane->show(feed);
    else
        qInfo("push: no article pane to open the news in");
}

void MainWindowPushTargets::showHotProduct(const QString& productId)
{
    // The deal view's show:ByClick: YES followed by showHotProductAndhideSelf.
    if (RightViewController* pane = rightViewController())
        pane->showDealPage(productId);
    else
        qInfo("push: no article pane to open the deal in");
}
