#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// The platform's Touch Bar, as a program sees it: bars of items that the platform asks a window's
// provider for, items made by the bar's delegate, buttons and a slider whose actions the program
// sets. This platform has no Touch Bar: nothing shows the items, but the program's bar is asked
// for and built as a platform with one would, and its actions run when an item is used. Bars,
// items and the local service are used on the main thread only.

class TouchBar;

class TouchBarItem
{
public:
    explicit TouchBarItem(QString identifier) : m_identifier(std::move(identifier)) {}
    virtual ~TouchBarItem() = default;
    const QString& identifier() const { return m_identifier; }
    QString customizationLabel;

private:
    QString m_identifier;
};

using TouchBarItemPtr = std::shared_ptr<TouchBarItem>;

// A button of a custom item. The action gets the button pressed.
struct TouchBarButton
{
    QString title;
    QString imageName;  // empty: no image
    bool imageLeft = false;  // the image left of the title (else the image alone, or the title alone)
    QString bezelColor;      // empty: the platform's own
    std::function<void(TouchBarButton&)> action;

    // What the platform does when the button is touched.
    void press()
    {
        if (action)
            action(*this);
    }
};

// A text label of a custom item.
struct TouchBarLabel
{
    QString text;
};

// An item around a view of the program's: a button or a label.
class CustomTouchBarItem : public TouchBarItem
{
public:
    using TouchBarItem::TouchBarItem;
    std::shared_ptr<TouchBarButton> button;
    std::shared_ptr<TouchBarLabel> label;
};

// Items shown side by side as one.
class GroupTouchBarItem : public TouchBarItem
{
public:
    using TouchBarItem::TouchBarItem;
    QList<TouchBarItemPtr> items;
};

// An image that opens a bar of its own.
class PopoverTouchBarItem : public TouchBarItem
{
public:
    using TouchBarItem::TouchBarItem;
    QString collapsedImageName;
    std::shared_ptr<TouchBar> popoverTouchBar;
};

// A slider with a label. The action gets the slider after its value changed.
class SliderTouchBarItem : public TouchBarItem
{
public:
    using TouchBarItem::TouchBarItem;
    QString label;
    double minValue = 0;
    double maxValue = 1;
    double doubleValue = 0;
    std::function<void(SliderTouchBarItem&)> action;

    // What the platform does when the user moves the slider: the value, within the range, then
    // the action.
    void slideTo(double value);
};

// Makes the items of a bar by identifier; null for an identifier it does not know.
class TouchBarDelegate
{
public:
    virtual ~TouchBarDelegate() = default;
    virtual TouchBarItemPtr touchBar(TouchBar& touchBar, const QString& identifier) = 0;
};

class TouchBar
{
public:
    // Identifiers the platform itself fills.
    static const QString kOtherItemsProxy;
    static const QString kFixedSpaceLarge;

    QString customizationIdentifier;
    QStringList defaultItemIdentifiers;
    QStringList customizationAllowedItemIdentifiers;

    // Held weakly: a delegate that is a QObject and is gone makes no more items.
    void setDelegate(TouchBarDelegate* delegate);
    TouchBarDelegate* delegate() const;

    // The item of the identifier: asked of the delegate once, then kept. Items the platform fills
    // itself (the proxy, spaces) and unknown identifiers give null.
    TouchBarItemPtr itemForIdentifier(const QString& identifier);
    // The default items, in order, as the platform shows them.
    QList<TouchBarItemPtr> defaultItems();

private:
    TouchBarDelegate* m_delegate = nullptr;
    QPointer<QObject> m_delegateObject;
    bool m_delegateIsObject = false;
    QHash<QString, TouchBarItemPtr> m_items;
};

// What the platform asks for a bar: a window's content.
class TouchBarProvider
{
public:
    virtual ~TouchBarProvider() = default;
    virtual std::shared_ptr<TouchBar> makeTouchBar() = 0;
};

// The platform's Touch Bar service. A provider tells it when its window is shown and when it
// goes; the platform asks the provider for its bar when it has a Touch Bar to show it on.
class TouchBarService
{
public:
    virtual ~TouchBarService() = default;
    virtual void providerShown(TouchBarProvider& provider) = 0;
    virtual void providerGone(TouchBarProvider& provider) = 0;
    // The bar the platform has of the provider; null when it asked for none.
    virtual std::shared_ptr<TouchBar> touchBarOf(const TouchBarProvider& provider) const = 0;
    // The application's menu item that lets the user customise the bar, where the platform has it.
    virtual bool respondsToAutomaticCustomizeTouchBarMenuItem() const { return false; }
    virtual bool isAutomaticCustomizeTouchBarMenuItemEnabled() const { return false; }
    virtual void setAutomaticCustomizeTouchBarMenuItemEnabled(bool enabled) { Q_UNUSED(enabled); }

    // The installed service; the platform's own until another is installed.
    static std::shared_ptr<TouchBarService> shared();
    // Installs a service; null puts the platform's own back.
    static void install(std::shared_ptr<TouchBarService> service);
};

// This platform: no Touch Bar shows anything. A shown provider's bar is still asked for, its
// default items made, and kept until the provider goes, so its items act when used.
class LocalTouchBarService : public TouchBarService
{
public:
    void providerShown(TouchBarProvider& provider) override;
    void providerGone(TouchBarProvider& provider) override;
    std::shared_ptr<TouchBar> touchBarOf(const TouchBarProvider& provider) const override;
    // Kept, though no menu shows it here.
    bool respondsToAutomaticCustomizeTouchBarMenuItem() const override { return true; }
    bool isAutomaticCustomizeTouchBarMenuItemEnabled() const override { return m_customizeMenuItemEnabled; }
    void setAutomaticCustomizeTouchBarMenuItemEnabled(bool enabled) override { m_customizeMenuItemEnabled = enabled; }

private:
    QHash<const TouchBarProvider*, std::shared_ptr<TouchBar>> m_bars;
    bool m_customizeMenuItemEnabled = false;
};
