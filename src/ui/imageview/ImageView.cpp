#include "ui/imageview/ImageView.h"

#include <QPainter>

ImageView::ImageView(QWidget* parent) : QWidget(parent) {}

void ImageView::setImage(const QImage& image)
{
    m_image = image;
    updateGeometry();
    update();
    emit imageChanged(m_image);
}

void ImageView::setNeedsLayout(bool needsLayout)
{
    if (!needsLayout)
        return;
    updateGeometry();
    update();
}

QSize ImageView::sizeHint() const
{
    return m_image.isNull() ? QSize(0, 0) : m_image.size();
}

void ImageView::setImageScaling(ImageScaling scaling)
{
    if (m_imageScaling == scaling)
        return;
    m_imageScaling = scaling;
    update();
}

void ImageView::paintEvent(QPaintEvent*)
{
    if (m_image.isNull() || width() <= 0 || height() <= 0)
        return;
    QSize target = m_image.size();
    if (m_imageScaling == ImageScaleProportionallyUpOrDown || target.width() > width() || target.height() > height())
        target.scale(size(), Qt::KeepAspectRatio);
    const QRect frame(QPoint((width() - target.width()) / 2, (height() - target.height()) / 2), target);
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(frame, m_image);
}
