#include "ui/layout/MASConstraintMaker.h"

#include "ui/layout/MASCompositeConstraint.h"
#include "ui/layout/MASViewConstraint.h"

std::shared_ptr<MASConstraintMaker> MASConstraintMaker::make(QWidget* view)
{
    std::shared_ptr<MASConstraintMaker> maker(new MASConstraintMaker);
    maker->m_view = view;
    return maker;
}

MASConstraint& MASConstraintMaker::addConstraintWithLayoutAttribute(NSLayoutAttribute attribute)
{
    return *constraintAddConstraintWithLayoutAttribute(nullptr, attribute);
}

MASConstraint& MASConstraintMaker::addConstraintWithAttributes(uint32_t mask)
{
    static const NSLayoutAttribute order[] = {
        NSLayoutAttributeLeft,     NSLayoutAttributeRight,  NSLayoutAttributeTop,     NSLayoutAttributeBottom,
        NSLayoutAttributeLeading,  NSLayoutAttributeTrailing, NSLayoutAttributeWidth, NSLayoutAttributeHeight,
        NSLayoutAttributeCenterX,  NSLayoutAttributeCenterY, NSLayoutAttributeBaseline};
    QList<MASConstraintPtr> children;
    for (NSLayoutAttribute attribute : order)
        if (mask & (1u << attribute))
            children.append(std::make_shared<MASViewConstraint>(MASViewAttribute(m_view, attribute)));
    auto composite = MASCompositeConstraint::make(children);
    composite->setDelegate(shared_from_this());
    m_constraints.append(composite);
    return *composite;
}

MASConstraint& MASConstraintMaker::group(const std::function<void()>& block)
{
    const auto before = m_constraints.size();
    if (block)
        block();
    auto composite = MASCompositeConstraint::make(m_constraints.mid(before));
    composite->setDelegate(shared_from_this());
    m_groups.append(composite);
    return *composite;
}

QList<MASConstraintPtr> MASConstraintMaker::install()
{
    if (removeExisting && m_view)
        for (const auto& installed : MASViewConstraint::installedConstraintsForView(m_view))
            installed->uninstall();
    const QList<MASConstraintPtr> snapshot = m_constraints;
    for (const auto& constraint : snapshot) {
        constraint->updateExisting = updateExisting;
        constraint->install();
    }
    m_constraints.clear();
    return snapshot;
}

void MASConstraintMaker::constraintShouldBeReplacedWithConstraint(MASConstraint* constraint,
                                                                  const MASConstraintPtr& replacement)
{
    for (auto& c : m_constraints) {
        if (c.get() == constraint) {
            c = replacement;
            return;
        }
    }
    m_constraints.append(replacement);
}

MASConstraintPtr MASConstraintMaker::constraintAddConstraintWithLayoutAttribute(MASConstraint* constraint,
                                                                                NSLayoutAttribute attribute)
{
    auto made = std::make_shared<MASViewConstraint>(MASViewAttribute(m_view, attribute));
    if (auto* given = dynamic_cast<MASViewConstraint*>(constraint)) {
        // Two attributes in one statement become one composite in the statement's place.
        auto composite = MASCompositeConstraint::make({given->shared_from_this(), made});
        composite->setDelegate(shared_from_this());
        constraintShouldBeReplacedWithConstraint(given, composite);
        return composite;
    }
    if (!constraint) {
        made->setDelegate(shared_from_this());
        m_constraints.append(made);
    }
    return made;
}
