#include "EndlessBodyServer.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QMetaObject>
#include <QTcpServer>
#include <QTcpSocket>

#include <future>

namespace {

constexpr qint64 kPieceBytes = 64 * 1024;
// Written ahead of what the client has taken: enough to keep it busy, little memory.
constexpr qint64 kBufferedBytes = 4 * kPieceBytes;

}  // namespace

class EndlessBodyServer::Worker : public QObject
{
public:
    Worker(std::shared_ptr<State> state, QByteArray contentType, QByteArray head)
        : m_state(std::move(state)), m_contentType(std::move(contentType)), m_head(std::move(head)),
          m_padding(kPieceBytes, '\0')
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection())
                serve(socket);
        });
    }

    quint16 listen() { return m_server.listen(QHostAddress::LocalHost, 0) ? m_server.serverPort() : 0; }

private:
    void serve(QTcpSocket* socket)
    {
        auto* request = new QByteArray;
        auto* clock = new QElapsedTimer;
        auto* sent = new qint64(0);
        auto cleanUp = [request, clock, sent] {
            delete request;
            delete clock;
            delete sent;
        };
        connect(socket, &QObject::destroyed, this, cleanUp);
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            ++m_state->closed;
            socket->deleteLater();
        });
        auto feed = [this, socket, clock, sent] {
            while (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < kBufferedBytes) {
                if (*sent >= kMaximumBytes || clock->elapsed() > kMaximumSeconds * 1000) {
                    socket->disconnectFromHost();
                    return;
                }
                socket->write(m_padding);
                *sent += m_padding.size();
                m_state->sent += m_padding.size();
            }
        };
        connect(socket, &QTcpSocket::bytesWritten, this, feed);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, request, clock, feed] {
            if (clock->isValid())
                return;  // answering already; anything more the client sends is ignored
            request->append(socket->readAll());
            if (!request->contains("\r\n\r\n"))
                return;
            clock->start();
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: " + m_contentType + "\r\nConnection: close\r\n\r\n");
            socket->write(m_head);
            feed();
        });
    }

    std::shared_ptr<State> m_state;
    QByteArray m_contentType;
    QByteArray m_head;
    QByteArray m_padding;
    QTcpServer m_server;
};

EndlessBodyServer::EndlessBodyServer(QByteArray contentType, QByteArray head)
{
    std::promise<std::pair<QEventLoop*, quint16>> started;
    std::future<std::pair<QEventLoop*, quint16>> ready = started.get_future();
    m_thread = std::thread([this, &started, contentType = std::move(contentType), head = std::move(head)] {
        QEventLoop loop;
        {
            Worker worker(m_state, contentType, head);
            started.set_value({&loop, worker.listen()});
            loop.exec();
        }
    });
    std::tie(m_loop, m_port) = ready.get();
}

EndlessBodyServer::~EndlessBodyServer()
{
    QMetaObject::invokeMethod(m_loop, &QEventLoop::quit, Qt::QueuedConnection);
    m_thread.join();
}

QUrl EndlessBodyServer::url(const QString& path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
}
