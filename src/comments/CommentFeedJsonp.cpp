#include "comments/CommentFeedJsonp.h"

#include "foundation/CommonFunction.h"
#include "foundation/DigitIds.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include <cstring>

std::optional<QVariantList> CommentFeedJsonp::parse(const QByteArray& bytes)
{
    const QByteArray text = bytes.trimmed();
    const qsizetype prefix = qsizetype(std::strlen(kPrefix));
    if (text.size() < prefix + 3 || !text.startsWith(kPrefix) || !text.endsWith(')'))
        return std::nullopt;
    const QByteArray inner = text.mid(prefix, text.size() - prefix - 1);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(inner, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    return document.array().toVariantList();
}

bool CommentUrls::isDigitsId(const QString& id)
{
    return isDigitId(id, 18);
}

QString CommentUrls::newsIdFolder(const QString& newsId)
{
    return newsId.size() <= 3 ? QStringLiteral("0") : newsId.left(newsId.size() - 3);
}

QString CommentUrls::commentListUrl(const QString& base, const QString& newsId)
{
    if (!isDigitsId(newsId))
        return QStringLiteral("");
    return QStringLiteral("%1/%2/%3.json")
        .arg(base, newsIdFolder(newsId), CommonFunction::EncrypteUTF8(newsId, kDesKeyRequest).toUpper());
}
