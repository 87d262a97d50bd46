#include "ui/controls/PopoverClicks.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

namespace {

class ClosingClickThrough : public QObject
{
public:
    static constexpr const char* kName = "closingClickThrough";

    explicit ClosingClickThrough(QWidget* popup) : QObject(popup), m_popup(popup)
    {
        setObjectName(QLatin1String(kName));
        // Qt's own replay would, where the window system allows it, send the press a second time.
        popup->setAttribute(Qt::WA_NoMouseReplay);
        popup->installEventFilter(this);
    }
    void setOpener(QWidget* opener) { m_opener = opener; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != m_popup || event->type() != QEvent::MouseButtonPress)
            return false;
        auto* press = static_cast<QMouseEvent*>(event);
        if (m_popup->rect().contains(press->position().toPoint()))
            return false;
        const QPointF global = press->globalPosition();
        // Hidden, not closed: closing a popup destroys its native window, and the release of a
        // quick click that the window system reads after this press still goes to that window.
        // Dropped there, it never reaches the target that gets the press below.
        m_popup->hide();
        QWidget* target = QApplication::widgetAt(global.toPoint());
        if (target == nullptr || target->window()->windowType() == Qt::Popup)
            return true;
        // The opener would open the popover again at once.
        if (m_opener && (target == m_opener || m_opener->isAncestorOf(target)))
            return true;
        // A modal window keeps the clicks of the windows it blocks.
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal != target->window() && !modal->isAncestorOf(target))
            return true;
        QWindow* window = target->window()->windowHandle();
        if (window == nullptr)
            return true;
        // The press goes to the window under the pointer as the window system would have sent it;
        // the release that follows, whether it comes to that window or to the popover's, reaches
        // the widget that took the press.
        const QPointF local = window->mapFromGlobal(global);
        QMouseEvent replay(QEvent::MouseButtonPress, local, local, global, press->button(), press->buttons(),
                           press->modifiers(), press->pointingDevice());
        replay.setTimestamp(press->timestamp());
        QCoreApplication::sendEvent(window, &replay);
        return true;
    }

private:
    QWidget* m_popup;
    QPointer<QWidget> m_opener;
};

}  // namespace

void passClosingClickThrough(QWidget* popup, QWidget* opener)
{
    if (popup == nullptr)
        return;
    auto* rule = static_cast<ClosingClickThrough*>(
        popup->findChild<QObject*>(QLatin1String(ClosingClickThrough::kName), Qt::FindDirectChildrenOnly));
    if (rule == nullptr)
        rule = new ClosingClickThrough(popup);
    rule->setOpener(opener);
}
