#include "comments/CommentPageBuilder.h"

#include "database/ServerUrls.h"
#include "foundation/CommonFunction.h"
#include "foundation/PageFont.h"
#include "platform/UrlOpener.h"

#include <QUrl>
#include <QUrlQuery>
#include <QVariantMap>

namespace {

QString field(const QVariantMap& comment, const char* key)
{
    return comment.value(QString::fromLatin1(key)).toString().toHtmlEscaped();
}

QString number(const QVariantMap& comment, const char* key)
{
    return QString::number(comment.value(QString::fromLatin1(key)).toLongLong());
}

// The host of the vote links: reserved, so a link that escaped the page would go nowhere.
constexpr auto kVoteHost = "comment-vote.invalid";

// The support or oppose count of a row as its vote link, or as plain text.
QString voteHtml(const QString& commentId, int64_t type, int64_t recorded, const QString& count)
{
    const QString cssClass = type == 1 ? QStringLiteral("support") : QStringLiteral("against");
    const QString text = (type == 1 ? QStringLiteral("支持(%1)") : QStringLiteral("反对(%1)")).arg(count);
    if (recorded != 0 && recorded != type)
        return QStringLiteral("<span class=\"%1\">%2</span>").arg(cssClass, text);
    const bool own = recorded == type;
    const QUrl url = CommentPageBuilder::voteLinkUrl({commentId, type, !own});
    return QStringLiteral("<a class=\"%1%2\" href=\"%3\">%4</a>")
        .arg(cssClass, own ? QStringLiteral(" voted") : QString(), url.toString(QUrl::FullyEncoded).toHtmlEscaped(), text);
}

}  // namespace

QUrl CommentPageBuilder::voteLinkUrl(const VoteLink& link)
{
    QUrl url;
    url.setScheme(QStringLiteral("https"));
    url.setHost(QString::fromLatin1(kVoteHost));
    url.setPath(QStringLiteral("/"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("ci"), link.commentId);
    query.addQueryItem(QStringLiteral("t"), QString::number(link.type));
    query.addQueryItem(QStringLiteral("z"), link.zhiChi ? QStringLiteral("1") : QStringLiteral("0"));
    url.setQuery(query);
    return url;
}

std::optional<CommentPageBuilder::VoteLink> CommentPageBuilder::voteLinkFrom(const QUrl& url)
{
    if (url.scheme() != QLatin1String("https") || url.host() != QLatin1String(kVoteHost))
        return std::nullopt;
    const QUrlQuery query(url);
    VoteLink link;
    link.commentId = query.queryItemValue(QStringLiteral("ci"));
    link.type = query.queryItemValue(QStringLiteral("t")).toLongLong();
    link.zhiChi = query.queryItemValue(QStringLiteral("z")) != QLatin1String("0");
    return link;
}

QString CommentPageBuilder::rowsHtml(const QVariantList& comments, const Votes& votes)
{
    QString html;
    for (const QVariant& item : comments) {
        const QVariantMap comment = item.toMap();
        if (comment.isEmpty())
            continue;
        const int32_t client = int32_t(comment.value(QStringLiteral("Cl")).toLongLong());
        const QString userId = number(comment, "Ui");
        const QString device =
            CommonFunction::htmlDeviceName(client, comment.value(QStringLiteral("Ta")).toString()).toHtmlEscaped();
        html += QStringLiteral(
                    "<div class=\"comment\" data-ci=\"%1\">"
                    "<img class=\"avatar\" src=\"%2\" alt=\"\">"
                    "<div class=\"head\"><span class=\"name\">%3</span> <span class=\"where\">%4</span>"
                    " <span class=\"floor\">%5</span></div>"
                    "<div class=\"text\">%6</div>"
                    "<div class=\"foot\"><span class=\"time\">%7</span> <span class=\"%8\">%9</span>"
                    " %10 %11</div>"
                    "</div>")
                    .arg(number(comment, "CI"), CommonFunction::GetAvatarAddress(userId).toHtmlEscaped(),
                         field(comment, "N"), field(comment, "Y"), field(comment, "SF"), field(comment, "C"),
                         field(comment, "D"), CommonFunction::htmlDeviceClass(client).toHtmlEscaped(), device,
                         voteHtml(number(comment, "CI"), 1, votes.value(number(comment, "CI")), number(comment, "S")),
                         voteHtml(number(comment, "CI"), 2, votes.value(number(comment, "CI")), number(comment, "A")));
    }
    return html;
}

QString CommentPageBuilder::pageHtml(const QString& title, const QString& link, const QVariantList& comments,
                                     int themeMode, const Votes& votes, bool listShown)
{
    const bool night = themeMode == 2;
    // The article's link is a path on the web site, or a whole address. Only a web address
    // becomes a link, the same rule the browser hand-off applies.
    const QUrl url(ServerUrls::siteAddress(link));
    const QString heading = UrlOpener::isWebAddress(url)
                                ? QStringLiteral("<a href=\"%1\" target=\"_blank\">%2</a>")
                                      .arg(url.toString(QUrl::FullyEncoded).toHtmlEscaped(), title.toHtmlEscaped())
                                : title.toHtmlEscaped();
    QString rows;
    if (listShown)
        rows = comments.isEmpty() ? QStringLiteral("<div class=\"empty\">暂无评论</div>") : rowsHtml(comments, votes);
    return QStringLiteral(
               "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><style>"
               "body{margin:0;padding:12px 16px;background:%1;color:%2;font-size:14px}"
               "h1{font-size:18px;margin:0 0 12px}h1 a{color:inherit;text-decoration:none}"
               ".comment{position:relative;padding:10px 0 10px 52px;border-bottom:1px solid %3;min-height:44px}"
               ".avatar{position:absolute;left:0;top:12px;width:40px;height:40px;border-radius:20px}"
               ".head,.foot{color:%4;font-size:12px}.text{margin:6px 0;line-height:1.6;white-space:pre-wrap;"
               "word-wrap:break-word}.empty{color:%4;padding:24px 0;text-align:center}"
               ".foot a{color:inherit;text-decoration:none}.foot a.voted{color:#d22222}"
               "</style><script>%7</script></head>"
               "<body><h1>%5</h1><div id=\"comments\">%6</div></body></html>")
        .arg(night ? QStringLiteral("#1e1e1e") : QStringLiteral("#ffffff"),
             night ? QStringLiteral("#c8c8c8") : QStringLiteral("#222222"),
             night ? QStringLiteral("#333333") : QStringLiteral("#e5e5e5"),
             night ? QStringLiteral("#8a8a8a") : QStringLiteral("#888888"), heading, rows, PageFont::pageScript());
}
