#pragma once

#include "ui/layout/LayoutConstraint.h"

#include <QMetaType>
#include <QPointer>
#include <QPointF>
#include <QSizeF>
#include <QVariant>
#include <QWidget>

#include <cstddef>

// One attribute of one widget: the right-hand side of a layout statement.
class MASViewAttribute
{
public:
    MASViewAttribute() = default;
    MASViewAttribute(QWidget* view, NSLayoutAttribute layoutAttribute);
    MASViewAttribute(QWidget* view, QWidget* item, NSLayoutAttribute layoutAttribute);

    QWidget* view() const { return m_view; }
    QWidget* item() const { return m_item; }
    NSLayoutAttribute layoutAttribute() const { return m_layoutAttribute; }
    // Width and height only.
    bool isSizeAttribute() const;

    // Same widget (identity) and same attribute.
    bool operator==(const MASViewAttribute& other) const;
    bool operator!=(const MASViewAttribute& other) const { return !(*this == other); }
    // The widget's hash rotated by half the word width, XOR the attribute.
    size_t hash() const;

private:
    QPointer<QWidget> m_view;
    QPointer<QWidget> m_item;
    NSLayoutAttribute m_layoutAttribute = NSLayoutAttributeNotAnAttribute;
};
Q_DECLARE_METATYPE(MASViewAttribute)

// Insets of the four edges, in the order top, left, bottom, right.
struct NSEdgeInsets
{
    double top = 0;
    double left = 0;
    double bottom = 0;
    double right = 0;
    bool operator==(const NSEdgeInsets&) const = default;
};
Q_DECLARE_METATYPE(NSEdgeInsets)

inline NSEdgeInsets NSEdgeInsetsMake(double top, double left, double bottom, double right)
{
    return NSEdgeInsets{top, left, bottom, right};
}

// What the relation family (`equalTo` ...) accepts, boxed into a QVariant: an attribute, a widget,
// a number, a point (centre offset), a size (size offset), insets, or a list of any of these.
namespace MASBox {
inline QVariant box(const QVariant& v) { return v; }
inline QVariant box(const MASViewAttribute& a) { return QVariant::fromValue(a); }
inline QVariant box(QWidget* w) { return QVariant::fromValue(w); }
inline QVariant box(double d) { return QVariant(d); }
inline QVariant box(const QPointF& p) { return QVariant(p); }
inline QVariant box(const QSizeF& s) { return QVariant(s); }
inline QVariant box(const NSEdgeInsets& i) { return QVariant::fromValue(i); }
QVariant box(const QList<QWidget*>& views);
QVariant box(const QList<MASViewAttribute>& attributes);
}  // namespace MASBox
