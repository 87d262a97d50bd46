#include "account/FavSynchronousCommonFunction.h"

#include "database/DatabaseOperate.h"
#include "database/ServerUrls.h"
#include "foundation/CommonFunction.h"
#include "foundation/CredentialTexts.h"
#include "foundation/EncryptionKeys.h"
#include "foundation/FavoriteFile.h"
#include "foundation/GlobalValues.h"
#include "networking/AFNetManager.h"
#include "networking/AFStreamingMultipartFormData.h"
#include "networking/AFURLRequestSerialization.h"
#include "networking/AFURLSessionManager.h"
#include "platform/Clock.h"

#include <QDebug>

namespace {

// The version text of the service: decimal digits, nothing else but white space.
std::optional<int64_t> versionFrom(const QVariant& body)
{
    bool ok = false;
    const int64_t version = QString::fromUtf8(body.toByteArray()).trimmed().toLongLong(&ok);
    return ok && version >= 0 ? std::optional<int64_t>(version) : std::nullopt;
}

}  // namespace

std::shared_ptr<FavSynchronousCommonFunction> FavSynchronousCommonFunction::synchronize(
    const QString& account, const QString& password, std::function<void(Outcome)> completion)
{
    std::shared_ptr<FavSynchronousCommonFunction> sync(
        new FavSynchronousCommonFunction(account, password, std::move(completion)));
    sync->start();
    return sync;
}

FavSynchronousCommonFunction::FavSynchronousCommonFunction(QString account, QString password,
                                                           std::function<void(Outcome)> completion)
    : m_account(std::move(account)), m_password(std::move(password)), m_completion(std::move(completion))
{
}

QVariantMap FavSynchronousCommonFunction::credentials() const
{
    // The program's own key opens it again: the version and file GETs carrying it in their
    // addresses are kept by no cache and never sent again.
    const QString password = CommonFunction::EncrypteUTF8(m_password, kDesKeyFavorites);
    CredentialTexts::note(password);
    return {{QString::fromLatin1(FavSyncFields::kUser), m_account}, {QString::fromLatin1(FavSyncFields::kPassword), password}};
}

void FavSynchronousCommonFunction::start()
{
    if (m_account.isEmpty() || m_password.isEmpty()) {
        finish(Outcome::Failed);
        return;
    }
    bool modified = false;
    {
        DatabaseOperate::Lease store;
        if (store)
            modified = store->FavriteUserAndContents_bhaveModifiedByUser(m_account);
    }
    if (!modified && !CommonFunction::needReloadWebFile(WebFileType::kFavorites)) {
        finish(Outcome::NotDue);
        return;
    }
    auto self = shared_from_this();
    m_session = AFNetManager::requestWithUrlString(
        kUrlSyncFileVer, true, credentials(), 1, nullptr,
        [self](const std::shared_ptr<URLSessionDataTask>&, const QVariant& body) {
            const std::optional<int64_t> serverVersion = versionFrom(body);
            if (!serverVersion) {
                self->finish(Outcome::Failed);
                return;
            }
            FavriteUserAndContentsPtr row;
            bool modified = false;
            {
                DatabaseOperate::Lease store;
                if (store) {
                    modified = store->FavriteUserAndContents_bhaveModifiedByUser(self->m_account);
                    row = store->FavriteUserAndContents_getDataByUser(self->m_account);
                }
            }
            const int64_t localVersion = row ? row->favritteVersion : 0;
            if (modified)
                self->upload(*serverVersion);
            else if (*serverVersion > localVersion)
                self->download(*serverVersion);
            else
                self->finish(Outcome::UpToDate);
        },
        [self](const std::shared_ptr<URLSessionDataTask>&, const Error&) { self->finish(Outcome::Failed); });
}

void FavSynchronousCommonFunction::upload(int64_t serverVersion)
{
    FavriteUserAndContents header;
    QList<Favrite_DataPtr> favourites;
    QByteArray readState;
    {
        DatabaseOperate::Lease store;
        if (!store) {
            finish(Outcome::Failed);
            return;
        }
        const FavriteUserAndContentsPtr row = store->FavriteUserAndContents_getDataByUser(m_account);
        if (row)
            header = *row;
        header.UserAccount = m_account;
        if (store->Favrite_Data_getAllFavriteURLAndTitleData(favourites, m_account) && row)
            readState = favoriteFile(*row, favourites);
    }
    // The file goes up with a version the service has not seen, so every other copy takes it.
    header.favritteVersion = std::max(header.favritteVersion, serverVersion + 1);
    header.bModified = false;
    const QByteArray zip = zipFavoriteFile(favoriteFile(header, favourites));
    if (zip.isEmpty()) {
        finish(Outcome::Failed);
        return;
    }
    const QVariantMap fields = [&] {
        QVariantMap map = credentials();
        map.insert(QString::fromLatin1(FavSyncFields::kVersion), QString::number(header.favritteVersion));
        return map;
    }();
    const QString zipName = m_account + QStringLiteral(".zip");
    std::optional<Error> buildError;
    // The fields go first, in the order of their names, then the zip.
    const std::optional<URLRequest> request = AFJSONRequestSerializer::serializer()->multipartFormRequestWithMethod(
        QStringLiteral("POST"), kUrlUserFileUpload, QVariant(),
        [&](AFMultipartFormData& form) {
            for (auto it = fields.cbegin(); it != fields.cend(); ++it)
                form.appendPartWithFormData(it.value().toString().toUtf8(), it.key());
            form.appendPartWithFileData(zip, QString::fromLatin1(FavSyncFields::kFile), zipName,
                                        QStringLiteral("application/zip"));
        },
        &buildError);
    if (!request) {
        qWarning().noquote() << QStringLiteral("The favourites upload of %1 could not be built (%2)")
                                    .arg(m_account, buildError ? buildError->localizedDescription() : QString());
        finish(Outcome::Failed);
        return;
    }
    auto manager = std::make_shared<AFURLSessionManager>(URLSessionConfiguration::defaultSessionConfiguration());
    manager->setResponseSerializer(AFHTTPResponseSerializer::serializer());
    m_session = manager;
    auto self = shared_from_this();
    const std::shared_ptr<URLSessionDataTask> task = manager->dataTaskWithRequest(
        *request, [self, header, readState](const std::optional<HTTPURLResponse>&, const QVariant& reply,
                                            const std::optional<Error>& error) {
            self->uploadEnded(reply, error, header, readState);
        });
    if (task)
        task->resume();
}

