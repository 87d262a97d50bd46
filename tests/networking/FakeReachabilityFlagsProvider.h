#pragma once

#include "networking/ReachabilityFlagsProvider.h"

#include <QList>

#include <memory>
#include <mutex>
#include <optional>

// A reachability object whose flags the test sets. Like the system's, it reports a change to
// its callback only while scheduled.
class FakeReachabilityFlagsProvider : public ReachabilityFlagsProvider
{
public:
    // Nothing: the flags cannot be read.
    explicit FakeReachabilityFlagsProvider(std::optional<SCNetworkReachabilityFlags> flags)
        : m_flags(flags)
    {
    }

    bool getFlags(SCNetworkReachabilityFlags& flags) override
    {
        std::lock_guard lock(m_mutex);
        if (!m_flags)
            return false;
        flags = *m_flags;
        return true;
    }
    bool setCallback(ChangeCallback callback) override
    {
        std::lock_guard lock(m_mutex);
        m_callback = std::move(callback);
        return true;
    }
    bool schedule() override
    {
        std::lock_guard lock(m_mutex);
        m_scheduled = true;
        ++m_scheduleCalls;
        return true;
    }
    void unschedule() override
    {
        std::lock_guard lock(m_mutex);
        m_scheduled = false;
    }

    // Call on the main thread, where the system reports changes.
    void change(std::optional<SCNetworkReachabilityFlags> flags)
    {
        ChangeCallback callback;
        {
            std::lock_guard lock(m_mutex);
            m_flags = flags;
            if (m_scheduled && flags)
                callback = m_callback;
        }
        if (callback)
            callback(*flags);
    }

    bool scheduled() const
    {
        std::lock_guard lock(m_mutex);
        return m_scheduled;
    }
    int scheduleCalls() const
    {
        std::lock_guard lock(m_mutex);
        return m_scheduleCalls;
    }

private:
    mutable std::mutex m_mutex;
    std::optional<SCNetworkReachabilityFlags> m_flags;
    ChangeCallback m_callback;
    bool m_scheduled = false;
    int m_scheduleCalls = 0;
};

// While it lives, every reachability object made is a fake with the given flags; the targets
// asked for are kept.
class ScopedFakeReachability
{
public:
    explicit ScopedFakeReachability(std::optional<SCNetworkReachabilityFlags> flags)
        : m_state(std::make_shared<State>())
    {
        setFlags(flags);
        ReachabilityFlagsProvider::setFactory([state = m_state](const ReachabilityTarget& target) {
            std::lock_guard lock(state->mutex);
            auto provider = std::make_shared<FakeReachabilityFlagsProvider>(state->flags);
            state->targets.append(target);
            state->providers.append(provider);
            return provider;
        });
    }
    ~ScopedFakeReachability() { ReachabilityFlagsProvider::setFactory({}); }
    ScopedFakeReachability(const ScopedFakeReachability&) = delete;
    ScopedFakeReachability& operator=(const ScopedFakeReachability&) = delete;

    // Flags of the objects made from now on.
    void setFlags(std::optional<SCNetworkReachabilityFlags> flags)
    {
        std::lock_guard lock(m_state->mutex);
        m_state->flags = flags;
    }
    QList<ReachabilityTarget> targets() const
    {
        std::lock_guard lock(m_state->mutex);
        return m_state->targets;
    }
    QList<std::shared_ptr<FakeReachabilityFlagsProvider>> providers() const
    {
        std::lock_guard lock(m_state->mutex);
        return m_state->providers;
    }

private:
    struct State
    {
        std::optional<SCNetworkReachabilityFlags> flags;
        mutable std::mutex mutex;
        QList<ReachabilityTarget> targets;
        QList<std::shared_ptr<FakeReachabilityFlagsProvider>> providers;
    };
    std::shared_ptr<State> m_state;
};
