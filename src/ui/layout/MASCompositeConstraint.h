#pragma once

#include "ui/layout/MASConstraint.h"

#include <QList>

// Several statements chained as one: every operation goes to each child in order.
class MASCompositeConstraint : public MASConstraint, public MASConstraintDelegate
{
public:
    // Call setChildren... through make(): children need the composite as their delegate.
    static std::shared_ptr<MASCompositeConstraint> make(const QList<MASConstraintPtr>& children);

    const QList<MASConstraintPtr>& childConstraints() const { return m_childConstraints; }
    QVariant mas_key;

    // MASConstraint
    MASConstraint& multipliedBy(double multiplier) override;
    MASConstraint& dividedBy(double divider) override;
    MASConstraint& priority(NSLayoutPriority priority) override;
    MASConstraint& key(const QVariant& key) override;
    MASConstraint& animator() override;
    MASConstraint& equalToWithRelation(const QVariant& attribute, NSLayoutRelation relation) override;
    MASConstraint& addConstraintWithLayoutAttribute(NSLayoutAttribute attribute) override;
    void setInsets(const NSEdgeInsets& insets) override;
    void setSizeOffset(const QSizeF& sizeOffset) override;
    void setCenterOffset(const QPointF& centerOffset) override;
    void setOffset(double offset) override;
    void activate() override;
    void deactivate() override;
    void install() override;
    void uninstall() override;

    // MASConstraintDelegate
    void constraintShouldBeReplacedWithConstraint(MASConstraint* constraint,
                                                  const MASConstraintPtr& replacement) override;
    MASConstraintPtr constraintAddConstraintWithLayoutAttribute(MASConstraint* constraint,
                                                                NSLayoutAttribute attribute) override;

private:
    MASCompositeConstraint() = default;
    std::shared_ptr<MASCompositeConstraint> self();

    QList<MASConstraintPtr> m_childConstraints;
};
