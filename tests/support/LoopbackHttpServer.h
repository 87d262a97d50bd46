#pragma once

#include "HttpMessage.h"

#include <QList>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <source_location>

class HttpServer;

// The tests' names for the HTTP core's messages (tools/httpcore).
using LoopbackHeaders = HttpHeaders;
using LoopbackRequest = HttpRequest;
using LoopbackReply = HttpReply;

// An HTTP/1.1 server on 127.0.0.1 (never any other address), on a free port, running on its own
// thread so that the test's thread can spin its event loop waiting for clients. Replies are
// scripted per method and path; anything unscripted gets 404. HEAD without a script of its own
// gets the GET script's status and headers without the body. Keep-alive connections are served
// one request after another. Every request is logged before it is answered.
class LoopbackHttpServer
{
public:
    // Decides the reply on the server's thread; must not wait for the test's thread.
    using Handler = std::function<LoopbackReply(const LoopbackRequest&)>;

    // Plain HTTP.
    LoopbackHttpServer();
    // HTTPS: presents the chain (leaf first) with the leaf's key; asks no client certificate.
    LoopbackHttpServer(const QList<QSslCertificate>& chain, const QSslKey& key);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    // 0 when the server could not listen.
    quint16 port() const;
    bool isTls() const;
    // "http://127.0.0.1:<port>" (or https) followed by the path, which may carry a query.
    QUrl url(const QString& pathAndQuery = QStringLiteral("/")) const;

    // A later script for the same method and path replaces the earlier one.
    void route(const QByteArray& method, const QString& path, const LoopbackReply& reply);
    void route(const QByteArray& method, const QString& path, Handler handler);

    // The log, oldest first; safe to read while requests arrive.
    QList<LoopbackRequest> requests() const;
    qsizetype requestCount() const;
    void clearRequests();

    // A port on 127.0.0.1 on which nothing listens (it was free a moment ago).
    static quint16 closedPort();

    // Asks the server, on a connection of its own, for a reply it sends after delayMs, and waits
    // (spinning the event loop) until that reply is in. A reply the server began to hold back
    // before, for no longer, has been sent by then: the proof that a late reply has come before a
    // check that it changed nothing. The request is neither routed nor logged.
    bool waitForReplyAfter(int delayMs, std::source_location where = std::source_location::current());

private:
    struct Shared;

    void start(const QList<QSslCertificate>& chain, const QSslKey& key, bool tls);

    std::shared_ptr<Shared> m_shared;
    std::unique_ptr<HttpServer> m_server;
};
