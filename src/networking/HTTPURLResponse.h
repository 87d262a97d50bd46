#pragma once

#include "networking/HTTPHeaderFields.h"

#include <QMetaType>
#include <QString>
#include <QUrl>

class QNetworkReply;

// The record of a finished HTTP reply as the response serializers and the completion blocks see
// it. Header look-ups ignore case ("Last-Modified" finds "last-modified").
struct HTTPURLResponse
{
    QUrl URL;
    int statusCode = 0;
    HTTPHeaderFields allHeaderFields;
    // From the Content-Type field: the type in lower case ("application/json") and the charset
    // parameter as given ("GB2312"); null texts when the field does not say.
    QString MIMEType;
    QString textEncodingName;

    HTTPURLResponse() = default;
    // MIME type and text encoding name are read from the Content-Type field.
    HTTPURLResponse(QUrl url, int statusCode, HTTPHeaderFields headerFields);

    // The reply's URL, status and header fields; repeated fields are joined with ", ".
    static HTTPURLResponse fromNetworkReply(const QNetworkReply& reply);

    // A short lower-case English text for the status code ("not found").
    static QString localizedStringForStatusCode(int statusCode);

    QString valueForHTTPHeaderField(const QString& field) const { return allHeaderFields.value(field); }
};

Q_DECLARE_METATYPE(HTTPURLResponse)
