#include "app/views/LeftBarButton.h"

#include <QEnterEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>

#include <functional>

LeftBarButton::LeftBarButton(int tag, QWidget* parent) : QAbstractButton(parent), m_tag(tag)
{
    setFocusPolicy(Qt::NoFocus);
}

void LeftBarButton::setLayerColor(std::optional<QColor> color)
{
    m_layerColor = color;
    update();
}

void LeftBarButton::setImage(const QPixmap& image, const QString& name)
{
    m_image = image;
    m_imageName = name;
    update();
}

void LeftBarButton::setScalesImageToFill(bool on)
{
    m_scalesToFill = on;
    update();
}

void LeftBarButton::setCornerRadius(qreal radius)
{
    m_cornerRadius = radius;
    update();
}

QSize LeftBarButton::sizeHint() const
{
    return m_image.isNull() ? QSize(40, 40) : m_image.deviceIndependentSize().toSize();
}

namespace {

// Renders once what paint draws into a transparent picture of the widget's size, kept under key
// in the process's picture cache: every window shows the same few bar pictures, and filling an
// anti-aliased shape with a picture brush costs Qt more than a whole plain widget tree.
QPixmap cachedDrawing(const QWidget& widget, const QString& key, const std::function<void(QPainter&)>& paint)
{
    const qreal ratio = widget.devicePixelRatioF();
    const QString fullKey = key + QStringLiteral(":%1x%2@%3").arg(widget.width()).arg(widget.height()).arg(ratio);
    QPixmap drawing;
    if (QPixmapCache::find(fullKey, &drawing))
        return drawing;
    drawing = QPixmap((QSizeF(widget.size()) * ratio).toSize());
    drawing.setDevicePixelRatio(ratio);
    drawing.fill(Qt::transparent);
    {
        QPainter painter(&drawing);
        paint(painter);
    }
    QPixmapCache::insert(fullKey, drawing);
    return drawing;
}

}  // namespace

void LeftBarButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF bounds = rect();
    if (m_cornerRadius > 0) {
        const QString key = QStringLiteral("LeftBarButton:%1:%2:%3:%4:%5")
                                .arg(m_image.cacheKey())
                                .arg(m_layerColor.has_value() ? m_layerColor->name(QColor::HexArgb) : QString())
                                .arg(m_cornerRadius)
                                .arg(m_scalesToFill)
                                .arg(m_image.isNull());
        painter.drawPixmap(QPointF(0, 0), cachedDrawing(*this, key, [&](QPainter& shape) {
            // A rounded shape filled with the layer, then with the picture as its brush: no clip path.
            shape.setRenderHint(QPainter::Antialiasing);
            shape.setPen(Qt::NoPen);
            if (m_layerColor.has_value()) {
                shape.setBrush(*m_layerColor);
                shape.drawRoundedRect(bounds, m_cornerRadius, m_cornerRadius);
            }
            if (!m_image.isNull()) {
                const QPixmap picture = m_scalesToFill
                                            ? m_image.scaled(size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                            : m_image;
                shape.setBrush(QBrush(picture));
                shape.drawRoundedRect(bounds, m_cornerRadius, m_cornerRadius);
            }
        }));
        return;
    }
    if (m_layerColor.has_value())
        painter.fillRect(bounds, *m_layerColor);
    if (m_image.isNull())
        return;
    if (m_scalesToFill) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(bounds, m_image, QRectF(m_image.rect()));
        return;
    }
    const QSizeF imageSize = m_image.deviceIndependentSize();
    painter.drawPixmap(QPointF((bounds.width() - imageSize.width()) / 2, (bounds.height() - imageSize.height()) / 2),
                       m_image);
}

WindowControlButton::WindowControlButton(Kind kind, QWidget* parent) : QAbstractButton(parent), m_kind(kind)
{
    setFocusPolicy(Qt::NoFocus);
}

void WindowControlButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF circle = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.drawPixmap(QPointF(0, 0), cachedDrawing(*this, QStringLiteral("WindowControlButton"), [&](QPainter& disc) {
        disc.setRenderHint(QPainter::Antialiasing);
        disc.setPen(Qt::NoPen);
        disc.setBrush(QColor(255, 255, 255, 215));
        disc.drawEllipse(circle);
    }));
    if (!m_hovered)
        return;
    // The sign shows what the button does while the mouse is over it.
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(150, 20, 20), 1.4, Qt::SolidLine, Qt::RoundCap));
    const QPointF c = circle.center();
    const qreal r = circle.width() / 4.5;
    switch (m_kind) {
    case Kind::Close:
        painter.drawLine(c + QPointF(-r, -r), c + QPointF(r, r));
        painter.drawLine(c + QPointF(-r, r), c + QPointF(r, -r));
        break;
    case Kind::Minimize:
        painter.drawLine(c + QPointF(-r * 1.3, 0), c + QPointF(r * 1.3, 0));
        break;
    case Kind::Zoom:
        painter.drawLine(c + QPointF(-r * 1.3, 0), c + QPointF(r * 1.3, 0));
        painter.drawLine(c + QPointF(0, -r * 1.3), c + QPointF(0, r * 1.3));
        break;
    }
}

void WindowControlButton::enterEvent(QEnterEvent* event)
{
    QAbstractButton::enterEvent(event);
    m_hovered = true;
    update();
}

void WindowControlButton::leaveEvent(QEvent* event)
{
    QAbstractButton::leaveEvent(event);
    m_hovered = false;
    update();
}

DotView::DotView(QColor color, QWidget* parent) : QWidget(parent), m_color(color)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void DotView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_color);
    painter.drawRoundedRect(QRectF(rect()), 4, 4);
}
