#pragma once

#include "foundation/models/HotProductModel.h"
#include "foundation/models/slideData.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrl>
#include <QVariantList>
#include <QVariantMap>

#include <optional>

// One deal as the deals service describes it: the shared record and the texts the deal pages show.
struct DealItem
{
    HotProductModelPtr model = std::make_shared<HotProductModel>();
    QString storeName;    // OriginStoreName
    QString picture;      // Picture: a path under the deals picture address
    QString promotion;    // PromotionInfo
};

// The deals service's requests and replies. Every reply is a JSON object whose "success" reads 1,
// with a "content" array (lists) or object (detail).
namespace DealsApi {

inline constexpr int kPageSize = 20;

// The reply's "success" reads "1" (a number 1, the text "1" or true).
bool replySucceeded(const QJsonObject& reply);

// The signed parameters of a list: "productid" (the cursor, 0 for the first page), "count" 20,
// "signature", "timestamp", "platform" "mac", and "tag" for a category list.
QVariantMap listParameters(qint64 cursor, const QString& tag = QString());
// The signed parameters of a detail: "productid", "signature", "timestamp".
QVariantMap detailParameters(const QString& productId);
// The signed parameters of the "大家还在买" list: "count" 3, "signature", "timestamp".
QVariantMap alsoBuyingParameters();

// The signed parameters of the deals channel's top slides: "platform" "mac", "signature", "timestamp".
QVariantMap focusParameters();
// The top slides of a successful slides reply ("content": objects with "Title", "Picture" (a path
// under the deals picture address, or a whole address), "Url", "productid", "newsid"); objects
// without a picture or without anything to open are left out. Nothing when the reply is not a success.
std::optional<QList<slideDataPtr>> parseFocus(const QByteArray& reply);

// A list reply's deals (items without a positive productid are left out); nothing when the reply
// is not a successful list.
std::optional<QList<DealItem>> parseList(const QByteArray& reply);
// The raw items of a successful list reply (for the fragment builder).
std::optional<QVariantList> listItems(const QByteArray& reply);
// A detail reply's deal; nothing when the reply is not a successful detail.
std::optional<DealItem> parseDetail(const QByteArray& reply);

// Only a run of 1 to 18 ASCII digits is a product id.
bool isProductId(const QString& id);
// Documents/tmp/tidwenhotproductdetailpath/<id>.json; "" for an id that is not digits.
QString detailCachePath(const QString& productId);

// The address of a picture path under the deals picture address; empty when there is none.
QUrl pictureUrl(const QString& picture);
QUrl pictureUrl(const DealItem& deal);

// The deal page: title, store, time, promotion, the detail as plain text, the buy link, and the
// given "大家还在买" block. Every text from the service is escaped.
QString detailPageHtml(const DealItem& deal, const QString& alsoBuyingHtml, int themeMode);
// An empty page of the same look.
QString emptyPageHtml(int themeMode);
// The detail's markup reduced to escaped text with line breaks.
QString detailText(const QString& detailHtml);

}  // namespace DealsApi
