#pragma once

#include <memory>
#include <mutex>
#include <utility>

// The one object of an interface that start-up (or a test) installs and the code of a lower floor
// asks for: `class Shell : public Installed<Shell>` gives Shell::installed() and Shell::install().
// Both may be called from any thread.
//
// Without an installation installed() is null, unless the interface declares
//     static std::shared_ptr<T> makeDefault();
// (private is fine, with `friend class Installed<T>;`): then the first call without one makes the
// default, keeps it as the installed object and returns it, and install(nullptr) puts a fresh
// default back for the next call.
template <class T>
class Installed
{
public:
    static std::shared_ptr<T> installed()
    {
        std::lock_guard lock(s_slot.mutex);
        if constexpr (requires { T::makeDefault(); }) {
            if (!s_slot.object)
                s_slot.object = T::makeDefault();
        }
        return s_slot.object;
    }

    static void install(std::shared_ptr<T> object)
    {
        std::shared_ptr<T> replaced;
        {
            std::lock_guard lock(s_slot.mutex);
            replaced = std::exchange(s_slot.object, std::move(object));
        }
        // The replaced object goes outside the lock, so its destructor may ask for the new one.
    }

private:
    struct Slot
    {
        std::mutex mutex;
        std::shared_ptr<T> object;  // guarded by mutex
    };
    // Made before any dynamic initialisation and gone only after it, like the globals it replaces.
    static constinit inline Slot s_slot{};
};
