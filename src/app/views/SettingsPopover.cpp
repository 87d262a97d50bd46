#include "app/views/SettingsPopover.h"

#include "ui/controls/LightPalette.h"
#include "ui/controls/PopoverClicks.h"

#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

SettingsPopover::SettingsPopover(QWidget* parent) : QWidget(parent, Qt::Popup)
{
    setObjectName(QStringLiteral("SettingsPopover"));
    // Its own white with its own dark texts, whatever the desktop's colour scheme (a style sheet
    // would give the children the desktop's colours again).
    setPalette(lightPalette());
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* page = new QWidget(this);
    page->setFixedSize(240, 200);
    setContent(page);
}

void SettingsPopover::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    QPainter painter(this);
    painter.setPen(QColor(0xd0, 0xd0, 0xd0));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void SettingsPopover::setContent(QWidget* page)
{
    if (m_content != nullptr)
        m_content->deleteLater();
    m_content = page;
    if (page != nullptr) {
        page->setParent(this);
        layout()->addWidget(page);
    }
}

QRect SettingsPopover::placeBeside(const QRect& anchor, const QSize& size, const QRect& available)
{
    int x = anchor.right() + 1;
    if (x + size.width() > available.right() + 1 && anchor.left() - size.width() >= available.left())
        x = anchor.left() - size.width();
    x = std::max(std::min(x, available.right() + 1 - size.width()), available.left());
    int y = anchor.center().y() - size.height() / 2;
    y = std::max(std::min(y, available.bottom() + 1 - size.height()), available.top());
    return QRect(QPoint(x, y), size);
}

void SettingsPopover::popUpBeside(QWidget* anchor)
{
    adjustSize();
    const QRect anchorRect(anchor->mapToGlobal(QPoint(0, 0)), anchor->size());
    QScreen* screen = anchor->screen();
    const QRect available = screen != nullptr ? screen->availableGeometry() : QRect(anchorRect.topLeft(), QSize(1 << 20, 1 << 20));
    move(placeBeside(anchorRect, size(), available).topLeft());
    passClosingClickThrough(this, anchor);
    show();
    // A window system may give the shown window a frame or shift it: the frame is what must fit.
    const QRect frame = frameGeometry();
    const QPoint shift = placeBeside(anchorRect, frame.size(), available).topLeft() - frame.topLeft();
    if (!shift.isNull())
        move(pos() + shift);
}
