#include "ui/hud/DJBezierPath.h"

void DJBezierPath::moveToPoint(const QPointF& point)
{
    m_elements.append({ElementType::MoveTo, {point, {}, {}}});
}

void DJBezierPath::lineToPoint(const QPointF& point)
{
    m_elements.append({ElementType::LineTo, {point, {}, {}}});
}

void DJBezierPath::curveToPoint(const QPointF& end, const QPointF& control1, const QPointF& control2)
{
    m_elements.append({ElementType::CurveTo, {control1, control2, end}});
}

void DJBezierPath::closePath()
{
    m_elements.append({ElementType::ClosePath, {}});
}

std::optional<QPainterPath> DJBezierPath::quartzPath() const
{
    if (m_elements.isEmpty())
        return std::nullopt;
    QPainterPath path;
    bool openSinceClose = false;
    for (const Element& e : m_elements) {
        switch (e.type) {
        case ElementType::MoveTo:
            path.moveTo(e.points[0]);
            break;
        case ElementType::LineTo:
            path.lineTo(e.points[0]);
            openSinceClose = true;
            break;
        case ElementType::CurveTo:
            path.cubicTo(e.points[0], e.points[1], e.points[2]);
            openSinceClose = true;
            break;
        case ElementType::ClosePath:
            path.closeSubpath();
            openSinceClose = false;
            break;
        }
    }
    if (openSinceClose)
        path.closeSubpath();
    return path;
}
