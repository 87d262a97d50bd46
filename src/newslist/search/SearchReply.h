#pragma once

#include "foundation/models/Feed.h"
#include "foundation/models/HotProductModel.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <optional>

// The two search replies and the requests that ask for them. No state: the window keeps the
// lists, kept keywords and cursors, and hands them in.
namespace SearchReply {

// The cursor of a kind with nothing received yet.
inline constexpr int64_t kNoCursor = 999999999;

// The news items of a search page, read with the list's item reader; an item enters only with
// a news id and a title. Empty when the bytes are no news list (not XML, root not "rss" in any
// letter case, no "channel", no "item").
QList<FeedPtr> parserNewsListXmlData(const QByteArray& data);

// The deals of a search reply: JSON (fragments allowed) holding an object whose "success" reads
// "1" (DealsApi::replySucceeded) and whose "content" array gives one deal per object. Null when
// the reply is not such an object; elements of "content" that are not objects are skipped.
std::optional<QList<HotProductModelPtr>> parserDealsJsonData(const QByteArray& data);

// The cursor lowered to the id when the id reads as an integer above 0 and is smaller.
int64_t lowerCursor(int64_t cursor, const QString& id);

// ---- Requests ----

// base/<hex keyword>.xml?r=<random>, the keyword enciphered as GB 18030 under the request key.
QString newsFirstPageUrl(const QString& base, const QString& keyword, int32_t random);
// base/<hex keyword>_<cursor>.xml?r=searchmore<random>.
QString newsMorePageUrl(const QString& base, const QString& keyword, int64_t cursor, int32_t random);
// The seven fields of a first deals page; seconds is the time in whole seconds.
QVariantMap dealsFirstPageParms(const QString& keyword, int64_t seconds, const QString& userId);
// The five fields of a further deals page.
QVariantMap dealsMorePageParms(const QString& keyword, int64_t cursor, int64_t seconds);

}  // namespace SearchReply
