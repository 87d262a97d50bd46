#include "app/UserAvatarLoader.h"

#include "app/AppDelegate.h"
#include "database/SettingsDatabaseOperate.h"
#include "foundation/CommonFunction.h"
#include "foundation/URLErrorCodes.h"
#include "networking/AFNetManager.h"
#include "platform/StorageRoot.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QUrl>

namespace {

QImage avatarImage(const QByteArray& data)
{
    QImage image;
    if (!image.loadFromData(data))
        return {};
    return image.scaled(UserAvatarLoader::kAvatarSide, UserAvatarLoader::kAvatarSide, Qt::IgnoreAspectRatio,
                        Qt::SmoothTransformation);
}

}  // namespace

UserAvatarLoader::UserAvatarLoader(ShowBlock show) : m_show(std::move(show)) {}

UserAvatarLoader::~UserAvatarLoader()
{
    *m_alive = false;
    // Only a request still in flight is cancelled: cancelling queues work on the main thread,
    // which would be left behind when the loader goes with the application.
    if (m_request && *m_inFlight)
        m_request->invalidateSessionCancelingTasks(true);
}

QString UserAvatarLoader::userFolder(int64_t userID)
{
    return QDir(StorageRoot::documentsPath()).filePath(QStringLiteral("user%1").arg(userID));
}

QString UserAvatarLoader::cacheFilePath(int64_t userID)
{
    return QDir(userFolder(userID)).filePath(QStringLiteral("userAccountImage/avatar_80.jpg"));
}

NSMyUserInfoPtr UserAvatarLoader::loggedInUser()
{
    const AppDelegate* delegate = AppDelegate::shared();
    return delegate != nullptr ? delegate->getCurrLandUser() : nullptr;
}

void UserAvatarLoader::showImage(const QImage& image) const
{
    if (m_show)
        m_show(image, QString());
}

void UserAvatarLoader::showNamed(const char* name) const
{
    if (m_show)
        m_show(QImage(), QLatin1String(name));
}

void UserAvatarLoader::showFallback(const QString& cacheFile) const
{
    if (!loggedInUser())
        return;
    QFile file(cacheFile);
    if (file.open(QIODevice::ReadOnly)) {
        const QImage cached = avatarImage(file.readAll());
        if (!cached.isNull()) {
            showImage(cached);
            return;
        }
    }
    showNamed(kNoAvatarImage);
}

void UserAvatarLoader::GetUserAvatar()
{
    UserLandDataPtr account;
    {
        SettingsDatabaseOperate::Lease settings;
        if (settings)
            account = settings->UserLandData_getCurrentUserData();
    }
    if (!account || !account->bHaveLand) {
        showNamed(kLoggedOutImage);
        return;
    }
    // A remembered login whose profile has not arrived yet has no user id to fetch for.
    const NSMyUserInfoPtr user = loggedInUser();
    if (!user) {
        showNamed(kLoggedOutImage);
        return;
    }

    const int64_t userID = user->userID;
    const QString folder = userFolder(userID);
    StorageRoot::ensureFolder(folder);
    CommonFunction::addSkipBackupAttributeToItemAtURL(QUrl::fromLocalFile(folder));
    StorageRoot::ensureFolder(QDir(folder).filePath(QStringLiteral("userAccountImage")));
    const QString cacheFile = cacheFilePath(userID);

    const QString address = CommonFunction::GetBigAvatarAddress(QString::number(userID)) +
                            QStringLiteral("?r=%1").arg(CommonFunction::getRandom());
    if (m_request && *m_inFlight)
        m_request->invalidateSessionCancelingTasks(true);
    // Each request has its own in-flight mark, so a late end of an older one changes nothing.
    m_inFlight = std::make_shared<bool>(true);
    const std::shared_ptr<bool> inFlight = m_inFlight;
    const std::weak_ptr<bool> alive = m_alive;
    m_request = AFNetManager::requestWithUrlString(
        address, true, QVariant(), 1, nullptr,
        [this, alive, inFlight, cacheFile](const std::shared_ptr<URLSessionDataTask>&, const QVariant& response) {
            *inFlight = false;
            if (alive.expired())
                return;
            const QByteArray data = response.toByteArray();
            if (data.isEmpty()) {
                showFallback(cacheFile);
                return;
            }
            const QImage image = avatarImage(data);
            if (image.isNull()) {
                // Not a picture (an error page served as 200): the cached file and the button
                // keep what they have.
                qWarning("avatar: the reply is not an image; the cached avatar is kept");
                return;
            }
            if (loggedInUser())
                showImage(image);
            if (!StorageRoot::writeFileAtomically(cacheFile, data))
                qWarning("avatar: could not write %s", qPrintable(cacheFile));
        },
        [this, alive, inFlight, cacheFile](const std::shared_ptr<URLSessionDataTask>&, const Error& error) {
            *inFlight = false;
            if (alive.expired() || error.code == NSURLErrorCancelled)
                return;
            showFallback(cacheFile);
        });
}
