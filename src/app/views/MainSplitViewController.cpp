#include "app/views/MainSplitViewController.h"

#include "app/views/PaneFactory.h"

#include <QDebug>

namespace {

// An empty pane: the window's white shows through it.
QWidget* placeholder(const char* name, QWidget* parent)
{
    auto* pane = new QWidget(parent);
    pane->setObjectName(QLatin1String(name));
    return pane;
}

}  // namespace

MainSplitViewController::MainSplitViewController(QWidget* parent) : QSplitter(Qt::Horizontal, parent)
{
    setObjectName(QStringLiteral("MainSplitViewController"));
    setChildrenCollapsible(false);
    setHandleWidth(1);

    if (const std::shared_ptr<PaneFactory> factory = PaneFactory::installed())
        m_center = factory->makeCenterViewController(this);
    else
        qInfo("main window: no panes installed; both stay empty");
    if (m_center == nullptr)
        m_center = placeholder("CenterViewController", this);
    m_right = placeholder("RightViewController", this);

    addWidget(m_center);
    addWidget(m_right);
    setPaneWidths();
}

QWidget* MainSplitViewController::RightViewController()
{
    if (m_rightMade)
        return m_right;
    m_rightMade = true;
    const std::shared_ptr<PaneFactory> factory = PaneFactory::installed();
    // Made inside the stand-in, which it then replaces (a child of the split view would be taken
    // for a third pane).
    QWidget* pane = factory ? factory->makeRightViewController(m_right) : nullptr;
    if (pane == nullptr)
        return m_right;
    QWidget* standIn = replaceWidget(1, pane);
    m_right = pane;
    delete standIn;
    setPaneWidths();
    return m_right;
}

void MainSplitViewController::setPaneWidths()
{
    m_center->setMinimumWidth(kCenterWidth);
    m_center->setMaximumWidth(kCenterWidth);
    m_right->setMinimumWidth(kRightMinWidth);
    m_right->setMaximumWidth(kRightMaxWidth);
    setCollapsible(0, false);
    setCollapsible(1, false);
    // Extra width goes to the detail pane only.
    setStretchFactor(0, 0);
    setStretchFactor(1, 1);
}
