#include "ui/hud/DJActivityIndicator.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {
constexpr double kIdleAlpha = 0.15;
constexpr double kFade = 0.85;
constexpr int kTickMs = 50;

QColor withAlpha(const QColor& color, double alpha)
{
    QColor c = color;
    c.setAlphaF(float(alpha));
    return c;
}
}  // namespace

DJActivityIndicator::DJActivityIndicator(QWidget* parent) : QWidget(parent)
{
    for (int i = 0; i < kFinCount; ++i)
        m_finColors.append(m_foreColor);
    m_animationTimer.setInterval(kTickMs);
    m_animationTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_animationTimer, &QTimer::timeout, this, &DJActivityIndicator::updateFrame);
}

void DJActivityIndicator::startAnimation(QObject*)
{
    if (m_isAnimating && !m_isFadingOut)
        return;
    actuallyStartAnimation();
}

void DJActivityIndicator::stopAnimation(QObject*)
{
    // A spinner off screen has no frames to fade out in: it stops at once.
    if (!m_animationTimer.isActive()) {
        if (m_isAnimating)
            actuallyStopAnimation();
        return;
    }
    m_isFadingOut = true;
}

void DJActivityIndicator::actuallyStartAnimation()
{
    m_animationTimer.stop();
    m_isAnimating = true;
    m_isFadingOut = false;
    m_position = 1;
    if (isVisible())
        m_animationTimer.start();
}

void DJActivityIndicator::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_isAnimating)
        m_animationTimer.start();
}

void DJActivityIndicator::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_animationTimer.stop();
    if (m_isFadingOut)
        actuallyStopAnimation();
}

void DJActivityIndicator::actuallyStopAnimation()
{
    m_isAnimating = false;
    m_isFadingOut = false;
    m_animationTimer.stop();
    update();
}

void DJActivityIndicator::updateFrame()
{
    m_position = m_position > 0 ? m_position - 1 : kFinCount - 1;
    for (QColor& fin : m_finColors)
        fin = withAlpha(m_foreColor, std::max(kIdleAlpha, fin.alphaF() * kFade));
    if (m_isFadingOut) {
        const bool allIdle = std::all_of(m_finColors.begin(), m_finColors.end(),
                                         [](const QColor& c) { return std::abs(c.alphaF() - kIdleAlpha) <= 0.01; });
        if (allIdle) {
            actuallyStopAnimation();
            return;
        }
    } else if (m_position >= 0 && m_position < m_finColors.size()) {
        m_finColors[m_position] = m_foreColor;
    }
    update();
}

void DJActivityIndicator::setColor(const QColor& color)
{
    if (color == m_foreColor)
        return;
    m_foreColor = color;
    for (QColor& fin : m_finColors)
        fin = withAlpha(color, fin.alphaF());
    update();
}

void DJActivityIndicator::setBackgroundColor(const QColor& color)
{
    if (color == m_backColor)
        return;
    m_backColor = color;
    update();
}

void DJActivityIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), m_backColor);
    const double s = std::min(width(), height());
    painter.translate(width() / 2.0, height() / 2.0);
    // Fin 0 points up; each next fin lies one step counter-clockwise (negative angles, y down).
    const QLineF fin(0, -0.234375 * s, 0, -0.421875 * s);
    for (int i = 0; i < kFinCount; ++i) {
        const QColor color = m_isAnimating ? m_finColors[i] : withAlpha(m_foreColor, kIdleAlpha);
        painter.setPen(QPen(color, 0.0859375 * s, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(fin);
        painter.rotate(-360.0 / kFinCount);
    }
}
