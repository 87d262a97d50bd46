#pragma once

#include <QMetaObject>
#include <QPointer>
#include <QPushButton>
#include <QString>

#include <functional>

// A plain push button with the four looks the program uses and one-call wiring.
//   not bordered = flat; button type 2 (toggle) = checkable; images come from ":/images/<name>.png".
//   It takes the focus from Tab only, never from a click, and while it holds the keys it shows the
//   program's focus mark (in place of the style's, which some looks draw and others do not).
class CustomButton : public QPushButton
{
    Q_OBJECT
public:
    // Image positions and button types the program uses.
    enum { NSNoImage = 0, NSImageOnly = 1 };
    enum { NSMomentaryLightButton = 0, NSToggleButton = 2 };

    // The base button's defaults.
    explicit CustomButton(QWidget* parent = nullptr);

    // Title; not bordered, bezel style 1, momentary light.
    static CustomButton* initWithTitle(const QString& title, QWidget* parent = nullptr);
    // Rich-text title; not bordered, bezel style 1, toggle.
    static CustomButton* initWithAttributedTitle(const QString& attributedTitle, QWidget* parent = nullptr);
    // Title; bezel style 1, otherwise the base defaults.
    static CustomButton* initWithTitleBest(const QString& title, QWidget* parent = nullptr);
    // The image of that name (none when the resources lack it), at that position; bordered and
    // bezel style as passed; momentary light.
    static CustomButton* initWithImagePosition(int imagePosition, const QString& imageName, bool bordered,
                                               int bezelStyle, QWidget* parent = nullptr);

    // The button's target and action, replacing the previous pair: a click runs the action while
    // the target exists.
    void addTarget(QObject* target, std::function<void()> action);
    template <typename T>
    void addTarget(T* target, void (T::*action)())
    {
        addTarget(target, std::function<void()>([target, action] { (target->*action)(); }));
    }
    template <typename T>
    void addTarget(T* target, void (T::*action)(QObject* sender))
    {
        addTarget(target, std::function<void()>([this, target, action] { (target->*action)(this); }));
    }

    bool isBordered() const { return !isFlat(); }
    void setBordered(bool bordered) { setFlat(!bordered); }
    int bezelStyle() const { return m_bezelStyle; }
    void setBezelStyle(int style) { m_bezelStyle = style; }
    int buttonType() const { return m_buttonType; }
    // 2 (toggle) makes the button checkable.
    void setButtonType(int type);
    int imagePosition() const { return m_imagePosition; }
    void setImagePosition(int position) { m_imagePosition = position; }
    QString imageName() const { return m_imageName; }
    // Loads ":/images/<name>.png" as the button's icon at its natural size; an unknown name leaves
    // the button without an image.
    void setImageNamed(const QString& name);
    bool hasImage() const { return !icon().isNull(); }

    QObject* target() const { return m_target; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_bezelStyle = 0;
    int m_buttonType = NSMomentaryLightButton;
    int m_imagePosition = NSNoImage;
    QString m_imageName;
    QPointer<QObject> m_target;
    QMetaObject::Connection m_actionConnection;
};
