#pragma once

#include "ui/hud/DJBezierPath.h"

#include <QColor>
#include <QPainterPath>
#include <QPointF>
#include <QWidget>

#include <optional>

// The progress ring: a full background ring and, over it, the ring drawn clockwise from the top
// up to the current progress.
class DJProgressIndicator : public QWidget
{
    Q_OBJECT
public:
    explicit DJProgressIndicator(QWidget* parent = nullptr);

    // 0 ... 1 draws that fraction; a negative value clears both rings.
    void showProgress(float progress);
    double currentProgress() const { return m_currentProgress; }
    double ringRadius() const { return m_ringRadius; }
    double ringThickness() const { return m_ringThickness; }

    void setRingColor(const QColor& ringColor, const QColor& backgroundRingColor);
    void setBackgroundColor(const QColor& color);
    void setRingThickness(double thickness);
    void setRingRadius(double radius);
    // Radius = half the width minus the thickness.
    void sizeToFit();

    void resetRings();
    void updateLayout();
    void cancelRingLayerAnimation();
    void clear() { cancelRingLayerAnimation(); }

    // Whether the ring "layers" exist, and how much of the ring is drawn (stroke end).
    bool hasRingLayers() const { return m_ringLayer.has_value(); }
    double strokeEnd() const { return m_ringLayer ? m_ringLayer->strokeEnd : 0; }

    // A point at the angle (degrees, y-up) on the circle of that radius around (r, r).
    static QPointF pointOnCircleWithCenter(const QPointF& center, double radius, double angleInDegrees);
    // The circle from the top, clockwise, through sampleCount points, closed.
    static DJBezierPath createCirclePathWithCenter(const QPointF& center, double radius, int sampleCount);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct RingLayer
    {
        QRectF frame;          // in the widget, y down
        QPainterPath path;     // in the layer's own coordinates, y down
        QColor strokeColor;
        double lineWidth = 0;
        double strokeEnd = 1.0;
    };
    RingLayer createRingLayerWithCenter(const QPointF& center, double radius, double lineWidth, const QColor& color) const;
    void drawRing(QPainter& painter, const RingLayer& layer) const;

    QColor m_backRingColor = Qt::darkGray;
    QColor m_ringColor = Qt::white;
    QColor m_backColor = Qt::transparent;
    double m_currentProgress = 0;
    double m_ringRadius = 0;
    double m_ringThickness = 6;
    std::optional<RingLayer> m_backgroundRingLayer;
    std::optional<RingLayer> m_ringLayer;
};
