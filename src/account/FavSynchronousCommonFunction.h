#pragma once

#include "foundation/FavoriteFile.h"
#include "foundation/models/Favrite_Data.h"
#include "foundation/models/FavriteUserAndContents.h"

#include "platform/Error.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

class AFURLSessionManager;
class DatabaseOperate;

// The request fields of the favourites service, named in this one place.
namespace FavSyncFields {
inline constexpr auto kUser = "user";        // the account name
inline constexpr auto kPassword = "pass";    // DES-hex of the password under the favourites key
inline constexpr auto kVersion = "ver";      // upload: the version of the file sent
inline constexpr auto kFile = "file";        // upload: the zip part
inline constexpr auto kFileName = FavoriteFile::kFileName;  // the one entry of the zip
}  // namespace FavSyncFields

// Synchronises an account's favourites with the copy the account service keeps: one zip holding
// "favorite.dat" per account, with a version.
//
// 1. The service's version (u81).
// 2. Local favourites changed since the last upload: the account's favourites go up as the zip
//    (u83, multipart, on a session manager of its own) with a version above both the local and
//    the service's one. Only an upload the service took ("true") clears the changed mark and
//    stores that version, and only when the favourites did not change while it was on its way;
//    otherwise the mark stays and the next synchronisation sends them again.
// 3. Otherwise, a service version above the local one: the zip comes down (u82) and its file
//    replaces the account's favourites and sets the stored version and time.
// 4. Otherwise nothing more is sent.
// Each completed synchronisation stamps the favourites' refresh tag (100); a start within its
// 180 s sends nothing unless there are local changes to upload.
//
// Start it on the main thread; it keeps itself alive until it ends.
class FavSynchronousCommonFunction : public std::enable_shared_from_this<FavSynchronousCommonFunction>
{
public:
    enum class Outcome { Uploaded, Downloaded, UpToDate, NotDue, Failed };

    // Starts a synchronisation of the account; the completion block runs on the main thread.
    static std::shared_ptr<FavSynchronousCommonFunction> synchronize(const QString& account, const QString& password,
                                                                     std::function<void(Outcome)> completion = {});

    // "favorite.dat" (see FavoriteFile.h): the sync row's version, changed mark and time, then the
    // favourites.
    static QByteArray favoriteFile(const FavriteUserAndContents& header, const QList<Favrite_DataPtr>& favourites);
    // The header and favourites of a file, the favourites given to account; nothing when the file
    // cannot be read.
    using FileContents = FavoriteFile::Contents;
    static std::optional<FileContents> readFavoriteFile(const QByteArray& bytes, const QString& account);
    // The zip holding the file as its one entry / the file out of such a zip; empty when the
    // zip cannot be made or holds no such file.
    static QByteArray zipFavoriteFile(const QByteArray& file);
    static QByteArray unzipFavoriteFile(const QByteArray& zip);

    // The manager of the request on its way; null once the synchronisation has ended.
    std::shared_ptr<AFURLSessionManager> sessionManager() const;

private:
    FavSynchronousCommonFunction(QString account, QString password, std::function<void(Outcome)> completion);
    void start();
    void upload(int64_t serverVersion);
    void uploadEnded(const QVariant& reply, const std::optional<Error>& error, const FavriteUserAndContents& sent,
                     const QByteArray& readState);
    // The account's sync row and favourites as one text (a favourites file), to tell whether they
    // changed; empty when they cannot be read. The caller holds the store.
    static QByteArray favouritesState(DatabaseOperate& store, const QString& account);
    void download(int64_t serverVersion);
    void finish(Outcome outcome);
    QVariantMap credentials() const;

    QString m_account;
    QString m_password;
    std::function<void(Outcome)> m_completion;
    std::shared_ptr<AFURLSessionManager> m_session;
    bool m_finished = false;
};
