#include "deals/DealsApi.h"

#include "database/CacheLayout.h"
#include "database/ServerUrls.h"
#include "deals/DealPageBlocks.h"
#include "foundation/CommonFunction.h"
#include "foundation/DigitIds.h"
#include "foundation/PageFont.h"
#include "platform/Clock.h"
#include "platform/UrlOpener.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrl>

#include <cmath>

namespace {

void sign(QVariantMap& parameters)
{
    const double timestamp = std::floor(Clock::nowSeconds());
    parameters.insert(QStringLiteral("signature"), CommonFunction::getHotProductSignature(timestamp));
    parameters.insert(QStringLiteral("timestamp"), qlonglong(timestamp));
}

std::optional<QJsonValue> content(const QByteArray& reply)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(reply, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    if (!DealsApi::replySucceeded(object))
        return std::nullopt;
    return object.value(QStringLiteral("content"));
}

QString text(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? value.toString() : QStringLiteral("");
}

// A positive whole number as JSON writes it (ids past 1e15 would lose digits in a double).
std::optional<qlonglong> positiveNumber(const QJsonValue& value)
{
    const double number = value.toDouble(-1);
    if (!value.isDouble() || number < 1 || number > 1e15 || number != std::floor(number))
        return std::nullopt;
    return qlonglong(number);
}

std::optional<DealItem> item(const QJsonObject& object)
{
    const auto id = positiveNumber(object.value(QStringLiteral("productid")));
    if (!id)
        return std::nullopt;
    DealItem deal;
    deal.model->pro_productid = QString::number(*id);
    deal.model->pro_productName = text(object, "ProductName");
    deal.model->pro_createTime = text(object, "CreateTime").replace(QLatin1Char('T'), QLatin1Char(' '));
    deal.model->pro_detail = text(object, "Detail");
    deal.model->pro_shareUrl = text(object, "ShareUrl");
    deal.model->pro_buyUrl = text(object, "BuyUrl");
    deal.storeName = text(object, "OriginStoreName");
    deal.picture = text(object, "Picture");
    deal.promotion = text(object, "PromotionInfo");
    return deal;
}

QString page(const QString& body, int themeMode)
{
    const bool night = themeMode == 2;
    return QStringLiteral(
               "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><style>"
               "body{margin:0;padding:16px 20px;background:%1;color:%2;font-size:15px}"
               "h1{font-size:20px;margin:0 0 8px}.meta{color:%3;font-size:12px;margin-bottom:12px}"
               ".promotion{color:#e4393c;margin:8px 0}"
               // The picture's box is fixed, so nothing below it moves when it arrives.
               ".picture{display:block;width:240px;height:240px;max-width:100%;object-fit:contain;margin:8px 0}"
               ".detail{line-height:1.7}.buy{display:inline-block;margin:12px 0;padding:6px 18px;"
               "background:#e4393c;color:#fff;border-radius:4px;text-decoration:none}"
               "#haizaimai h2{font-size:16px;margin:16px 0 4px}#haizaimai ul{list-style:none;margin:0;padding:0}"
               "#haizaimai li{display:flex;align-items:center;padding:8px 0;border-bottom:1px solid %5;cursor:pointer}"
               "#haizaimai .imgdiv img{width:80px;height:60px;object-fit:cover;margin-right:12px}"
               "#haizaimai .titlediv a{display:block;margin-bottom:4px}#haizaimai .promotion{margin:0 8px 0 0}"
               "#haizaimai .storedate{color:%3;font-size:12px}"
               "</style><script>%6</script></head>"
               "<body>%4</body></html>")
        .arg(night ? QStringLiteral("#1e1e1e") : QStringLiteral("#ffffff"),
             night ? QStringLiteral("#c8c8c8") : QStringLiteral("#222222"),
             night ? QStringLiteral("#8a8a8a") : QStringLiteral("#888888"), body,
             night ? QStringLiteral("#333333") : QStringLiteral("#eeeeee"), PageFont::pageScript());
}

}  // namespace

bool DealsApi::replySucceeded(const QJsonObject& reply)
{
    // The service's flag counts when its text form is "1": the number 1, the text "1", or true.
    const QJsonValue success = reply.value(QStringLiteral("success"));
    return success.isBool() ? success.toBool() : success.toVariant().toString() == QStringLiteral("1");
}

QVariantMap DealsApi::listParameters(qint64 cursor, const QString& tag)
{
    QVariantMap parameters{{QStringLiteral("productid"), cursor},
                           {QStringLiteral("count"), kPageSize},
                           {QStringLiteral("platform"), QStringLiteral("mac")}};
    if (!tag.isEmpty())
        parameters.insert(QStringLiteral("tag"), tag);
    sign(parameters);
    return parameters;
}

QVariantMap DealsApi::focusParameters()
{
    QVariantMap parameters{{QStringLiteral("platform"), QStringLiteral("mac")}};
    sign(parameters);
    return parameters;
}

QVariantMap DealsApi::detailParameters(const QString& productId)
{
    QVariantMap parameters{{QStringLiteral("productid"), productId}};
    sign(parameters);
    return parameters;
}

QVariantMap DealsApi::alsoBuyingParameters()
{
    QVariantMap parameters{{QStringLiteral("count"), 3}};
    sign(parameters);
    return parameters;
}

namespace {

// A positive id as the service writes it, a number or digits; null when there is none.
QString positiveId(const QJsonValue& value)
{
    QString digits;
    if (const auto number = positiveNumber(value)) {
        digits = QString::number(*number);
    } else if (value.isString() && DealsApi::isProductId(value.toString().trimmed())) {
        digits = value.toString().trimmed();
    }
    return digits.toLongLong() > 0 ? digits : QString();
}

}  // namespace

