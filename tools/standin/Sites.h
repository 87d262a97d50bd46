#pragma once

#include "StandinContent.h"
#include "httpcore/HttpMessage.h"
#include "foundation/EncryptionKeys.h"

#include <QDateTime>
#include <QUrlQuery>

#include <functional>
#include <memory>

class HttpRouter;

// The routes of the service's hosts and the small helpers they share. Handlers run on the
// server's thread under the service's lock, so they read the content directly.
namespace standin::sites {

void addNewsRoutes(HttpRouter& router, const StandinContent& content);
// listAds: the configuration names list-ad slots. A posted comment changes the content, after
// which contentChanged runs (under the service's lock).
void addServiceRoutes(HttpRouter& router, StandinContent& content, bool listAds, std::function<void()> contentChanged);
// The demo account's password on this service: the built-in one until a password change, whose
// new password holds while the service runs. Read and written under the service's lock.
using DemoPassword = std::shared_ptr<QString>;
// The favourites service on the account host: version, download and upload of each account's
// zip, kept in memory while the service runs.
void addFavouritesRoutes(HttpRouter& router, const QString& host, DemoPassword demoPassword);

// Field name of the notes a handler leaves for the request log; the service removes them
// before the reply is sent.
inline constexpr const char* kNoteHeader = "X-Standin-Note";
// Marks a reply of per-account state that changes with the account's own requests: it is not
// kept, dated or answered 304, and no cache may store it. The service removes the field.
inline constexpr const char* kDynamicHeader = "X-Standin-Dynamic";
// A deciphered request field for the log.
void note(HttpReply& reply, const QString& name, const QString& value);

// An IMF-fixdate, as Last-Modified carries it.
QByteArray httpDate(const QDateTime& moment);

HttpReply xmlReply(const QByteArray& body);
HttpReply jsonReply(const QByteArray& body);
HttpReply textReply(const QByteArray& body);
HttpReply htmlReply(const QString& title, const QString& body);
HttpReply notFound();

// Query and form fields together (form fields win), percent-decoded.
QUrlQuery parameters(const HttpRequest& request);
// The last path segment without its extension.
QString fileStem(const QString& path);
// A news id's cache folder and stem: "0"/n up to three digits, else all but the last three / the last three.
QString idFolder(qint64 id);
QString idStem(qint64 id);
// The id of folder and stem when they follow that rule; 0 otherwise.
qint64 idFromFolderStem(const QString& folder, const QString& stem);
// The text of DES-hex under key; null when it does not decipher to text.
QString decipher(const QString& hex, const DesKey& key);
// The GB 18030 text of DES-hex under key (search words, the city); null when it is none.
QString decipherGb18030(const QString& hex, const DesKey& key);
// Notes every field that deciphers under the main key (a "city" field as GB 18030), the
// account and password pair of a userHash reduced to the account.
void noteEncipheredFields(HttpReply& reply, const QUrlQuery& fields);

}  // namespace standin::sites
