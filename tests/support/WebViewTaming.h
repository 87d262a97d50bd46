#pragma once

// What a reader can do to a web view besides following its links: the mouse's back and forward
// buttons, Alt+Left and Alt+Right, Ctrl with the wheel, and the context menus of its elements.
// A view of the program's own pages leaves its page for none of them.

#include "WebClick.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QWebEngineContextMenuRequest>
#include <QWebEngineHistory>
#include <QWheelEvent>

#include <functional>

#include <gtest/gtest.h>

// Runs a script in the view's page and waits for its value (null after thirty seconds).
inline QVariant pageValue(QWebEngineView* view, const QString& script)
{
    QVariant result;
    bool done = false;
    view->page()->runJavaScript(script, [&](const QVariant& value) {
        result = value;
        done = true;
    });
    waitUntil([&] { return done; }, 30000);
    return result;
}

// One right-click: the element, whether its text is selected first, the menu's items in order
// (none: no menu) and what each of them puts on the clipboard (a picture reads "<picture>").
struct MenuCase
{
    QString selector;
    bool selectText = false;
    QStringList items;
    QStringList copied;
};

// Right-clicks the middle of the element; the items of the menu that opened, each triggered in
// turn with what it copied in `copied`. Empty when no menu opened (or no element was found).
inline QStringList menuOn(QWebEngineView* view, const MenuCase& menuCase, QStringList* copied)
{
    if (menuCase.selectText) {
        pageValue(view, QStringLiteral("(function(){var r=document.createRange();r.selectNodeContents(document.querySelector(%1));"
                                       "getSelection().removeAllRanges();getSelection().addRange(r);return 1;})()")
                            .arg(QStringLiteral("'") + menuCase.selector + QStringLiteral("'")));
    }
    const std::optional<QPointF> centre = elementCentre(view, menuCase.selector);
    if (!centre || !clickAt(view, *centre, Qt::RightButton))
        return {};
    // The view hears of the request (one object, moved to each new place) and makes its menu in
    // one go: once the request stands at the point, the menu is up or there is none.
    const QPoint point = centre->toPoint();
    if (!waitUntil([&] {
            const QWebEngineContextMenuRequest* request = view->lastContextMenuRequest();
            return request && request->position() == point;
        }))
        return {};
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QStringList items;
    if (!menu)
        return items;
    QClipboard* clipboard = QGuiApplication::clipboard();
    for (QAction* action : menu->actions()) {
        if (action->isSeparator())
            continue;
        items.append(action->text());
        clipboard->clear();
        action->trigger();
        const auto filled = [&] {
            const QMimeData* data = clipboard->mimeData();
            return data && (data->hasText() || data->hasImage());
        };
        if (!waitUntil(filled, 5000)) {
            copied->append(QString());
            continue;
        }
        const QMimeData* data = clipboard->mimeData();
        copied->append(data->hasImage() ? QStringLiteral("<picture>") : data->text());
    }
    menu->close();
    return items;
}

// Expects the view to stay on its page (the program's last, onScreen() tells it) whatever the
// reader does: its history holds nothing to walk, the mouse's back and forward buttons and
// Alt+Left / Alt+Right move nothing, Ctrl with the wheel leaves the engine's zoom at 1, and each
// menu holds what the case says. The page must be taller than the view.
inline void expectStaysOnItsPage(QWebEngineView* view, const std::function<bool()>& onScreen, const QList<MenuCase>& menus)
{
    ASSERT_TRUE(onScreen());
    // The history is let go of once a page has loaded.
    EXPECT_TRUE(waitUntil([&] { return !view->history()->canGoBack() && !view->history()->canGoForward(); }))
        << "the view's history holds " << view->history()->count() << " pages";

    // The page hears the presses, in order; once it heard the last one, whatever they set off has
    // begun.
    ASSERT_TRUE(pageValue(view, QStringLiteral("window.heard=[];addEventListener('mouseup',function(e){heard.push(e.button)},true);"
                                               "addEventListener('keyup',function(e){if(e.altKey)heard.push(e.key)},true);1"))
                    .isValid());
    // Forward first: a walk back would otherwise be walked forward again.
    const QPointF middle(view->width() / 2.0, view->height() / 2.0);
    clickAt(view, middle, Qt::ForwardButton);
    for (const int key : {Qt::Key_Right, Qt::Key_Left}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::AltModifier);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::AltModifier);
        QCoreApplication::sendEvent(view->focusProxy(), &press);
        QCoreApplication::sendEvent(view->focusProxy(), &release);
    }
    clickAt(view, middle, Qt::BackButton);
    EXPECT_TRUE(waitUntil([&] { return pageValue(view, QStringLiteral("!!window.heard&&heard.indexOf(3)>=0")).toBool(); }))
        << "the page heard: " << qPrintable(pageValue(view, QStringLiteral("JSON.stringify(window.heard)")).toString());
    spin(1000);
    EXPECT_TRUE(onScreen()) << "the view left its page for " << qPrintable(view->url().toString());

    // The plain turn after the one with Ctrl scrolls the page: the one before has been answered.
    for (const Qt::KeyboardModifiers modifiers : {Qt::KeyboardModifiers(Qt::ControlModifier), Qt::KeyboardModifiers()}) {
        QWheelEvent wheel(middle, view->focusProxy()->mapToGlobal(middle), QPoint(), QPoint(0, -120), Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(view->focusProxy(), &wheel);
    }
    EXPECT_TRUE(waitUntil([&] { return pageValue(view, QStringLiteral("scrollY")).toDouble() > 0; }));
    EXPECT_EQ(view->zoomFactor(), 1.0);

    for (const MenuCase& menuCase : menus) {
        SCOPED_TRACE(qPrintable(menuCase.selector));
        QStringList copied;
        EXPECT_EQ(menuOn(view, menuCase, &copied).join(QStringLiteral(" | ")).toStdString(),
                  menuCase.items.join(QStringLiteral(" | ")).toStdString());
        EXPECT_EQ(copied.join(QStringLiteral(" | ")).toStdString(), menuCase.copied.join(QStringLiteral(" | ")).toStdString());
        EXPECT_TRUE(onScreen()) << "the view left its page for " << qPrintable(view->url().toString());
    }
    EXPECT_FALSE(view->history()->canGoBack());
}
