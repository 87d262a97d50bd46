#include "networking/HTTPURLResponse.h"

#include <QNetworkReply>

#include <utility>

namespace {

QString unquoted(QString text)
{
    text = text.trimmed();
    if (text.size() >= 2 && text.startsWith(u'"') && text.endsWith(u'"'))
        text = text.mid(1, text.size() - 2);
    return text;
}

}  // namespace

HTTPURLResponse::HTTPURLResponse(QUrl url, int statusCode_, HTTPHeaderFields headerFields)
    : URL(std::move(url)), statusCode(statusCode_), allHeaderFields(std::move(headerFields))
{
    const QString contentType = allHeaderFields.value(QStringLiteral("Content-Type"));
    if (contentType.isNull())
        return;
    const QStringList pieces = contentType.split(u';');
    const QString type = pieces.first().trimmed().toLower();
    if (!type.isEmpty())
        MIMEType = type;
    for (qsizetype i = 1; i < pieces.size(); ++i) {
        const QString parameter = pieces[i].trimmed();
        const qsizetype eq = parameter.indexOf(u'=');
        if (eq > 0 && parameter.left(eq).trimmed().compare(QLatin1String("charset"), Qt::CaseInsensitive) == 0) {
            const QString charset = unquoted(parameter.mid(eq + 1));
            if (!charset.isEmpty())
                textEncodingName = charset;
            break;
        }
    }
}

HTTPURLResponse HTTPURLResponse::fromNetworkReply(const QNetworkReply& reply)
{
    HTTPHeaderFields fields;
    for (const QNetworkReply::RawHeaderPair& pair : reply.rawHeaderPairs()) {
        const QString name = QString::fromLatin1(pair.first);
        const QString value = QString::fromUtf8(pair.second);
        const QString earlier = fields.value(name);
        fields.setValue(earlier.isNull() ? value : earlier + QStringLiteral(", ") + value, name);
    }
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return HTTPURLResponse(reply.url(), status, fields);
}

QString HTTPURLResponse::localizedStringForStatusCode(int statusCode)
{
    switch (statusCode) {
    case 100: return QStringLiteral("continue");
    case 101: return QStringLiteral("switching protocols");
    case 200: return QStringLiteral("ok");
    case 201: return QStringLiteral("created");
    case 202: return QStringLiteral("accepted");
    case 203: return QStringLiteral("non-authoritative information");
    case 204: return QStringLiteral("no content");
    case 205: return QStringLiteral("reset content");
    case 206: return QStringLiteral("partial content");
    case 300: return QStringLiteral("multiple choices");
    case 301: return QStringLiteral("moved permanently");
    case 302: return QStringLiteral("found");
    case 303: return QStringLiteral("see other");
    case 304: return QStringLiteral("not modified");
    case 305: return QStringLiteral("use proxy");
    case 307: return QStringLiteral("temporary redirect");
    case 308: return QStringLiteral("permanent redirect");
    case 400: return QStringLiteral("bad request");
    case 401: return QStringLiteral("unauthorized");
    case 402: return QStringLiteral("payment required");
    case 403: return QStringLiteral("forbidden");
    case 404: return QStringLiteral("not found");
    case 405: return QStringLiteral("method not allowed");
    case 406: return QStringLiteral("not acceptable");
    case 407: return QStringLiteral("proxy authentication required");
    case 408: return QStringLiteral("request timed out");
    case 409: return QStringLiteral("conflict");
    case 410: return QStringLiteral("no longer exists");
    case 411: return QStringLiteral("length required");
    case 412: return QStringLiteral("precondition failed");
    case 413: return QStringLiteral("request too large");
    case 414: return QStringLiteral("requested URL too long");
    case 415: return QStringLiteral("unsupported media type");
    case 416: return QStringLiteral("requested range not satisfiable");
    case 417: return QStringLiteral("expectation failed");
    case 429: return QStringLiteral("too many requests");
    case 500: return QStringLiteral("internal server error");
    case 501: return QStringLiteral("unimplemented");
    case 502: return QStringLiteral("bad gateway");
    case 503: return QStringLiteral("service unavailable");
    case 504: return QStringLiteral("gateway timed out");
    case 505: return QStringLiteral("unsupported version");
    default: break;
    }
    if (statusCode >= 100 && statusCode < 200)
        return QStringLiteral("informational");
    if (statusCode >= 200 && statusCode < 300)
        return QStringLiteral("success");
    if (statusCode >= 300 && statusCode < 400)
        return QStringLiteral("redirected");
    if (statusCode >= 400 && statusCode < 500)
        return QStringLiteral("client error");
    if (statusCode >= 500 && statusCode < 600)
        return QStringLiteral("server error");
    return QStringLiteral("unknown");
}
