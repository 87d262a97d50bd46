#pragma once

#include <QNetworkReply>
#include <QtGlobal>

// Codes of the URL-loading error domain (Error::kURLErrorDomain) that requests end with.
enum : qint64 {
    NSURLErrorUnknown = -1,
    NSURLErrorCancelled = -999,
    NSURLErrorUnsupportedURL = -1002,
    NSURLErrorCannotFindHost = -1003,
    NSURLErrorTimedOut = -1001,
    NSURLErrorCannotConnectToHost = -1004,
    NSURLErrorNetworkConnectionLost = -1005,
    NSURLErrorHTTPTooManyRedirects = -1007,
    NSURLErrorNotConnectedToInternet = -1009,
    NSURLErrorCannotParseResponse = -1017,
    NSURLErrorRequestBodyStreamExhausted = -1021,
    NSURLErrorSecureConnectionFailed = -1200,
    NSURLErrorServerCertificateUntrusted = -1202,
};

// The URL-loading code of a transport failure Qt reports; every request path of the program
// answers with this one table, so a failure reads the same whoever sent the request. Qt says
// OperationCanceledError both for abort() and for its transfer timeout: it maps to the timeout
// here, and a caller that aborted on purpose reports NSURLErrorCancelled itself.
qint64 URLErrorCodeForNetworkError(QNetworkReply::NetworkError error);
