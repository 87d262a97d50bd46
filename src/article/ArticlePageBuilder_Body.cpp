#include "article/ArticlePageBuilder.h"

#include "article/ArticleCacheFile.h"
#include "database/ServerUrls.h"
#include "foundation/xml/TFHpple.h"
#include "Library/RegexKitLite-4.0/RegexKitLite.h"

#include <QRegularExpression>
#include <QSet>

using namespace RegexKitLiteAdditions;

namespace {

const QString kPicturePattern = QStringLiteral("<img.+?src=\"(.+?)\".+?>");

QString linkPattern(const QString& base)
{
    // The base is a configured address: its dots and slashes are meant literally.
    return QStringLiteral("<a href=\"(%1/(.+?).htm)\" target=\"_blank\">").arg(QRegularExpression::escape(base));
}

// The address an in-site article link gets, or nothing when its last path part is no news id.
std::optional<QString> inPageAddress(const QString& path, const QString& newsId)
{
    const QString last = path.section(QLatin1Char('/'), -1);
    if (!ArticleIds::isNewsId(last))
        return std::nullopt;
    if (last == newsId)
        return QStringLiteral("refreshnewsinnews://%1").arg(last);
    return QStringLiteral("javascript:window.external.opennewsinnews(%1)").arg(last);
}

// Rewrites the in-site links found in text (an anchor's markup, or the whole body) inside body.
void rewriteLinks(QString& body, const QString& text, const QString& base, const QString& newsId, int maxPathLength)
{
    const auto matches = arrayOfCaptureComponentsMatchedByRegex(text, linkPattern(base));
    if (!matches)
        return;
    for (const QStringList& match : *matches) {
        if (match.size() < 3 || match.at(0).isEmpty() || match.at(1).isEmpty() || match.at(2).isEmpty())
            continue;
        if (maxPathLength > 0 && match.at(2).size() >= maxPathLength)
            continue;
        const auto address = inPageAddress(match.at(2), newsId);
        if (!address)
            continue;
        QString anchor = match.at(0);
        anchor.replace(match.at(1), *address);
        body.replace(match.at(0), anchor);
    }
}

QString withoutSize(QString tag)
{
    tag = stringByReplacingOccurrencesOfRegex(tag, QStringLiteral("width=\"(.+?)\""), QStringLiteral(""));
    return stringByReplacingOccurrencesOfRegex(tag, QStringLiteral("height=\"(.+?)\""), QStringLiteral(""));
}

TFHppleElementList search(const QString& body, const QString& query)
{
    return TFHpple::hppleWithHTMLData(body.toUtf8()).searchWithXPathQuery(query);
}

QStringList anchorMarkups(const QString& body, bool withPicturesOnly)
{
    QStringList markups;
    for (const auto& anchor : search(body, QStringLiteral("//a"))) {
        if (withPicturesOnly && anchor->childrenWithTagName(QStringLiteral("img")).isEmpty())
            continue;
        markups.append(anchor->raw());
    }
    return markups;
}

bool insideAnyAnchor(const QString& markup, const QStringList& anchors)
{
    for (const QString& anchor : anchors) {
        if (anchor.contains(markup))
            return true;
    }
    return false;
}

// Shown where a picture cannot be loaded.
const QString& fallbackPicture()
{
    static const QString address = ArticleBundle::fileUrl(QStringLiteral("korvask_webview_defaultimage.png"));
    return address;
}

// What a picture of the body gets: its address kept aside with the loading and fallback pictures,
// and the click and load handlers. Online, the lazy loader takes the address as well.
QString pictureAttributes(const QString& src, bool online, const QString& onClick)
{
    static const QString loading = ArticleBundle::fileUrl(QStringLiteral("korvask_webview_loadingimage.png"));
    const QString pattern = online ? QStringLiteral("data-original=\"%1\" originsrc=\"%1\" loadingsrc=\"%2\" onError=\"this.src='%3'\" "
                                                    "onclick=\"%4\" onload=\"imageload();\"")
                                   : QStringLiteral("originsrc=\"%1\" loadingsrc=\"%2\" onError=\"this.src='%3'\" onclick=\"%4\" "
                                                    "onload=\"imageload();\"");
    return pattern.arg(src, loading, fallbackPicture(), onClick);
}

void documentWay(QString& body, const QString& newsId, bool online, QStringList* images, QString* firstImage)
{
    {
        const TFHppleElementList anchors = search(body, QStringLiteral("//a"));
        for (const QString& base : {kUrlWwwHtmlBase, kUrlWapHtmlBase}) {
            for (const auto& anchor : anchors) {
                const QString raw = anchor->raw();
                if (!raw.isEmpty() && !base.isEmpty())
                    rewriteLinks(body, raw, base, newsId, 0);
            }
        }
    }
    {
        for (const auto& picture : search(body, QStringLiteral("//img"))) {
            const QString raw = picture->raw();
            const QVariantMap attributes = picture->attributes();
            if (raw.isEmpty() || attributes.value(QStringLiteral("src")).toString().isEmpty())
                continue;
            if (!attributes.contains(QStringLiteral("width")) && !attributes.contains(QStringLiteral("height")))
                continue;
            body.replace(raw, withoutSize(raw));
        }
    }
    TFHppleElementList list = search(body, QStringLiteral("//img"));
    if (online) {
        const QStringList anchors = anchorMarkups(body, true);
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [&](const auto& picture) { return insideAnyAnchor(picture->raw(), anchors); }),
                   list.end());
    }
    QSet<QString> done;
    bool first = true;
    for (const auto& picture : list) {
        const QString raw = picture->raw();
        const QString src = picture->objectForKey(QStringLiteral("src"));
        if (first && online && !raw.isEmpty() && !src.isEmpty())
            *firstImage = src;
        first = false;
        if (raw.isEmpty() || src.isEmpty())
            continue;
        images->append(src);
        // One replacement per address: a second pass would find the "src" inside "originsrc".
        if (done.contains(src))
            continue;
        done.insert(src);
        const QString replacement = pictureAttributes(src, online, QStringLiteral("IsImageLoaded();"))
            + QStringLiteral(" src=\"") + fallbackPicture() + QLatin1Char('"');
        body.replace(QStringLiteral("src=\"%1\"").arg(src), replacement);
    }
}

