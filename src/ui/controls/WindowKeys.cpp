#include "ui/controls/WindowKeys.h"

#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QWidget>

void closeOnWindowKeys(QWidget* window)
{
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::Key_Escape)}) {
        auto* shortcut = new QShortcut(keys, window);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, window, &QWidget::close);
    }
}

void buttonsTakeKeysFromTabOnly(QWidget* window)
{
    for (QPushButton* button : window->findChildren<QPushButton*>())
        button->setFocusPolicy(Qt::TabFocus);
}

void openWithKeysOn(QWidget* window, const QShowEvent* event, QWidget* first)
{
    if (event->spontaneous())
        return;
    window->setAttribute(Qt::WA_KeyboardFocusChange);
    if (first)
        first->setFocus(Qt::OtherFocusReason);
}
