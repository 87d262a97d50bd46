#include "HttpServer.h"

#include <QHostAddress>
#include <QPointer>
#include <QSslSocket>
#include <QTcpServer>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <utility>

namespace {

// A request head larger than this is no client's request; the connection is dropped.
constexpr qsizetype kMaxHeadBytes = 64 * 1024;

// Splits "host[:port]" (IPv6 literals in brackets) into a lower-case host and a port (-1: none).
void splitAuthority(const QString& authority, QString& host, int& port)
{
    port = -1;
    QString rest = authority.trimmed();
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        host = rest.mid(1, close - 1).toLower();
        rest = close < 0 ? QString() : rest.mid(close + 1);
        if (rest.startsWith(QLatin1Char(':')))
            port = rest.mid(1).toInt();
        return;
    }
    const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        bool ok = false;
        const int value = rest.mid(colon + 1).toInt(&ok);
        if (ok) {
            port = value;
            rest = rest.left(colon);
        }
    }
    host = rest.toLower();
}

// One client connection: reads requests one after another and answers each in turn.
class Connection : public QObject
{
public:
    Connection(QSslSocket* socket, const HttpServer::Options& options, bool tls, QObject* parent)
        : QObject(parent), m_socket(socket), m_options(options), m_tls(tls)
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
            std::optional<HttpRequest> request = takeRequest();
            if (!request)
                return;
            if (request->method == "CONNECT") {
                openTunnel(*request);
                return;
            }
            answer(*request, m_options.handler ? m_options.handler(*request) : HttpReply::text(404, "Not Found"));
        }
    }

    // Reads the target into path, query, host and port.
    void readTarget(HttpRequest& request)
    {
        QByteArray target = request.target;
        if (request.method == "CONNECT") {
            splitAuthority(QString::fromLatin1(target), request.host, request.port);
            request.path = QString::fromLatin1(target);
            return;
        }
        const qsizetype schemeEnd = target.indexOf("://");
        if (!target.startsWith('/') && schemeEnd > 0) {
            request.absoluteForm = true;
            request.scheme = QString::fromLatin1(target.left(schemeEnd)).toLower();
            const qsizetype authorityStart = schemeEnd + 3;
            qsizetype pathStart = target.indexOf('/', authorityStart);
            const qsizetype queryStart = target.indexOf('?', authorityStart);
            if (pathStart < 0 || (queryStart >= 0 && queryStart < pathStart))
                pathStart = queryStart;
            const QByteArray authority =
                pathStart < 0 ? target.mid(authorityStart) : target.mid(authorityStart, pathStart - authorityStart);
            splitAuthority(QString::fromLatin1(authority.mid(authority.indexOf('@') + 1)), request.host, request.port);
            target = pathStart < 0 ? QByteArray("/") : target.mid(pathStart);
            if (target.startsWith('?'))
                target.prepend('/');
        } else {
            splitAuthority(QString::fromLatin1(request.header("Host")), request.host, request.port);
            if (m_tunnelHost.size()) {
                // Inside a tunnel the host is the one the tunnel was opened to.
                request.host = m_tunnelHost;
                request.port = m_tunnelPort;
            }
        }
        const qsizetype q = target.indexOf('?');
        request.path = QString::fromLatin1(q < 0 ? target : target.left(q));
        if (q >= 0)
            request.query = QString::fromLatin1(target.mid(q + 1));
    }

    // The next whole request from the buffer, or nothing yet. A malformed one ends the connection.
    std::optional<HttpRequest> takeRequest()
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
        HttpRequest request;
        request.method = requestLine[0];
        request.target = requestLine[1];
        request.tunneled = !m_tunnelHost.isEmpty();
        request.scheme = (m_tls || request.tunneled) ? QStringLiteral("https") : QStringLiteral("http");
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon > 0)
                request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
        }
        readTarget(request);

        const qsizetype bodyStart = headEnd + 4;
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
        const QByteArray connection =
            (request.header("Connection").isNull() ? request.header("Proxy-Connection") : request.header("Connection"))
                .toLower();
        m_closeAfterReply = connection == "close";
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
            const qsizetype size =
                m_buffer.mid(pos, lineEnd - pos).split(';').first().trimmed().toLongLong(&ok, 16);
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

    void openTunnel(const HttpRequest& request)
    {
        std::optional<QSslConfiguration> tls;
        // A tunnel inside a tunnel, or bytes already sent behind the CONNECT, are no client's doing.
        if (m_options.tunnelPolicy && !m_tls && m_tunnelHost.isEmpty() && m_buffer.isEmpty() && !request.host.isEmpty())
            tls = m_options.tunnelPolicy(request.host, request.port < 0 ? 443 : request.port);
        if (m_options.tunnelObserver)
            m_options.tunnelObserver(request, tls ? 200 : 502);
        if (!tls) {
            m_done = true;
            m_socket->write("HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            m_socket->disconnectFromHost();
            return;
        }
        m_tunnelHost = request.host;
        m_tunnelPort = request.port < 0 ? 443 : request.port;
        m_socket->write("HTTP/1.1 200 Connection established\r\n\r\n");
        m_socket->flush();
        m_socket->setSslConfiguration(*tls);
        m_socket->startServerEncryption();
    }

    void answer(const HttpRequest& request, const HttpReply& reply)
    {
        switch (reply.mode) {
        case HttpReply::Mode::Silent:
            m_done = true;  // keep the connection open and never say a word
            return;
        case HttpReply::Mode::Close:
            m_done = true;
            m_socket->disconnectFromHost();
            return;
        case HttpReply::Mode::Answer:
            break;
        }
        m_busy = true;
        const bool head = request.method == "HEAD";
        if (reply.delayMs <= 0) {
            sendHead(reply, head);
            return;
        }
        QTimer::singleShot(reply.delayMs, this, [this, reply, head] { sendHead(reply, head); });
    }

    void sendHead(const HttpReply& reply, bool head)
    {
        const bool noBody = httpStatusHasNoBody(reply.status);
        const bool chunked = reply.chunkSize > 0 && !noBody;
        QByteArray out =
            "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + httpReasonPhrase(reply.status) + "\r\n";
        for (const auto& field : reply.headers)
            out += field.first + ": " + field.second + "\r\n";
        if (chunked && !httpHasHeader(reply.headers, "Transfer-Encoding"))
            out += "Transfer-Encoding: chunked\r\n";
        if (!chunked && !noBody && !httpHasHeader(reply.headers, "Content-Length"))
            out += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
        if (!httpHasHeader(reply.headers, "Connection"))
            out += m_closeAfterReply ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
        out += "\r\n";

        if (head || noBody) {
            m_socket->write(out);
            finishReply();
            return;
        }
        QByteArray body = reply.body;
        const bool truncated = reply.truncateAt >= 0 && reply.truncateAt < body.size();
        if (truncated)
            body.truncate(reply.truncateAt);
        const int piece = chunked ? reply.chunkSize : reply.dripSize;
        if (piece <= 0) {
            m_socket->write(out + body);
            if (truncated)
                abortAfterWrite();
            else
                finishReply();
            return;
        }
        m_socket->write(out);
        sendPiece(body, 0, piece, chunked ? reply.chunkDelayMs : reply.dripDelayMs, chunked, truncated);
    }

    void sendPiece(const QByteArray& body, qsizetype offset, int size, int delayMs, bool chunked, bool truncated)
    {
        if (offset >= body.size()) {
            if (truncated) {
                abortAfterWrite();
                return;
            }
            if (chunked)
                m_socket->write("0\r\n\r\n");
            finishReply();
            return;
        }
        const QByteArray piece = body.mid(offset, size);
        m_socket->write(chunked ? QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n" : piece);
        const qsizetype next = offset + piece.size();
        QTimer::singleShot(delayMs, this, [this, body, next, size, delayMs, chunked, truncated] {
            sendPiece(body, next, size, delayMs, chunked, truncated);
        });
    }

    // Ends the connection once what was written has gone out, before the reply is complete.
    void abortAfterWrite()
    {
        m_done = true;
        m_busy = false;
        m_socket->disconnectFromHost();
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

    QSslSocket* m_socket;
    const HttpServer::Options& m_options;
    bool m_tls;
    QByteArray m_buffer;
    QString m_tunnelHost;            // set once a CONNECT tunnel is open
    int m_tunnelPort = -1;
    bool m_busy = false;             // a reply is being sent
    bool m_done = false;             // nothing more is answered on this connection
    bool m_closeAfterReply = false;  // the client asked for Connection: close
};

}  // namespace

// Lives on the server's thread; makes a connection object per client.
class HttpServer::Worker : public QTcpServer
{
public:
    explicit Worker(Options options) : m_options(std::move(options)) {}

protected:
    void incomingConnection(qintptr descriptor) override
    {
        // Every socket can take up TLS: a CONNECT tunnel starts it on the open connection.
        auto* socket = new QSslSocket;
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        const bool tls = m_options.tls.has_value();
        if (tls)
            socket->setSslConfiguration(*m_options.tls);
        new Connection(socket, m_options, tls, this);
        if (tls)
            socket->startServerEncryption();
    }

private:
    Options m_options;
};

HttpServer::HttpServer(Options options)
{
    m_tls = options.tls.has_value();
    const quint16 wanted = options.port;
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("http-server"));
    m_worker = new Worker(std::move(options));
    m_worker->moveToThread(m_thread);
    m_thread->start();
    QMetaObject::invokeMethod(
        m_worker,
        [this, wanted] {
            if (m_worker->listen(QHostAddress(QHostAddress::LocalHost), wanted))
                m_port = m_worker->serverPort();
        },
        Qt::BlockingQueuedConnection);
}

HttpServer::~HttpServer()
{
    // Connections and their sockets are children of the worker and go with it, on their thread.
    QMetaObject::invokeMethod(m_worker, [this] { delete m_worker; }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
}