void FavSynchronousCommonFunction::uploadEnded(const QVariant& reply, const std::optional<Error>& error,
                                               const FavriteUserAndContents& sent, const QByteArray& readState)
{
    if (error) {
        qWarning().noquote() << QStringLiteral("The favourites upload of %1 failed (%2); the changes stay marked for the next sync")
                                    .arg(m_account, error->localizedDescription());
        finish(Outcome::Failed);
        return;
    }
    const QByteArray answer = reply.toByteArray().trimmed();
    if (answer.compare("true", Qt::CaseInsensitive) != 0) {
        qWarning().noquote() << QStringLiteral("The favourites upload of %1 was not taken (reply \"%2\"); the changes stay marked for the next sync")
                                    .arg(m_account, QString::fromUtf8(answer.left(200)));
        finish(Outcome::Failed);
        return;
    }
    {
        DatabaseOperate::Lease store;
        if (store) {
            // A favourite saved or removed after the file was read is not in it: the account stays
            // marked so that the next sync sends it, and no newer file of another copy replaces it.
            if (!readState.isEmpty() && favouritesState(*store, m_account) == readState) {
                store->FavriteUserAndContents_setModifiedNoUser(m_account);
                FavriteUserAndContents stored = sent;
                if (const FavriteUserAndContentsPtr row = store->FavriteUserAndContents_getDataByUser(m_account))
                    stored.lastUpdateTime = row->lastUpdateTime;
                store->FavriteUserAndContents_setNewsData(stored);
            } else {
                qInfo().noquote() << QStringLiteral("The favourites of %1 changed during their upload; they stay marked for the next sync")
                                         .arg(m_account);
            }
        }
    }
    finish(Outcome::Uploaded);
}

QByteArray FavSynchronousCommonFunction::favouritesState(DatabaseOperate& store, const QString& account)
{
    const FavriteUserAndContentsPtr row = store.FavriteUserAndContents_getDataByUser(account);
    QList<Favrite_DataPtr> favourites;
    if (!row || !store.Favrite_Data_getAllFavriteURLAndTitleData(favourites, account))
        return {};
    return favoriteFile(*row, favourites);
}

void FavSynchronousCommonFunction::download(int64_t serverVersion)
{
    auto self = shared_from_this();
    m_session = AFNetManager::requestWithUrlString(
        kUrlGetUserFile, true, credentials(), 1, nullptr,
        [self, serverVersion](const std::shared_ptr<URLSessionDataTask>&, const QVariant& body) {
            const std::optional<FileContents> contents =
                readFavoriteFile(unzipFavoriteFile(body.toByteArray()), self->m_account);
            if (!contents) {
                self->finish(Outcome::Failed);
                return;
            }
            FavriteUserAndContents header = contents->header;
            header.UserAccount = self->m_account;
            header.favritteVersion = std::max(header.favritteVersion, serverVersion);
            header.bModified = false;
            bool stored = false;
            {
                DatabaseOperate::Lease store;
                // A favourite saved while the file came down is kept for the next upload.
                if (store && !store->FavriteUserAndContents_bhaveModifiedByUser(self->m_account)) {
                    stored = store->Favrite_Data_replaceAllFavriteDataByUserAccount(self->m_account, contents->favourites) &&
                             store->FavriteUserAndContents_setNewsData(header);
                }
            }
            self->finish(stored ? Outcome::Downloaded : Outcome::Failed);
        },
        [self](const std::shared_ptr<URLSessionDataTask>&, const Error&) { self->finish(Outcome::Failed); });
}

std::shared_ptr<AFURLSessionManager> FavSynchronousCommonFunction::sessionManager() const
{
    return m_session;
}

void FavSynchronousCommonFunction::finish(Outcome outcome)
{
    if (m_finished)
        return;
    m_finished = true;
    if (outcome == Outcome::Uploaded || outcome == Outcome::Downloaded || outcome == Outcome::UpToDate)
        CommonFunction::saveWebFileLastUpdateTime(WebFileType::kFavorites);
    m_session.reset();
    if (m_completion)
        m_completion(outcome);
}

QByteArray FavSynchronousCommonFunction::favoriteFile(const FavriteUserAndContents& header,
                                                      const QList<Favrite_DataPtr>& favourites)
{
    return FavoriteFile::write(header, favourites);
}

std::optional<FavSynchronousCommonFunction::FileContents> FavSynchronousCommonFunction::readFavoriteFile(
    const QByteArray& bytes, const QString& account)
{
    return FavoriteFile::read(bytes, account);
}

QByteArray FavSynchronousCommonFunction::zipFavoriteFile(const QByteArray& file)
{
    return FavoriteFile::zip(file);
}

QByteArray FavSynchronousCommonFunction::unzipFavoriteFile(const QByteArray& zip)
{
    return FavoriteFile::unzip(zip);
}
