#pragma once

#include "ui/layout/MASConstraint.h"

#include <QList>
#include <QPointer>

#include <functional>
#include <memory>

// Collects the statements of one block and installs them afterwards. Made by
// MASAdditions::mas_makeConstraints and its siblings; the block receives it by reference.
class MASConstraintMaker : public MASConstraintDelegate, public std::enable_shared_from_this<MASConstraintMaker>
{
public:
    // Attribute mask bits: 1 << attribute number.
    enum : uint32_t {
        MASAttributeLeft = 1u << NSLayoutAttributeLeft,
        MASAttributeRight = 1u << NSLayoutAttributeRight,
        MASAttributeTop = 1u << NSLayoutAttributeTop,
        MASAttributeBottom = 1u << NSLayoutAttributeBottom,
        MASAttributeLeading = 1u << NSLayoutAttributeLeading,
        MASAttributeTrailing = 1u << NSLayoutAttributeTrailing,
        MASAttributeWidth = 1u << NSLayoutAttributeWidth,
        MASAttributeHeight = 1u << NSLayoutAttributeHeight,
        MASAttributeCenterX = 1u << NSLayoutAttributeCenterX,
        MASAttributeCenterY = 1u << NSLayoutAttributeCenterY,
        MASAttributeBaseline = 1u << NSLayoutAttributeBaseline,
    };

    static std::shared_ptr<MASConstraintMaker> make(QWidget* view);

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
    // top, left, bottom, right
    MASConstraint& edges() { return addConstraintWithAttributes(MASAttributeTop | MASAttributeLeft | MASAttributeBottom | MASAttributeRight); }
    // width, height
    MASConstraint& size() { return addConstraintWithAttributes(MASAttributeWidth | MASAttributeHeight); }
    // centerX, centerY
    MASConstraint& center() { return addConstraintWithAttributes(MASAttributeCenterX | MASAttributeCenterY); }
    MASConstraint& attributes(uint32_t mask) { return addConstraintWithAttributes(mask); }
    // The statements made by the block, as one composite (they stay in the maker's list too).
    MASConstraint& group(const std::function<void()>& block);

    MASConstraint& addConstraintWithLayoutAttribute(NSLayoutAttribute attribute);
    MASConstraint& addConstraintWithAttributes(uint32_t mask);

    // Installs the statements; returns the top-level statements in the order stated.
    QList<MASConstraintPtr> install();

    QWidget* view() const { return m_view; }
    const QList<MASConstraintPtr>& constraints() const { return m_constraints; }
    bool updateExisting = false;
    bool removeExisting = false;

    // MASConstraintDelegate
    void constraintShouldBeReplacedWithConstraint(MASConstraint* constraint,
                                                  const MASConstraintPtr& replacement) override;
    MASConstraintPtr constraintAddConstraintWithLayoutAttribute(MASConstraint* constraint,
                                                                NSLayoutAttribute attribute) override;

private:
    MASConstraintMaker() = default;

    QPointer<QWidget> m_view;
    QList<MASConstraintPtr> m_constraints;
    // Keeps the group composites alive while the block runs.
    QList<MASConstraintPtr> m_groups;
};
