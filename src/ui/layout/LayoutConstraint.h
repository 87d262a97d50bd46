#pragma once

#include <QList>
#include <QPointer>
#include <QRectF>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>

// Attribute numbers of a layout statement.
enum NSLayoutAttribute : int64_t {
    NSLayoutAttributeNotAnAttribute = 0,
    NSLayoutAttributeLeft = 1,
    NSLayoutAttributeRight = 2,
    NSLayoutAttributeTop = 3,
    NSLayoutAttributeBottom = 4,
    NSLayoutAttributeLeading = 5,
    NSLayoutAttributeTrailing = 6,
    NSLayoutAttributeWidth = 7,
    NSLayoutAttributeHeight = 8,
    NSLayoutAttributeCenterX = 9,
    NSLayoutAttributeCenterY = 10,
    NSLayoutAttributeBaseline = 11,
};

enum NSLayoutRelation : int64_t {
    NSLayoutRelationLessThanOrEqual = -1,
    NSLayoutRelationEqual = 0,
    NSLayoutRelationGreaterThanOrEqual = 1,
};

using NSLayoutPriority = float;
inline constexpr NSLayoutPriority NSLayoutPriorityRequired = 1000;
inline constexpr NSLayoutPriority NSLayoutPriorityDefaultHigh = 750;
inline constexpr NSLayoutPriority NSLayoutPriorityDefaultLow = 250;

class LayoutConstraint;
struct LayoutViewState;
namespace Layout {
void addConstraint(QWidget* view, const std::shared_ptr<LayoutConstraint>& constraint);
void removeConstraint(QWidget* view, const std::shared_ptr<LayoutConstraint>& constraint);
}

// One linear relation between attributes of two widgets (or of one widget and a constant):
//     first.attribute  relation  second.attribute * multiplier + constant
// Held by the widget it was added to (`addConstraint`), which must be an ancestor of (or the same
// as) both items; positions count from that widget's origin, y downwards. Shared by pointer: the
// holder keeps it alive, others refer to it weakly.
class LayoutConstraint : public std::enable_shared_from_this<LayoutConstraint>
{
public:
    LayoutConstraint(QWidget* firstItem, NSLayoutAttribute firstAttribute, NSLayoutRelation relation,
                     QWidget* secondItem, NSLayoutAttribute secondAttribute, double multiplier, double constant);
    virtual ~LayoutConstraint();
    LayoutConstraint(const LayoutConstraint&) = delete;
    LayoutConstraint& operator=(const LayoutConstraint&) = delete;

    // Class name used by descriptions.
    virtual QString className() const { return QStringLiteral("LayoutConstraint"); }
    // A key shown in descriptions in place of the address; empty for none.
    virtual QString debugKey() const { return {}; }

    QWidget* firstItem() const { return m_firstItem; }
    QWidget* secondItem() const { return m_secondItem; }
    NSLayoutAttribute firstAttribute() const { return m_firstAttribute; }
    NSLayoutAttribute secondAttribute() const { return m_secondAttribute; }
    NSLayoutRelation relation() const { return m_relation; }
    double multiplier() const { return m_multiplier; }

    double constant() const { return m_constant; }
    // Takes effect at the next layout pass of the holder's window.
    void setConstant(double constant);

    NSLayoutPriority priority() const { return m_priority; }
    void setPriority(NSLayoutPriority priority);

    // Active = held by the closest common ancestor of its items. Activating adds it there,
    // deactivating takes it out of the widget that holds it.
    bool isActive() const { return !m_holder.isNull(); }
    void setActive(bool active);
    // The widget holding it, or null.
    QWidget* holder() const { return m_holder; }

    // "<Class:key-or-address first.attr == second.attr * m + c ^priority>".
    QString description() const;

    // Rises with every constraint added to a widget: the engine adds constraints to its solver in
    // the order they were stated.
    uint64_t sequence() const { return m_sequence; }

private:
    friend struct LayoutViewState;
    friend void Layout::addConstraint(QWidget*, const std::shared_ptr<LayoutConstraint>&);
    friend void Layout::removeConstraint(QWidget*, const std::shared_ptr<LayoutConstraint>&);
    QPointer<QWidget> m_firstItem;
    QPointer<QWidget> m_secondItem;
    NSLayoutAttribute m_firstAttribute;
    NSLayoutAttribute m_secondAttribute;
    NSLayoutRelation m_relation;
    double m_multiplier;
    double m_constant;
    NSLayoutPriority m_priority = NSLayoutPriorityRequired;
    QPointer<QWidget> m_holder;
    uint64_t m_sequence = 0;
};

using LayoutConstraintPtr = std::shared_ptr<LayoutConstraint>;

// The layout operations of widgets. A window's constraints are solved together by its
// LayoutEngine; widgets whose flag is off are placed by it, the others keep their geometry and
// take part with it.
namespace Layout {

// Adds the constraint to the widget that holds it (it must not be held elsewhere).
void addConstraint(QWidget* view, const LayoutConstraintPtr& constraint);
void removeConstraint(QWidget* view, const LayoutConstraintPtr& constraint);
// The constraints the widget holds, in the order they were added.
QList<LayoutConstraintPtr> constraints(const QWidget* view);

// Default true: the widget keeps the geometry it is given and enters layout with it.
bool translatesAutoresizingMaskIntoConstraints(const QWidget* view);
void setTranslatesAutoresizingMaskIntoConstraints(QWidget* view, bool translates);

// Runs the pending layout pass of the widget's window now.
void layoutSubtreeIfNeeded(QWidget* view);
// The solved frame of the widget in its parent's coordinates (before rounding); its geometry
// when the engine does not place it.
QRectF frameOf(QWidget* view);

// The closest widget that is the first or one of its ancestors and the second or one of its
// ancestors; null when either is null or they share none.
QWidget* closestCommonAncestor(QWidget* a, QWidget* b);

}  // namespace Layout
