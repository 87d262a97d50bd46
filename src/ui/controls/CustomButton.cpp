#include "ui/controls/CustomButton.h"

#include "ui/controls/ImageNamed.h"
#include "ui/controls/ListRowColours.h"

#include "foundation/GlobalValues.h"

#include <QPainter>
#include <QPixmap>
#include <QStyleOptionButton>
#include <QStylePainter>

CustomButton::CustomButton(QWidget* parent) : QPushButton(parent)
{
    // As a toolbar button: a click leaves the keys where they were (the list the reader is
    // reading); Tab still reaches it.
    setFocusPolicy(Qt::TabFocus);
}

namespace {

// The ring that tells where the keys are: the program's red by day, a lighter red by night, with
// a thin line of the rows' own background inside it, so it reads on bars, rows and pictures alike.
void paintFocusMark(QPainter& painter, const QRect& rect, bool night)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(night ? QColor(255, 120, 110) : QColor(210, 34, 34), 2));
    painter.drawRect(QRectF(rect).adjusted(1, 1, -1, -1));
    painter.setPen(QPen(ListRowColours::background(night, false), 1));
    painter.drawRect(QRectF(rect).adjusted(2.5, 2.5, -2.5, -2.5));
    painter.restore();
}

// A borderless titled button of bezel style 1; the two title makers differ only in its type.
CustomButton* borderlessTitled(const QString& title, int buttonType, QWidget* parent)
{
    auto* button = new CustomButton(parent);
    button->setText(title);
    button->setBordered(false);
    button->setBezelStyle(1);
    button->setButtonType(buttonType);
    return button;
}

}  // namespace

CustomButton* CustomButton::initWithTitle(const QString& title, QWidget* parent)
{
    return borderlessTitled(title, NSMomentaryLightButton, parent);
}

CustomButton* CustomButton::initWithAttributedTitle(const QString& attributedTitle, QWidget* parent)
{
    return borderlessTitled(attributedTitle, NSToggleButton, parent);
}

CustomButton* CustomButton::initWithTitleBest(const QString& title, QWidget* parent)
{
    auto* button = new CustomButton(parent);
    button->setText(title);
    button->setBezelStyle(1);
    return button;
}

CustomButton* CustomButton::initWithImagePosition(int imagePosition, const QString& imageName, bool bordered,
                                                  int bezelStyle, QWidget* parent)
{
    auto* button = new CustomButton(parent);
    button->setImagePosition(imagePosition);
    button->setImageNamed(imageName);
    button->setBordered(bordered);
    button->setBezelStyle(bezelStyle);
    button->setButtonType(NSMomentaryLightButton);
    return button;
}

void CustomButton::addTarget(QObject* target, std::function<void()> action)
{
    if (m_actionConnection)
        disconnect(m_actionConnection);
    m_target = target;
    if (!target || !action)
        return;
    // The target is the connection's context: once it is gone, clicks reach nobody.
    m_actionConnection = connect(this, &QPushButton::clicked, target, [action = std::move(action)] { action(); });
}

void CustomButton::setButtonType(int type)
{
    m_buttonType = type;
    setCheckable(type == NSToggleButton);
}

void CustomButton::setImageNamed(const QString& name)
{
    m_imageName = name;
    const QPixmap pixmap = imageNamed(name);
    if (pixmap.isNull()) {
        setIcon(QIcon());
        return;
    }
    setIcon(QIcon(pixmap));
    setIconSize(pixmap.deviceIndependentSize().toSize());
}

void CustomButton::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    // One mark, the program's: the style's own focus frame shows only in some looks and only after
    // certain ways of moving the keys.
    option.state &= ~QStyle::State_HasFocus;
    painter.drawControl(QStyle::CE_PushButton, option);
    if (hasFocus())
        paintFocusMark(painter, rect(), gThemeMode == 2);
}
