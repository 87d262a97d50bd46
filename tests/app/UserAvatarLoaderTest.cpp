#include "AppTestSupport.h"

#include "LoopbackHttpServer.h"
#include "PictureBytes.h"
#include "RememberedAccount.h"
#include "TaskCompletionCount.h"
#include "TestEnvironment.h"
#include "app/UserAvatarLoader.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QNetworkProxy>

namespace {

constexpr auto kAvatarPath = "/avatars/000/00/01/23_avatar.jpg";

QByteArray pictureBytes(QColor color)
{
    return pngPictureBytes(color, QSize(80, 80));
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

struct Shown
{
    QImage image;
    QString name;
};

}  // namespace

// The avatar fetch against the loopback server, which stands in for the avatar host as the
// program's HTTP proxy.
class UserAvatarLoaderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(server.port(), 0);
        QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), server.port()));
        QFile::remove(UserAvatarLoader::cacheFilePath(123));
        setRememberedLogin(false);
    }

    void TearDown() override
    {
        QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
        setRememberedLogin(false);
    }

    static void setRememberedLogin(bool loggedIn)
    {
        rememberAccount(QStringLiteral("reader@example.com"), QStringLiteral("secret"), loggedIn, true);
        if (loggedIn)
            return;
        SettingsDatabaseOperate::Lease settings;
        ASSERT_TRUE(settings);
        settings->UserLandData_logOut();
    }

    void logIn(int64_t userID)
    {
        setRememberedLogin(true);
        auto user = std::make_shared<NSMyUserInfo>();
        user->userID = userID;
        delegate.setCurrLandUser(user, false);
    }

    // Runs one fetch and waits until the server saw `requests` requests and the loader settled.
    void fetch(qsizetype requests)
    {
        const TaskCompletionCount ended;
        loader.GetUserAvatar();
        if (requests > 0) {
            ASSERT_TRUE(waitUntil([&] { return server.requestCount() >= requests && !shown.empty() && ended.count() >= requests; }, 30000))
                << "waited for the request's end and a picture";
        }
        // The requests have been handled and what they queued has run; the pause is room for a
        // second picture that must not come.
        ASSERT_TRUE(drainMainQueue());
        spin(100);
    }

    LoopbackHttpServer server;
    AppDelegate delegate;
    std::vector<Shown> shown;
    UserAvatarLoader loader{[this](const QImage& image, const QString& name) { shown.push_back({image, name}); }};
};

TEST_F(UserAvatarLoaderTest, LoggedOutShowsTheDefaultAndAsksNothing)
{
    fetch(0);
    EXPECT_EQ(server.requestCount(), 0);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].name, QStringLiteral("UserHeadIcon"));
}

TEST_F(UserAvatarLoaderTest, RememberedLoginWithoutProfileAsksNothing)
{
    setRememberedLogin(true);
    fetch(0);
    EXPECT_EQ(server.requestCount(), 0);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].name, QStringLiteral("UserHeadIcon"));
    EXPECT_FALSE(QFileInfo::exists(UserAvatarLoader::userFolder(0))) << "no folder for user 0";
}

TEST_F(UserAvatarLoaderTest, DownloadIsShownAndCached)
{
    const QByteArray picture = pictureBytes(Qt::blue);
    server.route("GET", QLatin1String(kAvatarPath), LoopbackReply::text(200, picture, "image/png"));
    logIn(123);
    shown.clear();
    fetch(1);
    const QList<LoopbackRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].method, QByteArray("GET"));
    EXPECT_EQ(requests[0].path, QLatin1String(kAvatarPath));
    EXPECT_EQ(requests[0].header("Host"), QByteArray("avatar.tidwen.example"));
    EXPECT_TRUE(requests[0].query.startsWith(QStringLiteral("r="))) << requests[0].query.toStdString();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].name, QString());
    EXPECT_EQ(shown[0].image.size(), QSize(50, 50));
    EXPECT_EQ(shown[0].image.pixelColor(25, 25), QColor(Qt::blue));
    EXPECT_EQ(readFile(UserAvatarLoader::cacheFilePath(123)), picture);
    EXPECT_TRUE(UserAvatarLoader::cacheFilePath(123).endsWith(QStringLiteral("/user123/userAccountImage/avatar_80.jpg")));
}

TEST_F(UserAvatarLoaderTest, FailedDownloadsFallBack)
{
    struct Case
    {
        const char* name;
        LoopbackReply reply;
        bool cached;
        const char* expectedName;  // "" when the cached picture is expected
    };
    const Case cases[] = {
        {"500 with a cached file", LoopbackReply::text(500, "boom"), true, ""},
        {"500 without a cached file", LoopbackReply::text(500, "boom"), false, "userLandPad_headImage_no"},
        {"empty 200 with a cached file", LoopbackReply::text(200, ""), true, ""},
        {"connection closed", LoopbackReply::closeConnection(), false, "userLandPad_headImage_no"},
    };
    const QByteArray cachedPicture = pictureBytes(Qt::green);
    logIn(123);
    for (const Case& c : cases) {
        QFile::remove(UserAvatarLoader::cacheFilePath(123));
        if (c.cached)
            writeFile(UserAvatarLoader::cacheFilePath(123), cachedPicture);
        server.clearRequests();
        server.route("GET", QLatin1String(kAvatarPath), c.reply);
        shown.clear();
        fetch(1);
        ASSERT_EQ(shown.size(), 1u) << c.name;
        EXPECT_EQ(shown[0].name, QLatin1String(c.expectedName)) << c.name;
        if (c.cached) {
            EXPECT_EQ(shown[0].image.pixelColor(25, 25), QColor(Qt::green)) << c.name;
            EXPECT_EQ(readFile(UserAvatarLoader::cacheFilePath(123)), cachedPicture) << c.name;
        }
    }
}

TEST_F(UserAvatarLoaderTest, ReplyThatIsNotAPictureKeepsTheCacheAndTheButton)
{
    const QByteArray cachedPicture = pictureBytes(Qt::green);
    writeFile(UserAvatarLoader::cacheFilePath(123), cachedPicture);
    server.route("GET", QLatin1String(kAvatarPath),
                 LoopbackReply::text(200, "<html><body>maintenance</body></html>", "text/html"));
    logIn(123);
    shown.clear();
    const TaskCompletionCount ended;
    loader.GetUserAvatar();
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() >= 1 && ended.count() >= 1; }, 30000)) << "waited for the request's end";
    ASSERT_TRUE(drainMainQueue());
    spin(100);  // room for a picture that must not come
    EXPECT_TRUE(shown.empty()) << "the button's picture was replaced";
    EXPECT_EQ(readFile(UserAvatarLoader::cacheFilePath(123)), cachedPicture);
}
