#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

// What a container implements to recolour its buttons on hover.
class TrackingAreaOwner
{
public:
    virtual ~TrackingAreaOwner() = default;
    virtual void mouseEntered(QWidget* sender) = 0;
    virtual void mouseExited(QWidget* sender) = 0;
};

// A hover area over a button's bounds, always active, belonging to the button: the mouse entering
// or leaving the button reaches the owner's mouseEntered / mouseExited with the button as sender.
//     TrackingArea::add(button, this);   // this: a QObject that is a TrackingAreaOwner
class TrackingArea : public QObject
{
    Q_OBJECT
public:
    // The area is a child of the button; the owner is held weakly and must be a TrackingAreaOwner.
    static TrackingArea* add(QWidget* button, QObject* owner);

    QWidget* button() const;
    QObject* owner() const { return m_owner; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TrackingArea(QWidget* button, QObject* owner);
    QPointer<QObject> m_owner;
};
