#pragma once

#include "LoopbackHttpServer.h"

#include <condition_variable>
#include <memory>
#include <mutex>

// A reply the server's thread holds back until the test lets it go: the request stays on its way
// however slow the machine. Let go at the latest when this ends, so a failing test never leaves
// the server's thread waiting at its teardown. (The held thread serves nothing else meanwhile.)
class HeldReply
{
public:
    HeldReply() = default;
    ~HeldReply() { release(); }
    HeldReply(const HeldReply&) = delete;
    HeldReply& operator=(const HeldReply&) = delete;

    // The route's handler: answers with the reply once let go.
    LoopbackHttpServer::Handler handler(const LoopbackReply& reply) const
    {
        return [gate = m_gate, reply](const LoopbackRequest&) {
            std::unique_lock lock(gate->mutex);
            gate->opened.wait(lock, [&] { return gate->released; });
            return reply;
        };
    }
    void release()
    {
        {
            std::lock_guard lock(m_gate->mutex);
            m_gate->released = true;
        }
        m_gate->opened.notify_all();
    }

private:
    struct Gate
    {
        std::mutex mutex;
        std::condition_variable opened;
        bool released = false;
    };
    std::shared_ptr<Gate> m_gate = std::make_shared<Gate>();
};
