#pragma once

#include <functional>
#include <memory>
#include <mutex>

// Where the system's light or dark appearance comes from. The program installs the desktop's
// source at start-up; tests install a FakeAppearanceSource. Callbacks run on the main thread.
class AppearanceSource
{
public:
    using ChangeCallback = std::function<void()>;

    virtual ~AppearanceSource() = default;

    // Whether the user's appearance is dark now.
    virtual bool isDark() = 0;
    // The callback runs each time the system says the appearance setting may have changed
    // (it may not have: listeners compare). One callback per source; a new one replaces it.
    void setChangeCallback(ChangeCallback callback);

    // The source in use (a light-only fake until one is installed).
    static std::shared_ptr<AppearanceSource> current();
    static void setCurrent(std::shared_ptr<AppearanceSource> source);

protected:
    // For subclasses: tells the callback that the setting may have changed.
    void notifyChanged();

private:
    std::mutex m_mutex;
    ChangeCallback m_callback;
};

// A source whose answer tests set; `announce` plays the system's change notice.
class FakeAppearanceSource : public AppearanceSource
{
public:
    explicit FakeAppearanceSource(bool dark = false) : m_dark(dark) {}
    bool isDark() override { return m_dark; }
    void setDark(bool dark) { m_dark = dark; }
    void announce() { notifyChanged(); }

private:
    bool m_dark;
};
