#pragma once

#include <QPointer>
#include <QtGlobal>

#include <utility>

// Numbers the attempts at one piece of work of an object (a refresh, a page load): each new
// attempt, and each giving up, takes the next number, so that a reply of an attempt given up
// finds a newer one running and changes nothing.
class Attempts {
public:
    // Starts an attempt (or gives the running one up) and returns its number.
    quint64 next() { return ++m_current; }
    quint64 current() const { return m_current; }

    // A reply handler that calls work(owner, reply...) only while owner lives and attempt is
    // still the newest; this counter must be a member of owner.
    template <typename Owner, typename Work>
    auto guard(Owner* owner, quint64 attempt, Work work) const
    {
        return [self = QPointer<Owner>(owner), counter = this, attempt, work = std::move(work)](const auto&... reply) {
            if (self && counter->m_current == attempt)
                work(*self, reply...);
        };
    }

private:
    quint64 m_current = 0;
};
