#pragma once

#include "foundation/models/NSMyUserInfo.h"
#include "networking/AFHTTPSessionManager.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

// Fetches and caches the logged-in user's large avatar for the left bar's avatar button. The
// picture is handed to a show callback, either as an image or by the name of a bundled image.
// Main thread only.
class UserAvatarLoader
{
public:
    // Exactly one of the two is set: a picture, or the name of a bundled image.
    using ShowBlock = std::function<void(const QImage& image, const QString& imageName)>;

    static constexpr auto kLoggedOutImage = "UserHeadIcon";
    static constexpr auto kNoAvatarImage = "userLandPad_headImage_no";
    static constexpr int kAvatarSide = 50;

    explicit UserAvatarLoader(ShowBlock show);
    ~UserAvatarLoader();

    // Shows the current account's avatar: the logged-out picture when the remembered account is
    // not logged in (or no profile is known yet), otherwise the downloaded one, falling back to
    // the cached file and then to the no-avatar picture. A newer call cancels the older request.
    void GetUserAvatar();

    // Documents/user<id>: the per-user folder (kept out of backups).
    static QString userFolder(int64_t userID);
    // Documents/user<id>/userAccountImage/avatar_80.jpg.
    static QString cacheFilePath(int64_t userID);

private:
    void showImage(const QImage& image) const;
    void showNamed(const char* name) const;
    // After a failed download: the cached file, else the no-avatar picture (when still logged in).
    void showFallback(const QString& cacheFile) const;
    // The delegate's logged-in user, or null.
    static NSMyUserInfoPtr loggedInUser();

    ShowBlock m_show;
    std::shared_ptr<AFHTTPSessionManager> m_request;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    std::shared_ptr<bool> m_inFlight = std::make_shared<bool>(false);
};
