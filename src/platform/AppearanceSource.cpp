#include "platform/AppearanceSource.h"

#include <utility>

namespace {

std::mutex& currentMutex()
{
    static std::mutex m;
    return m;
}

std::shared_ptr<AppearanceSource>& currentSource()
{
    static std::shared_ptr<AppearanceSource> source = std::make_shared<FakeAppearanceSource>(false);
    return source;
}

}  // namespace

void AppearanceSource::setChangeCallback(ChangeCallback callback)
{
    std::lock_guard lock(m_mutex);
    m_callback = std::move(callback);
}

void AppearanceSource::notifyChanged()
{
    ChangeCallback callback;
    {
        std::lock_guard lock(m_mutex);
        callback = m_callback;
    }
    if (callback)
        callback();
}

std::shared_ptr<AppearanceSource> AppearanceSource::current()
{
    std::lock_guard lock(currentMutex());
    return currentSource();
}

void AppearanceSource::setCurrent(std::shared_ptr<AppearanceSource> source)
{
    if (!source)
        source = std::make_shared<FakeAppearanceSource>(false);
    std::shared_ptr<AppearanceSource> previous;
    {
        std::lock_guard lock(currentMutex());
        previous = std::exchange(currentSource(), std::move(source));
    }
    // The source let go speaks to nobody any more.
    if (previous)
        previous->setChangeCallback({});
}
