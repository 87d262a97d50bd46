#include "networking/AFStreamingMultipartFormData.h"
#include "networking/AFURLRequestSerialization.h"
#include "networking/AFURLSessionManager.h"

#include "LoopbackHttpServer.h"
#include "ScopeGuard.h"
#include "SessionManagerFixtures.h"
#include "TestEnvironment.h"
#include "URLCacheScope.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray readAll(QIODevice& device)
{
    EXPECT_TRUE(device.open(QIODevice::ReadOnly));
    QByteArray all;
    while (!device.atEnd()) {
        const QByteArray piece = device.read(64 * 1024);
        if (piece.isEmpty())
            break;
        all += piece;
    }
    device.close();
    return all;
}

// A multipart upload such as the favourites upload, with its whole body as the server must see it.
struct MultipartUpload
{
    URLRequest request;
    QByteArray body;
};

MultipartUpload multipartUpload(const QUrl& url)
{
    std::optional<Error> error;
    const std::optional<URLRequest> request = AFHTTPRequestSerializer().multipartFormRequestWithMethod(
        QStringLiteral("POST"), url.toString(), QVariantMap{{QStringLiteral("uid"), QStringLiteral("7")}},
        [](AFMultipartFormData& form) {
            QByteArray file(150000, 'f');
            file.append("end of file");
            form.appendPartWithFileData(file, QStringLiteral("file"), QStringLiteral("favourites.plist"),
                                        QStringLiteral("application/octet-stream"));
        },
        &error);
    EXPECT_FALSE(error);
    MultipartUpload upload{request.value_or(URLRequest()), {}};
    const auto* copyable = dynamic_cast<const CopyableBodyStream*>(upload.request.HTTPBodyStream.get());
    EXPECT_NE(copyable, nullptr);
    if (copyable)
        upload.body = readAll(*copyable->copyBodyStream());
    EXPECT_GT(upload.body.size(), 150000);
    return upload;
}

// Answers 200 "whole" only for exactly the expected bytes.
LoopbackHttpServer::Handler comparesBody(const QByteArray& expected)
{
    return [expected](const LoopbackRequest& request) {
        return request.body == expected ? LoopbackReply::text(200, "whole") : LoopbackReply::text(400, "partial");
    };
}

TEST(SessionManagerBodyStreams, AMultipartUploadRedirectedWith307Or308ArrivesWhole)
{
    struct Case
    {
        const char* name;
        int status;
        bool fromSecure;
        bool toSecure;
    };
    for (const Case& c : {Case{"307 to the same scheme", 307, false, false},
                          Case{"307 to the other scheme", 307, false, true},
                          Case{"308 to the other scheme", 308, true, false}}) {
        SCOPED_TRACE(c.name);
        TwoSchemes servers;
        LoopbackHttpServer& first = c.fromSecure ? servers.secure : servers.plain;
        LoopbackHttpServer& second = c.toSecure ? servers.secure : servers.plain;
        const MultipartUpload upload = multipartUpload(first.url(QStringLiteral("/upload")));
        first.route("POST", QStringLiteral("/upload"), redirectTo(c.status, second.url(QStringLiteral("/stored"))));
        second.route("POST", QStringLiteral("/stored"), comparesBody(upload.body));

        auto outcome = std::make_shared<Outcome>();
        MessageCapture log;
        servers.manager()->dataTaskWithRequest(upload.request, recordInto(outcome))->resume();
        ASSERT_TRUE(waitForCompletion(outcome, 30000));
        ASSERT_FALSE(outcome->error) << outcome->error->localizedDescription().toStdString();
        EXPECT_EQ(outcome->object.toByteArray(), QByteArray("whole"));
        ASSERT_EQ(second.requests().last().path, QStringLiteral("/stored"));
        EXPECT_EQ(second.requests().last().body.size(), upload.body.size());
        // Qt is given a body it can rewind.
        EXPECT_FALSE(log.contains(QStringLiteral("Cannot call seek"))) << log.messages().join(u'\n').toStdString();
    }
}

// A body stream that can be read only once and cannot copy itself.
class OneWayStream : public QBuffer
{
public:
    bool isSequential() const override { return true; }
};

TEST(SessionManagerBlocks, TheNewBodyStreamBlockSuppliesTheBodySentAgain)
{
    LoopbackHttpServer server;
    const QByteArray body = QByteArray(120000, 'b') + "tail";
    server.route("POST", QStringLiteral("/moved"), redirectTo(307, server.url(QStringLiteral("/here"))));
    server.route("POST", QStringLiteral("/here"), comparesBody(body));
    URLRequest post = request(server.url(QStringLiteral("/moved")), QStringLiteral("POST"));
    auto stream = std::make_shared<OneWayStream>();
    stream->setData(body);
    post.HTTPBodyStream = stream;
    post.setValue(QString::number(body.size()), QStringLiteral("Content-Length"));

    auto manager = rawManager();
    int asked = 0;
    quint64 askedFor = 0;
    manager->setTaskNeedNewBodyStreamBlock([&](URLSession&, URLSessionTask& task) -> std::shared_ptr<QIODevice> {
        ++asked;
        askedFor = task.taskIdentifier();
        auto fresh = std::make_shared<OneWayStream>();
        fresh->setData(body);
        return fresh;
    });
    auto outcome = std::make_shared<Outcome>();
    const auto task = manager->dataTaskWithRequest(post, recordInto(outcome));
    task->resume();
    ASSERT_TRUE(waitForCompletion(outcome));
    ASSERT_FALSE(outcome->error) << outcome->error->localizedDescription().toStdString();
    EXPECT_EQ(outcome->object.toByteArray(), QByteArray("whole"));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(askedFor, task->taskIdentifier());
}

