#pragma once

#include "ui/layout/LayoutEngine.h"

#include <QCoreApplication>
#include <QWidget>

// Runs now the layout passes a window has asked for: they come as posted events (Qt's layout
// requests and the constraint engine's pass), and a pass may ask for another. True when none is
// left pending.
inline bool applyPendingLayout(QWidget* widget)
{
    for (int round = 0; round < 10; ++round) {
        QCoreApplication::sendPostedEvents();
        const LayoutEngine* engine = LayoutEngine::existingForWindow(widget->window());
        if (engine == nullptr || !engine->needsLayout())
            return true;
    }
    return false;
}
