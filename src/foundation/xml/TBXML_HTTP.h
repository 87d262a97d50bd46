#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QList>
#include <QNetworkRequest>
#include <QPair>
#include <QUrl>
#include <QVariantMap>

#include <functional>

// Fetching a document for the XML element reader over HTTP on a background thread. The
// application's own requests go through the networking layer; this is the reader's companion.
namespace TBXML_HTTP {

// A request under construction: where to, which method, which body.
struct URLRequest
{
    QNetworkRequest request;
    QByteArray HTTPMethod = "GET";
    QByteArray HTTPBody;
};

// What the server answered besides the body.
struct URLResponse
{
    QUrl URL;
    int statusCode = 0;
    QList<QPair<QByteArray, QByteArray>> allHeaderFields;
};

using SuccessBlock = std::function<void(const QByteArray& data, const URLResponse& response)>;
using FailureBlock = std::function<void(const QByteArray& data, const Error& error)>;

URLRequest tbxmlGetRequestWithURL(const QUrl& url);
// A POST with the parameters as a form body: key=value pairs in the map's order, joined by "&",
// keys and values percent-encoded as UTF-8.
URLRequest tbxmlPostRequestWithURL(const QUrl& url, const QVariantMap& parameters);

// Returns at once. The request is sent from a pool thread, with a network manager of that thread,
// and one of the blocks runs there afterwards: success with the body and response whenever the
// server answered (whatever its status), failure with an NSURLErrorDomain error when no answer came.
void tbxmlAsyncRequest(const URLRequest& request, SuccessBlock success, FailureBlock failure);

}  // namespace TBXML_HTTP
