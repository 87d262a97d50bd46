#include "ui/controls/WindowKeys.h"

#include <QKeySequence>
#include <QShortcut>
#include <QWidget>

void closeOnWindowKeys(QWidget* window)
{
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::Key_Escape)}) {
        auto* shortcut = new QShortcut(keys, window);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, window, &QWidget::close);
    }
}