class SessionManagerCacheBlock : public ::testing::Test
{
protected:
    LoopbackHttpServer server;
    URLCacheScope urlCache;

    void SetUp() override
    {
        server.route("GET", QStringLiteral("/a"), LoopbackReply::text(200, "a").withHeader("Cache-Control", "max-age=600"));
        server.route("GET", QStringLiteral("/b"), LoopbackReply::text(200, "b").withHeader("Cache-Control", "max-age=600"));
    }

    bool cached(const QString& path) const { return urlCache.holds(server.url(path)); }

    void get(AFURLSessionManager& manager, const QString& path)
    {
        auto outcome = std::make_shared<Outcome>();
        manager.dataTaskWithRequest(request(server.url(path)), recordInto(outcome))->resume();
        ASSERT_TRUE(waitForCompletion(outcome));
        ASSERT_FALSE(outcome->error);
    }
};

TEST_F(SessionManagerCacheBlock, TheCacheBlockDecidesWhatTheURLCacheKeeps)
{
    auto refusing = rawManager();
    QStringList offered;
    refusing->setDataTaskWillCacheResponseBlock(
        [&](URLSession&, URLSessionDataTask& task, const CachedURLResponse& proposed) -> std::optional<CachedURLResponse> {
            offered << task.originalRequest().URL.path() + QLatin1Char(' ') + QString::number(proposed.response.statusCode);
            return std::nullopt;
        });
    get(*refusing, QStringLiteral("/a"));
    EXPECT_EQ(offered, QStringList{QStringLiteral("/a 200")});
    EXPECT_FALSE(cached(QStringLiteral("/a")));

    auto keeping = rawManager();
    keeping->setDataTaskWillCacheResponseBlock(
        [](URLSession&, URLSessionDataTask&, const CachedURLResponse& proposed) { return std::optional(proposed); });
    get(*keeping, QStringLiteral("/a"));
    EXPECT_TRUE(cached(QStringLiteral("/a")));

    // Without a block the platform keeps the reply.
    get(*rawManager(), QStringLiteral("/b"));
    EXPECT_TRUE(cached(QStringLiteral("/b")));
}

TEST_F(SessionManagerCacheBlock, TheURLCacheKeepsTheReplyTheCacheBlockHandsBack)
{
    auto changing = rawManager();
    QList<QByteArray> offeredData;
    changing->setDataTaskWillCacheResponseBlock(
        [&](URLSession&, URLSessionDataTask&, const CachedURLResponse& proposed) -> std::optional<CachedURLResponse> {
            offeredData << proposed.data;
            if (proposed.data == "b")
                return std::nullopt;
            CachedURLResponse changed = proposed;
            changed.data = "changed " + proposed.data;
            changed.response.allHeaderFields.setValue(QStringLiteral("kept"), QStringLiteral("X-Kept"));
            return changed;
        });
    get(*changing, QStringLiteral("/a"));
    get(*changing, QStringLiteral("/b"));
    EXPECT_EQ(offeredData, (QList<QByteArray>{"a", "b"})) << "asked once the body is in";
    EXPECT_FALSE(cached(QStringLiteral("/b")));

    // What was kept, read back without the network.
    const qsizetype served = server.requests().size();
    URLRequest fromCache = request(server.url(QStringLiteral("/a")));
    fromCache.settings.cachePolicy = URLRequestCachePolicy::ReturnCacheDataDontLoad;
    auto outcome = std::make_shared<Outcome>();
    rawManager()->dataTaskWithRequest(fromCache, recordInto(outcome))->resume();
    ASSERT_TRUE(waitForCompletion(outcome));
    ASSERT_FALSE(outcome->error) << outcome->error->localizedDescription().toStdString();
    EXPECT_EQ(outcome->object.toByteArray(), QByteArray("changed a"));
    ASSERT_TRUE(outcome->response);
    EXPECT_EQ(outcome->response->valueForHTTPHeaderField(QStringLiteral("X-Kept")), QStringLiteral("kept"));
    EXPECT_EQ(server.requests().size(), served);
}

