#pragma once

#include <QColor>
#include <QList>
#include <QTimer>
#include <QWidget>

// The twelve-fin spinner. Fin 0 points up, fin i lies i x 30 degrees counter-clockwise from it;
// while animating the lit fin moves one step a tick (50 ms) and the others fade.
class DJActivityIndicator : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kFinCount = 12;

    explicit DJActivityIndicator(QWidget* parent = nullptr);

    // Starts unless already animating (and not fading out).
    void startAnimation(QObject* sender = nullptr);
    // Fades out: the timer stops once every fin is back at alpha 0.15.
    void stopAnimation(QObject* sender = nullptr);
    bool isAnimating() const { return m_isAnimating; }
    bool isFadingOut() const { return m_isFadingOut; }

    void setColor(const QColor& color);
    QColor color() const { return m_foreColor; }
    void setBackgroundColor(const QColor& color);

    // The timer's tick.
    void updateFrame();
    void actuallyStartAnimation();
    void actuallyStopAnimation();

    int position() const { return m_position; }
    const QList<QColor>& finColors() const { return m_finColors; }
    bool timerActive() const { return m_animationTimer.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    // A spinner off screen (its list not shown, its window hidden) keeps its state but not its
    // timer: nothing wakes the program for frames nobody sees.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int m_position = 0;
    QList<QColor> m_finColors;
    bool m_isFadingOut = false;
    QTimer m_animationTimer;
    QColor m_foreColor = Qt::black;
    QColor m_backColor = Qt::transparent;
    bool m_isAnimating = false;
};
