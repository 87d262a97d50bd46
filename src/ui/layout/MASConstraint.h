#pragma once

#include "ui/layout/MASViewAttribute.h"

#include <QVariant>

#include <memory>

class MASConstraint;
using MASConstraintPtr = std::shared_ptr<MASConstraint>;

// What a statement asks of the maker or composite that holds it.
class MASConstraintDelegate
{
public:
    virtual ~MASConstraintDelegate() = default;
    // Replaces the first constraint by the second at the same position of the delegate's list.
    virtual void constraintShouldBeReplacedWithConstraint(MASConstraint* constraint,
                                                          const MASConstraintPtr& replacement) = 0;
    // Makes a constraint for the attribute of the delegate's view, in the context of the given
    // constraint (null when the statement starts fresh).
    virtual MASConstraintPtr constraintAddConstraintWithLayoutAttribute(MASConstraint* constraint,
                                                                        NSLayoutAttribute attribute) = 0;
};

// The chaining interface shared by single and composite statements:
//     make.left().equalTo(mas_right(other)).offset(10);
// Every chaining operation returns the statement to go on with (which may be a composite that
// replaced this one; it stays alive as long as its maker or composite holds it).
class MASConstraint : public std::enable_shared_from_this<MASConstraint>
{
public:
    virtual ~MASConstraint() = default;
    MASConstraint(const MASConstraint&) = delete;
    MASConstraint& operator=(const MASConstraint&) = delete;

    // ---- relations: the argument is an attribute, a widget, a number, a QPointF, a QSizeF,
    // NSEdgeInsets or a list of these (see MASBox) ----
    template <typename T>
    MASConstraint& equalTo(const T& attribute) { return equalToWithRelation(MASBox::box(attribute), NSLayoutRelationEqual); }
    template <typename T>
    MASConstraint& greaterThanOrEqualTo(const T& attribute) { return equalToWithRelation(MASBox::box(attribute), NSLayoutRelationGreaterThanOrEqual); }
    template <typename T>
    MASConstraint& lessThanOrEqualTo(const T& attribute) { return equalToWithRelation(MASBox::box(attribute), NSLayoutRelationLessThanOrEqual); }
    template <typename T>
    MASConstraint& mas_equalTo(const T& attribute) { return equalTo(attribute); }
    template <typename T>
    MASConstraint& mas_greaterThanOrEqualTo(const T& attribute) { return greaterThanOrEqualTo(attribute); }
    template <typename T>
    MASConstraint& mas_lessThanOrEqualTo(const T& attribute) { return lessThanOrEqualTo(attribute); }

    // ---- constants ----
    MASConstraint& offset(double offset) { setOffset(offset); return *this; }
    MASConstraint& insets(const NSEdgeInsets& insets) { setInsets(insets); return *this; }
    MASConstraint& sizeOffset(const QSizeF& offset) { setSizeOffset(offset); return *this; }
    MASConstraint& centerOffset(const QPointF& offset) { setCenterOffset(offset); return *this; }
    // A number sets the offset, a QPointF the centre offset, a QSizeF the size offset,
    // NSEdgeInsets the insets; anything else changes nothing.
    MASConstraint& valueOffset(const QVariant& value) { setLayoutConstantWithValue(value); return *this; }

    // ---- multiplier, priority, key ----
    virtual MASConstraint& multipliedBy(double multiplier) = 0;
    virtual MASConstraint& dividedBy(double divider) = 0;
    virtual MASConstraint& priority(NSLayoutPriority priority) = 0;
    MASConstraint& priorityLow() { return priority(NSLayoutPriorityDefaultLow); }
    MASConstraint& priorityMedium() { return priority(501); }
    MASConstraint& priorityHigh() { return priority(NSLayoutPriorityDefaultHigh); }
    // A debugging key (usually a QString) shown in descriptions.
    virtual MASConstraint& key(const QVariant& key) = 0;

    // ---- sugar ----
    MASConstraint& with() { return *this; }
    MASConstraint& and_() { return *this; }

    // ---- further attributes of the same view in the same statement ----
    MASConstraint& left() { return addConstraintWithLayoutAttribute(NSLayoutAttributeLeft); }
    MASConstraint& top() { return addConstraintWithLayoutAttribute(NSLayoutAttributeTop); }
    MASConstraint& right() { return addConstraintWithLayoutAttribute(NSLayoutAttributeRight); }
    MASConstraint& bottom() { return addConstraintWithLayoutAttribute(NSLayoutAttributeBottom); }
    MASConstraint& leading() { return addConstraintWithLayoutAttribute(NSLayoutAttributeLeading); }
    MASConstraint& trailing() { return addConstraintWithLayoutAttribute(NSLayoutAttributeTrailing); }
    MASConstraint& width() { return addConstraintWithLayoutAttribute(NSLayoutAttributeWidth); }
    MASConstraint& height() { return addConstraintWithLayoutAttribute(NSLayoutAttributeHeight); }
    MASConstraint& centerX() { return addConstraintWithLayoutAttribute(NSLayoutAttributeCenterX); }
    MASConstraint& centerY() { return addConstraintWithLayoutAttribute(NSLayoutAttributeCenterY); }
    MASConstraint& baseline() { return addConstraintWithLayoutAttribute(NSLayoutAttributeBaseline); }

    // Constant changes after installation animate over 0.25 s.
    virtual MASConstraint& animator() = 0;

    // ---- what subclasses provide ----
    virtual MASConstraint& equalToWithRelation(const QVariant& attribute, NSLayoutRelation relation) = 0;
    virtual MASConstraint& addConstraintWithLayoutAttribute(NSLayoutAttribute attribute) = 0;
    virtual void setInsets(const NSEdgeInsets& insets) = 0;
    virtual void setSizeOffset(const QSizeF& sizeOffset) = 0;
    virtual void setCenterOffset(const QPointF& centerOffset) = 0;
    virtual void setOffset(double offset) = 0;
    void setLayoutConstantWithValue(const QVariant& value);

    virtual void activate() = 0;
    virtual void deactivate() = 0;
    virtual void install() = 0;
    virtual void uninstall() = 0;

    // Install by updating a similar constraint made before (mas_updateConstraints).
    bool updateExisting = false;

    std::shared_ptr<MASConstraintDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(const std::shared_ptr<MASConstraintDelegate>& delegate) { m_delegate = delegate; }

protected:
    MASConstraint() = default;

private:
    std::weak_ptr<MASConstraintDelegate> m_delegate;
};
