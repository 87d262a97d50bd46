#include "ui/layout/MASCompositeConstraint.h"

std::shared_ptr<MASCompositeConstraint> MASCompositeConstraint::make(const QList<MASConstraintPtr>& children)
{
    std::shared_ptr<MASCompositeConstraint> composite(new MASCompositeConstraint);
    composite->m_childConstraints = children;
    for (const auto& child : children)
        child->setDelegate(composite);
    return composite;
}

std::shared_ptr<MASCompositeConstraint> MASCompositeConstraint::self()
{
    return std::static_pointer_cast<MASCompositeConstraint>(shared_from_this());
}

MASConstraint& MASCompositeConstraint::multipliedBy(double multiplier)
{
    for (const auto& child : QList(m_childConstraints))
        child->multipliedBy(multiplier);
    return *this;
}

MASConstraint& MASCompositeConstraint::dividedBy(double divider)
{
    for (const auto& child : QList(m_childConstraints))
        child->dividedBy(divider);
    return *this;
}

MASConstraint& MASCompositeConstraint::priority(NSLayoutPriority priority)
{
    for (const auto& child : QList(m_childConstraints))
        child->priority(priority);
    return *this;
}

MASConstraint& MASCompositeConstraint::key(const QVariant& key)
{
    mas_key = key;
    const QList<MASConstraintPtr> children = m_childConstraints;
    for (int i = 0; i < children.size(); ++i)
        children[i]->key(QStringLiteral("%1[%2]").arg(key.toString()).arg(i));
    return *this;
}

MASConstraint& MASCompositeConstraint::animator()
{
    for (const auto& child : QList(m_childConstraints))
        child->animator();
    return *this;
}

MASConstraint& MASCompositeConstraint::equalToWithRelation(const QVariant& attribute, NSLayoutRelation relation)
{
    const auto keep = self();
    // A child given a list replaces itself in our list: go over a snapshot.
    for (const auto& child : QList(m_childConstraints))
        child->equalToWithRelation(attribute, relation);
    return *this;
}

MASConstraint& MASCompositeConstraint::addConstraintWithLayoutAttribute(NSLayoutAttribute attribute)
{
    const auto keep = self();
    constraintAddConstraintWithLayoutAttribute(this, attribute);
    return *this;
}

void MASCompositeConstraint::setInsets(const NSEdgeInsets& insets)
{
    for (const auto& child : QList(m_childConstraints))
        child->setInsets(insets);
}

void MASCompositeConstraint::setSizeOffset(const QSizeF& sizeOffset)
{
    for (const auto& child : QList(m_childConstraints))
        child->setSizeOffset(sizeOffset);
}

void MASCompositeConstraint::setCenterOffset(const QPointF& centerOffset)
{
    for (const auto& child : QList(m_childConstraints))
        child->setCenterOffset(centerOffset);
}

void MASCompositeConstraint::setOffset(double offset)
{
    for (const auto& child : QList(m_childConstraints))
        child->setOffset(offset);
}

void MASCompositeConstraint::activate()
{
    for (const auto& child : QList(m_childConstraints))
        child->activate();
}

void MASCompositeConstraint::deactivate()
{
    for (const auto& child : QList(m_childConstraints))
        child->deactivate();
}

void MASCompositeConstraint::install()
{
    for (const auto& child : QList(m_childConstraints)) {
        child->updateExisting = updateExisting;
        child->install();
    }
}

void MASCompositeConstraint::uninstall()
{
    for (const auto& child : QList(m_childConstraints))
        child->uninstall();
}

void MASCompositeConstraint::constraintShouldBeReplacedWithConstraint(MASConstraint* constraint,
                                                                      const MASConstraintPtr& replacement)
{
    for (auto& child : m_childConstraints) {
        if (child.get() == constraint) {
            child = replacement;
            return;
        }
    }
    m_childConstraints.append(replacement);
}

MASConstraintPtr MASCompositeConstraint::constraintAddConstraintWithLayoutAttribute(MASConstraint* constraint,
                                                                                    NSLayoutAttribute attribute)
{
    auto owner = delegate();
    if (!owner)
        return {};
    MASConstraintPtr made = owner->constraintAddConstraintWithLayoutAttribute(this, attribute);
    if (!made)
        return {};
    made->setDelegate(self());
    m_childConstraints.append(made);
    return self();
}