std::optional<QList<slideDataPtr>> DealsApi::parseFocus(const QByteArray& reply)
{
    const auto value = content(reply);
    if (!value || !value->isArray())
        return std::nullopt;
    QList<slideDataPtr> slides;
    for (const QJsonValue& element : value->toArray()) {
        if (!element.isObject())
            continue;
        const QJsonObject object = element.toObject();
        auto slide = std::make_shared<slideData>();
        slide->slideTitle = text(object, "Title");
        const QString picture = text(object, "Picture");
        if (picture.startsWith(QLatin1String("http://")) || picture.startsWith(QLatin1String("https://"))) {
            slide->slideImageUrl = picture;
        } else {
            slide->slideImageUrl = pictureUrl(picture).toString();
        }
        slide->slideLinkUrl = text(object, "Url");
        slide->slideProductid = positiveId(object.value(QStringLiteral("productid")));
        slide->slideNewsid = positiveId(object.value(QStringLiteral("newsid")));
        const bool target = !slide->slideProductid.isNull() || !slide->slideNewsid.isNull() || !slide->slideLinkUrl.trimmed().isEmpty();
        if (slide->slideImageUrl.isEmpty() || !target)
            continue;
        slides.append(slide);
    }
    return slides;
}

std::optional<QList<DealItem>> DealsApi::parseList(const QByteArray& reply)
{
    const auto value = content(reply);
    if (!value || !value->isArray())
        return std::nullopt;
    QList<DealItem> deals;
    for (const QJsonValue& entry : value->toArray()) {
        if (const auto deal = entry.isObject() ? item(entry.toObject()) : std::nullopt)
            deals.append(*deal);
    }
    return deals;
}

std::optional<QVariantList> DealsApi::listItems(const QByteArray& reply)
{
    const auto value = content(reply);
    if (!value || !value->isArray())
        return std::nullopt;
    return value->toArray().toVariantList();
}

std::optional<DealItem> DealsApi::parseDetail(const QByteArray& reply)
{
    const auto value = content(reply);
    if (!value || !value->isObject())
        return std::nullopt;
    return item(value->toObject());
}

bool DealsApi::isProductId(const QString& id)
{
    return isDigitId(id, 18);
}

QString DealsApi::detailCachePath(const QString& productId)
{
    if (!isProductId(productId))
        return QStringLiteral("");
    return QDir(CacheLayout::folderPath(CacheLayout::kHotProductDetailFolder)).filePath(productId + QStringLiteral(".json"));
}

QString DealsApi::detailText(const QString& detailHtml)
{
    static const QRegularExpression hidden(QStringLiteral("<(script|style)\\b[^>]*>.*?</\\1\\s*>"),
                                           QRegularExpression::CaseInsensitiveOption |
                                               QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression breaks(QStringLiteral("<(br|/p|/div|/li)\\b[^>]*>"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression tags(QStringLiteral("<[^>]*>"));
    QString plain = detailHtml;
    plain.replace(hidden, QString());
    plain.replace(breaks, QStringLiteral("\n"));
    plain.replace(tags, QString());
    plain.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    plain.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    plain.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    plain.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    plain.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    QStringList lines;
    for (const QString& line : plain.split(QLatin1Char('\n'))) {
        if (!line.trimmed().isEmpty())
            lines.append(line.trimmed().toHtmlEscaped());
    }
    return lines.join(QStringLiteral("<br>"));
}

QUrl DealsApi::pictureUrl(const QString& picture)
{
    if (picture.isEmpty() || kUrlProductPictures.isEmpty())
        return {};
    return QUrl(kUrlProductPictures + (picture.startsWith(QLatin1Char('/')) ? picture : QLatin1Char('/') + picture));
}

QUrl DealsApi::pictureUrl(const DealItem& deal)
{
    return pictureUrl(deal.picture);
}

QString DealsApi::detailPageHtml(const DealItem& deal, const QString& alsoBuyingHtml, int themeMode)
{
    const HotProductModel& model = *deal.model;
    QString body = QStringLiteral("<h1 id=\"title\">%1</h1><div class=\"meta\">%2 %3</div>")
                       .arg(model.pro_productName.toHtmlEscaped(), deal.storeName.toHtmlEscaped(),
                            model.pro_createTime.toHtmlEscaped());
    if (!deal.promotion.isEmpty())
        body += QStringLiteral("<div class=\"promotion\">%1</div>").arg(deal.promotion.toHtmlEscaped());
    if (const QUrl picture = pictureUrl(deal); !picture.isEmpty())
        body += QStringLiteral("<img class=\"picture\" src=\"%1\" alt=\"\">").arg(picture.toString(QUrl::FullyEncoded).toHtmlEscaped());
    body += QStringLiteral("<div class=\"detail\" id=\"detail\">%1</div>").arg(detailText(model.pro_detail));
    if (UrlOpener::isWebAddress(QUrl(model.pro_buyUrl)))
        body += QStringLiteral("<a class=\"buy\" href=\"%1\" target=\"_blank\">去购买</a>")
                    .arg(QUrl(model.pro_buyUrl).toString(QUrl::FullyEncoded).toHtmlEscaped());
    body += QStringLiteral("<div id=\"haizaimai\">%1</div>").arg(alsoBuyingHtml);
    return page(body, themeMode);
}

QString DealsApi::emptyPageHtml(int themeMode)
{
    return page(QString(), themeMode);
}
