#pragma once

#include "ui/layout/LayoutConstraint.h"

#include <vector>

class QWidget;

// The layout record of one widget, kept beside it (AssociatedObjects) and freed with it.
struct LayoutViewState
{
    ~LayoutViewState();
    bool translatesAutoresizingMaskIntoConstraints = true;
    std::vector<LayoutConstraintPtr> held;  // in the order added
    bool watched = false;                   // an engine filters its events
};

namespace LayoutViewStates {
// The widget's record, made on first use.
LayoutViewState& of(QWidget* widget);
// The record if there is one.
LayoutViewState* find(const QWidget* widget);
}
