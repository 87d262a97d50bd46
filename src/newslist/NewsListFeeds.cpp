#include "newslist/NewsListFeeds.h"

#include "foundation/CommonFunction.h"
#include "foundation/GlobalValues.h"
#include "foundation/xml/TBXML.h"
#include "foundation/xml/XMLText.h"
#include "platform/Clock.h"
#include "platform/DateTimeText.h"

#include <cstring>

namespace {

constexpr qint64 kCommentWindowSeconds = 2592000;  // 30 days

// Titles and the other texts are painted as they read: references decoded, and a stray byte
// that is not UTF-8 costs that byte, not the whole text.
QString textOf(TBXMLElement* element)
{
    return XMLText::displayText(element);
}

bool nameIs(const TBXMLElement* element, const char* name)
{
    return element && element->name && std::strcmp(element->name, name) == 0;
}

// The root when it is named "rss" in any letter case.
TBXMLElement* rssRoot(const TBXML& document)
{
    TBXMLElement* root = document.rootXMLElement();
    if (!root || !root->name)
        return nullptr;
    return qstricmp(root->name, "rss") == 0 ? root : nullptr;
}

TBXMLElement* nextNamed(TBXMLElement* from, const char* name)
{
    for (TBXMLElement* sibling = from ? from->nextSibling : nullptr; sibling; sibling = sibling->nextSibling) {
        if (nameIs(sibling, name))
            return sibling;
    }
    return nullptr;
}

// The zone and the moment one document is read in: asking the system zone per item costs a file
// look-up each time.
struct FeedTimes
{
    QTimeZone zone = Clock::localZone();
    QDateTime now = Clock::now();
    bool keepText = zone.offsetFromUtc(now) == Clock::kBeijingOffsetSeconds;
    QDateTime commentCutoff = now.addSecs(-kCommentWindowSeconds);
};

// The post date in local time: a machine at UTC+8 keeps the text; elsewhere it is re-expressed,
// and a text that does not read as a date stays as it came.
QString localPostDate(const QString& text, const FeedTimes& times)
{
    if (times.keepText)
        return text;
    const QDateTime beijing = DateTimeText::parseLenient(text, Clock::beijingZone());
    if (!beijing.isValid())
        return text;
    return beijing.toTimeZone(times.zone).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// Comments close 30 days after posting, and for a date that cannot be read.
void applyCommentWindow(Feed& feed, const FeedTimes& times)
{
    if (feed.forbidcomment.toLower() == QStringLiteral("true") || feed.postDate.isEmpty())
        return;
    const QDateTime posted = DateTimeText::parseLenient(feed.postDate, times.zone);
    if (!posted.isValid() || posted <= times.commentCutoff)
        feed.forbidcomment = QStringLiteral("true");
}

void applyFlags(Feed& feed, const QString& flags)
{
    feed.isShiPin = flags.size() > 0 && flags.at(0) == QLatin1Char('1');
    feed.isTouPiao = flags.size() > 1 && flags.at(1) == QLatin1Char('1');
    feed.isYuanChuang = flags.size() > 2 && flags.at(2) == QLatin1Char('1');
}

FeedPtr readItem(TBXMLElement* item, const FeedTimes& times);

void appendItems(TBXMLElement* parent, const FeedTimes& times, QList<FeedPtr>& out)
{
    for (TBXMLElement* item = firstChildNamed(parent, "item"); item; item = nextNamed(item, "item")) {
        FeedPtr feed = readItem(item, times);
        if (feed && !feed->guid.isEmpty())
            out.append(std::move(feed));
    }
}

const QStringList& filterWords()
{
    // The published list also held two person names, which are not carried here.
    static const QStringList words = {
        QStringLiteral("苹果"), QStringLiteral("ios"), QStringLiteral("iphone"), QStringLiteral("ipad"),
        QStringLiteral("mac"), QStringLiteral("itouch"), QStringLiteral("os x"), QStringLiteral("apple"),
        QStringLiteral("越狱"), QStringLiteral("win"), QStringLiteral("wp"), QStringLiteral("安卓"),
        QStringLiteral("android")};
    return words;
}

bool holdsFilterWord(const QString& title)
{
    const QString lower = title.toLower();
    for (const QString& word : filterWords()) {
        if (lower.contains(word))
            return true;
    }
    return false;
}

FeedPtr readItem(TBXMLElement* item, const FeedTimes& times)
{
    if (!item)
        return nullptr;
    auto feed = std::make_shared<Feed>();
    // One pass over the children; the first element of each name wins, as a by-name look-up would.
    bool seen[16] = {};
    auto take = [&](int slot, TBXMLElement* child, QString& field) {
        if (seen[slot])
            return;
        seen[slot] = true;
        field = textOf(child);
    };
    QString flags;
    QString postDate;
    for (TBXMLElement* child = item->firstChild; child; child = child->nextSibling) {
        const char* name = child->name;
        if (!name)
            continue;
        switch (name[0]) {
        case 'n':
            if (!std::strcmp(name, "newsid"))
                take(0, child, feed->guid);
            else if (!std::strcmp(name, "newssource"))
                take(1, child, feed->newsSource);
            else if (!std::strcmp(name, "newsauthor"))
                take(2, child, feed->author);
            break;
        case 't':
            if (!std::strcmp(name, "title"))
                take(3, child, feed->title);
            break;
        case 'u':
            if (!std::strcmp(name, "url"))
                take(4, child, feed->link);
            break;
        case 'p':
            if (!std::strcmp(name, "postdate"))
                take(5, child, postDate);
            break;
        case 'z':
            if (!name[1])
                take(6, child, feed->newsZeBian);
            break;
        case 'c':
            if (!name[1])
                take(7, child, feed->titlecolor);
            else if (!std::strcmp(name, "commentcount"))
                take(8, child, feed->commentCount);
            break;
        case 'v':
            if (!name[1])
                take(9, child, flags);
            break;
        case 'i':
            if (!std::strcmp(name, "image"))
                take(10, child, feed->imgurl);
            break;
        case 'd':
            if (!std::strcmp(name, "description"))
                take(11, child, feed->description);
            else if (!std::strcmp(name, "detail"))
                take(12, child, feed->detail);
            break;
        case 'h':
            if (!std::strcmp(name, "hitcount"))
                take(13, child, feed->hitCount);
            break;
        case 'f':
            if (!std::strcmp(name, "forbidcomment"))
                take(14, child, feed->forbidcomment);
            break;
        default:
            break;
        }
    }
    feed->postDate = postDate.isEmpty() ? postDate : localPostDate(postDate, times);
    applyFlags(*feed, flags);
    if (feed->imgurl.contains(QStringLiteral(".jpg")))
        feed->imgurl.replace(QStringLiteral(".jpg"), QStringLiteral("_240.jpg"));
    for (TBXMLAttribute* attribute = item->firstAttribute; attribute; attribute = attribute->next) {
        if (attribute->name && !std::strcmp(attribute->name, "t")) {
            feed->isTop = attribute->value && !std::strcmp(attribute->value, "1");
            break;
        }
    }
    applyCommentWindow(*feed, times);
    return feed;
}

}  // namespace

// The item readers walk an item's children themselves (one pass per item); this finds the
// elements around them.
TBXMLElement* firstChildNamed(TBXMLElement* parent, const char* name)
{
    for (TBXMLElement* child = parent ? parent->firstChild : nullptr; child; child = child->nextSibling) {
        if (nameIs(child, name))
            return child;
    }
    return nullptr;
}

TBXMLElement* rssRootOf(TBXML& document, const QByteArray& data)
{
    if (data.isEmpty())
        return nullptr;
    Error error;
    document.initWithXMLData(data, &error);
    return error.code != 0 ? nullptr : rssRoot(document);
}

FeedPtr parserSingleNewsXmlData(TBXMLElement* item)
{
    return item ? readItem(item, FeedTimes()) : nullptr;
}

QList<FeedPtr> parserNewsListXmlData(const QByteArray& data)
{
    QList<FeedPtr> feeds;
    TBXML document;
    TBXMLElement* channel = firstChildNamed(rssRootOf(document, data), "channel");
    if (channel)
        appendItems(channel, FeedTimes(), feeds);
    return feeds;
}

QList<QList<FeedPtr>> parserRankNewsListXmlData(const QByteArray& data)
{
    QList<QList<FeedPtr>> sections;
    TBXML document;
    TBXMLElement* root = rssRootOf(document, data);
    if (!root)
        return sections;
    const FeedTimes times;
    for (const char* name : {"channel48rank", "channelweekhotrank", "channelweekcommentrank", "channelmonthrank"}) {
        TBXMLElement* section = firstChildNamed(root, name);
        if (!section)
            continue;
        QList<FeedPtr> items;
        appendItems(section, times, items);
        sections.append(items);
    }
    return sections;
}

slideDataPtr parserSingleSlideXmlData(TBXMLElement* item)
{
    if (!item)
        return nullptr;
    auto slide = std::make_shared<slideData>();
    slide->slideTitle = textOf(firstChildNamed(item, "title"));
    slide->slideLinkUrl = textOf(firstChildNamed(item, "link"));
    slide->slideType = textOf(firstChildNamed(item, "newstype"));
    slide->slideOpenType = textOf(firstChildNamed(item, "opentype"));
    slide->slideImageUrl = textOf(firstChildNamed(item, "image"));
    slide->slideDevice = textOf(firstChildNamed(item, "device"));
    return slide;
}

bool parserSlideXmlData(const QByteArray& data, QList<slideDataPtr>& newSlides)
{
    TBXML document;
    Error error;
    document.initWithXMLData(data, &error);
    // The reader validates little: bytes in which it finds no element at all are no document.
    if (error.code != 0 || !document.rootXMLElement())
        return false;
    TBXMLElement* channel = firstChildNamed(rssRoot(document), "channel");
    QList<slideDataPtr> kept;
    for (TBXMLElement* item = firstChildNamed(channel, "item"); item; item = nextNamed(item, "item")) {
        slideDataPtr slide = parserSingleSlideXmlData(item);
        if (slide && (slide->slideDevice.isEmpty() || slide->slideDevice.contains(QLatin1Char('6'))))
            kept.append(std::move(slide));
    }
    if (!kept.isEmpty()) {
        filerData(kept);
        newSlides.append(kept);
    }
    return true;
}

void filerData(QList<FeedPtr>& feeds)
{
    if (gbLoadAllData.load())
        return;
    feeds.removeIf([](const FeedPtr& feed) { return feed && holdsFilterWord(feed->title); });
}

void filerData(QList<QList<FeedPtr>>& sections)
{
    for (QList<FeedPtr>& section : sections)
        filerData(section);
}

void filerData(QList<slideDataPtr>& slides)
{
    if (gbLoadAllData.load())
        return;
    slides.removeIf([](const slideDataPtr& slide) { return slide && holdsFilterWord(slide->slideTitle); });
}