void regexWay(QString& body, const QString& newsId, bool online, QStringList* images, QString* firstImage)
{
    for (const QString& base : {kUrlWwwHtmlBase, kUrlWapHtmlBase}) {
        if (!base.isEmpty())
            rewriteLinks(body, QString(body), base, newsId, 50);
    }
    if (const auto tags = arrayOfCaptureComponentsMatchedByRegex(body, kPicturePattern)) {
        for (const QStringList& match : *tags) {
            if (match.size() >= 2 && !match.at(0).isEmpty() && !match.at(1).isEmpty())
                body.replace(match.at(0), withoutSize(match.at(0)));
        }
    }
    const auto tags = arrayOfCaptureComponentsMatchedByRegex(body, kPicturePattern);
    if (!tags)
        return;
    const QStringList anchors = online ? anchorMarkups(body, false) : QStringList();
    QSet<QString> done;
    bool first = true;
    for (const QStringList& match : *tags) {
        if (match.size() < 2)
            continue;
        const QString& tag = match.at(0);
        const QString& src = match.at(1);
        if (online && insideAnyAnchor(tag, anchors))
            continue;
        if (online && first)
            *firstImage = src;
        first = false;
        images->append(src);
        if (done.contains(tag))
            continue;
        done.insert(tag);
        const QString attributes = pictureAttributes(
            src, online, online ? QStringLiteral("window.external.IsImageLoaded();") : QStringLiteral("IsImageLoaded();"));
        body.replace(tag, tag.left(5) + attributes + tag.mid(5));
    }
}

}  // namespace

QString ArticlePageBuilder::rewriteBody(const QString& source, const QString& newsId, bool networkReachable,
                                        QStringList* images, QString* firstImage)
{
    QString body = source.isNull() ? QStringLiteral("") : source;
    images->clear();
    *firstImage = QStringLiteral("");
    const bool textWay = body.contains(QStringLiteral("<![CDATA[")) || body.contains(QStringLiteral("<script"))
        || body.contains(QStringLiteral("< script"));
    if (textWay)
        regexWay(body, newsId, networkReachable, images, firstImage);
    else
        documentWay(body, newsId, networkReachable, images, firstImage);
    body.replace(QStringLiteral("href=\"#down\""), QStringLiteral("href=\"javascript:downfun()\""));
    return body;
}
