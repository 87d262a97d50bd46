#include "LoopbackHttpServer.h"

#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QMutexLocker>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpServer>
#include <QThread>
#include <QTimer>

#include <optional>
#include <utility>

namespace {

// A request head larger than this is not a test's request; the connection is dropped.
constexpr qsizetype kMaxHeadBytes = 64 * 1024;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 307: return "Temporary Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

bool hasHeader(const LoopbackHeaders& headers, const QByteArray& name)
{
    for (const auto& field : headers) {
        if (field.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool statusHasNoBody(int status)
{
    return (status >= 100 && status < 200) || status == 204 || status == 304;
}

}  // namespace

QByteArray LoopbackRequest::header(const QByteArray& name) const
{
    for (const auto& field : headers) {
        if (field.first.compare(name, Qt::CaseInsensitive) == 0)
            return field.second;
    }
    return QByteArray();
}

LoopbackReply LoopbackReply::text(int status, const QByteArray& body, const QByteArray& contentType)
{
    LoopbackReply reply;
    reply.status = status;
    reply.body = body;
    reply.headers.append({"Content-Type", contentType});
    return reply;
}

LoopbackReply LoopbackReply::silent()
{
    LoopbackReply reply;
    reply.mode = Mode::Silent;
    return reply;
}

LoopbackReply LoopbackReply::closeConnection()
{
    LoopbackReply reply;
    reply.mode = Mode::Close;
    return reply;
}

LoopbackReply& LoopbackReply::withHeader(const QByteArray& name, const QByteArray& value)
{
    headers.append({name, value});
    return *this;
}

// ---------------------------------------------------------------------------------------------

struct LoopbackHttpServer::Shared
{
    mutable QMutex mutex;
    QHash<QPair<QByteArray, QString>, Handler> routes;  // guarded by mutex
    QList<LoopbackRequest> log;                         // guarded by mutex

    std::optional<Handler> handlerFor(const QByteArray& method, const QString& path) const
    {
        QMutexLocker lock(&mutex);
        const auto it = routes.constFind({method, path});
        if (it == routes.constEnd())
            return std::nullopt;
        return *it;
    }

    // The reply for a request: its own script, the GET script for a HEAD, else 404.
    LoopbackReply replyFor(const LoopbackRequest& request) const
    {
        if (std::optional<Handler> handler = handlerFor(request.method, request.path))
            return (*handler)(request);
        if (request.method == "HEAD") {
            if (std::optional<Handler> handler = handlerFor("GET", request.path))
                return (*handler)(request);
        }
        return LoopbackReply::text(404, "Not Found");
    }
};

namespace {

// One client connection: reads requests one after another and answers each in turn.
class Connection : public QObject
{
public:
    Connection(QTcpSocket* socket, std::function<LoopbackReply(const LoopbackRequest&)> decide,
               std::function<void(const LoopbackRequest&)> log, QObject* parent)
        : QObject(parent), m_socket(socket), m_decide(std::move(decide)), m_log(std::move(log))
    {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this] { onReadyRead(); });
        connect(socket, &QTcpSocket::disconnected, this, [this] { deleteLater(); });
    }

private:
    void onReadyRead()
    {
        m_buffer.append(m_socket->readAll());
        processBuffer();
    }

    void processBuffer()
    {
        while (!m_busy && !m_done) {
            std::optional<LoopbackRequest> request = takeRequest();
            if (!request)
                return;
            m_log(*request);
            answer(*request, m_decide(*request));
        }
    }

    // The next whole request from the buffer, or nothing yet. A malformed one ends the connection.
    std::optional<LoopbackRequest> takeRequest()
    {
        const qsizetype headEnd = m_buffer.indexOf("\r\n\r\n");
        if (headEnd < 0) {
            if (m_buffer.size() > kMaxHeadBytes)
                fail();
            return std::nullopt;
        }
        const QList<QByteArray> lines = m_buffer.left(headEnd).split('\n');
        const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
        if (requestLine.size() != 3) {
            fail();
            return std::nullopt;
        }
        LoopbackRequest request;
        request.method = requestLine[0];
        const QByteArray target = requestLine[1];
        const qsizetype q = target.indexOf('?');
        request.path = QString::fromLatin1(q < 0 ? target : target.left(q));
        if (q >= 0)
            request.query = QString::fromLatin1(target.mid(q + 1));
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon > 0)
                request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
        }

        qsizetype bodyStart = headEnd + 4;
        if (request.header("Transfer-Encoding").toLower().contains("chunked")) {
            std::optional<qsizetype> end = decodeChunkedBody(bodyStart, request.body);
            if (!end)
                return std::nullopt;
            m_buffer.remove(0, *end);
        } else {
            bool ok = true;
            const QByteArray lengthText = request.header("Content-Length");
            const qsizetype length = lengthText.isNull() ? 0 : lengthText.toLongLong(&ok);
            if (!ok || length < 0) {
                fail();
                return std::nullopt;
            }
            if (m_buffer.size() < bodyStart + length)
                return std::nullopt;
            request.body = m_buffer.mid(bodyStart, length);
            m_buffer.remove(0, bodyStart + length);
        }
        m_closeAfterReply = request.header("Connection").toLower() == "close";
        return request;
    }

