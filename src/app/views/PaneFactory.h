#pragma once

#include "platform/Installed.h"

#include <QWidget>

#include <memory>

// Makes the two panes of the main window's split view: the list column and the detail pane.
// main.cpp installs the panes of the list and article folders; without one, each pane is an empty
// placeholder.
class PaneFactory : public Installed<PaneFactory>
{
public:
    virtual ~PaneFactory() = default;
    virtual QWidget* makeCenterViewController(QWidget* parent) = 0;
    virtual QWidget* makeRightViewController(QWidget* parent) = 0;
};
