#pragma once

#include "ui/layout/MASCompositeConstraint.h"
#include "ui/layout/MASConstraintMaker.h"
#include "ui/layout/MASViewAttribute.h"
#include "ui/layout/MASViewConstraint.h"

#include <QList>
#include <QVariant>
#include <QWidget>

#include <functional>

// The layout builder on widgets:
//     MASAdditions::mas_makeConstraints(view, [&](MASConstraintMaker& make) {
//         make.left().equalTo(MASAdditions::mas_right(other)).offset(10);
//         make.width().equalTo(150);
//     });
namespace MASAdditions {

using MASConstraintBlock = std::function<void(MASConstraintMaker& make)>;

// Turns the widget's flag translatesAutoresizingMaskIntoConstraints off, runs the block with a
// maker for the widget and installs what it stated; returns the installed statements.
QList<MASConstraintPtr> mas_makeConstraints(QWidget* view, const MASConstraintBlock& block);
// The same, updating the constant of a similar statement made earlier instead of adding one.
QList<MASConstraintPtr> mas_updateConstraints(QWidget* view, const MASConstraintBlock& block);
// The same, after removing every statement made for the widget before.
QList<MASConstraintPtr> mas_remakeConstraints(QWidget* view, const MASConstraintBlock& block);

MASViewAttribute mas_left(QWidget* view);
MASViewAttribute mas_top(QWidget* view);
MASViewAttribute mas_right(QWidget* view);
MASViewAttribute mas_bottom(QWidget* view);
MASViewAttribute mas_leading(QWidget* view);
MASViewAttribute mas_trailing(QWidget* view);
MASViewAttribute mas_width(QWidget* view);
MASViewAttribute mas_height(QWidget* view);
MASViewAttribute mas_centerX(QWidget* view);
MASViewAttribute mas_centerY(QWidget* view);
MASViewAttribute mas_baseline(QWidget* view);
std::function<MASViewAttribute(NSLayoutAttribute)> mas_attribute(QWidget* view);

// The widget's debugging key (shown in constraint descriptions as "Class:key").
QVariant mas_key(const QWidget* view);
void setMas_key(QWidget* view, const QVariant& key);

// The nearest widget that is (or contains) both; null when there is none.
QWidget* mas_closestCommonSuperview(QWidget* view, QWidget* other);

// ---- lists of widgets ----
// The operation of the same name on every widget in order; the statements concatenated.
QList<MASConstraintPtr> mas_makeConstraints(const QList<QWidget*>& views, const MASConstraintBlock& block);
QList<MASConstraintPtr> mas_updateConstraints(const QList<QWidget*>& views, const MASConstraintBlock& block);
QList<MASConstraintPtr> mas_remakeConstraints(const QList<QWidget*>& views, const MASConstraintBlock& block);

enum MASAxisType { MASAxisTypeHorizontal = 0, MASAxisTypeVertical = 1 };
// Fixed gaps, equal lengths: lead before the first, spacing between, tail after the last.
// Fewer than two widgets: nothing.
void mas_distributeViewsAlongAxisWithFixedSpacing(const QList<QWidget*>& views, int axisType,
                                                  double fixedSpacing, double leadSpacing, double tailSpacing);
// Fixed lengths, equal gaps.
void mas_distributeViewsAlongAxisWithFixedItemLength(const QList<QWidget*>& views, int axisType,
                                                     double fixedItemLength, double leadSpacing, double tailSpacing);
// Null entries are skipped; no widget gives null, one widget gives itself.
QWidget* mas_commonSuperviewOfViews(const QList<QWidget*>& views);

}  // namespace MASAdditions

// The statements installed with the widget as their first view.
namespace MASConstraints {
QList<std::shared_ptr<MASViewConstraint>> mas_installedConstraints(QWidget* view);
}
