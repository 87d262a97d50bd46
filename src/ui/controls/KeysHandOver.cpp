#include "ui/controls/KeysHandOver.h"

#include <algorithm>

#include <QApplication>
#include <QEvent>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QWidget>

namespace {

bool inside(const QWidget* view, const QWidget* container)
{
    return view == container || container->isAncestorOf(view);
}

class HandOver : public QObject
{
public:
    static HandOver& instance()
    {
        static QPointer<HandOver> one;
        if (!one) {
            one = new HandOver(qApp);
            qApp->installEventFilter(one);
        }
        return *one;
    }

    void add(QWidget* area, std::function<QWidget*()> taker)
    {
        m_areas.removeIf([](const Area& known) { return !known.view; });
        m_areas.append({area, std::move(taker)});
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // The type first: the filter also sees objects half destroyed, which only such events reach.
        const QEvent::Type type = event->type();
        if ((type == QEvent::Hide || type == QEvent::Show) && !event->spontaneous() && watched->isWidgetType()) {
            if (type == QEvent::Hide)
                hidden(static_cast<QWidget*>(watched));
            else
                shown(static_cast<QWidget*>(watched));
        }
        return false;
    }

private:
    struct Area
    {
        QPointer<QWidget> view;
        std::function<QWidget*()> taker;
    };

    using QObject::QObject;

    // The innermost area around the view (and not the view itself), none when it is in no area.
    const Area* areaAround(const QWidget* view)
    {
        m_areas.removeIf([](const Area& known) { return !known.view; });
        const Area* found = nullptr;
        for (const Area& area : m_areas) {
            if (area.view && area.view != view && area.view->isAncestorOf(view)
                && (!found || found->view->isAncestorOf(area.view)))
                found = &area;
        }
        return found;
    }

    QWidget* takerOf(const Area& area) const
    {
        QWidget* taker = area.taker ? area.taker() : KeysHandOver::clickKeysOf(area.view);
        return taker && taker->isVisible() ? taker : nullptr;
    }

    // Qt sends the hide first and moves the keys after it; taken here, they never reach the Tab
    // chain. Nothing is done while the window itself is hidden: what it shows again is what it had.
    void hidden(QWidget* view)
    {
        if (view->isWindow() || !view->window()->isVisible())
            return;
        QWidget* keys = view->window()->focusWidget();
        if (!keys || !inside(keys, view))
            return;
        const Area* area = areaAround(view);
        if (!area)
            return;
        if (QWidget* taker = takerOf(*area); taker && !inside(taker, view)) {
            taker->setFocus(Qt::OtherFocusReason);
            return;
        }
        // Nothing on show takes them yet: the area holds them until a view inside it shows.
        area->view->setFocus(Qt::OtherFocusReason);
    }

    void shown(QWidget* view)
    {
        // Every view of the program that shows passes here: first whether an area holds keys at all.
        const QWidget* keys = view->window()->focusWidget();
        const bool areaHoldsKeys =
            keys && std::any_of(m_areas.cbegin(), m_areas.cend(), [keys](const Area& area) { return area.view == keys; });
        if (!areaHoldsKeys)
            return;
        const Area* area = areaAround(view);
        if (!area || area->view != keys || m_waiting.contains(area->view))
            return;
        // Once the view that shows has its place and the rest of what showed it is done (an error
        // view shown over the page that just came back).
        m_waiting.insert(area->view);
        QMetaObject::invokeMethod(
            this,
            [this, waiting = area->view.data(), holder = area->view] {
                m_waiting.remove(waiting);
                if (!holder || holder->window()->focusWidget() != holder)
                    return;
                for (const Area& known : std::as_const(m_areas)) {
                    if (known.view != holder)
                        continue;
                    if (QWidget* taker = takerOf(known))
                        taker->setFocus(Qt::OtherFocusReason);
                    return;
                }
            },
            Qt::QueuedConnection);
    }

    QList<Area> m_areas;
    QSet<QWidget*> m_waiting;
};

}  // namespace

namespace KeysHandOver {

void addArea(QWidget* area, std::function<QWidget*()> taker)
{
    HandOver::instance().add(area, std::move(taker));
}

QWidget* clickKeysOf(QWidget* view)
{
    if (view->focusPolicy() & Qt::ClickFocus)
        return view;
    // In Tab order, as the reader would reach them, not in the order they were made.
    for (QWidget* candidate = view->nextInFocusChain(); candidate != view; candidate = candidate->nextInFocusChain()) {
        if (view->isAncestorOf(candidate) && (candidate->focusPolicy() & Qt::ClickFocus) && candidate->isEnabled()
            && candidate->isVisibleTo(view))
            return candidate;
    }
    return view;
}

}  // namespace KeysHandOver
