#pragma once

#include <QList>
#include <QPainterPath>
#include <QPointF>

#include <optional>

// A path built element by element (move, line, cubic curve, close) that converts to a painter path.
class DJBezierPath
{
public:
    enum class ElementType { MoveTo, LineTo, CurveTo, ClosePath };
    struct Element
    {
        ElementType type = ElementType::MoveTo;
        QPointF points[3];
    };

    void moveToPoint(const QPointF& point);
    void lineToPoint(const QPointF& point);
    void curveToPoint(const QPointF& end, const QPointF& control1, const QPointF& control2);
    void closePath();

    bool isEmpty() const { return m_elements.isEmpty(); }
    int elementCount() const { return static_cast<int>(m_elements.size()); }
    const Element& elementAtIndex(int index) const { return m_elements[index]; }

    // Nothing for an empty path; otherwise every element in order, and the last subpath closed
    // once more when a line or curve followed the last close.
    std::optional<QPainterPath> quartzPath() const;

private:
    QList<Element> m_elements;
};
