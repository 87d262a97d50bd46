// 500 sequential GETs of a 100 KB body from a keep-alive server on 127.0.0.1, through the
// program's request entry and through one bare QNetworkAccessManager, in the same run. Ends with
// the ratio entry/bare of the median times over several alternating rounds. A second ratio runs
// the same GETs through the entry's session-manager variant on one kept manager, which separates
// the entry's own cost from that of a new session per request.
#include "BenchSupport.h"

#include "networking/AFNetManager.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kRequests = 500;
constexpr int kRounds = 15;
constexpr qsizetype kBodyBytes = 100 * 1024;

// Answers every request on a connection with the same 100 KB body and keeps the connection open.
// It reads only up to the blank line: the requests here carry no body.
class BodyServer : public QObject
{
public:
    explicit BodyServer(QByteArray reply) : m_reply(std::move(reply)) {}

    quint16 listen()
    {
        m_server = new QTcpServer(this);
        if (!m_server->listen(QHostAddress::LocalHost, 0))
            return 0;
        connect(m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server->nextPendingConnection()) {
                auto buffer = std::make_shared<QByteArray>();
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                    buffer->append(socket->readAll());
                    qsizetype end;
                    while ((end = buffer->indexOf("\r\n\r\n")) >= 0) {
                        buffer->remove(0, end + 4);
                        socket->write(m_reply);
                    }
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        return m_server->serverPort();
    }

private:
    const QByteArray m_reply;
    QTcpServer* m_server = nullptr;
};

QByteArray makeReply()
{
    QByteArray body(kBodyBytes, Qt::Uninitialized);
    for (qsizetype i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>('a' + i % 26);
    return "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: keep-alive\r\n\r\n" + body;
}

// Seconds for the requests through the entry, each on a new manager or, with keepManager, all on
// one manager passed back in; negative when one of them failed.
double timeEntry(const QString& url, bool keepManager)
{
    std::shared_ptr<AFHTTPSessionManager> kept;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kRequests; ++i) {
        QEventLoop loop;
        bool done = false;
        bool ok = false;
        AFNetManager::FinishedBlock finished = [&](const std::shared_ptr<URLSessionDataTask>&, const QVariant& body) {
            ok = body.toByteArray().size() == kBodyBytes;
            done = true;
            loop.quit();
        };
        AFNetManager::FailedBlock failed = [&](const std::shared_ptr<URLSessionDataTask>&, const Error&) {
            done = true;
            loop.quit();
        };
        if (keepManager)
            kept = AFNetManager::requestWithUrlString(url, true, QVariant(), 1, nullptr, kept, finished, failed);
        else
            AFNetManager::requestWithUrlString(url, true, QVariant(), 1, nullptr, finished, failed);
        if (!done)
            loop.exec();
        if (!ok)
            return -1;
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// Seconds for the requests through one kept access manager; negative when one failed.
double timeBare(QNetworkAccessManager& manager, const QUrl& url)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kRequests; ++i) {
        QNetworkReply* reply = manager.get(QNetworkRequest(url));
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        if (!reply->isFinished())
            loop.exec();
        const bool ok = reply->error() == QNetworkReply::NoError && reply->readAll().size() == kBodyBytes;
        reply->deleteLater();
        if (!ok)
            return -1;
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);

    QThread serverThread;
    auto* server = new BodyServer(makeReply());
    server->moveToThread(&serverThread);
    serverThread.start();
    quint16 port = 0;
    QMetaObject::invokeMethod(server, [&] { port = server->listen(); }, Qt::BlockingQueuedConnection);
    if (port == 0) {
        std::printf("netmanager bench: cannot listen on 127.0.0.1\n");
        return 1;
    }
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/body").arg(port));

    QNetworkAccessManager bare;
    std::vector<double> entryTimes;
    std::vector<double> keptTimes;
    std::vector<double> bareTimes;
    // One warm-up pass each, then alternating rounds so that drift of the machine hits all alike.
    bool failed = timeEntry(url.toString(), false) < 0 || timeEntry(url.toString(), true) < 0 || timeBare(bare, url) < 0;
    for (int round = 0; round < kRounds && !failed; ++round) {
        entryTimes.push_back(timeEntry(url.toString(), false));
        keptTimes.push_back(timeEntry(url.toString(), true));
        bareTimes.push_back(timeBare(bare, url));
        failed = entryTimes.back() < 0 || keptTimes.back() < 0 || bareTimes.back() < 0;
    }

    QMetaObject::invokeMethod(server, [server] { delete server; }, Qt::BlockingQueuedConnection);
    serverThread.quit();
    serverThread.wait();

    if (failed) {
        std::printf("netmanager bench: a request failed; no ratio\n");
        return 1;
    }
    const double entry = bench::median(entryTimes);
    const double kept = bench::median(keptTimes);
    const double plain = bench::median(bareTimes);
    std::printf("%d sequential GETs of %lld bytes (median of %d rounds):\n", kRequests,
                static_cast<long long>(kBodyBytes), kRounds);
    std::printf("  AFNetManager, new manager each    %.3f s (%.0f us each)\n", entry, entry / kRequests * 1e6);
    std::printf("  AFNetManager, one kept manager    %.3f s (%.0f us each)\n", kept, kept / kRequests * 1e6);
    std::printf("  bare QNetworkAccessManager        %.3f s (%.0f us each)\n", plain, plain / kRequests * 1e6);
    std::printf("AFNetManager/QNetworkAccessManager time ratio: %.2f\n", entry / plain);
    std::printf("AFNetManager (kept manager)/QNetworkAccessManager time ratio: %.2f\n", kept / plain);
    return 0;
}
