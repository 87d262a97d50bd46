#include "ui/layout/MASViewConstraint.h"

#include "ui/layout/MASAdditions.h"
#include "ui/layout/MASCompositeConstraint.h"
#include "ui/layout/MASViewState.h"

#include <QVariantAnimation>

namespace {

QWidget* widgetIn(const QVariant& value)
{
    if (!(value.metaType().flags() & QMetaType::PointerToQObject))
        return nullptr;
    return qobject_cast<QWidget*>(value.value<QObject*>());
}

bool isList(const QVariant& value)
{
    return value.typeId() == QMetaType::QVariantList;
}

}  // namespace

MASViewConstraint::MASViewConstraint(const MASViewAttribute& firstViewAttribute)
    : m_firstViewAttribute(firstViewAttribute)
{
}

QList<std::shared_ptr<MASViewConstraint>> MASViewConstraint::installedConstraintsForView(QWidget* view)
{
    const MASViewState* state = MASViewStates::find(view);
    return state ? state->installed : QList<std::shared_ptr<MASViewConstraint>>();
}

std::shared_ptr<MASViewConstraint> MASViewConstraint::copy() const
{
    auto c = std::make_shared<MASViewConstraint>(m_firstViewAttribute);
    c->m_layoutConstant = m_layoutConstant;
    c->m_layoutRelation = m_layoutRelation;
    c->m_layoutPriority = m_layoutPriority;
    c->m_layoutMultiplier = m_layoutMultiplier;
    c->setDelegate(delegate());
    return c;
}

void MASViewConstraint::setSecondViewAttribute(const QVariant& secondViewAttribute)
{
    if (secondViewAttribute.metaType() == QMetaType::fromType<MASViewAttribute>()) {
        m_secondViewAttribute = secondViewAttribute.value<MASViewAttribute>();
    } else if (secondViewAttribute.metaType().flags() & QMetaType::PointerToQObject) {
        // A widget takes the first attribute's kind; a null or non-widget object is ignored.
        if (QWidget* view = widgetIn(secondViewAttribute))
            m_secondViewAttribute = MASViewAttribute(view, m_firstViewAttribute.layoutAttribute());
    } else if (!isList(secondViewAttribute)) {
        setLayoutConstantWithValue(secondViewAttribute);
    }
}

