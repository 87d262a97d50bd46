#include "article/HtmlText.h"

namespace HtmlText {

QString escape(const QString& text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&': out += QLatin1String("&amp;"); break;
        case '<': out += QLatin1String("&lt;"); break;
        case '>': out += QLatin1String("&gt;"); break;
        case '"': out += QLatin1String("&quot;"); break;
        case '\'': out += QLatin1String("&#39;"); break;
        default: out += c;
        }
    }
    return out;
}

QString scriptLiteral(const QString& text)
{
    QString out;
    out.reserve(text.size() + 16);
    out += QLatin1Char('"');
    QChar previous;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        switch (u) {
        case '"': out += QLatin1String("\\\""); break;
        case '\\': out += QLatin1String("\\\\"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        case '\t': out += QLatin1String("\\t"); break;
        case '/':
            out += previous == QLatin1Char('<') ? QLatin1String("\\/") : QLatin1String("/");
            break;
        default:
            if (u < 0x20 || u == 0x2028 || u == 0x2029 || u == 0x7f)
                out += QStringLiteral("\\u%1").arg(u, 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
        previous = c;
    }
    out += QLatin1Char('"');
    return out;
}

}  // namespace HtmlText
