#include "ui/controls/TrackingArea.h"

#include <QEvent>
#include <QWidget>

TrackingArea* TrackingArea::add(QWidget* button, QObject* owner)
{
    if (!button)
        return nullptr;
    return new TrackingArea(button, owner);
}

TrackingArea::TrackingArea(QWidget* button, QObject* owner) : QObject(button), m_owner(owner)
{
    button->setAttribute(Qt::WA_Hover, true);
    button->installEventFilter(this);
}

QWidget* TrackingArea::button() const
{
    return static_cast<QWidget*>(parent());
}

bool TrackingArea::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parent() && (event->type() == QEvent::Enter || event->type() == QEvent::Leave)) {
        if (auto* owner = dynamic_cast<TrackingAreaOwner*>(m_owner.data())) {
            if (event->type() == QEvent::Enter)
                owner->mouseEntered(button());
            else
                owner->mouseExited(button());
        }
    }
    return QObject::eventFilter(watched, event);
}
