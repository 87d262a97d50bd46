#include "newslist/search/SearchReply.h"

#include "deals/DealsApi.h"
#include "foundation/CommonFunction.h"
#include "newslist/NewsListFeeds.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cmath>

namespace {

// A JSON number or numeric text as the decimal text a deal keeps: integral values without a
// fraction, so 12345 never becomes "12345.0" or "1.2345e+04".
QString numberText(const QJsonValue& value)
{
    if (value.isDouble()) {
        const double number = value.toDouble();
        // Only values a 64-bit integer holds are converted; anything else would be undefined.
        if (std::fabs(number) < 9.2e18 && number == std::trunc(number))
            return QString::number(qint64(number));
        return QString::number(number, 'g', 17);
    }
    if (value.isString())
        return value.toString();
    return QStringLiteral("");
}

QString plainText(const QJsonValue& value)
{
    return value.isString() ? value.toString() : QStringLiteral("");
}

}  // namespace

namespace SearchReply {

QList<FeedPtr> parserNewsListXmlData(const QByteArray& data)
{
    // The list's reader already drops items without a news id and reads the zone and the time
    // once per page; a search result also needs a title.
    QList<FeedPtr> feeds = ::parserNewsListXmlData(data);
    feeds.removeIf([](const FeedPtr& feed) { return feed->title.isEmpty(); });
    return feeds;
}

std::optional<QList<HotProductModelPtr>> parserDealsJsonData(const QByteArray& data)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject reply = document.object();
    if (!DealsApi::replySucceeded(reply))
        return std::nullopt;
    QList<HotProductModelPtr> deals;
    const QJsonArray content = reply.value(QLatin1String("content")).toArray();
    deals.reserve(content.size());
    for (const QJsonValue& element : content) {
        if (!element.isObject())
            continue;
        const QJsonObject object = element.toObject();
        auto deal = std::make_shared<HotProductModel>();
        deal->pro_productName = plainText(object.value(QLatin1String("ProductName")));
        deal->pro_createTime = plainText(object.value(QLatin1String("CreateTime")));
        deal->pro_productid = numberText(object.value(QLatin1String("productid")));
        deals.append(std::move(deal));
    }
    return deals;
}

int64_t lowerCursor(int64_t cursor, const QString& id)
{
    bool ok = false;
    const qlonglong value = id.trimmed().toLongLong(&ok);
    if (ok && value > 0 && value < cursor)
        return value;
    return cursor;
}

QString newsFirstPageUrl(const QString& base, const QString& keyword, int32_t random)
{
    const QString hex = CommonFunction::EncrypteGB2312(keyword, kDesKeyRequest);
    return QStringLiteral("%1/%2.xml?r=%3").arg(base, hex).arg(random);
}

QString newsMorePageUrl(const QString& base, const QString& keyword, int64_t cursor, int32_t random)
{
    const QString hex = CommonFunction::EncrypteGB2312(keyword, kDesKeyRequest);
    return QStringLiteral("%1/%2_%3.xml?r=searchmore%4").arg(base, hex).arg(cursor).arg(random);
}

QVariantMap dealsFirstPageParms(const QString& keyword, int64_t seconds, const QString& userId)
{
    return {
        {QStringLiteral("key"), keyword},
        {QStringLiteral("productid"), 0},
        {QStringLiteral("count"), 20},
        {QStringLiteral("signature"), CommonFunction::getHotProductSignature(double(seconds))},
        {QStringLiteral("timestamp"), qlonglong(seconds)},
        {QStringLiteral("platform"), QStringLiteral("mac")},
        {QStringLiteral("userid"), userId},
    };
}

QVariantMap dealsMorePageParms(const QString& keyword, int64_t cursor, int64_t seconds)
{
    return {
        {QStringLiteral("key"), keyword},
        {QStringLiteral("productid"), qlonglong(cursor)},
        {QStringLiteral("count"), 20},
        {QStringLiteral("signature"), CommonFunction::getHotProductSignature(double(seconds))},
        {QStringLiteral("timestamp"), qlonglong(seconds)},
    };
}

}  // namespace SearchReply
