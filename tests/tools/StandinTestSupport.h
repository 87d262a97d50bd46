#pragma once

#include "standin/StandinService.h"
#include "httpcore/HttpMessage.h"

#include "networking/AFHTTPSessionManager.h"
#include "TestCertificates.h"
#include "TestEnvironment.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>

#include <memory>
#include <optional>

// The content clock every test uses.
inline QDateTime testNow()
{
    return QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC);
}

inline standin::StandinOptions testOptions(uint64_t seed = 7)
{
    standin::StandinOptions options;
    options.seed = seed;
    options.now = testNow();
    return options;
}

// A reply as it arrived: status, fields and body.
struct Fetched
{
    int status = 0;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray body;
    QList<QNetworkReply::RawHeaderPair> headers;

    QByteArray header(const QByteArray& name) const { return httpHeaderValue(headers, name); }
};

// Plain Qt requests through the stand-in as proxy (no cache, no cookies of the client): to read
// exactly what the service sends.
class ProxyClient
{
public:
    explicit ProxyClient(const standin::StandinService& service, std::optional<QSslCertificate> trusted = std::nullopt)
        : m_trusted(std::move(trusted))
    {
        m_manager.setProxy(service.proxy());
    }

    Fetched fetch(const QByteArray& method, const QString& url, const QList<QPair<QByteArray, QByteArray>>& fields = {},
                  const QByteArray& body = {})
    {
        QNetworkRequest request{QUrl(url)};
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
        request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
        for (const auto& field : fields)
            request.setRawHeader(field.first, field.second);
        if (m_trusted) {
            QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
            tls.addCaCertificate(*m_trusted);
            request.setSslConfiguration(tls);
        }
        if (!body.isEmpty())
            request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/x-www-form-urlencoded"));
        // A custom "HEAD" would wait for the body its Content-Length announces.
        QNetworkReply* reply = method == "HEAD" ? m_manager.head(request) : m_manager.sendCustomRequest(request, method, body);
        Fetched fetched;
        if (!waitUntil([&] { return reply->isFinished(); }, 30000)) {
            reply->abort();
            fetched.error = QNetworkReply::TimeoutError;
        }
        fetched.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (fetched.error == QNetworkReply::NoError)
            fetched.error = reply->error();
        fetched.body = reply->readAll();
        fetched.headers = reply->rawHeaderPairs();
        reply->deleteLater();
        return fetched;
    }

    Fetched get(const QString& url) { return fetch("GET", url); }

private:
    QNetworkAccessManager m_manager;
    std::optional<QSslCertificate> m_trusted;
};

// What a request's finished and failed blocks received.
struct Outcome
{
    int finished = 0;
    int failed = 0;
    QVariant object;
    std::optional<Error> error;
    bool done() const { return finished + failed > 0; }
};

// Sends a GET through AFNetManager with a manager whose requests time out after timeoutSeconds.
std::shared_ptr<Outcome> clientGet(const QString& url, double timeoutSeconds = 10);

// While it lives, the application's requests go through the proxy.
class ScopedApplicationProxy
{
public:
    explicit ScopedApplicationProxy(const QNetworkProxy& proxy) : m_previous(QNetworkProxy::applicationProxy())
    {
        QNetworkProxy::setApplicationProxy(proxy);
    }
    ~ScopedApplicationProxy() { QNetworkProxy::setApplicationProxy(m_previous); }
    ScopedApplicationProxy(const ScopedApplicationProxy&) = delete;
    ScopedApplicationProxy& operator=(const ScopedApplicationProxy&) = delete;

private:
    QNetworkProxy m_previous;
};