    // Decodes a chunked body starting at `from`; the offset just past it, or nothing when it is
    // not complete yet.
    std::optional<qsizetype> decodeChunkedBody(qsizetype from, QByteArray& body)
    {
        QByteArray decoded;
        qsizetype pos = from;
        for (;;) {
            const qsizetype lineEnd = m_buffer.indexOf("\r\n", pos);
            if (lineEnd < 0)
                return std::nullopt;
            bool ok = false;
            const qsizetype size = m_buffer.mid(pos, lineEnd - pos).split(';').first().trimmed().toLongLong(&ok, 16);
            if (!ok || size < 0) {
                fail();
                return std::nullopt;
            }
            pos = lineEnd + 2;
            if (size == 0) {
                // Trailer fields, then an empty line.
                const qsizetype end = m_buffer.indexOf("\r\n\r\n", pos - 2);
                if (end < 0)
                    return std::nullopt;
                body = decoded;
                return end + 4;
            }
            if (m_buffer.size() < pos + size + 2)
                return std::nullopt;
            decoded.append(m_buffer.mid(pos, size));
            pos += size + 2;
        }
    }

    void fail()
    {
        m_done = true;
        m_socket->write("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        m_socket->disconnectFromHost();
    }

    void answer(const LoopbackRequest& request, const LoopbackReply& reply)
    {
        switch (reply.mode) {
        case LoopbackReply::Mode::Silent:
            m_done = true;  // keep the connection open and never say a word
            return;
        case LoopbackReply::Mode::Close:
            m_done = true;
            m_socket->disconnectFromHost();
            return;
        case LoopbackReply::Mode::Answer:
            break;
        }
        m_busy = true;
        const bool head = request.method == "HEAD";
        QTimer::singleShot(reply.delayMs, this, [this, reply, head] { sendHead(reply, head); });
    }

    void sendHead(const LoopbackReply& reply, bool head)
    {
        const bool chunked = reply.chunkSize > 0 && !statusHasNoBody(reply.status);
        QByteArray out = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
        for (const auto& field : reply.headers)
            out += field.first + ": " + field.second + "\r\n";
        if (chunked && !hasHeader(reply.headers, "Transfer-Encoding"))
            out += "Transfer-Encoding: chunked\r\n";
        if (!chunked && !statusHasNoBody(reply.status) && !hasHeader(reply.headers, "Content-Length"))
            out += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
        if (!hasHeader(reply.headers, "Connection"))
            out += m_closeAfterReply ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
        out += "\r\n";
        m_socket->write(out);

        if (head || statusHasNoBody(reply.status)) {
            finishReply();
        } else if (!chunked) {
            m_socket->write(reply.body);
            finishReply();
        } else {
            sendChunk(reply, 0);
        }
    }

    void sendChunk(const LoopbackReply& reply, qsizetype offset)
    {
        if (offset >= reply.body.size()) {
            m_socket->write("0\r\n\r\n");
            finishReply();
            return;
        }
        const QByteArray piece = reply.body.mid(offset, reply.chunkSize);
        m_socket->write(QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n");
        const qsizetype next = offset + piece.size();
        QTimer::singleShot(reply.chunkDelayMs, this, [this, reply, next] { sendChunk(reply, next); });
    }

    void finishReply()
    {
        m_busy = false;
        if (m_closeAfterReply) {
            m_done = true;
            m_socket->disconnectFromHost();
            return;
        }
        processBuffer();
    }

    QTcpSocket* m_socket;
    std::function<LoopbackReply(const LoopbackRequest&)> m_decide;
    std::function<void(const LoopbackRequest&)> m_log;
    QByteArray m_buffer;
    bool m_busy = false;             // a reply is being sent
    bool m_done = false;             // nothing more is answered on this connection
    bool m_closeAfterReply = false;  // the client asked for Connection: close
};

}  // namespace

// Lives on the server's thread; makes a connection object per client.
class LoopbackHttpServer::Worker : public QTcpServer
{
public:
    Worker(std::shared_ptr<Shared> shared, std::optional<QSslConfiguration> tls)
        : m_shared(std::move(shared)), m_tls(std::move(tls))
    {
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        QTcpSocket* socket = nullptr;
        if (m_tls) {
            auto* ssl = new QSslSocket;
            ssl->setSslConfiguration(*m_tls);
            socket = ssl;
        } else {
            socket = new QTcpSocket;
        }
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        std::shared_ptr<Shared> shared = m_shared;
        new Connection(
            socket, [shared](const LoopbackRequest& request) { return shared->replyFor(request); },
            [shared](const LoopbackRequest& request) {
                QMutexLocker lock(&shared->mutex);
                shared->log.append(request);
            },
            this);
        if (m_tls)
            static_cast<QSslSocket*>(socket)->startServerEncryption();
    }

private:
    std::shared_ptr<Shared> m_shared;
    std::optional<QSslConfiguration> m_tls;
};

// ---------------------------------------------------------------------------------------------

LoopbackHttpServer::LoopbackHttpServer()
{
    start({}, QSslKey());
}

LoopbackHttpServer::LoopbackHttpServer(const QList<QSslCertificate>& chain, const QSslKey& key)
{
    m_tls = true;
    start(chain, key);
}

void LoopbackHttpServer::start(const QList<QSslCertificate>& chain, const QSslKey& key)
{
    m_shared = std::make_shared<Shared>();
    std::optional<QSslConfiguration> tls;
    if (m_tls) {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificateChain(chain);
        configuration.setPrivateKey(key);
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        tls = configuration;
    }
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("loopback-http"));
    m_worker = new Worker(m_shared, tls);
    m_worker->moveToThread(m_thread);
    m_thread->start();
    QMetaObject::invokeMethod(
        m_worker,
        [this] {
            if (m_worker->listen(QHostAddress(QHostAddress::LocalHost), 0))
                m_port = m_worker->serverPort();
        },
        Qt::BlockingQueuedConnection);
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    // Connections and their sockets are children of the worker and go with it, on their thread.
    QMetaObject::invokeMethod(m_worker, [this] { delete m_worker; }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
}

quint16 LoopbackHttpServer::port() const
{
    return m_port;
}

bool LoopbackHttpServer::isTls() const
{
    return m_tls;
}

QUrl LoopbackHttpServer::url(const QString& pathAndQuery) const
{
    const QString scheme = m_tls ? QStringLiteral("https") : QStringLiteral("http");
    return QUrl(QStringLiteral("%1://127.0.0.1:%2%3").arg(scheme).arg(m_port).arg(pathAndQuery));
}

void LoopbackHttpServer::route(const QByteArray& method, const QString& path, const LoopbackReply& reply)
{
    route(method, path, [reply](const LoopbackRequest&) { return reply; });
}

void LoopbackHttpServer::route(const QByteArray& method, const QString& path, Handler handler)
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->routes.insert({method, path}, std::move(handler));
}

QList<LoopbackRequest> LoopbackHttpServer::requests() const
{
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->log;
}

qsizetype LoopbackHttpServer::requestCount() const
{
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->log.size();
}

void LoopbackHttpServer::clearRequests()
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->log.clear();
}

quint16 LoopbackHttpServer::closedPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress(QHostAddress::LocalHost), 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}
