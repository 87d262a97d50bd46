#include "HttpServer.h"

#include "HttpRequestReader.h"

#include <QHostAddress>
#include <QSslSocket>
#include <QTcpServer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <future>
#include <utility>

#include <pthread.h>

namespace {

// One client connection: reads requests one after another and answers each in turn.
class Connection : public QObject
{
public:
    Connection(QSslSocket* socket, const HttpServer::Options& options, bool tls, QObject* parent)
        : QObject(parent), m_socket(socket), m_options(options) 
    {
        m_reader.setTls(tls);
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

    // The next whole request from the buffer, or nothing yet. A malformed one ends the connection.
    std::optional<HttpRequest> takeRequest()
    {
        HttpRequest request;
        switch (m_reader.take(m_buffer, request)) {
        case HttpRequestReader::Result::Incomplete:
            return std::nullopt;
        case HttpRequestReader::Result::Malformed:
            fail();
            return std::nullopt;
        case HttpRequestReader::Result::Complete:
            break;
        }
        const QByteArray connection =
            (request.header("Connection").isNull() ? request.header("Proxy-Connection") : request.header("Connection"))
                .toLower();
        m_closeAfterReply = connection == "close";
        return request;
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
        if (m_options.tunnelPolicy && !m_reader.tls() && m_reader.tunnelHost().isEmpty() && m_buffer.isEmpty() && !request.host.isEmpty())
            tls = m_options.tunnelPolicy(request.host, request.port < 0 ? 443 : request.port);
        if (m_options.tunnelObserver)
            m_options.tunnelObserver(request, tls ? 200 : 502);
        if (!tls) {
            m_done = true;
            m_socket->write("HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            m_socket->disconnectFromHost();
            return;
        }
        m_reader.setTunnel(request.host, request.port < 0 ? 443 : request.port);
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
        // A coarse timer may fire up to a twentieth early: a delay is the least a client waits.
        QTimer::singleShot(reply.delayMs, Qt::PreciseTimer, this, [this, reply, head] { sendHead(reply, head); });
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
        QTimer::singleShot(delayMs, Qt::PreciseTimer, this, [this, body, next, size, delayMs, chunked, truncated] {
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
    QByteArray m_buffer;
    HttpRequestReader m_reader;      // knows the tunnel once a CONNECT opened one
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
    std::promise<void> listening;
    std::future<void> ready = listening.get_future();
    m_thread = std::thread([this, wanted, &listening, options = std::move(options)]() mutable {
        ::pthread_setname_np(::pthread_self(), "http-server");
        QThread::currentThread()->setObjectName(QStringLiteral("http-server"));
        QEventLoop loop;  // gives this thread its event dispatcher
        {
            // Connections and their sockets are children of the worker and go with it, here.
            Worker worker(std::move(options));
            if (worker.listen(QHostAddress(QHostAddress::LocalHost), wanted))
                m_port = worker.serverPort();
            m_worker = &worker;
            m_loop = &loop;
            listening.set_value();
            loop.exec();
        }
    });
    ready.wait();
}

HttpServer::~HttpServer()
{
    // Queued: the loop ends on its own thread, also when it has not started spinning yet.
    QMetaObject::invokeMethod(m_worker, [loop = m_loop] { loop->quit(); }, Qt::QueuedConnection);
    m_thread.join();
}
