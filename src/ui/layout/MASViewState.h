#pragma once

#include <QList>
#include <QVariant>

#include <memory>

class MASViewConstraint;
class QWidget;

// The builder's record of one widget: the statements installed with it as their first view, and
// its debugging key. Kept beside the widget and freed with it.
struct MASViewState
{
    QList<std::shared_ptr<MASViewConstraint>> installed;
    QVariant key;
};

namespace MASViewStates {
MASViewState& of(QWidget* view);
const MASViewState* find(const QWidget* view);
void addInstalled(QWidget* view, const std::shared_ptr<MASViewConstraint>& constraint);
void removeInstalled(QWidget* view, const MASViewConstraint* constraint);
}
