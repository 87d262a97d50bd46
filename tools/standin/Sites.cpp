#include "Sites.h"

#include "foundation/CommonFunction.h"
#include "networking/TextEncoding.h"

#include <QDateTime>
#include <QLocale>

namespace standin::sites {

void note(HttpReply& reply, const QString& name, const QString& value)
{
    reply.withHeader(kNoteHeader, QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value));
}

HttpReply xmlReply(const QByteArray& body)
{
    return HttpReply::text(200, body, "text/xml; charset=utf-8");
}

HttpReply jsonReply(const QByteArray& body)
{
    return HttpReply::text(200, body, "application/json; charset=utf-8");
}

QByteArray httpDate(const QDateTime& moment)
{
    return QLocale::c().toString(moment.toUTC(), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'")).toLatin1();
}

HttpReply textReply(const QByteArray& body)
{
    return HttpReply::text(200, body, "text/plain; charset=utf-8");
}

HttpReply htmlReply(const QString& title, const QString& body)
{
    const QString page = QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>%1</title></head>"
                                        "<body><h1>%1</h1>%2</body></html>")
                             .arg(title.toHtmlEscaped(), body);
    return HttpReply::text(200, page.toUtf8(), "text/html; charset=utf-8");
}

HttpReply notFound()
{
    return HttpReply::text(404, "Not Found");
}

QUrlQuery parameters(const HttpRequest& request)
{
    QUrlQuery merged(request.query);
    if (!request.body.isEmpty() && request.header("Content-Type").startsWith("application/x-www-form-urlencoded")) {
        const QUrlQuery form(QString::fromUtf8(request.body));
        for (const auto& item : form.queryItems(QUrl::FullyEncoded)) {
            merged.removeAllQueryItems(item.first);
            merged.addQueryItem(item.first, item.second);
        }
    }
    return merged;
}

QString fileStem(const QString& path)
{
    return path.section(QLatin1Char('/'), -1).section(QLatin1Char('.'), 0, 0);
}

QString idFolder(qint64 id)
{
    const QString digits = QString::number(id);
    return digits.size() <= 3 ? QStringLiteral("0") : digits.left(digits.size() - 3);
}

QString idStem(qint64 id)
{
    const QString digits = QString::number(id);
    return digits.size() <= 3 ? digits : digits.right(3);
}

qint64 idFromFolderStem(const QString& folder, const QString& stem)
{
    bool ok = false;
    const qint64 id = (folder == QLatin1String("0") ? stem : folder + stem).toLongLong(&ok);
    if (!ok || id <= 0 || idFolder(id) != folder || idStem(id) != stem)
        return 0;
    return id;
}

QString decipher(const QString& hex, const DesKey& key)
{
    const QString text = CommonFunction::DecypteUTF8(hex, key);
    return text.isEmpty() ? QString() : text;
}

QString decipherGb18030(const QString& hex, const DesKey& key)
{
    const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
    if (bytes.isEmpty() || bytes.size() % 8 != 0 || bytes.toHex() != hex.toLower().toLatin1())
        return QString();
    QByteArray plain = CommonFunction::DecypteData(bytes, key);
    const qsizetype zero = plain.indexOf('\0');
    if (zero >= 0)
        plain.truncate(zero);
    const QString text = TextEncoding::decode(plain, QStringLiteral("gb18030")).value_or(QString());
    return text.isEmpty() ? QString() : text;
}

void noteEncipheredFields(HttpReply& reply, const QUrlQuery& fields)
{
    for (const auto& item : fields.queryItems(QUrl::FullyDecoded)) {
        const bool city = item.first.contains(QLatin1String("city"), Qt::CaseInsensitive);
        QString text = city ? decipherGb18030(item.second, kDesKeyRequest) : decipher(item.second, kDesKeyRequest);
        if (text.isNull())
            continue;
        if (item.first.compare(QLatin1String("userHash"), Qt::CaseInsensitive) == 0)
            text = text.section(QChar(0x0C), 0, 0);  // never the password
        note(reply, item.first, text);
    }
}

}  // namespace standin::sites
