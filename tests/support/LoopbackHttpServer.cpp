#include "LoopbackHttpServer.h"

#include "Certificates.h"
#include "HttpServer.h"
#include "TestEnvironment.h"

#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTcpServer>
#include <QUrlQuery>

#include <cstdio>
#include <optional>
#include <utility>

namespace {

// The path of waitForReplyAfter's own requests; "delay" in the query holds the reply back.
const QString kLaterPath = QStringLiteral("/.loopback/later");

}  // namespace

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

LoopbackHttpServer::LoopbackHttpServer()
{
    start({}, QSslKey(), false);
}

LoopbackHttpServer::LoopbackHttpServer(const QList<QSslCertificate>& chain, const QSslKey& key)
{
    start(chain, key, true);
}

void LoopbackHttpServer::start(const QList<QSslCertificate>& chain, const QSslKey& key, bool tls)
{
    m_shared = std::make_shared<Shared>();
    HttpServer::Options options;
    if (tls)
        options.tls = httpcerts::serverConfiguration(chain, key);
    std::shared_ptr<Shared> shared = m_shared;
    options.handler = [shared](const LoopbackRequest& request) {
        if (request.path == kLaterPath) {
            LoopbackReply later = LoopbackReply::text(200, "later");
            later.delayMs = QUrlQuery(request.query).queryItemValue(QStringLiteral("delay")).toInt();
            return later;
        }
        {
            QMutexLocker lock(&shared->mutex);
            shared->log.append(request);
        }
        return shared->replyFor(request);
    };
    m_server = std::make_unique<HttpServer>(std::move(options));
}

LoopbackHttpServer::~LoopbackHttpServer() = default;

quint16 LoopbackHttpServer::port() const
{
    return m_server->port();
}

bool LoopbackHttpServer::isTls() const
{
    return m_server->isTls();
}

QUrl LoopbackHttpServer::url(const QString& pathAndQuery) const
{
    const QString scheme = isTls() ? QStringLiteral("https") : QStringLiteral("http");
    return QUrl(QStringLiteral("%1://127.0.0.1:%2%3").arg(scheme).arg(port()).arg(pathAndQuery));
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

bool LoopbackHttpServer::waitForReplyAfter(int delayMs, std::source_location where)
{
    QNetworkAccessManager client;
    client.setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    const QUrl later = url(QStringLiteral("%1?delay=%2").arg(kLaterPath).arg(delayMs));
    const std::unique_ptr<QNetworkReply> reply(client.get(QNetworkRequest(later)));
    reply->ignoreSslErrors();  // the test certificates are trusted by the clients under test only
    if (!waitUntil([&] { return reply->isFinished(); }, 20000 + delayMs, where))
        return false;
    if (reply->error() == QNetworkReply::NoError)
        return true;
    std::fprintf(stderr, "waitForReplyAfter at %s:%u: the server's own reply failed: %s\n", where.file_name(),
                 static_cast<unsigned>(where.line()), qPrintable(reply->errorString()));
    return false;
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
