#pragma once

#include "HttpMessage.h"

#include <QSslConfiguration>

#include <functional>
#include <memory>
#include <optional>
#include <thread>

class QEventLoop;

// An HTTP/1.1 server on 127.0.0.1 (never any other address), on its own thread, that answers
// every request through one handler. It also serves as an HTTP proxy's front: absolute-form
// targets are read into host and path, and CONNECT host:port either opens a tunnel in which the
// server itself speaks TLS with the configuration the tunnel policy gives, or is refused with
// 502. It never opens a connection of its own. Keep-alive connections are served one request
// after another.
class HttpServer
{
public:
    // Decides the reply on the server's thread; must not wait for another thread.
    using Handler = std::function<HttpReply(const HttpRequest&)>;
    // The TLS configuration of a tunnel to host:port, or nothing to refuse the CONNECT (502).
    using TunnelPolicy = std::function<std::optional<QSslConfiguration>(const QString& host, int port)>;
    // Told of every CONNECT with the status it got (200 or 502).
    using TunnelObserver = std::function<void(const HttpRequest& request, int status)>;

    struct Options
    {
        Handler handler;
        std::optional<QSslConfiguration> tls;  // set: every connection speaks TLS from the start
        TunnelPolicy tunnelPolicy;             // unset: every CONNECT is refused
        TunnelObserver tunnelObserver;
        quint16 port = 0;                      // 0: any free port
    };

    explicit HttpServer(Options options);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // 0 when the server could not listen.
    quint16 port() const { return m_port; }
    bool isTls() const { return m_tls; }

private:
    class Worker;

    // A plain thread, joined: a QThread's wait() returns before the thread's own clean-up
    // (OpenSSL's per-thread state among it) has run, which may then race the process's exit.
    std::thread m_thread;
    Worker* m_worker = nullptr;
    QEventLoop* m_loop = nullptr;
    quint16 m_port = 0;
    bool m_tls = false;
};