TEST(SessionManagerBlocks, ADataTaskThatBecomesADownloadTaskMovesItsDelegate)
{
    LoopbackHttpServer server;
    const QByteArray body = QByteArray(80000, 'd') + "done";
    server.route("GET", QStringLiteral("/file"), LoopbackReply::text(200, body, "application/octet-stream"));
    QTemporaryDir folder;
    const QString target = folder.filePath(QStringLiteral("kept.bin"));

    auto manager = rawManager();
    manager->setDataTaskDidReceiveResponseBlock(
        [](URLSession&, URLSessionDataTask&, const HTTPURLResponse&) { return URLSessionResponseDisposition::BecomeDownload; });
    QList<QPair<quint64, quint64>> became;
    manager->setDataTaskDidBecomeDownloadTaskBlock(
        [&](URLSession&, URLSessionDataTask& data, URLSessionDownloadTask& download) {
            became.append({data.taskIdentifier(), download.taskIdentifier()});
        });
    manager->setDownloadTaskDidFinishDownloadingBlock(
        [&](URLSession&, URLSessionDownloadTask&, const QUrl&) { return QUrl::fromLocalFile(target); });
    auto outcome = std::make_shared<Outcome>();
    const auto task = manager->dataTaskWithRequest(request(server.url(QStringLiteral("/file"))), recordInto(outcome));
    task->resume();
    ASSERT_TRUE(waitForCompletion(outcome));
    ASSERT_TRUE(drainMainQueue());
    EXPECT_EQ(outcome->calls, 1);
    ASSERT_FALSE(outcome->error) << outcome->error->localizedDescription().toStdString();
    ASSERT_EQ(became.size(), 1);
    EXPECT_EQ(became.first().first, task->taskIdentifier());
    EXPECT_NE(became.first().second, task->taskIdentifier());
    EXPECT_EQ(outcome->object.toUrl(), QUrl::fromLocalFile(target));
    QFile kept(target);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), body);
    EXPECT_TRUE(manager->tasks().isEmpty());
}

TEST(SessionManagerArchiving, CopiedAndRestoredManagersHaveTheSameSessionConfiguration)
{
    URLSessionConfiguration configuration = URLSessionConfiguration::defaultSessionConfiguration();
    configuration.timeoutIntervalForRequest = 7.5;
    for (const URLSessionConfiguration& c :
         {configuration, URLSessionConfiguration::backgroundSessionConfigurationWithIdentifier(QStringLiteral("bg"))}) {
        const auto original = std::make_shared<AFURLSessionManager>(c);
        const std::shared_ptr<AFURLSessionManager> copied = original->copy();
        EXPECT_EQ(copied->sessionConfiguration(), c);
        EXPECT_EQ(copied->session()->configuration(), c);
        EXPECT_NE(copied->session(), original->session());

        const QVariantMap archive = original->encodeWithCoder();
        ASSERT_TRUE(archive.contains(QStringLiteral("sessionConfiguration")));
        const std::shared_ptr<AFURLSessionManager> restored = AFURLSessionManager::initWithCoder(archive);
        EXPECT_EQ(restored->sessionConfiguration(), c);
        EXPECT_EQ(restored->session()->configuration(), c);
    }
    EXPECT_TRUE(AFURLSessionManager::supportsSecureCoding());
    EXPECT_EQ(AFURLSessionManager::initWithCoder({})->sessionConfiguration(),
              URLSessionConfiguration::defaultSessionConfiguration());
}

// Counts the tries at making an upload task from a file.
class CountingUploadsManager : public AFURLSessionManager
{
public:
    using AFURLSessionManager::AFURLSessionManager;
    int tries = 0;

protected:
    std::shared_ptr<URLSessionUploadTask> makeUploadTaskFromFile(const URLRequest& request, const QUrl& fileURL) override
    {
        ++tries;
        return AFURLSessionManager::makeUploadTaskFromFile(request, fileURL);
    }
};

TEST(SessionManagerUploads, AnUploadFromAFileIsTriedAgainOnlyInABackgroundSessionThatAsksForIt)
{
    struct Case
    {
        const char* name;
        bool background;
        bool recreate;
        int tries;
        bool made;
    };
    QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("up.bin")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("x");
    file.close();
    for (const Case& c : {Case{"background, recreating", true, true, 4, false},
                          Case{"background, not recreating", true, false, 1, false},
                          Case{"default session, recreating", false, true, 1, true}}) {
        SCOPED_TRACE(c.name);
        const auto manager = std::make_shared<CountingUploadsManager>(
            c.background ? URLSessionConfiguration::backgroundSessionConfigurationWithIdentifier(QStringLiteral("bg"))
                         : URLSessionConfiguration::defaultSessionConfiguration());
        EXPECT_FALSE(manager->attemptsToRecreateUploadTasksForBackgroundSessions());
        manager->setAttemptsToRecreateUploadTasksForBackgroundSessions(c.recreate);
        auto outcome = std::make_shared<Outcome>();
        const auto task = manager->uploadTaskWithRequestFromFile(
            request(QUrl(QStringLiteral("http://127.0.0.1:1/u")), QStringLiteral("POST")),
            QUrl::fromLocalFile(file.fileName()), nullptr, recordInto(outcome));
        EXPECT_EQ(task != nullptr, c.made);
        EXPECT_EQ(manager->tries, c.tries);
        manager->invalidateSessionCancelingTasks(true);
        ASSERT_TRUE(drainMainQueue());
        if (!c.made)
            EXPECT_EQ(outcome->calls, 0) << "no task, no completion";
    }
}

}  // namespace
