#include "comments/CommentPageBuilder.h"

#include "foundation/CommonFunction.h"
#include "platform/UrlOpener.h"

#include <QUrl>
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

}  // namespace

QString CommentPageBuilder::rowsHtml(const QVariantList& comments)
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
                    " <span class=\"support\">支持(%10)</span> <span class=\"against\">反对(%11)</span></div>"
                    "</div>")
                    .arg(number(comment, "CI"), CommonFunction::GetAvatarAddress(userId).toHtmlEscaped(),
                         field(comment, "N"), field(comment, "Y"), field(comment, "SF"), field(comment, "C"),
                         field(comment, "D"), CommonFunction::htmlDeviceClass(client).toHtmlEscaped(), device,
                         number(comment, "S"), number(comment, "A"));
    }
    return html;
}

QString CommentPageBuilder::pageHtml(const QString& title, const QString& link, const QVariantList& comments,
                                     int themeMode)
{
    const bool night = themeMode == 2;
    const QUrl url(link);
    // Only a web address becomes a link, the same rule the browser hand-off applies.
    const QString heading = UrlOpener::isWebAddress(url)
                                ? QStringLiteral("<a href=\"%1\" target=\"_blank\">%2</a>")
                                      .arg(url.toString(QUrl::FullyEncoded).toHtmlEscaped(), title.toHtmlEscaped())
                                : title.toHtmlEscaped();
    const QString rows = comments.isEmpty() ? QStringLiteral("<div class=\"empty\">暂无评论</div>") : rowsHtml(comments);
    return QStringLiteral(
               "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><style>"
               "body{margin:0;padding:12px 16px;background:%1;color:%2;font-size:14px}"
               "h1{font-size:18px;margin:0 0 12px}h1 a{color:inherit;text-decoration:none}"
               ".comment{position:relative;padding:10px 0 10px 52px;border-bottom:1px solid %3;min-height:44px}"
               ".avatar{position:absolute;left:0;top:12px;width:40px;height:40px;border-radius:20px}"
               ".head,.foot{color:%4;font-size:12px}.text{margin:6px 0;line-height:1.6;white-space:pre-wrap;"
               "word-wrap:break-word}.empty{color:%4;padding:24px 0;text-align:center}"
               "</style><script>function SetFontFamily(f){document.body.style.fontFamily=f;}</script></head>"
               "<body><h1>%5</h1><div id=\"comments\">%6</div></body></html>")
        .arg(night ? QStringLiteral("#1e1e1e") : QStringLiteral("#ffffff"),
             night ? QStringLiteral("#c8c8c8") : QStringLiteral("#222222"),
             night ? QStringLiteral("#333333") : QStringLiteral("#e5e5e5"),
             night ? QStringLiteral("#8a8a8a") : QStringLiteral("#888888"), heading, rows);
}
