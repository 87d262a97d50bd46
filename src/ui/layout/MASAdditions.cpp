#include "ui/layout/MASAdditions.h"

#include "platform/AssociatedObjects.h"
#include "ui/layout/MASViewState.h"

namespace {
const char kMASStateKey = 0;

QList<MASConstraintPtr> run(QWidget* view, const MASAdditions::MASConstraintBlock& block, bool update, bool remake)
{
    if (!view)
        return {};
    Layout::setTranslatesAutoresizingMaskIntoConstraints(view, false);
    auto maker = MASConstraintMaker::make(view);
    maker->updateExisting = update;
    maker->removeExisting = remake;
    if (block)
        block(*maker);
    return maker->install();
}

QList<MASConstraintPtr> runAll(const QList<QWidget*>& views, const MASAdditions::MASConstraintBlock& block,
                               bool update, bool remake)
{
    QList<MASConstraintPtr> all;
    for (QWidget* view : views)
        all += run(view, block, update, remake);
    return all;
}

}  // namespace

namespace MASViewStates {

MASViewState& of(QWidget* view)
{
    return *AssociatedObjects::getOrCreate<MASViewState>(view, &kMASStateKey);
}

const MASViewState* find(const QWidget* view)
{
    return AssociatedObjects::value<MASViewState>(view, &kMASStateKey).get();
}

void addInstalled(QWidget* view, const std::shared_ptr<MASViewConstraint>& constraint)
{
    auto& installed = of(view).installed;
    if (!installed.contains(constraint))
        installed.append(constraint);
}

void removeInstalled(QWidget* view, const MASViewConstraint* constraint)
{
    if (const auto state = AssociatedObjects::value<MASViewState>(view, &kMASStateKey))
        state->installed.removeIf([constraint](const auto& c) { return c.get() == constraint; });
}

}  // namespace MASViewStates

namespace MASAdditions {

QList<MASConstraintPtr> mas_makeConstraints(QWidget* view, const MASConstraintBlock& block)
{
    return run(view, block, false, false);
}

QList<MASConstraintPtr> mas_updateConstraints(QWidget* view, const MASConstraintBlock& block)
{
    return run(view, block, true, false);
}

QList<MASConstraintPtr> mas_remakeConstraints(QWidget* view, const MASConstraintBlock& block)
{
    return run(view, block, false, true);
}

MASViewAttribute mas_left(QWidget* view) { return {view, NSLayoutAttributeLeft}; }
MASViewAttribute mas_top(QWidget* view) { return {view, NSLayoutAttributeTop}; }
MASViewAttribute mas_right(QWidget* view) { return {view, NSLayoutAttributeRight}; }
MASViewAttribute mas_bottom(QWidget* view) { return {view, NSLayoutAttributeBottom}; }
MASViewAttribute mas_leading(QWidget* view) { return {view, NSLayoutAttributeLeading}; }
MASViewAttribute mas_trailing(QWidget* view) { return {view, NSLayoutAttributeTrailing}; }
MASViewAttribute mas_width(QWidget* view) { return {view, NSLayoutAttributeWidth}; }
MASViewAttribute mas_height(QWidget* view) { return {view, NSLayoutAttributeHeight}; }
MASViewAttribute mas_centerX(QWidget* view) { return {view, NSLayoutAttributeCenterX}; }
MASViewAttribute mas_centerY(QWidget* view) { return {view, NSLayoutAttributeCenterY}; }
MASViewAttribute mas_baseline(QWidget* view) { return {view, NSLayoutAttributeBaseline}; }

std::function<MASViewAttribute(NSLayoutAttribute)> mas_attribute(QWidget* view)
{
    QPointer<QWidget> weak(view);
    return [weak](NSLayoutAttribute attribute) { return MASViewAttribute(weak, attribute); };
}

QVariant mas_key(const QWidget* view)
{
    const MASViewState* state = MASViewStates::find(view);
    return state ? state->key : QVariant();
}

void setMas_key(QWidget* view, const QVariant& key)
{
    if (view)
        MASViewStates::of(view).key = key;
}

QWidget* mas_closestCommonSuperview(QWidget* view, QWidget* other)
{
    return Layout::closestCommonAncestor(view, other);
}

QList<MASConstraintPtr> mas_makeConstraints(const QList<QWidget*>& views, const MASConstraintBlock& block)
{
    return runAll(views, block, false, false);
}

QList<MASConstraintPtr> mas_updateConstraints(const QList<QWidget*>& views, const MASConstraintBlock& block)
{
    return runAll(views, block, true, false);
}

QList<MASConstraintPtr> mas_remakeConstraints(const QList<QWidget*>& views, const MASConstraintBlock& block)
{
    return runAll(views, block, false, true);
}

QWidget* mas_commonSuperviewOfViews(const QList<QWidget*>& views)
{
    QWidget* common = nullptr;
    bool first = true;
    for (QWidget* view : views) {
        if (!view)
            continue;
        common = first ? view : mas_closestCommonSuperview(view, common);
        first = false;
    }
    return common;
}

namespace {

// The three attributes an axis works with: left, right, width across; top, bottom, height down.
struct Axis
{
    using Accessor = MASConstraint& (MASConstraintMaker::*)();
    Accessor lead, tail, length;
    MASViewAttribute (*tailOf)(QWidget*);

