#include "ui/layout/MASViewAttribute.h"

#include <QVariantList>

#include <functional>

MASViewAttribute::MASViewAttribute(QWidget* view, NSLayoutAttribute layoutAttribute)
    : MASViewAttribute(view, view, layoutAttribute)
{
}

MASViewAttribute::MASViewAttribute(QWidget* view, QWidget* item, NSLayoutAttribute layoutAttribute)
    : m_view(view), m_item(item), m_layoutAttribute(layoutAttribute)
{
}

bool MASViewAttribute::isSizeAttribute() const
{
    return m_layoutAttribute == NSLayoutAttributeWidth || m_layoutAttribute == NSLayoutAttributeHeight;
}

bool MASViewAttribute::operator==(const MASViewAttribute& other) const
{
    return m_view.data() == other.m_view.data() && m_layoutAttribute == other.m_layoutAttribute;
}

size_t MASViewAttribute::hash() const
{
    constexpr unsigned half = sizeof(size_t) * 8 / 2;
    const size_t h = std::hash<const void*>()(m_view.data());
    return ((h << half) | (h >> half)) ^ static_cast<size_t>(m_layoutAttribute);
}

namespace MASBox {

QVariant box(const QList<QWidget*>& views)
{
    QVariantList list;
    for (QWidget* view : views)
        list.append(QVariant::fromValue(view));
    return list;
}

QVariant box(const QList<MASViewAttribute>& attributes)
{
    QVariantList list;
    for (const auto& attribute : attributes)
        list.append(QVariant::fromValue(attribute));
    return list;
}

}  // namespace MASBox