void MASViewConstraint::setLayoutConstant(double constant)
{
    m_layoutConstant = constant;
    auto lc = layoutConstraint();
    if (!lc)
        return;
    if (!m_useAnimator) {
        lc->setConstant(constant);
        return;
    }
    auto* animation = new QVariantAnimation(lc->holder());
    animation->setDuration(250);
    animation->setStartValue(lc->constant());
    animation->setEndValue(constant);
    std::weak_ptr<MASLayoutConstraint> weak = lc;
    QObject::connect(animation, &QVariantAnimation::valueChanged, animation, [weak](const QVariant& value) {
        if (auto target = weak.lock())
            target->setConstant(value.toDouble());
    });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

MASConstraint& MASViewConstraint::multipliedBy(double multiplier)
{
    m_layoutMultiplier = multiplier;
    return *this;
}

MASConstraint& MASViewConstraint::dividedBy(double divider)
{
    m_layoutMultiplier = 1.0 / divider;
    return *this;
}

MASConstraint& MASViewConstraint::priority(NSLayoutPriority priority)
{
    m_layoutPriority = priority;
    return *this;
}

MASConstraint& MASViewConstraint::key(const QVariant& key)
{
    mas_key = key;
    return *this;
}

MASConstraint& MASViewConstraint::animator()
{
    m_useAnimator = true;
    return *this;
}

MASConstraint& MASViewConstraint::equalToWithRelation(const QVariant& attribute, NSLayoutRelation relation)
{
    if (!isList(attribute)) {
        m_layoutRelation = relation;
        setSecondViewAttribute(attribute);
        return *this;
    }
    auto owner = delegate();
    if (!owner)
        return *this;  // nothing could hold the copies
    // This statement is replaced in its delegate's list: keep it alive until we return.
    const auto keep = shared_from_this();
    QList<MASConstraintPtr> children;
    for (const QVariant& element : attribute.toList()) {
        auto c = copy();
        c->m_layoutRelation = relation;
        c->setSecondViewAttribute(element);
        children.append(c);
    }
    auto composite = MASCompositeConstraint::make(children);
    composite->setDelegate(owner);
    owner->constraintShouldBeReplacedWithConstraint(this, composite);
    return *composite;
}

MASConstraint& MASViewConstraint::addConstraintWithLayoutAttribute(NSLayoutAttribute attribute)
{
    auto owner = delegate();
    if (!owner)
        return *this;
    const auto keep = shared_from_this();
    MASConstraintPtr result = owner->constraintAddConstraintWithLayoutAttribute(this, attribute);
    return result ? *result : *this;
}

void MASViewConstraint::setInsets(const NSEdgeInsets& insets)
{
    switch (m_firstViewAttribute.layoutAttribute()) {
    case NSLayoutAttributeLeft:
    case NSLayoutAttributeLeading:
        setLayoutConstant(insets.left);
        break;
    case NSLayoutAttributeRight:
    case NSLayoutAttributeTrailing:
        setLayoutConstant(-insets.right);
        break;
    case NSLayoutAttributeTop:
        setLayoutConstant(insets.top);
        break;
    case NSLayoutAttributeBottom:
        setLayoutConstant(-insets.bottom);
        break;
    default:
        break;
    }
}

void MASViewConstraint::setSizeOffset(const QSizeF& sizeOffset)
{
    if (m_firstViewAttribute.layoutAttribute() == NSLayoutAttributeWidth)
        setLayoutConstant(sizeOffset.width());
    else if (m_firstViewAttribute.layoutAttribute() == NSLayoutAttributeHeight)
        setLayoutConstant(sizeOffset.height());
}

void MASViewConstraint::setCenterOffset(const QPointF& centerOffset)
{
    if (m_firstViewAttribute.layoutAttribute() == NSLayoutAttributeCenterX)
        setLayoutConstant(centerOffset.x());
    else if (m_firstViewAttribute.layoutAttribute() == NSLayoutAttributeCenterY)
        setLayoutConstant(centerOffset.y());
}

void MASViewConstraint::setOffset(double offset)
{
    setLayoutConstant(offset);
}

void MASViewConstraint::activate()
{
    install();
}

void MASViewConstraint::deactivate()
{
    uninstall();
}

std::shared_ptr<MASLayoutConstraint> MASViewConstraint::layoutConstraintSimilarTo(const MASLayoutConstraint& candidate) const
{
    if (!m_installedView)
        return {};
    const QList<LayoutConstraintPtr> existing = Layout::constraints(m_installedView);
    for (auto it = existing.crbegin(); it != existing.crend(); ++it) {
        auto mas = std::dynamic_pointer_cast<MASLayoutConstraint>(*it);
        if (!mas)
            continue;  // made by others: never matched
        if (mas->firstItem() == candidate.firstItem() && mas->secondItem() == candidate.secondItem()
            && mas->firstAttribute() == candidate.firstAttribute()
            && mas->secondAttribute() == candidate.secondAttribute() && mas->relation() == candidate.relation()
            && mas->multiplier() == candidate.multiplier() && mas->priority() == candidate.priority())
            return mas;
    }
    return {};
}

void MASViewConstraint::install()
{
    QWidget* firstView = m_firstViewAttribute.view();
    if (!firstView)
        return;
    auto self = std::static_pointer_cast<MASViewConstraint>(shared_from_this());
    if (auto lc = layoutConstraint()) {
        if (lc->isActive())
            return;
        // Installed before and uninstalled since: active again.
        lc->setActive(true);
        if (lc->holder())
            m_installedView = lc->holder();
        MASViewStates::addInstalled(firstView, self);
        return;
    }

    QWidget* firstItem = m_firstViewAttribute.item();
    const NSLayoutAttribute firstAttribute = m_firstViewAttribute.layoutAttribute();
    QWidget* secondItem = nullptr;
    NSLayoutAttribute secondAttribute = NSLayoutAttributeNotAnAttribute;
    if (m_secondViewAttribute) {
        secondItem = m_secondViewAttribute->item();
        secondAttribute = m_secondViewAttribute->layoutAttribute();
    } else if (!m_firstViewAttribute.isSizeAttribute()) {
        secondItem = firstView->parentWidget();
        secondAttribute = firstAttribute;
    }

    auto lc = std::make_shared<MASLayoutConstraint>(firstItem, firstAttribute, m_layoutRelation, secondItem,
                                                    secondAttribute, m_layoutMultiplier, m_layoutConstant);
    lc->setPriority(m_layoutPriority);
    lc->mas_key = mas_key;

    if (m_secondViewAttribute)
        m_installedView = MASAdditions::mas_closestCommonSuperview(firstView, m_secondViewAttribute->view());
    else if (m_firstViewAttribute.isSizeAttribute())
        m_installedView = firstView;
    else
        m_installedView = firstView->parentWidget();

    if (updateExisting) {
        if (auto existing = layoutConstraintSimilarTo(*lc)) {
            existing->setConstant(lc->constant());
            m_layoutConstraint = existing;
            return;
        }
    }
    // Without a view to hold it the constraint has no effect and is let go at once.
    if (m_installedView)
        Layout::addConstraint(m_installedView, lc);
    m_layoutConstraint = lc;
    MASViewStates::addInstalled(firstView, self);
}

void MASViewConstraint::uninstall()
{
    if (auto lc = layoutConstraint())
        lc->setActive(false);
    if (QWidget* firstView = m_firstViewAttribute.view())
        MASViewStates::removeInstalled(firstView, this);
}
