#pragma once

#include <QEvent>
#include <QObject>
#include <QWidget>

// Counts the paint events a widget receives while it is watched: for checks that something
// asked for a repaint, where grab() would paint anew whatever was asked.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget* watched) : m_watched(watched) { m_watched->installEventFilter(this); }
    ~PaintCounter() override { m_watched->removeEventFilter(this); }
    PaintCounter(const PaintCounter&) = delete;
    PaintCounter& operator=(const PaintCounter&) = delete;

    int paints() const { return m_paints; }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        m_paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }

private:
    QWidget* m_watched;
    int m_paints = 0;
};
