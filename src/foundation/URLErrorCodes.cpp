#include "foundation/URLErrorCodes.h"

qint64 URLErrorCodeForNetworkError(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::OperationCanceledError:
    case QNetworkReply::TimeoutError: return NSURLErrorTimedOut;
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyNotFoundError: return NSURLErrorCannotConnectToHost;
    case QNetworkReply::HostNotFoundError: return NSURLErrorCannotFindHost;
    // A connection that was up and then went away, whatever Qt calls it.
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::TemporaryNetworkFailureError: return NSURLErrorNetworkConnectionLost;
    case QNetworkReply::NetworkSessionFailedError: return NSURLErrorNotConnectedToInternet;
    case QNetworkReply::SslHandshakeFailedError: return NSURLErrorSecureConnectionFailed;
    case QNetworkReply::TooManyRedirectsError:
    case QNetworkReply::InsecureRedirectError: return NSURLErrorHTTPTooManyRedirects;
    case QNetworkReply::ProtocolUnknownError:
    case QNetworkReply::ProtocolInvalidOperationError: return NSURLErrorUnsupportedURL;
    case QNetworkReply::ProtocolFailure: return NSURLErrorCannotParseResponse;
    default: return NSURLErrorUnknown;
    }
}