    explicit Axis(int axisType)
    {
        const bool horizontal = axisType == MASAxisTypeHorizontal;
        lead = horizontal ? &MASConstraintMaker::left : &MASConstraintMaker::top;
        tail = horizontal ? &MASConstraintMaker::right : &MASConstraintMaker::bottom;
        length = horizontal ? &MASConstraintMaker::width : &MASConstraintMaker::height;
        tailOf = horizontal ? &mas_right : &mas_bottom;
    }
};

}  // namespace

void mas_distributeViewsAlongAxisWithFixedSpacing(const QList<QWidget*>& views, int axisType, double fixedSpacing,
                                                  double leadSpacing, double tailSpacing)
{
    if (views.size() < 2)
        return;
    QWidget* superview = mas_commonSuperviewOfViews(views);
    const Axis axis(axisType);
    QWidget* previous = nullptr;
    for (int i = 0; i < views.size(); ++i) {
        const bool last = i == views.size() - 1;
        mas_makeConstraints(views[i], [&](MASConstraintMaker& make) {
            if (!previous) {
                (make.*axis.lead)().equalTo(superview).offset(leadSpacing);
            } else {
                (make.*axis.length)().equalTo(previous);
                (make.*axis.lead)().equalTo(axis.tailOf(previous)).offset(fixedSpacing);
            }
            if (last)
                (make.*axis.tail)().equalTo(superview).offset(-tailSpacing);
        });
        previous = views[i];
    }
}

void mas_distributeViewsAlongAxisWithFixedItemLength(const QList<QWidget*>& views, int axisType,
                                                     double fixedItemLength, double leadSpacing, double tailSpacing)
{
    if (views.size() < 2)
        return;
    QWidget* superview = mas_commonSuperviewOfViews(views);
    const Axis axis(axisType);
    const double steps = static_cast<double>(views.size() - 1);
    for (int i = 0; i < views.size(); ++i) {
        mas_makeConstraints(views[i], [&](MASConstraintMaker& make) {
            (make.*axis.length)().equalTo(fixedItemLength);
            if (i == 0) {
                (make.*axis.lead)().equalTo(superview).offset(leadSpacing);
            } else if (i == views.size() - 1) {
                (make.*axis.tail)().equalTo(superview).offset(-tailSpacing);
            } else {
                const double ratio = i / steps;
                const double offset = (1 - ratio) * (fixedItemLength + leadSpacing) - i * tailSpacing / steps;
                (make.*axis.tail)().equalTo(superview).multipliedBy(ratio).offset(offset);
            }
        });
    }
}

}  // namespace MASAdditions

namespace MASConstraints {

QList<std::shared_ptr<MASViewConstraint>> mas_installedConstraints(QWidget* view)
{
    return MASViewConstraint::installedConstraintsForView(view);
}

}  // namespace MASConstraints
