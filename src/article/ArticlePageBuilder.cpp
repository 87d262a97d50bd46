#include "article/ArticlePageBuilder.h"

#include "article/ArticleCacheFile.h"
#include "article/HtmlText.h"
#include "database/ServerUrls.h"
#include "foundation/CommonFunction.h"
#include "foundation/PageFont.h"
#include "Library/RegexKitLite-4.0/RegexKitLite.h"

#include <QFile>
#include <QHash>
#include <QMutex>
#include <QRegularExpression>

namespace ArticleBundle {

QString fileUrl(const QString& name)
{
    return QLatin1String(kBaseUrl) + name;
}

QString pictureDataUrl(const QString& name)
{
    const std::optional<QByteArray> picture = bytes(name);
    return picture ? QStringLiteral("data:image/png;base64,") + QString::fromLatin1(picture->toBase64()) : QString();
}

std::optional<QByteArray> bytes(const QString& name)
{
    // The bundle is compiled into the program and never changes, and every page asks for the same
    // few files (the jQuery scripts, the pictures): each is read and uncompressed once. Only files
    // that exist are kept, so names a page makes up cannot grow the store.
    static QMutex mutex;
    static QHash<QString, QByteArray> files;
    QMutexLocker lock(&mutex);
    if (const auto found = files.constFind(name); found != files.constEnd())
        return *found;
    QFile file(QStringLiteral(":/article/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray read = file.readAll();
    files.insert(name, read);
    return read;
}

QString text(const QString& name)
{
    const std::optional<QByteArray> file = bytes(name);
    return file ? QString::fromUtf8(*file) : QStringLiteral("");
}

}  // namespace ArticleBundle

namespace {

// Every page of the process takes the same style sheet and page script: each is decoded once.
const QString& bundleStyleSheet()
{
    static const QString sheet = ArticleBundle::text(QStringLiteral("iPadNews.css"));
    return sheet;
}

const QString& bundlePageScript()
{
    static const QString script = ArticleBundle::text(QStringLiteral("news.js"));
    return script;
}

QString styleText(const ArticlePageInput& input)
{
    QString style = bundleStyleSheet();
    if (input.fontSize && !input.fontSize->isNull())
        style.replace(QStringLiteral("#fontsize#"), *input.fontSize);
    style.replace(QStringLiteral("#fontfamily#"), PageFont::family(input.thinFont));
    style.replace(QStringLiteral("[ios9]1"), QStringLiteral("0"));
    return style;
}

QString hitCounterFrame(const QString& newsId)
{
    return QStringLiteral("<iframe class=\"hl\" src=\"%1?newsid=%2&dev=mac\" scrolling=\"no\" marginwidth=\"0\" "
                          "marginheight=\"0\" frameborder=\"0\" width=\"0\" height=\"0\"></iframe>")
        .arg(HtmlText::escape(kUrlHitCount), ArticleIds::isNewsId(newsId) ? newsId : QString());
}

// Vote snippets of the assembled page become containers; a vote found exactly once is requested.
QStringList replaceVotes(QString& page)
{
    static const QString pattern = QStringLiteral("http://[\\w.]+%1/vote/([\\w/]+)\\.(js)")
                                       .arg(QRegularExpression::escape(ArticlePageBuilder::voteDomain()));
    QStringList requested;
    const auto matches = RegexKitLiteAdditions::arrayOfCaptureComponentsMatchedByRegex(page, pattern);
    if (!matches)
        return requested;
    for (const QStringList& match : *matches) {
        if (match.size() < 3 || match.at(0).isEmpty() || match.at(1).isEmpty() || match.at(2).isEmpty())
            continue;
        const QString& address = match.at(0);
        const QString& voteId = match.at(1);
        const QString container = QStringLiteral("<div id=\"vote%1\"></div>").arg(voteId);
        const QString styled =
            QStringLiteral("<script>document.write(\"<s\"+\"cript type='text/javascript' src='%1?\"+Math.random()+\"'></scr\"+\"ipt>\");"
                           "</script><p id=\"vote%2\" style=\"text-indent:0em\"></p><script>document.getElementById(\"vote%2\")"
                           ".innerHTML = voteStr;</script>")
                .arg(address, voteId);
        qsizetype replaced = page.count(styled);
        page.replace(styled, container);
        if (replaced == 0) {
            const QString plain =
                QStringLiteral("<script>document.write(\"<s\"+\"cript type='text/javascript' src='%1?\"+Math.random()+\"'></scr\"+\"ipt>\");"
                               "</script><p id=\"vote%2\"></p><script>document.getElementById(\"vote%2\").innerHTML = voteStr;"
                               "</script>")
                    .arg(address, voteId);
            replaced = page.count(plain);
            page.replace(plain, container);
        }
        if (replaced == 1 && ArticleIds::isVoteId(voteId))
            requested.append(voteId);
    }
    return requested;
}

}  // namespace

QString ArticlePageBuilder::voteDomain()
{
    return QStringLiteral("tidwen.example");
}

QString ArticlePageBuilder::titleBlock(const ArticlePageInput& input)
{
    QString source = input.newsSource;
    if (source == QStringLiteral("Tidwen 原创"))
        source = QStringLiteral("Tidwen");
    const QString title = HtmlText::escape(input.title);
    const QString date = HtmlText::escape(CommonFunction::YMDHMDateStringFromYMDHMSDateString(input.postDate));
    const QString sourceText = HtmlText::escape(source);
    const QString mark = input.YuanChuang ? QStringLiteral("<span class=\"yuanchuang\"><img src = \"%1\"></img></span>")
                                                .arg(ArticleBundle::fileUrl(QStringLiteral("web_yuanchuang.png")))
                                          : QString();
    const QString hits = QStringLiteral("<span class=\"newshitcount\"><img src = \"%1\"></img><a>%2</a></span>")
                             .arg(ArticleBundle::fileUrl(QStringLiteral("news_renqi.png")), HtmlText::escape(input.hitCount));
    const bool staff = input.staffReader;
    if (source == QStringLiteral("Tidwen")) {
        const QString author = HtmlText::escape(input.author);
        if (staff) {
            return QStringLiteral("<div class=\"title\"><h1>%1</h1><span class=\"source\">%2 &nbsp&nbsp&nbsp%3(%4)</span>%5"
                                  "<span class=\"newszebian\">%6</span></div><div class=\"content\" id=\"content\">")
                .arg(title, date, sourceText, author, mark, hits);
        }
        return QStringLiteral("<div class=\"title\"><h1>%1</h1><span class=\"source\">%2 &nbsp&nbsp&nbsp%3(%4)</span>%5"
                              "<span class=\"newszebian\"></span></div><div class=\"content\" id=\"content\">")
            .arg(title, date, sourceText, author, mark);
    }
    const bool noWriter = input.newsAuthor == QStringLiteral("-");
    const QString label = noWriter ? QStringLiteral("责编：") : QStringLiteral("作者：");
    const QString person = HtmlText::escape(noWriter ? input.newsZeBian : input.newsAuthor);
    return QStringLiteral("<div class=\"title\"><h1>%1</h1><span class=\"source\">%2 &nbsp&nbsp&nbsp%3</span>%4"
                          "<span class=\"newszebian\"><span>%5%6</span>%7</span></div><div class=\"content\" id=\"content\">")
        .arg(title, date, sourceText, mark, label, person, staff ? hits : QString());
}

ArticlePageResult ArticlePageBuilder::complateHtmlCode(const ArticlePageInput& input)
{
    ArticlePageResult result;
    const QString body = rewriteBody(input.html, input.newsID, input.networkReachable, &result.currentNewsImageArray,
                                     &result.firstimgurlInHtml);
    QString page;
    page.reserve(body.size() + 16384);
    page += QStringLiteral("<html><head>");
    page += styleText(input);
    page += bundlePageScript();
    page += QStringLiteral("</head><body id=\"body\"><div class=\"wrap\">");
    page += titleBlock(input);
    page += body;
    page += QStringLiteral("<script src='jquery.min.js' type=\"text/javascript\"></script>"
                           "<script src='jquery.lazyload.min.js' type=\"text/javascript\"></script>"
                           "<script type=\"text/javascript\" charset=\"utf-8\">$(function () { $(\"img\").lazyload("
                           "{effect: \"fadeIn\",threshold:400}); });</script>");
    page += QStringLiteral("</div></div>");
    page += QStringLiteral("<div id=\"newreward\"></div><div id=\"newscore\"></div><div id=\"related\"></div>");
    if (input.douZaiMai)
        page += QStringLiteral("<div id=\"douzaimai\"></div>");
    page += QStringLiteral("<div id=\"newshotcomment\"></div>");
    page += hitCounterFrame(input.newsID);
    page += QStringLiteral("</body></html>");
    result.voteIds = replaceVotes(page);
    result.page = std::move(page);
    return result;
}
