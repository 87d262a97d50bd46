#include "app/views/LeftBarButton.h"

#include <QEnterEvent>
#include <QPainter>
#include <QPainterPath>

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

void LeftBarButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF bounds = rect();
    if (m_cornerRadius > 0) {
        // A rounded shape filled with the layer, then with the picture as its brush: no clip path.
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        if (m_layerColor.has_value()) {
            painter.setBrush(*m_layerColor);
            painter.drawRoundedRect(bounds, m_cornerRadius, m_cornerRadius);
        }
        if (!m_image.isNull()) {
            const QPixmap picture = m_scalesToFill ? m_image.scaled(size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                                   : m_image;
            painter.setBrush(QBrush(picture));
            painter.drawRoundedRect(bounds, m_cornerRadius, m_cornerRadius);
        }
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
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF circle = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 215));
    painter.drawEllipse(circle);
    if (!m_hovered)
        return;
    // The sign shows what the button does while the mouse is over it.
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
