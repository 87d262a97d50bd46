#include "ui/controls/CustomButton.h"

#include "ui/controls/ImageNamed.h"

#include <QPixmap>

CustomButton::CustomButton(QWidget* parent) : QPushButton(parent)
{
    // As a toolbar button: a click leaves the keys where they were (the list the reader is
    // reading); Tab still reaches it.
    setFocusPolicy(Qt::TabFocus);
}

namespace {

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
