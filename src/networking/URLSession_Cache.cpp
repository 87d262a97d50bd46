#include "networking/URLSession.h"
#include "networking/URLSession_Internal.h"

#include <QAbstractNetworkCache>
#include <QDateTime>
#include <QNetworkAccessManager>
#include <QNetworkCacheMetaData>
#include <QRegularExpression>

#include <utility>

namespace {

// Fields that describe one connection or one transfer, not the reply: the cache keeps none of
// them. The body is kept as it arrived, inflated, so its coding and length go too.
bool isKeptField(const QString& name)
{
    static const QStringList dropped{
        QStringLiteral("connection"),   QStringLiteral("keep-alive"),        QStringLiteral("proxy-connection"),
        QStringLiteral("te"),           QStringLiteral("trailer"),           QStringLiteral("transfer-encoding"),
        QStringLiteral("upgrade"),      QStringLiteral("content-encoding"),  QStringLiteral("content-length"),
    };
    return !dropped.contains(name.toLower());
}

QDateTime httpDate(const QString& value)
{
    // "Sun, 06 Nov 1994 08:49:37 GMT"; Qt's RFC 2822 reader takes the zone name as UTC.
    QDateTime date = QDateTime::fromString(value.trimmed(), Qt::RFC2822Date);
    return date.isValid() ? date.toUTC() : QDateTime();
}

}  // namespace

void URLSession::storeInCache(QAbstractNetworkCache& cache, const QUrl& url, const CachedURLResponse& entry)
{
    const HTTPURLResponse& response = entry.response;
    const QString cacheControl = response.valueForHTTPHeaderField(QStringLiteral("Cache-Control")).toLower();
    if (cacheControl.contains(QLatin1String("no-store")))
        return;

    QNetworkCacheMetaData metaData;
    metaData.setUrl(url);
    metaData.setSaveToDisk(entry.storagePolicy == URLCacheStoragePolicy::Allowed);
    QNetworkCacheMetaData::RawHeaderList headers;
    for (const HTTPHeaderFields::Field& field : response.allHeaderFields.fields()) {
        if (isKeptField(field.first))
            headers.append({field.first.toLatin1(), field.second.toUtf8()});
    }
    metaData.setRawHeaders(headers);
    metaData.setAttributes({{QNetworkRequest::HttpStatusCodeAttribute, response.statusCode},
                            {QNetworkRequest::HttpReasonPhraseAttribute,
                             HTTPURLResponse::localizedStringForStatusCode(response.statusCode).toLatin1()}});
    metaData.setLastModified(httpDate(response.valueForHTTPHeaderField(QStringLiteral("Last-Modified"))));
    // Freshness as Qt reckons it for the replies it keeps: max-age from now, else Expires.
    static const QRegularExpression maxAge(QStringLiteral("max-age\\s*=\\s*(\\d+)"));
    const QRegularExpressionMatch match = maxAge.match(cacheControl);
    if (match.hasMatch())
        metaData.setExpirationDate(QDateTime::currentDateTimeUtc().addSecs(match.captured(1).toLongLong()));
    else
        metaData.setExpirationDate(httpDate(response.valueForHTTPHeaderField(QStringLiteral("Expires"))));

    QIODevice* const device = cache.prepare(metaData);
    if (device == nullptr)
        return;
    if (device->write(entry.data) != entry.data.size()) {
        cache.remove(url);
        return;
    }
    cache.insert(device);
}

bool URLSession::mayOfferToCache(const Transfer& transfer)
{
    const QNetworkReply* const reply = transfer.reply;
    if (!transfer.delegateDecidesCaching || reply == nullptr || reply->operation() != QNetworkAccessManager::GetOperation
        || reply->attribute(QNetworkRequest::SourceIsFromCacheAttribute).toBool())
        return false;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return status >= 200 && status <= 299 && status != 206 && reply->manager() != nullptr
           && reply->manager()->cache() != nullptr;
}

void URLSession::offerToCache(const std::shared_ptr<URLSessionTask>& task, Transfer& transfer)
{
    QNetworkReply* const reply = transfer.reply;
    QAbstractNetworkCache* const cache = reply != nullptr && reply->manager() != nullptr ? reply->manager()->cache() : nullptr;
    const std::optional<HTTPURLResponse> response = task->response();
    const std::shared_ptr<URLSessionDelegate> d = delegate();
    if (cache == nullptr || !response || !d)
        return;
    const QUrl url = reply->url();
    const std::optional<CachedURLResponse> answer =
        d->willCacheResponse(*this, static_cast<URLSessionDataTask&>(*task),
                             CachedURLResponse{*response, std::exchange(transfer.cacheBody, QByteArray()), {}});
    if (transfer.keepsCacheBody && answer && answer->storagePolicy != URLCacheStoragePolicy::NotAllowed)
        storeInCache(*cache, url, *answer);
}
