#pragma once

#include <QByteArray>
#include <QUrl>

#include <atomic>
#include <memory>
#include <thread>

class QEventLoop;

// An HTTP server on 127.0.0.1 whose every reply is a 200 with the given head bytes followed by
// padding that does not end: no Content-Length, no chunks, the connection stays open. It writes
// only as fast as the client reads, and stops by itself after kMaximumBytes or kMaximumSeconds
// per connection, so a client that never gives up still costs a bounded run.
class EndlessBodyServer
{
public:
    static constexpr qint64 kMaximumBytes = 2LL * 1024 * 1024 * 1024;
    static constexpr int kMaximumSeconds = 90;

    EndlessBodyServer(QByteArray contentType, QByteArray head);
    ~EndlessBodyServer();
    EndlessBodyServer(const EndlessBodyServer&) = delete;
    EndlessBodyServer& operator=(const EndlessBodyServer&) = delete;

    QUrl url(const QString& path) const;
    // Body bytes written to every connection so far.
    qint64 bytesSent() const { return m_state->sent; }
    // Connections the client has closed.
    int connectionsClosed() const { return m_state->closed; }

    struct State
    {
        std::atomic<qint64> sent{0};
        std::atomic<int> closed{0};
    };

private:
    class Worker;

    std::shared_ptr<State> m_state = std::make_shared<State>();
    std::thread m_thread;
    QEventLoop* m_loop = nullptr;
    quint16 m_port = 0;
};
