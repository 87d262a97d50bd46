#pragma once

#include "ui/layout/MASConstraint.h"
#include "ui/layout/MASLayoutConstraint.h"

#include <QList>
#include <QPointer>

#include <memory>
#include <optional>

// One statement: one layout constraint.
class MASViewConstraint : public MASConstraint
{
public:
    explicit MASViewConstraint(const MASViewAttribute& firstViewAttribute);

    // The statements installed with this widget as their first view.
    static QList<std::shared_ptr<MASViewConstraint>> installedConstraintsForView(QWidget* view);

    // A new statement with the same first attribute, constant, relation, priority, multiplier and
    // delegate (not the second attribute, key, animator or update flags).
    std::shared_ptr<MASViewConstraint> copy() const;

    const MASViewAttribute& firstViewAttribute() const { return m_firstViewAttribute; }
    const std::optional<MASViewAttribute>& secondViewAttribute() const { return m_secondViewAttribute; }
    // A widget becomes an attribute of it with the first attribute's kind, an attribute is taken
    // as it is, a number / QPointF / QSizeF / NSEdgeInsets sets the constant; anything else is ignored.
    void setSecondViewAttribute(const QVariant& secondViewAttribute);

    QWidget* installedView() const { return m_installedView; }
    std::shared_ptr<MASLayoutConstraint> layoutConstraint() const { return m_layoutConstraint.lock(); }

    NSLayoutRelation layoutRelation() const { return m_layoutRelation; }
    NSLayoutPriority layoutPriority() const { return m_layoutPriority; }
    double layoutMultiplier() const { return m_layoutMultiplier; }
    double layoutConstant() const { return m_layoutConstant; }
    // Stores the constant and writes it to the installed constraint at once (animated when
    // `animator` was asked for).
    void setLayoutConstant(double constant);
    bool useAnimator() const { return m_useAnimator; }

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

private:
    std::shared_ptr<MASLayoutConstraint> layoutConstraintSimilarTo(const MASLayoutConstraint& candidate) const;

    MASViewAttribute m_firstViewAttribute;
    std::optional<MASViewAttribute> m_secondViewAttribute;
    QPointer<QWidget> m_installedView;
    std::weak_ptr<MASLayoutConstraint> m_layoutConstraint;
    NSLayoutRelation m_layoutRelation = NSLayoutRelationEqual;
    NSLayoutPriority m_layoutPriority = NSLayoutPriorityRequired;
    double m_layoutMultiplier = 1.0;
    double m_layoutConstant = 0;
    bool m_useAnimator = false;
};
