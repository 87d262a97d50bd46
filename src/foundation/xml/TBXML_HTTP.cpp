#include "foundation/xml/TBXML_HTTP.h"

#include "foundation/URLErrorCodes.h"
#include "foundation/xml/TBXML.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QThreadPool>

#include <memory>

namespace {

// A request without a timeout of its own gives up after a minute, as the platform's default did.
constexpr int kDefaultTimeoutMs = 60 * 1000;

// Sends the request and waits for its end on the calling thread; exactly one of success and
// failure is called.
void sendSynchronousRequest(const TBXML_HTTP::URLRequest& request, const TBXML_HTTP::SuccessBlock& success,
                            const TBXML_HTTP::FailureBlock& failure)
{
    QNetworkAccessManager manager;
    QNetworkRequest networkRequest = request.request;
    if (networkRequest.transferTimeout() == 0)
        networkRequest.setTransferTimeout(kDefaultTimeoutMs);
    std::unique_ptr<QNetworkReply> reply(manager.sendCustomRequest(networkRequest, request.HTTPMethod, request.HTTPBody));
    if (!reply->isFinished()) {
        QEventLoop loop;
        QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    const QByteArray data = reply->readAll();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        TBXML_HTTP::URLResponse response;
        response.URL = reply->url();
        response.statusCode = status.toInt();
        response.allHeaderFields = reply->rawHeaderPairs();
        if (success)
            success(data, response);
        return;
    }
    if (failure) {
        failure(data, Error(QLatin1String(Error::kURLErrorDomain), URLErrorCodeForNetworkError(reply->error()),
                            {{QLatin1String(Error::kLocalizedDescriptionKey), reply->errorString()},
                             {QLatin1String(Error::kURLErrorFailingURLErrorKey), networkRequest.url().toString()}}));
    }
}

}  // namespace

namespace TBXML_HTTP {

URLRequest tbxmlGetRequestWithURL(const QUrl& url)
{
    URLRequest request;
    request.request.setUrl(url);
    request.HTTPMethod = "GET";
    return request;
}

URLRequest tbxmlPostRequestWithURL(const QUrl& url, const QVariantMap& parameters)
{
    URLRequest request;
    request.request.setUrl(url);
    request.HTTPMethod = "POST";
    QByteArray body;
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it) {
        if (!body.isEmpty())
            body.append('&');
        body.append(QUrl::toPercentEncoding(it.key()));
        body.append('=');
        body.append(QUrl::toPercentEncoding(it.value().toString()));
    }
    request.HTTPBody = body;
    request.request.setRawHeader("Content-Type", "application/x-www-form-urlencoded");
    request.request.setRawHeader("Content-Length", QByteArray::number(body.size()));
    return request;
}

void tbxmlAsyncRequest(const URLRequest& request, SuccessBlock success, FailureBlock failure)
{
    QThreadPool::globalInstance()->start(
        [request, success = std::move(success), failure = std::move(failure)] {
            sendSynchronousRequest(request, success, failure);
        });
}

}  // namespace TBXML_HTTP

std::shared_ptr<TBXML> TBXML::newTBXMLWithURL(const QUrl& url, TBXMLSuccessBlock success, TBXMLFailureBlock failure)
{
    auto tbxml = std::make_shared<TBXML>();
    tbxml->initWithURL(url, std::move(success), std::move(failure));
    return tbxml;
}

void TBXML::initWithURL(const QUrl& url, TBXMLSuccessBlock success, TBXMLFailureBlock failure)
{
    std::shared_ptr<TBXML> self = shared_from_this();
    release();
    TBXML_HTTP::tbxmlAsyncRequest(
        TBXML_HTTP::tbxmlGetRequestWithURL(url),
        [self, success, failure](const QByteArray& data, const TBXML_HTTP::URLResponse&) {
            Error error;
            if (self->decodeData(data, &error) != kNoError) {
                if (failure)
                    failure(self.get(), error);
            } else if (success) {
                success(self.get());
            }
        },
        [self, failure](const QByteArray&, const Error& error) {
            if (failure)
                failure(self.get(), error);
        });
}
