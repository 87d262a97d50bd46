#include "platform/TouchBar.h"

#include <algorithm>
#include <mutex>

const QString TouchBar::kOtherItemsProxy = QStringLiteral("platform.touchbar.otherItemsProxy");
const QString TouchBar::kFixedSpaceLarge = QStringLiteral("platform.touchbar.fixedSpaceLarge");

void SliderTouchBarItem::slideTo(double value)
{
    doubleValue = std::clamp(value, minValue, maxValue);
    if (action)
        action(*this);
}

void TouchBar::setDelegate(TouchBarDelegate* delegate)
{
    m_delegate = delegate;
    m_delegateObject = dynamic_cast<QObject*>(delegate);
    m_delegateIsObject = !m_delegateObject.isNull();
}

TouchBarDelegate* TouchBar::delegate() const
{
    if (m_delegateIsObject && m_delegateObject.isNull())
        return nullptr;
    return m_delegate;
}

TouchBarItemPtr TouchBar::itemForIdentifier(const QString& identifier)
{
    if (const auto kept = m_items.constFind(identifier); kept != m_items.constEnd())
        return *kept;
    if (identifier == kOtherItemsProxy || identifier == kFixedSpaceLarge)
        return nullptr;
    TouchBarDelegate* maker = delegate();
    TouchBarItemPtr item = maker != nullptr ? maker->touchBar(*this, identifier) : nullptr;
    if (item)
        m_items.insert(identifier, item);
    return item;
}

QList<TouchBarItemPtr> TouchBar::defaultItems()
{
    QList<TouchBarItemPtr> items;
    for (const QString& identifier : defaultItemIdentifiers) {
        if (TouchBarItemPtr item = itemForIdentifier(identifier))
            items.append(item);
    }
    return items;
}

namespace {

std::mutex gServiceMutex;
std::shared_ptr<TouchBarService> gService;  // guarded by gServiceMutex

}  // namespace

std::shared_ptr<TouchBarService> TouchBarService::shared()
{
    std::lock_guard lock(gServiceMutex);
    if (!gService)
        gService = std::make_shared<LocalTouchBarService>();
    return gService;
}

void TouchBarService::install(std::shared_ptr<TouchBarService> service)
{
    std::shared_ptr<TouchBarService> replaced;
    {
        std::lock_guard lock(gServiceMutex);
        replaced = std::exchange(gService, std::move(service));
    }
}

void LocalTouchBarService::providerShown(TouchBarProvider& provider)
{
    if (m_bars.contains(&provider))
        return;
    std::shared_ptr<TouchBar> bar = provider.makeTouchBar();
    if (!bar)
        return;
    // A platform with a Touch Bar makes the default items to show them.
    bar->defaultItems();
    m_bars.insert(&provider, bar);
}

void LocalTouchBarService::providerGone(TouchBarProvider& provider)
{
    m_bars.remove(&provider);
}

std::shared_ptr<TouchBar> LocalTouchBarService::touchBarOf(const TouchBarProvider& provider) const
{
    return m_bars.value(&provider);
}
