#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

// Header fields as they travel: names and values as bytes, in order, repeats kept.
using LoopbackHeaders = QList<QPair<QByteArray, QByteArray>>;

// One request as the server received it.
struct LoopbackRequest
{
    QByteArray method;
    QString path;   // the target before '?', still percent-encoded as sent
    QString query;  // the target after '?', as sent; null when there is no '?'
    LoopbackHeaders headers;
    QByteArray body;  // decoded from chunks when the request was chunked

    // The first field of that name, ignoring case; null when absent.
    QByteArray header(const QByteArray& name) const;
};

// What the server does with a request.
struct LoopbackReply
{
    enum class Mode {
        Answer,  // send the scripted reply
        Silent,  // read the request and never answer
        Close,   // read the request and close the connection without a word
    };

    int status = 200;
    // Sent as given. The server adds Content-Length (or Transfer-Encoding for chunked replies)
    // and Connection unless the script sets them.
    LoopbackHeaders headers;
    QByteArray body;
    int delayMs = 0;       // wait before the status line
    int chunkSize = 0;     // above 0: a chunked body in pieces of this many bytes
    int chunkDelayMs = 0;  // wait between two pieces of a chunked body
    Mode mode = Mode::Answer;

    static LoopbackReply text(int status, const QByteArray& body,
                              const QByteArray& contentType = "text/plain; charset=utf-8");
    static LoopbackReply silent();
    static LoopbackReply closeConnection();
    LoopbackReply& withHeader(const QByteArray& name, const QByteArray& value);
};

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

private:
    struct Shared;
    class Worker;

    void start(const QList<QSslCertificate>& chain, const QSslKey& key);

    std::shared_ptr<Shared> m_shared;
    class QThread* m_thread = nullptr;
    Worker* m_worker = nullptr;
    quint16 m_port = 0;
    bool m_tls = false;
};
