#include "article/ArticleDocument.h"

#include "foundation/CommonFunction.h"
#include "foundation/xml/TTXMLParser.h"
#include "platform/Clock.h"

#include <QTimeZone>

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
    TTXMLParser parser(data);
    parser.parse();
    const auto& root = parser.rootObject();
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
