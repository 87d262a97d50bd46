#include "article/ArticleDocument.h"

#include "foundation/CommonFunction.h"
#include "foundation/xml/TTXMLParser.h"
#include "platform/Clock.h"

#include <QTimeZone>

#include <optional>

namespace {

constexpr qint64 kCommentWindowSeconds = 2592000;  // 30 days

// The element's text, or null when it is missing or has none.
QString textOf(const QVariantMap& item, const char* name)
{
    const QVariant child = item.value(QLatin1String(name));
    if (child.typeId() != QMetaType::QVariantMap)
        return {};
    const QVariant value = child.toMap().value(TTXMLKeys::kValue);
    if (!value.isValid())
        return {};
    return value.toString();
}

void copyText(const QVariantMap& item, const char* name, QString& field)
{
    const QString text = textOf(item, name);
    if (!text.isEmpty())
        field = text;
}

// The encoding the XML declaration names, lower case; empty when it names none.
QByteArray declaredEncoding(const QByteArray& data)
{
    QByteArrayView text(data);
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);
    if (!text.startsWith("<?xml"))
        return {};
    const qsizetype end = text.indexOf("?>");
    if (end < 0)
        return {};
    const QByteArrayView declaration = text.first(end);
    qsizetype at = declaration.indexOf("encoding");
    if (at < 0)
        return {};
    at += 8;
    while (at < declaration.size() && (declaration.at(at) == ' ' || declaration.at(at) == '=' || declaration.at(at) == '\t'))
        ++at;
    if (at >= declaration.size() || (declaration.at(at) != '"' && declaration.at(at) != '\''))
        return {};
    const char quote = declaration.at(at);
    const qsizetype close = declaration.indexOf(quote, at + 1);
    return close < 0 ? QByteArray() : declaration.sliced(at + 1, close - at - 1).toByteArray().toLower();
}

// The document's bytes with every byte that is not UTF-8 read as U+FFFD, as the lists read their
// texts: one bad byte costs one character, not the article. Nothing when the bytes are UTF-8
// already or the document names another encoding, whose own decoder reads it.
std::optional<QByteArray> withBadBytesReplaced(const QByteArray& data)
{
    if (data.isValidUtf8())
        return std::nullopt;
    const QByteArray encoding = declaredEncoding(data);
    if (!encoding.isEmpty() && encoding != "utf-8" && encoding != "utf8")
        return std::nullopt;
    return QString::fromUtf8(data).toUtf8();
}

// The parsed document's root, when the bytes parse.
std::optional<TTXMLNodeDictionary> rootOf(const QByteArray& data)
{
    TTXMLParser parser(data);
    parser.parse();
    return parser.rootObject();
}

bool localZoneIsBeijing()
{
    return Clock::localZone().offsetFromUtc(Clock::now()) == Clock::kBeijingOffsetSeconds;
}

}  // namespace

FeedPtr ArticleDocument::parseXML(const QByteArray& data)
{
    auto feed = std::make_shared<Feed>();
    if (data.isEmpty())
        return feed;
    // Read as it came first: what parses today is read as before, whatever its encoding.
    std::optional<TTXMLNodeDictionary> root = rootOf(data);
    if (!root) {
        if (const std::optional<QByteArray> repaired = withBadBytesReplaced(data))
            root = rootOf(*repaired);
    }
    if (!root)
        return feed;
    const QVariantMap channel = root->value(QStringLiteral("channel")).toMap();
    const QVariantMap item = channel.value(QStringLiteral("item")).toMap();

    copyText(item, "title", feed->title);
    copyText(item, "url", feed->link);
    copyText(item, "description", feed->description);
    const QString postDate = textOf(item, "postdate");
    if (!postDate.isEmpty()) {
        // A local zone other than Beijing time re-expresses the date; one that does not read
        // as a date leaves the field empty rather than holding a text nothing can read.
        feed->postDate = localZoneIsBeijing() ? postDate
                                              : CommonFunction::TransformCSTTimeZoneStrToLocalTimeZoneStr(postDate);
        if (feed->postDate.isNull())
            feed->postDate = QStringLiteral("");
    }
    copyText(item, "newsid", feed->guid);
    const QString image = textOf(item, "image");
    if (!image.isEmpty())
        feed->imgurl = QString(image).replace(QStringLiteral(".jpg"), QStringLiteral("_240.jpg"));
    copyText(item, "detail", feed->detail);
    copyText(item, "hitcount", feed->hitCount);
    copyText(item, "commentcount", feed->commentCount);
    copyText(item, "newsauthor", feed->author);
    copyText(item, "newssource", feed->newsSource);
    copyText(item, "z", feed->newsZeBian);
    copyText(item, "forbidcomment", feed->forbidcomment);
    copyText(item, "c", feed->titlecolor);
    const QString ndg = textOf(item, "ndg");
    feed->isScore = ndg.isEmpty() || ndg == QStringLiteral("0");
    const QString flags = textOf(item, "v");
    feed->isShiPin = flags.size() > 0 && flags.at(0) == QLatin1Char('1');
    feed->isTouPiao = flags.size() > 1 && flags.at(1) == QLatin1Char('1');
    feed->isYuanChuang = flags.size() > 2 && flags.at(2) == QLatin1Char('1');

    if (feed->forbidcomment.toLower() != QStringLiteral("true") && !feed->postDate.isEmpty()) {
        const QDateTime posted = CommonFunction::dateFromLocalDateTimeString(feed->postDate);
        if (!posted.isValid() || posted <= Clock::now().addSecs(-kCommentWindowSeconds))
            feed->forbidcomment = QStringLiteral("true");
    }
    return feed;
}
