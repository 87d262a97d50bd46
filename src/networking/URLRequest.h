#pragma once

#include "networking/HTTPHeaderFields.h"

#include <QByteArray>
#include <QIODevice>
#include <QMetaType>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

// How a request may use the HTTP cache.
enum class URLRequestCachePolicy : unsigned {
    UseProtocolCachePolicy = 0,
    ReloadIgnoringLocalCacheData = 1,
    ReturnCacheDataElseLoad = 2,
    ReturnCacheDataDontLoad = 3,
    ReloadIgnoringLocalAndRemoteCacheData = 4,
    ReloadRevalidatingCacheData = 5,
};

// A body stream that can make a fresh copy of itself, unread: what a request sent again (after a
// 307 or 308) carries when its own stream has been read.
class CopyableBodyStream
{
public:
    virtual ~CopyableBodyStream() = default;
    virtual std::shared_ptr<QIODevice> copyBodyStream() const = 0;
};

// The settings of a request. Each is empty until something sets it; an empty setting leaves
// Qt's default for the request in place.
struct URLRequestSettings
{
    std::optional<bool> allowsCellularAccess;  // no counterpart in Qt; carried for completeness
    std::optional<URLRequestCachePolicy> cachePolicy;
    std::optional<bool> HTTPShouldHandleCookies;
    std::optional<bool> HTTPShouldUsePipelining;
    std::optional<unsigned> networkServiceType;  // no counterpart in Qt; carried for completeness
    std::optional<double> timeoutInterval;       // seconds

    bool operator==(const URLRequestSettings& other) const = default;
};

// One HTTP request as the serializers build it and the session manager sends it: the URL, the
// method, the header fields, the settings and either body bytes or a body device.
struct URLRequest
{
    QUrl URL;
    QString HTTPMethod = QStringLiteral("GET");
    HTTPHeaderFields allHTTPHeaderFields;
    QByteArray HTTPBody;
    // A streamed body (multipart bodies). It is read once, sequentially; it replaces HTTPBody.
    std::shared_ptr<QIODevice> HTTPBodyStream;
    URLRequestSettings settings;

    QString valueForHTTPHeaderField(const QString& field) const { return allHTTPHeaderFields.value(field); }
    void setValue(const QString& value, const QString& field) { allHTTPHeaderFields.setValue(value, field); }

    // The Qt request for QNetworkAccessManager: URL, header fields and the settings Qt has
    // (cache load control, cookie use, pipelining, transfer timeout); a body stream with a
    // Content-Length is marked to be sent unbuffered. The method and the body travel beside it
    // (sendCustomRequest, with HTTPBodyStream opened for reading).
    QNetworkRequest networkRequest() const;
};

Q_DECLARE_METATYPE(URLRequest)
