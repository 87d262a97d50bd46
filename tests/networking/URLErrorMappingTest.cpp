#include "foundation/URLErrorCodes.h"
#include "foundation/xml/TBXML_HTTP.h"
#include "networking/AFURLResponseSerialization.h"
#include "networking/AFURLSessionManager.h"

#include "LoopbackHttpServer.h"
#include "TestEnvironment.h"

#include <QMetaEnum>
#include <QMutex>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace {

// Every Qt network error with the URL-loading code a failed request reports for it.
const struct
{
    QNetworkReply::NetworkError error;
    qint64 code;
} kExpectedCodes[] = {
    {QNetworkReply::NoError, NSURLErrorUnknown},
    {QNetworkReply::ConnectionRefusedError, NSURLErrorCannotConnectToHost},
    {QNetworkReply::RemoteHostClosedError, NSURLErrorNetworkConnectionLost},
    {QNetworkReply::HostNotFoundError, NSURLErrorCannotFindHost},
    {QNetworkReply::TimeoutError, NSURLErrorTimedOut},
    {QNetworkReply::OperationCanceledError, NSURLErrorTimedOut},
    {QNetworkReply::SslHandshakeFailedError, NSURLErrorSecureConnectionFailed},
    {QNetworkReply::TemporaryNetworkFailureError, NSURLErrorNetworkConnectionLost},
    {QNetworkReply::NetworkSessionFailedError, NSURLErrorNotConnectedToInternet},
    {QNetworkReply::BackgroundRequestNotAllowedError, NSURLErrorUnknown},
    {QNetworkReply::TooManyRedirectsError, NSURLErrorHTTPTooManyRedirects},
    {QNetworkReply::InsecureRedirectError, NSURLErrorHTTPTooManyRedirects},
    {QNetworkReply::UnknownNetworkError, NSURLErrorUnknown},
    {QNetworkReply::ProxyConnectionRefusedError, NSURLErrorCannotConnectToHost},
    {QNetworkReply::ProxyConnectionClosedError, NSURLErrorNetworkConnectionLost},
    {QNetworkReply::ProxyNotFoundError, NSURLErrorCannotConnectToHost},
    {QNetworkReply::ProxyTimeoutError, NSURLErrorUnknown},
    {QNetworkReply::ProxyAuthenticationRequiredError, NSURLErrorUnknown},
    {QNetworkReply::UnknownProxyError, NSURLErrorUnknown},
    {QNetworkReply::ContentAccessDenied, NSURLErrorUnknown},
    {QNetworkReply::ContentOperationNotPermittedError, NSURLErrorUnknown},
    {QNetworkReply::ContentNotFoundError, NSURLErrorUnknown},
    {QNetworkReply::AuthenticationRequiredError, NSURLErrorUnknown},
    {QNetworkReply::ContentReSendError, NSURLErrorUnknown},
    {QNetworkReply::ContentConflictError, NSURLErrorUnknown},
    {QNetworkReply::ContentGoneError, NSURLErrorUnknown},
    {QNetworkReply::UnknownContentError, NSURLErrorUnknown},
    {QNetworkReply::ProtocolUnknownError, NSURLErrorUnsupportedURL},
    {QNetworkReply::ProtocolInvalidOperationError, NSURLErrorUnsupportedURL},
    {QNetworkReply::ProtocolFailure, NSURLErrorCannotParseResponse},
    {QNetworkReply::InternalServerError, NSURLErrorUnknown},
    {QNetworkReply::OperationNotImplementedError, NSURLErrorUnknown},
    {QNetworkReply::ServiceUnavailableError, NSURLErrorUnknown},
    {QNetworkReply::UnknownServerError, NSURLErrorUnknown},
};

// The code of a failed GET through the session layer; nothing when it did not fail in time.
std::optional<qint64> sessionCode(const QUrl& url, double timeoutSeconds)
{
    auto manager = std::make_shared<AFURLSessionManager>();
    manager->setResponseSerializer(AFHTTPResponseSerializer::serializer());
    URLRequest request;
    request.URL = url;
    request.settings.timeoutInterval = timeoutSeconds;
    auto code = std::make_shared<std::optional<qint64>>();
    auto done = std::make_shared<bool>(false);
    manager
        ->dataTaskWithRequest(request, [code, done](const std::optional<HTTPURLResponse>&, const QVariant&,
                                                    const std::optional<Error>& error) {
            if (error)
                *code = error->code;
            *done = true;
        })
        ->resume();
    waitUntil([&] { return *done; }, 30000);
    return *code;
}

// The code of the same GET through the XML reader's fetch, which runs on a pool thread.
std::optional<qint64> xmlFetchCode(const QUrl& url, double timeoutSeconds)
{
    struct Result
    {
        QMutex mutex;
        bool done = false;
        std::optional<qint64> code;
    };
    auto result = std::make_shared<Result>();
    TBXML_HTTP::URLRequest request = TBXML_HTTP::tbxmlGetRequestWithURL(url);
    request.request.setTransferTimeout(int(timeoutSeconds * 1000));
    TBXML_HTTP::tbxmlAsyncRequest(
        request,
        [result](const QByteArray&, const TBXML_HTTP::URLResponse&) {
            QMutexLocker lock(&result->mutex);
            result->done = true;
        },
        [result](const QByteArray&, const Error& error) {
            QMutexLocker lock(&result->mutex);
            result->code = error.code;
            result->done = true;
        });
    waitUntil(
        [&] {
            QMutexLocker lock(&result->mutex);
            return result->done;
        },
        10000);
    QMutexLocker lock(&result->mutex);
    return result->code;
}

}  // namespace

TEST(URLErrorMapping, EveryQtNetworkErrorHasOneCode)
{
    const QMetaEnum errors = QMetaEnum::fromType<QNetworkReply::NetworkError>();
    // The table names every error Qt has, so a new one cannot slip past unmapped.
    ASSERT_EQ(std::size(kExpectedCodes), size_t(errors.keyCount()));
    for (int i = 0; i < errors.keyCount(); ++i) {
        const auto error = QNetworkReply::NetworkError(errors.value(i));
        const auto* row = std::find_if(std::begin(kExpectedCodes), std::end(kExpectedCodes),
                                       [&](const auto& r) { return r.error == error; });
        ASSERT_NE(row, std::end(kExpectedCodes)) << errors.key(i);
        EXPECT_EQ(URLErrorCodeForNetworkError(error), row->code) << errors.key(i);
    }
}

// The session layer and the XML reader's fetch meet the same failures and report the same codes.
TEST(URLErrorMapping, SessionAndXmlFetchReportTheSameFailures)
{
    LoopbackHttpServer server;
    server.route("GET", QStringLiteral("/close"), LoopbackReply::closeConnection());
    server.route("GET", QStringLiteral("/silent"), LoopbackReply::silent());
    const struct
    {
        const char* name;
        QUrl url;
        qint64 code;
    } cases[] = {
        {"refused", QUrl(QStringLiteral("http://127.0.0.1:%1/x").arg(LoopbackHttpServer::closedPort())),
         NSURLErrorCannotConnectToHost},
        {"closed", server.url(QStringLiteral("/close")), NSURLErrorNetworkConnectionLost},
        {"silent", server.url(QStringLiteral("/silent")), NSURLErrorTimedOut},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sessionCode(c.url, 0.5), std::optional<qint64>(c.code)) << c.name;
        EXPECT_EQ(xmlFetchCode(c.url, 0.5), std::optional<qint64>(c.code)) << c.name;
    }
}
