#include "networking/URLRequest.h"

#include <cmath>
#include <limits>

namespace {

QNetworkRequest::CacheLoadControl cacheLoadControl(URLRequestCachePolicy policy)
{
    switch (policy) {
    case URLRequestCachePolicy::ReloadIgnoringLocalCacheData:
    case URLRequestCachePolicy::ReloadIgnoringLocalAndRemoteCacheData:
        return QNetworkRequest::AlwaysNetwork;
    case URLRequestCachePolicy::ReturnCacheDataElseLoad:
        return QNetworkRequest::PreferCache;
    case URLRequestCachePolicy::ReturnCacheDataDontLoad:
        return QNetworkRequest::AlwaysCache;
    case URLRequestCachePolicy::UseProtocolCachePolicy:
    case URLRequestCachePolicy::ReloadRevalidatingCacheData:
        break;
    }
    // Qt's default: use the cache after checking it with the server.
    return QNetworkRequest::PreferNetwork;
}

}  // namespace

QNetworkRequest URLRequest::networkRequest() const
{
    QNetworkRequest request(URL);
    for (const HTTPHeaderFields::Field& field : allHTTPHeaderFields.fields())
        request.setRawHeader(field.first.toLatin1(), field.second.toUtf8());
    if (settings.cachePolicy.has_value())
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, cacheLoadControl(*settings.cachePolicy));
    if (settings.HTTPShouldHandleCookies.has_value()) {
        const QNetworkRequest::LoadControl control =
            *settings.HTTPShouldHandleCookies ? QNetworkRequest::Automatic : QNetworkRequest::Manual;
        request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, control);
        request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, control);
    }
    if (settings.HTTPShouldUsePipelining.has_value())
        request.setAttribute(QNetworkRequest::HttpPipeliningAllowedAttribute, *settings.HTTPShouldUsePipelining);
    if (settings.timeoutInterval.has_value()) {
        // Qt counts whole milliseconds and reads 0 as "no timeout"; a positive interval below
        // one millisecond still times out.
        const double ms = std::ceil(*settings.timeoutInterval * 1000.0);
        if (ms > 0)
            request.setTransferTimeout(ms >= std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                                             : static_cast<int>(ms));
    }
    // A streamed body of known length goes out as it is read; Qt would otherwise gather the
    // whole body in memory first.
    if (HTTPBodyStream != nullptr && allHTTPHeaderFields.contains(QStringLiteral("Content-Length")))
        request.setAttribute(QNetworkRequest::DoNotBufferUploadDataAttribute, true);
    return request;
}
