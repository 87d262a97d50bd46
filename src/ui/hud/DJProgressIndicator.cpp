#include "ui/hud/DJProgressIndicator.h"

#include <QDebug>
#include <QPainter>
#include <QtMath>

#include <cmath>

DJProgressIndicator::DJProgressIndicator(QWidget* parent) : QWidget(parent)
{
    sizeToFit();
}

QPointF DJProgressIndicator::pointOnCircleWithCenter(const QPointF& center, double radius, double angleInDegrees)
{
    Q_UNUSED(center);  // the circle lies in the ring's own square, around (r, r)
    const float r = float(radius);
    const float a = float(qDegreesToRadians(angleInDegrees));
    const float x = r + r * std::cos(a);
    const float y = r + r * std::sin(a);
    return {x, y};
}

DJBezierPath DJProgressIndicator::createCirclePathWithCenter(const QPointF& center, double radius, int sampleCount)
{
    DJBezierPath path;
    if (sampleCount <= 0)
        return path;
    const double step = 360.0 / sampleCount;
    path.moveToPoint(pointOnCircleWithCenter(center, radius, 90));
    for (int k = 1; k < sampleCount; ++k)
        path.lineToPoint(pointOnCircleWithCenter(center, radius, 90 - k * step));
    path.lineToPoint(pointOnCircleWithCenter(center, radius, 90));
    return path;
}

DJProgressIndicator::RingLayer DJProgressIndicator::createRingLayerWithCenter(const QPointF& center, double radius,
                                                                             double lineWidth, const QColor& color) const
{
    RingLayer layer;
    layer.frame = QRectF(center.x() - radius, center.y() - radius, 2 * radius, 2 * radius);
    // The path is y-up in the layer's square; drawn here y down.
    const auto yUp = createCirclePathWithCenter(center, radius, 72).quartzPath();
    if (yUp) {
        QTransform flip(1, 0, 0, -1, 0, 2 * radius);
        layer.path = flip.map(*yUp);
    }
    layer.strokeColor = color;
    layer.lineWidth = lineWidth;
    return layer;
}

void DJProgressIndicator::updateLayout()
{
    const QPointF center(width() / 2.0, height() / 2.0);
    if (!m_backgroundRingLayer) {
        m_backgroundRingLayer = createRingLayerWithCenter(center, m_ringRadius, m_ringThickness, m_backRingColor);
        m_backgroundRingLayer->strokeEnd = 1.0;
    }
    if (!m_ringLayer)
        m_ringLayer = createRingLayerWithCenter(center, m_ringRadius, m_ringThickness, m_ringColor);
    const QSizeF size(2 * m_ringRadius, 2 * m_ringRadius);
    m_backgroundRingLayer->frame = QRectF(center - QPointF(m_ringRadius, m_ringRadius), size);
    m_ringLayer->frame = m_backgroundRingLayer->frame;
    update();
}

void DJProgressIndicator::resetRings()
{
    m_backgroundRingLayer.reset();
    m_ringLayer.reset();
    updateLayout();
    m_ringLayer->strokeEnd = m_currentProgress;
    update();
}

void DJProgressIndicator::showProgress(float progress)
{
    qDebug().noquote() << QString::asprintf("-----%f", double(progress));
    m_currentProgress = progress;
    updateLayout();
    if (progress >= 0)
        m_ringLayer->strokeEnd = progress;
    else
        cancelRingLayerAnimation();
    update();
}

void DJProgressIndicator::cancelRingLayerAnimation()
{
    if (m_ringLayer)
        m_ringLayer->strokeEnd = 0;
    m_ringLayer.reset();
    m_backgroundRingLayer.reset();
    update();
}

void DJProgressIndicator::setRingColor(const QColor& ringColor, const QColor& backgroundRingColor)
{
    if (ringColor == m_ringColor && backgroundRingColor == m_backRingColor)
        return;
    m_ringColor = ringColor;
    m_backRingColor = backgroundRingColor;
    resetRings();
}

void DJProgressIndicator::setBackgroundColor(const QColor& color)
{
    if (color == m_backColor)
        return;
    m_backColor = color;
    update();
}

void DJProgressIndicator::setRingThickness(double thickness)
{
    if (thickness == m_ringThickness)
        return;
    m_ringThickness = thickness;
    resetRings();
}

void DJProgressIndicator::setRingRadius(double radius)
{
    if (radius == m_ringRadius)
        return;
    m_ringRadius = radius;
    resetRings();
}

void DJProgressIndicator::sizeToFit()
{
    setRingRadius(width() / 2.0 - m_ringThickness);
}

void DJProgressIndicator::resizeEvent(QResizeEvent*)
{
    if (m_ringLayer || m_backgroundRingLayer) {
        const double progress = strokeEnd();
        const bool had = hasRingLayers();
        m_backgroundRingLayer.reset();
        m_ringLayer.reset();
        if (had) {
            updateLayout();
            m_ringLayer->strokeEnd = progress;
        }
    }
}

void DJProgressIndicator::drawRing(QPainter& painter, const RingLayer& layer) const
{
    if (layer.strokeEnd <= 0 || layer.path.isEmpty())
        return;
    painter.save();
    painter.translate(layer.frame.topLeft());
    QPen pen(layer.strokeColor, layer.lineWidth, Qt::SolidLine, Qt::FlatCap, Qt::BevelJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    if (layer.strokeEnd >= 1) {
        painter.drawPath(layer.path);
    } else {
        // The drawn fraction of the outline, from its start.
        QPolygonF outline = layer.path.toSubpathPolygons().value(0);
        double total = 0;
        for (int i = 1; i < outline.size(); ++i)
            total += QLineF(outline[i - 1], outline[i]).length();
        double remaining = total * layer.strokeEnd;
        QPolygonF drawn;
        if (!outline.isEmpty())
            drawn << outline[0];
        for (int i = 1; i < outline.size() && remaining > 0; ++i) {
            const QLineF segment(outline[i - 1], outline[i]);
            if (segment.length() <= remaining) {
                drawn << outline[i];
                remaining -= segment.length();
            } else {
                drawn << segment.pointAt(remaining / segment.length());
                remaining = 0;
            }
        }
        painter.drawPolyline(drawn);
    }
    painter.restore();
}

void DJProgressIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), m_backColor);
    if (m_backgroundRingLayer)
        drawRing(painter, *m_backgroundRingLayer);
    if (m_ringLayer)
        drawRing(painter, *m_ringLayer);
}
