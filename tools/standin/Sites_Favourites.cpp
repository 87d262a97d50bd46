#include "Documents.h"
#include "Sites.h"

#include "foundation/FavoriteFile.h"
#include "httpcore/HttpRouter.h"

#include <QHash>

#include <memory>
#include <optional>
#include <utility>

// The favourites service of the account host: one file (a zip holding "favorite.dat") and its
// version per account, kept while the service runs.
namespace standin::sites {
namespace {

struct KeptFile
{
    qint64 version = 0;
    QByteArray zip;
};
using KeptFiles = QHash<QString, KeptFile>;

HttpReply dynamic(HttpReply reply)
{
    reply.setHeader(kDynamicHeader, "1");
    return reply;
}

// One part of a multipart/form-data body.
struct FormPart
{
    QString name;
    QByteArray body;
};

QList<FormPart> multipartParts(const HttpRequest& request)
{
    const QByteArray type = request.header("Content-Type");
    const qsizetype at = type.indexOf("boundary=");
    if (!type.startsWith("multipart/form-data") || at < 0)
        return {};
    QByteArray boundary = type.mid(at + 9).trimmed();
    if (boundary.startsWith('"') && boundary.endsWith('"') && boundary.size() >= 2)
        boundary = boundary.mid(1, boundary.size() - 2);
    const QByteArray delimiter = "--" + boundary;
    QList<FormPart> parts;
    qsizetype from = request.body.indexOf(delimiter);
    while (from >= 0) {
        const qsizetype start = from + delimiter.size();
        if (request.body.mid(start, 2) == "--")
            break;  // the closing delimiter
        const qsizetype next = request.body.indexOf("\r\n" + delimiter, start);
        if (next < 0)
            break;
        const QByteArray part = request.body.mid(start + 2, next - start - 2);  // past the line end
        const qsizetype headersEnd = part.indexOf("\r\n\r\n");
        if (headersEnd >= 0) {
            const QByteArray headers = part.left(headersEnd);
            const qsizetype nameAt = headers.indexOf("name=\"");
            if (nameAt >= 0) {
                const qsizetype nameEnd = headers.indexOf('"', nameAt + 6);
                parts.append({QString::fromUtf8(headers.mid(nameAt + 6, nameEnd - nameAt - 6)), part.mid(headersEnd + 4)});
            }
        }
        from = next + 2;
    }
    return parts;
}

// The account of a request whose password deciphers; "" otherwise. The demo account needs its
// password of the moment; other accounts are taken as they come.
QString accountOf(const QUrlQuery& q, const QString& demoPassword)
{
    const QString account = q.queryItemValue(QStringLiteral("user"), QUrl::FullyDecoded);
    const QString password = decipher(q.queryItemValue(QStringLiteral("pass")), kDesKeyFavorites);
    if (account.isEmpty() || password.isEmpty())
        return {};
    const documents::Account& demo = documents::demoAccount();
    if (account.compare(demo.account, Qt::CaseInsensitive) == 0 && password != demoPassword)
        return {};
    return account.toLower();
}

// The zip as the service keeps it, and how many favourites its "favorite.dat" lists; nothing when
// there is no such readable file. A file of the earlier JSON form is kept in the XML form, so
// every copy the service hands out is of the current form.
std::optional<std::pair<QByteArray, int>> keptForm(const QByteArray& zipBytes, const QString& account)
{
    const QByteArray file = FavoriteFile::unzip(zipBytes);
    const std::optional<FavoriteFile::Contents> contents = FavoriteFile::read(file, account);
    if (!contents)
        return std::nullopt;
    const int count = int(contents->favourites.size());
    if (!file.trimmed().startsWith('{'))
        return std::make_pair(zipBytes, count);
    const QByteArray converted = FavoriteFile::zip(FavoriteFile::write(contents->header, contents->favourites));
    if (converted.isEmpty())
        return std::nullopt;
    return std::make_pair(converted, count);
}

}  // namespace

void addFavouritesRoutes(HttpRouter& router, const QString& host, DemoPassword demoPassword)
{
    auto files = std::make_shared<KeptFiles>();
    router.add("*", host, QStringLiteral("/olvenna/GetSyncFileVer.aspx"), [files, demoPassword](const HttpRequest& r) {
        const QString account = accountOf(parameters(r), *demoPassword);
        if (account.isEmpty())
            return dynamic(textReply("-1"));
        HttpReply reply = dynamic(textReply(QByteArray::number(files->value(account).version)));
        note(reply, QStringLiteral("user"), account);
        return reply;
    });
    router.add("GET", host, QStringLiteral("/olvenna/GetUserFile.aspx"), [files, demoPassword](const HttpRequest& r) {
        const QString account = accountOf(parameters(r), *demoPassword);
        if (account.isEmpty() || !files->contains(account))
            return dynamic(notFound());
        HttpReply reply = dynamic(HttpReply::text(200, files->value(account).zip, "application/zip"));
        note(reply, QStringLiteral("user"), account);
        return reply;
    });
    router.add("POST", host, QStringLiteral("/olvenna/userfileupload.aspx"), [files, demoPassword](const HttpRequest& r) {
        QUrlQuery fields;
        QByteArray zip;
        for (const FormPart& part : multipartParts(r)) {
            if (part.name == QLatin1String("file"))
                zip = part.body;
            else
                fields.addQueryItem(part.name, QString::fromUtf8(part.body));
        }
        const QString account = accountOf(fields, *demoPassword);
        bool versionOk = false;
        const qint64 version = fields.queryItemValue(QStringLiteral("ver")).toLongLong(&versionOk);
        const auto kept = account.isEmpty() ? std::nullopt : keptForm(zip, account);
        if (!kept || !versionOk)
            return textReply("false");
        const int favourites = kept->second;
        (*files)[account] = KeptFile{version, kept->first};
        HttpReply reply = textReply("true");
        note(reply, QStringLiteral("user"), account);
        note(reply, QStringLiteral("ver"), QString::number(version));
        note(reply, QStringLiteral("favourites"), QString::number(favourites));
        return reply;
    });
}

}  // namespace standin::sites
