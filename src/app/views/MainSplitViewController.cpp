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

    const std::shared_ptr<PaneFactory> factory = PaneFactory::installed();
    if (factory) {
        m_center = factory->makeCenterViewController(this);
        m_right = factory->makeRightViewController(this);
    } else {
        qInfo("main window: no panes installed; both stay empty");
    }
    if (m_center == nullptr)
        m_center = placeholder("CenterViewController", this);
    if (m_right == nullptr)
        m_right = placeholder("RightViewController", this);

    m_center->setMinimumWidth(kCenterWidth);
    m_center->setMaximumWidth(kCenterWidth);
    m_right->setMinimumWidth(kRightMinWidth);
    m_right->setMaximumWidth(kRightMaxWidth);
    addWidget(m_center);
    addWidget(m_right);
    setCollapsible(0, false);
    setCollapsible(1, false);
    // Extra width goes to the detail pane only.
    setStretchFactor(0, 0);
    setStretchFactor(1, 1);
}
