#pragma once

// Real mouse clicks into a web view's page, for the test programs that show web pages.

#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <optional>

// The middle of the first element the selector finds in the view's page, in the view's
// coordinates, scrolled into sight first when it is out of it; none when there is no such element
// or the page did not answer.
inline std::optional<QPointF> elementCentre(QWebEngineView* view, const QString& selector)
{
    QString quoted = selector;
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('\''), QStringLiteral("\\'"));
    QVariantList centre;
    bool done = false;
    view->page()->runJavaScript(QStringLiteral("(function(){var e=document.querySelector('%1');if(!e)return null;"
                                               "var r=e.getBoundingClientRect();if(r.top<0||r.bottom>innerHeight){"
                                               "e.scrollIntoView({block:'center'});r=e.getBoundingClientRect();}"
                                               "return [r.left+r.width/2,r.top+r.height/2];})()")
                                    .arg(quoted),
                                [&](const QVariant& value) {
                                    centre = value.toList();
                                    done = true;
                                });
    waitUntil([&] { return done; }, 30000);
    if (centre.size() != 2)
        return std::nullopt;
    return QPointF(centre.at(0).toDouble(), centre.at(1).toDouble());
}

// Presses and releases the mouse button at the point of the view's page.
inline bool clickAt(QWebEngineView* view, const QPointF& point, Qt::MouseButton button = Qt::LeftButton)
{
    QWidget* target = view->focusProxy();
    if (!target)
        return false;
    const QPointF global = target->mapToGlobal(point);
    QMouseEvent press(QEvent::MouseButtonPress, point, global, button, button, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, point, global, button, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
    QCoreApplication::sendEvent(target, &release);
    return true;
}

// A real mouse click (a user gesture, unlike a script's click()) in the middle of the first element
// the selector finds in the view's page, scrolled into sight first when it is out of it; false when
// there is none or the page did not answer.
inline bool clickElement(QWebEngineView* view, const QString& selector, Qt::MouseButton button = Qt::LeftButton)
{
    const std::optional<QPointF> centre = elementCentre(view, selector);
    return centre && clickAt(view, *centre, button);
}
