#include "networking/AFSecurityPolicy.h"
#include "networking/AFURLSessionManager.h"
#include "platform/Dispatch.h"

#include "LoopbackHttpServer.h"
#include "SessionManagerFixtures.h"
#include "TestCertificates.h"
#include "TestEnvironment.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// Collects the notifications of one name while it lives.
class Observed
{
public:
    explicit Observed(const char* name)
    {
        m_token = NotificationCenter::defaultCenter().addObserver(
            QLatin1String(name), nullptr, [this](const Notification& n) { notes.append(n); });
    }
    ~Observed() { NotificationCenter::defaultCenter().removeObserver(m_token); }
    Observed(const Observed&) = delete;
    Observed& operator=(const Observed&) = delete;

    qsizetype countFor(const void* object) const
    {
        return std::count_if(notes.begin(), notes.end(),
                             [object](const Notification& n) { return n.object.identity() == object; });
    }

    QList<Notification> notes;

private:
    NotificationCenter::Token m_token = 0;
};

const void* identity(const std::shared_ptr<URLSessionTask>& task)
{
    return static_cast<const void*>(task.get());
}

}  // namespace

TEST(SessionManager, GetCompletesOnTheMainThreadWithTheBody)
{
    LoopbackHttpServer server;
    server.route("GET", QStringLiteral("/news"), LoopbackReply::text(200, "<xml>news</xml>", "text/xml"));
    server.route("GET", QStringLiteral("/empty"), LoopbackReply::text(200, ""));
    auto manager = rawManager();

    auto full = std::make_shared<Outcome>();
    auto task = manager->dataTaskWithRequest(request(server.url(QStringLiteral("/news?id=1"))), recordInto(full));
    ASSERT_TRUE(task);
    EXPECT_EQ(task->state(), URLSessionTaskState::Suspended);  // made, not started
    task->resume();
    ASSERT_TRUE(waitForCompletion(full));
    EXPECT_EQ(full->calls, 1);
    EXPECT_TRUE(full->onMainThread);
    EXPECT_FALSE(full->error);
    EXPECT_EQ(full->object.toByteArray(), "<xml>news</xml>");
    ASSERT_TRUE(full->response);
    EXPECT_EQ(full->response->statusCode, 200);
    EXPECT_EQ(full->response->MIMEType, QStringLiteral("text/xml"));
    EXPECT_EQ(task->state(), URLSessionTaskState::Completed);
    EXPECT_EQ(task->countOfBytesReceived(), 15);
    EXPECT_EQ(server.requests().at(0).query, QStringLiteral("id=1"));

    auto empty = std::make_shared<Outcome>();
    manager->dataTaskWithRequest(request(server.url(QStringLiteral("/empty"))), recordInto(empty))->resume();
    ASSERT_TRUE(waitForCompletion(empty));
    EXPECT_FALSE(empty->error);
    ASSERT_TRUE(empty->object.isValid());  // empty data, not "no object"
    EXPECT_EQ(empty->object.metaType(), QMetaType::fromType<QByteArray>());
    EXPECT_TRUE(empty->object.toByteArray().isEmpty());
}

// At start-up the window's first frame keeps the main thread busy; a request resumed before it
// must already be on its way, not queued behind the frame.
TEST(SessionManager, AResumeOnTheMainThreadSendsWithoutWaitingForTheMainQueue)
{
    LoopbackHttpServer server;
    server.route("GET", QStringLiteral("/list"), LoopbackReply::text(200, "list"));
    auto manager = rawManager();
    auto outcome = std::make_shared<Outcome>();
    manager->dataTaskWithRequest(request(server.url(QStringLiteral("/list"))), recordInto(outcome))->resume();

    // The main thread stays away from its event loop while the server waits for the request.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (server.requestCount() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(server.requestCount(), 1) << "the request waited for the main queue";
    ASSERT_TRUE(waitForCompletion(outcome));
    EXPECT_FALSE(outcome->error);
    EXPECT_EQ(outcome->object.toByteArray(), "list");
}

TEST(SessionManager, A404FailsWithTheStatusAndTheBody)
{
    LoopbackHttpServer server;
    server.route("GET", QStringLiteral("/gone"), LoopbackReply::text(404, "no such page"));
    auto manager = rawManager();
    auto outcome = std::make_shared<Outcome>();
    manager->dataTaskWithRequest(request(server.url(QStringLiteral("/gone"))), recordInto(outcome))->resume();
    ASSERT_TRUE(waitForCompletion(outcome));
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(outcome->error->domain, QLatin1String(kResponseSerializationErrorDomain));
    EXPECT_EQ(outcome->error->code, kErrorBadServerResponse);
    EXPECT_EQ(outcome->error->userInfo.value(QLatin1String(kResponseSerializationErrorDataKey)).toByteArray(),
              "no such page");
    ASSERT_TRUE(outcome->response);
    EXPECT_EQ(outcome->response->statusCode, 404);
}

TEST(SessionManager, HeadExposesLastModifiedExactlyAsSent)
{
    LoopbackHttpServer server;
    const QByteArray stamp = "Wed, 21 Oct 2015 07:28:00 GMT";
    server.route("GET", QStringLiteral("/list.xml"),
                 LoopbackReply::text(200, "<list/>", "text/xml").withHeader("Last-Modified", stamp));
    auto manager = rawManager();
    auto outcome = std::make_shared<Outcome>();
    manager->dataTaskWithRequest(request(server.url(QStringLiteral("/list.xml")), QStringLiteral("HEAD")),
                                 recordInto(outcome))
        ->resume();
    ASSERT_TRUE(waitForCompletion(outcome));
    EXPECT_FALSE(outcome->error);
    ASSERT_TRUE(outcome->response);
    EXPECT_EQ(outcome->response->valueForHTTPHeaderField(QStringLiteral("Last-Modified")), QString::fromLatin1(stamp));
    EXPECT_TRUE(outcome->object.toByteArray().isEmpty());
    ASSERT_EQ(server.requestCount(), 1);
    EXPECT_EQ(server.requests()[0].method, "HEAD");
}

TEST(SessionManager, TheDefaultSerializerParsesJsonOffTheMainThread)
{
    LoopbackHttpServer server;
    server.route("GET", QStringLiteral("/j"), LoopbackReply::text(200, R"({"a":[1,2]})", "application/json"));
    auto manager = std::make_shared<AFURLSessionManager>();

    // Records the thread each parse runs on.
    struct Probe : AFJSONResponseSerializer
    {
        std::shared_ptr<std::atomic<bool>> onMain = std::make_shared<std::atomic<bool>>(true);
        QVariant responseObjectForResponse(const HTTPURLResponse* response, const QByteArray& data,
                                           ResponseErrorSlot error) const override
        {
            *onMain = dispatch::isMainThread();
            return AFJSONResponseSerializer::responseObjectForResponse(response, data, error);
        }
    };
    auto outcome = std::make_shared<Outcome>();
    manager->dataTaskWithRequest(request(server.url(QStringLiteral("/j"))), recordInto(outcome))->resume();
    ASSERT_TRUE(waitForCompletion(outcome));
    EXPECT_EQ(outcome->object.toMap().value(QStringLiteral("a")).toList().size(), 2);

    auto probe = std::make_shared<Probe>();
    manager->setResponseSerializer(probe);
    auto second = std::make_shared<Outcome>();
    manager->dataTaskWithRequest(request(server.url(QStringLiteral("/j"))), recordInto(second))->resume();
    ASSERT_TRUE(waitForCompletion(second));
    EXPECT_FALSE(*probe->onMain);
    EXPECT_TRUE(second->onMainThread);
}

TEST(SessionManager, InvalidatingWhileARequestRunsFailsItOnceWithCancelled)
{
    LoopbackHttpServer server;
    server.route("GET", QStringLiteral("/hang"), LoopbackReply::silent());
    auto manager = rawManager();
    Observed invalidated(AFURLSessionManager::kSessionDidInvalidateNotification);
    int blockCalls = 0;
    manager->setSessionDidBecomeInvalidBlock([&](URLSession&, const std::optional<Error>&) { ++blockCalls; });

    auto outcome = std::make_shared<Outcome>();
    manager->dataTaskWithRequest(request(server.url(QStringLiteral("/hang"))), recordInto(outcome))->resume();
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 1; }));
    manager->invalidateSessionCancelingTasks(true);
    ASSERT_TRUE(waitForCompletion(outcome));
    ASSERT_TRUE(waitUntil([&] { return blockCalls > 0 && invalidated.countFor(manager->session().get()) > 0; }))
        << "waited for the session's end to be announced";
    ASSERT_TRUE(drainMainQueue());
    // The cancel and the end have been told and the main queue has had its turn; the pause is room
    // for a second completion that must not come.
    spin(200);

    EXPECT_EQ(outcome->calls, 1);
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(outcome->error->domain, QLatin1String(Error::kURLErrorDomain));
    EXPECT_EQ(outcome->error->code, NSURLErrorCancelled);
    EXPECT_FALSE(outcome->object.isValid());
    EXPECT_EQ(blockCalls, 1);
    EXPECT_EQ(invalidated.countFor(manager->session().get()), 1);

    // Nothing starts on an invalidated session.
    auto late = std::make_shared<Outcome>();
    manager->dataTaskWithRequest(request(server.url(QStringLiteral("/hang"))), recordInto(late))->resume();
    ASSERT_TRUE(waitForCompletion(late));
    EXPECT_EQ(late->error->code, NSURLErrorCancelled);
    EXPECT_EQ(server.requestCount(), 1);
}

TEST(SessionManager, InvalidatingWithoutCancellingLetsRunningTasksFinish)
{
    LoopbackHttpServer server;
    LoopbackReply slow = LoopbackReply::text(200, "done");
    slow.delayMs = 200;
    server.route("GET", QStringLiteral("/slow"), slow);
    auto manager = rawManager();
    Observed invalidated(AFURLSessionManager::kSessionDidInvalidateNotification);
    auto outcome = std::make_shared<Outcome>();
    manager->dataTaskWithRequest(request(server.url(QStringLiteral("/slow"))), recordInto(outcome))->resume();
    manager->invalidateSessionCancelingTasks(false);
    ASSERT_TRUE(waitForCompletion(outcome));
    EXPECT_FALSE(outcome->error);
    EXPECT_EQ(outcome->object.toByteArray(), "done");
    EXPECT_TRUE(waitUntil([&] { return invalidated.countFor(manager->session().get()) == 1; }));
}

TEST(SessionManager, TimeoutsRefusedConnectionsAndCancelsHaveTheirOwnCodes)
{
    LoopbackHttpServer server;
    server.route("GET", QStringLiteral("/silent"), LoopbackReply::silent());
    auto manager = rawManager();

    // A server that never answers: the request's own timeout, not a cancel.
    URLRequest shortWait = request(server.url(QStringLiteral("/silent")));
    shortWait.settings.timeoutInterval = 0.3;
    auto timedOut = std::make_shared<Outcome>();
    manager->dataTaskWithRequest(shortWait, recordInto(timedOut))->resume();
    ASSERT_TRUE(waitForCompletion(timedOut));
    ASSERT_TRUE(timedOut->error);
    EXPECT_EQ(timedOut->error->code, NSURLErrorTimedOut);
    EXPECT_EQ(timedOut->error->userInfo.value(QLatin1String(Error::kURLErrorFailingURLErrorKey)).toUrl(),
              shortWait.URL);

    // Headers that promise more than ever comes: a timeout, not a short success.
    server.route("GET", QStringLiteral("/short"), LoopbackReply::text(200, "0123456789").withHeader("Content-Length", "100"));
    URLRequest cutOff = request(server.url(QStringLiteral("/short")));
    cutOff.settings.timeoutInterval = 0.3;
    auto truncated = std::make_shared<Outcome>();
    manager->dataTaskWithRequest(cutOff, recordInto(truncated))->resume();
    ASSERT_TRUE(waitForCompletion(truncated));
    ASSERT_TRUE(truncated->error);
    EXPECT_EQ(truncated->error->code, NSURLErrorTimedOut);
    EXPECT_FALSE(truncated->object.isValid());

    // The session's timeout applies when the request sets none.
    auto quick = std::make_shared<AFURLSessionManager>(URLSessionConfiguration{QString(), 0.3});
    auto sessionTimeout = std::make_shared<Outcome>();
    quick->dataTaskWithRequest(request(server.url(QStringLiteral("/silent"))), recordInto(sessionTimeout))->resume();
    ASSERT_TRUE(waitForCompletion(sessionTimeout));
    EXPECT_EQ(sessionTimeout->error->code, NSURLErrorTimedOut);

    auto refused = std::make_shared<Outcome>();
    const QUrl closed(QStringLiteral("http://127.0.0.1:%1/x").arg(LoopbackHttpServer::closedPort()));
    manager->dataTaskWithRequest(request(closed), recordInto(refused))->resume();
    ASSERT_TRUE(waitForCompletion(refused));
    EXPECT_EQ(refused->error->code, NSURLErrorCannotConnectToHost);

    // The caller's cancel, directly and through the progress object.
    auto cancelled = std::make_shared<Outcome>();
    auto task = manager->dataTaskWithRequest(request(server.url(QStringLiteral("/silent"))), recordInto(cancelled));
    task->resume();
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 4; }));
    task->cancel();
    ASSERT_TRUE(waitForCompletion(cancelled));
    EXPECT_EQ(cancelled->error->code, NSURLErrorCancelled);
    EXPECT_EQ(task->state(), URLSessionTaskState::Completed);

    auto viaProgress = std::make_shared<Outcome>();
    auto second = manager->dataTaskWithRequest(request(server.url(QStringLiteral("/silent"))), recordInto(viaProgress));
    second->resume();
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 5; }));
    manager->downloadProgressForTask(*second)->cancel();
    ASSERT_TRUE(waitForCompletion(viaProgress));
    EXPECT_EQ(viaProgress->error->code, NSURLErrorCancelled);
}

TEST(SessionManager, ResumeAndSuspendNotificationsFollowTheTaskState)
{
    LoopbackHttpServer server;
    LoopbackReply chunks = LoopbackReply::text(200, "0123456789");
    chunks.chunkSize = 2;
    chunks.chunkDelayMs = 40;
    server.route("GET", QStringLiteral("/c"), chunks);
    auto manager = rawManager();
    auto other = rawManager();
    Observed resumed(AFURLSessionManager::kTaskDidResumeNotification);
    Observed suspended(AFURLSessionManager::kTaskDidSuspendNotification);
    Observed completed(AFURLSessionManager::kTaskDidCompleteNotification);

    auto outcome = std::make_shared<Outcome>();
    std::shared_ptr<URLSessionTask> task =
        manager->dataTaskWithRequest(request(server.url(QStringLiteral("/c"))), recordInto(outcome));
    auto foreign = other->dataTaskWithRequest(request(server.url(QStringLiteral("/c"))), nullptr);
    EXPECT_NE(task->taskDescription(), foreign->taskDescription());

    task->resume();
    task->resume();  // already running: no second notification
    ASSERT_TRUE(waitUntil([&] { return task->countOfBytesReceived() > 0; }));
    task->suspend();
    task->suspend();  // already suspended: no second notification
    const qint64 received = task->countOfBytesReceived();
    // The last chunk leaves the server 160 ms after the first: a reply held back longer, asked
    // for now, comes after it. The pause after it is room for a completion that must not come.
    ASSERT_TRUE(server.waitForReplyAfter(600)) << "waited for the server to have sent every chunk";
    spin(100);
    EXPECT_EQ(outcome->calls, 0);          // held back while suspended
    EXPECT_LT(received, 10);
    task->resume();
    ASSERT_TRUE(waitForCompletion(outcome));
    EXPECT_EQ(outcome->object.toByteArray(), "0123456789");
    waitUntil([&] { return completed.countFor(identity(task)) > 0; });

    EXPECT_EQ(resumed.countFor(identity(task)), 2);  // one per start from suspended
    EXPECT_EQ(suspended.countFor(identity(task)), 1);
    EXPECT_EQ(resumed.countFor(identity(foreign)), 0);
    foreign->cancel();
    ASSERT_TRUE(waitUntil([&] { return foreign->state() == URLSessionTaskState::Completed; }));
}

TEST(SessionManager, TheCompletionNotificationCarriesTheListedKeys)
{
    LoopbackHttpServer server;
    server.route("GET", QStringLiteral("/ok"), LoopbackReply::text(200, "body"));
    server.route("GET", QStringLiteral("/bad"), LoopbackReply::text(500, "oops"));
    auto manager = rawManager();
    Observed completed(AFURLSessionManager::kTaskDidCompleteNotification);

    auto outcome = std::make_shared<Outcome>();
    std::shared_ptr<URLSessionTask> ok = manager->dataTaskWithRequest(request(server.url(QStringLiteral("/ok"))), recordInto(outcome));
    ok->resume();
    ASSERT_TRUE(waitUntil([&] { return completed.countFor(identity(ok)) == 1; }));
    EXPECT_EQ(outcome->calls, 1);  // the block ran before the notification
    const QVariantMap info = completed.notes.last().userInfo;
    EXPECT_EQ(info.value(QLatin1String(AFURLSessionManager::kTaskDidCompleteResponseSerializerKey))
                  .value<std::shared_ptr<AFURLResponseSerialization>>(),
              manager->responseSerializer());
    EXPECT_EQ(info.value(QLatin1String(AFURLSessionManager::kTaskDidCompleteResponseDataKey)).toByteArray(), "body");
    EXPECT_EQ(info.value(QLatin1String(AFURLSessionManager::kTaskDidCompleteSerializedResponseKey)).toByteArray(), "body");
    EXPECT_FALSE(info.contains(QLatin1String(AFURLSessionManager::kTaskDidCompleteErrorKey)));
    EXPECT_FALSE(info.contains(QLatin1String(AFURLSessionManager::kTaskDidCompleteAssetPathKey)));
    EXPECT_EQ(completed.notes.last().object.sharedPtr<URLSessionTask>(), ok);

    std::shared_ptr<URLSessionTask> bad = manager->dataTaskWithRequest(request(server.url(QStringLiteral("/bad"))), nullptr);
    bad->resume();
    ASSERT_TRUE(waitUntil([&] { return completed.countFor(identity(bad)) == 1; }));
    const QVariantMap failed = completed.notes.last().userInfo;
    EXPECT_EQ(failed.value(QLatin1String(AFURLSessionManager::kTaskDidCompleteErrorKey)).value<Error>().code,
              kErrorBadServerResponse);
    // The raw serializer still hands back the body beside its error.
    EXPECT_EQ(failed.value(QLatin1String(AFURLSessionManager::kTaskDidCompleteSerializedResponseKey)).toByteArray(), "oops");
}

TEST(SessionManager, ADroppedManagerLivesUntilItsLastTaskEnds)
{
    LoopbackHttpServer server;
    LoopbackReply slow = LoopbackReply::text(200, "late");
    slow.delayMs = 300;
    server.route("GET", QStringLiteral("/slow"), slow);

    std::weak_ptr<AFURLSessionManager> weak;
    auto outcome = std::make_shared<Outcome>();
    {
        auto manager = rawManager();
        weak = manager;
        manager->dataTaskWithRequest(request(server.url(QStringLiteral("/slow"))), recordInto(outcome))->resume();
        EXPECT_EQ(manager->tasks().size(), 1);
        EXPECT_EQ(manager->dataTasks().size(), 1);
        EXPECT_TRUE(manager->uploadTasks().isEmpty());
    }
    EXPECT_FALSE(weak.expired());  // its task still runs
    ASSERT_TRUE(waitForCompletion(outcome));
    EXPECT_EQ(outcome->object.toByteArray(), "late");
    EXPECT_TRUE(waitUntil([&] { return weak.expired(); }));

    // An idle manager goes as soon as its caller lets it go.
    auto idle = rawManager();
    weak = idle;
    idle.reset();
    EXPECT_TRUE(weak.expired());
}

TEST(SessionManager, UploadsAndDownloadsReportProgress)
{
    LoopbackHttpServer server;
    server.route("POST", QStringLiteral("/up"), LoopbackReply::text(201, "stored"));
    server.route("GET", QStringLiteral("/file"), LoopbackReply::text(200, QByteArray(40000, 'z')));
    auto manager = rawManager();

    double lastUpload = 0;
    auto uploaded = std::make_shared<Outcome>();
    URLRequest post = request(server.url(QStringLiteral("/up")), QStringLiteral("POST"));
    post.setValue(QStringLiteral("application/json"), QStringLiteral("Content-Type"));
    auto upload = manager->uploadTaskWithRequestFromData(
        post, R"({"ad":1})", [&](const std::shared_ptr<Progress>& p) { lastUpload = p->fractionCompleted(); },
        recordInto(uploaded));
    EXPECT_EQ(manager->uploadTasks().size(), 1);
    upload->resume();
    ASSERT_TRUE(waitForCompletion(uploaded));
    EXPECT_FALSE(uploaded->error);
    EXPECT_EQ(uploaded->object.toByteArray(), "stored");
    EXPECT_EQ(server.requests().last().body, R"({"ad":1})");
    EXPECT_EQ(server.requests().last().header("Content-Type"), "application/json");
    EXPECT_DOUBLE_EQ(lastUpload, 1.0);

    QTemporaryDir folder;
    QFile source(folder.filePath(QStringLiteral("favorite.dat")));
    ASSERT_TRUE(source.open(QIODevice::WriteOnly));
    source.write("zipped favourites");
    source.close();
    auto fromFile = std::make_shared<Outcome>();
    manager->uploadTaskWithRequestFromFile(post, QUrl::fromLocalFile(source.fileName()), nullptr, recordInto(fromFile))
        ->resume();
    ASSERT_TRUE(waitForCompletion(fromFile));
    EXPECT_FALSE(fromFile->error);
    EXPECT_EQ(server.requests().last().body, "zipped favourites");

    const QUrl destination = QUrl::fromLocalFile(folder.filePath(QStringLiteral("saved.bin")));
    QList<double> fractions;
    Observed completed(AFURLSessionManager::kTaskDidCompleteNotification);
    auto downloaded = std::make_shared<Outcome>();
    std::shared_ptr<URLSessionTask> download = manager->downloadTaskWithRequest(
        request(server.url(QStringLiteral("/file"))),
        [&](const std::shared_ptr<Progress>& p) { fractions.append(p->fractionCompleted()); },
        [&](const QUrl& target, const std::optional<HTTPURLResponse>& response) {
            EXPECT_TRUE(QFile::exists(target.toLocalFile()));
            EXPECT_EQ(response->statusCode, 200);
            return destination;
        },
        recordInto(downloaded));
    download->resume();
    ASSERT_TRUE(waitForCompletion(downloaded));
    EXPECT_FALSE(downloaded->error);
    EXPECT_EQ(downloaded->object.toUrl(), destination);
    QFile saved(destination.toLocalFile());
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), QByteArray(40000, 'z'));
    ASSERT_FALSE(fractions.isEmpty());
    EXPECT_DOUBLE_EQ(fractions.last(), 1.0);
    ASSERT_TRUE(waitUntil([&] { return completed.countFor(identity(download)) == 1; }));
    EXPECT_EQ(completed.notes.last().userInfo.value(QLatin1String(AFURLSessionManager::kTaskDidCompleteAssetPathKey)).toUrl(),
              destination);
}

TEST(SessionManager, RedirectsAreFollowedUnlessTheBlockRefuses)
{
    LoopbackHttpServer server;
    server.route("GET", QStringLiteral("/old"),
                 LoopbackReply::text(302, "").withHeader("Location", server.url(QStringLiteral("/new")).toEncoded()));
    server.route("GET", QStringLiteral("/new"), LoopbackReply::text(200, "moved here"));
    auto manager = rawManager();

    auto followed = std::make_shared<Outcome>();
    auto task = manager->dataTaskWithRequest(request(server.url(QStringLiteral("/old"))), recordInto(followed));
    task->resume();
    ASSERT_TRUE(waitForCompletion(followed));
    EXPECT_EQ(followed->object.toByteArray(), "moved here");
    EXPECT_EQ(task->currentRequest().URL.path(), QStringLiteral("/new"));
    EXPECT_EQ(task->originalRequest().URL.path(), QStringLiteral("/old"));

    server.clearRequests();
    manager->setTaskWillPerformHTTPRedirectionBlock(
        [](URLSession&, URLSessionTask&, const HTTPURLResponse& response, const URLRequest&) -> std::optional<URLRequest> {
            EXPECT_EQ(response.statusCode, 302);
            return std::nullopt;
        });
    auto stopped = std::make_shared<Outcome>();
    manager->dataTaskWithRequest(request(server.url(QStringLiteral("/old"))), recordInto(stopped))->resume();
    ASSERT_TRUE(waitForCompletion(stopped));
    ASSERT_TRUE(stopped->response);
    EXPECT_EQ(stopped->response->statusCode, 302);
    EXPECT_EQ(server.requestCount(), 1);
}

TEST(SessionManager, AManagerMadeOnAWorkerThreadRunsItsTasksOnTheMainThread)
{
    LoopbackHttpServer server;
    server.route("GET", QStringLiteral("/w"), LoopbackReply::text(200, "from a worker"));
    std::shared_ptr<AFURLSessionManager> manager;
    QPointer<QObject> droppedSession;
    auto outcome = std::make_shared<Outcome>();
    // The worker makes the manager and starts the task, then ends before anything arrives.
    std::thread worker([&] {
        manager = rawManager();
        manager->dataTaskWithRequest(request(server.url(QStringLiteral("/w"))), recordInto(outcome))->resume();
        auto dropped = std::make_shared<AFURLSessionManager>();
        droppedSession = dropped->session().get();
    });
    worker.join();
    EXPECT_EQ(manager->session()->thread(), QCoreApplication::instance()->thread());
    ASSERT_TRUE(waitForCompletion(outcome));
    EXPECT_FALSE(outcome->error);
    EXPECT_TRUE(outcome->onMainThread);
    EXPECT_EQ(outcome->object.toByteArray(), "from a worker");
    // A session let go on the worker is deleted on the main thread. (Outside a running event loop
    // deletions wait until asked for.)
    EXPECT_TRUE(waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return droppedSession.isNull();
    }));
}

TEST(SessionManager, ManagersSharingTheAccessManagerStopOnlyTheirOwnRequests)
{
    LoopbackHttpServer server;
    LoopbackReply slow = LoopbackReply::text(200, "slow body");
    slow.delayMs = 300;
    server.route("GET", QStringLiteral("/slow"), slow);
    server.route("GET", QStringLiteral("/silent"), LoopbackReply::silent());
    auto cancelled = rawManager();
    auto timing = rawManager();
    auto survivor = rawManager();

    // Each manager's first task has identifier 1 in its own session.
    auto cancelledOutcome = std::make_shared<Outcome>();
    auto timedOutOutcome = std::make_shared<Outcome>();
    auto survivorOutcome = std::make_shared<Outcome>();
    cancelled->dataTaskWithRequest(request(server.url(QStringLiteral("/silent"))), recordInto(cancelledOutcome))->resume();
    URLRequest shortWait = request(server.url(QStringLiteral("/silent")));
    shortWait.settings.timeoutInterval = 0.2;
    timing->dataTaskWithRequest(shortWait, recordInto(timedOutOutcome))->resume();
    survivor->dataTaskWithRequest(request(server.url(QStringLiteral("/slow"))), recordInto(survivorOutcome))->resume();
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 3; }));
    cancelled->invalidateSessionCancelingTasks(true);

    ASSERT_TRUE(waitUntil([&] { return cancelledOutcome->calls && timedOutOutcome->calls && survivorOutcome->calls; }));
    EXPECT_EQ(cancelledOutcome->error->code, NSURLErrorCancelled);
    EXPECT_EQ(timedOutOutcome->error->code, NSURLErrorTimedOut);
    EXPECT_FALSE(survivorOutcome->error);
    EXPECT_EQ(survivorOutcome->object.toByteArray(), "slow body");

    // The survivor's session is still valid and sends again.
    auto again = std::make_shared<Outcome>();
    survivor->dataTaskWithRequest(request(server.url(QStringLiteral("/slow"))), recordInto(again))->resume();
    ASSERT_TRUE(waitForCompletion(again));
    EXPECT_FALSE(again->error);
}

TEST(SessionManager, OnlyTheRepliesOwnManagerAnswersItsHttpChallenge)
{
    LoopbackHttpServer server;
    server.route("GET", QStringLiteral("/private"), [](const LoopbackRequest& r) {
        if (r.header("Authorization") == "Basic " + QByteArray("own:pw").toBase64())
            return LoopbackReply::text(200, "welcome");
        return LoopbackReply::text(401, "who?").withHeader("WWW-Authenticate", "Basic realm=\"own\"");
    });
    server.route("GET", QStringLiteral("/silent"), LoopbackReply::silent());

    // The bystander's task 1 is running while the owner's task 1 is challenged.
    auto bystander = rawManager();
    int bystanderChallenges = 0;
    bystander->setTaskDidReceiveAuthenticationChallengeBlock(
        [&](URLSession&, URLSessionTask&, const URLAuthenticationChallenge&, std::optional<URLCredential>&) {
            ++bystanderChallenges;
            return URLSessionAuthChallengeDisposition::CancelAuthenticationChallenge;
        });
    auto waiting = std::make_shared<Outcome>();
    bystander->dataTaskWithRequest(request(server.url(QStringLiteral("/silent"))), recordInto(waiting))->resume();
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 1; }));

    auto owner = rawManager();
    int ownerChallenges = 0;
    owner->setTaskDidReceiveAuthenticationChallengeBlock(
        [&](URLSession&, URLSessionTask&, const URLAuthenticationChallenge&, std::optional<URLCredential>& credential) {
            ++ownerChallenges;
            credential = URLCredential{QStringLiteral("own"), QStringLiteral("pw"), std::nullopt};
            return URLSessionAuthChallengeDisposition::UseCredential;
        });
    auto admitted = std::make_shared<Outcome>();
    owner->dataTaskWithRequest(request(server.url(QStringLiteral("/private"))), recordInto(admitted))->resume();
    ASSERT_TRUE(waitForCompletion(admitted));
    EXPECT_FALSE(admitted->error);
    EXPECT_EQ(admitted->object.toByteArray(), "welcome");
    EXPECT_EQ(ownerChallenges, 1);
    EXPECT_EQ(bystanderChallenges, 0);
    EXPECT_EQ(waiting->calls, 0);  // the bystander's own request was left alone

    bystander->invalidateSessionCancelingTasks(true);
    ASSERT_TRUE(waitForCompletion(waiting));
    EXPECT_EQ(waiting->error->code, NSURLErrorCancelled);
}

TEST(SessionManager, CookiesAreSharedByAllManagersAndSchemes)
{
    LoopbackHttpServer plain;
    plain.route("GET", QStringLiteral("/login"),
                LoopbackReply::text(200, "hi").withHeader("Set-Cookie", "sessionCookieTest=abc; Path=/"));
    plain.route("GET", QStringLiteral("/logout"),
                LoopbackReply::text(200, "bye").withHeader("Set-Cookie", "sessionCookieTest=; Path=/; Max-Age=0"));
    plain.route("GET", QStringLiteral("/echo"), LoopbackReply::text(200, "echo"));
    const testcerts::CertificateSet& certs = testcerts::certificates();
    LoopbackHttpServer secure({certs.selfSigned.certificate}, certs.selfSigned.privateKey);
    secure.route("GET", QStringLiteral("/echo"), LoopbackReply::text(200, "echo"));

    auto first = std::make_shared<Outcome>();
    rawManager()->dataTaskWithRequest(request(plain.url(QStringLiteral("/login"))), recordInto(first))->resume();
    ASSERT_TRUE(waitForCompletion(first));

    auto second = std::make_shared<Outcome>();
    rawManager()->dataTaskWithRequest(request(plain.url(QStringLiteral("/echo"))), recordInto(second))->resume();
    ASSERT_TRUE(waitForCompletion(second));
    EXPECT_EQ(plain.requests().last().header("Cookie"), "sessionCookieTest=abc");

    auto secureManager = rawManager();
    AFSecurityPolicy pinned = AFSecurityPolicy::policyWithPinningMode(
        AFSecurityPolicy::kSSLPinningModeCertificate, QSet<QByteArray>{certs.selfSigned.certificate.toDer()});
    pinned.setAllowInvalidCertificates(true);
    secureManager->setSecurityPolicy(pinned);
    auto third = std::make_shared<Outcome>();
    secureManager->dataTaskWithRequest(request(secure.url(QStringLiteral("/echo"))), recordInto(third))->resume();
    ASSERT_TRUE(waitForCompletion(third));
    ASSERT_FALSE(third->error) << third->error->localizedDescription().toStdString();
    EXPECT_EQ(secure.requests().last().header("Cookie"), "sessionCookieTest=abc");

    // Removed through one manager, gone for the others (and for the tests after this one).
    for (const QString& path : {QStringLiteral("/logout"), QStringLiteral("/echo")}) {
        auto outcome = std::make_shared<Outcome>();
        rawManager()->dataTaskWithRequest(request(plain.url(path)), recordInto(outcome))->resume();
        ASSERT_TRUE(waitForCompletion(outcome));
    }
    EXPECT_TRUE(plain.requests().last().header("Cookie").isNull());
}

TEST(SessionManager, UnsupportedPiecesSaySo)
{
    auto background = std::make_shared<AFURLSessionManager>(
        URLSessionConfiguration::backgroundSessionConfigurationWithIdentifier(QStringLiteral("bg")));
    auto outcome = std::make_shared<Outcome>();
    EXPECT_FALSE(background->dataTaskWithRequest(request(QUrl(QStringLiteral("http://127.0.0.1:1/"))), recordInto(outcome)));
    ASSERT_TRUE(waitForCompletion(outcome));
    EXPECT_EQ(outcome->error->domain, QLatin1String(Error::kCocoaErrorDomain));
    EXPECT_EQ(outcome->error->code, NSFeatureUnsupportedError);

    auto manager = rawManager();
    EXPECT_EQ(manager->reachabilityManager(), AFNetworkReachabilityManager::sharedManager());
    auto resumed = std::make_shared<Outcome>();
    EXPECT_FALSE(manager->downloadTaskWithResumeData("resume", nullptr, nullptr, recordInto(resumed)));
    ASSERT_TRUE(waitForCompletion(resumed));
    EXPECT_EQ(resumed->error->code, NSFeatureUnsupportedError);
}

TEST(SessionManager, HttpChallengesGoToTheTaskBlockAndStreamsAreSent)
{
    LoopbackHttpServer server;
    server.route("GET", QStringLiteral("/private"), [](const LoopbackRequest& r) {
        if (r.header("Authorization") == "Basic " + QByteArray("user:pw").toBase64())
            return LoopbackReply::text(200, "welcome");
        return LoopbackReply::text(401, "who?").withHeader("WWW-Authenticate", "Basic realm=\"t\"");
    });
    server.route("PUT", QStringLiteral("/stream"), LoopbackReply::text(200, "got it"));
    auto manager = rawManager();

    // Without an answer the 401 reply itself is delivered.
    auto refused = std::make_shared<Outcome>();
    manager->dataTaskWithRequest(request(server.url(QStringLiteral("/private"))), recordInto(refused))->resume();
    ASSERT_TRUE(waitForCompletion(refused));
    ASSERT_TRUE(refused->response);
    EXPECT_EQ(refused->response->statusCode, 401);
    EXPECT_EQ(refused->error->code, kErrorBadServerResponse);

    int challenges = 0;
    manager->setTaskDidReceiveAuthenticationChallengeBlock(
        [&](URLSession&, URLSessionTask&, const URLAuthenticationChallenge& challenge, std::optional<URLCredential>& credential) {
            ++challenges;
            EXPECT_EQ(challenge.authenticationMethod, QLatin1String(NSURLAuthenticationMethodDefault));
            EXPECT_EQ(challenge.host, QStringLiteral("127.0.0.1"));
            credential = URLCredential{QStringLiteral("user"), QStringLiteral("pw"), std::nullopt};
            return URLSessionAuthChallengeDisposition::UseCredential;
        });
    auto admitted = std::make_shared<Outcome>();
    manager->dataTaskWithRequest(request(server.url(QStringLiteral("/private"))), recordInto(admitted))->resume();
    ASSERT_TRUE(waitForCompletion(admitted));
    EXPECT_FALSE(admitted->error);
    EXPECT_EQ(admitted->object.toByteArray(), "welcome");
    EXPECT_EQ(challenges, 1);

    URLRequest put = request(server.url(QStringLiteral("/stream")), QStringLiteral("PUT"));
    auto stream = std::make_shared<QBuffer>();
    stream->setData(QByteArray(5000, 's'));
    put.HTTPBodyStream = stream;
    put.setValue(QStringLiteral("5000"), QStringLiteral("Content-Length"));
    qint64 sentTotal = 0;
    manager->setTaskDidSendBodyDataBlock([&](URLSession&, URLSessionTask&, qint64, qint64 total, qint64 expected) {
        sentTotal = total;
        EXPECT_EQ(expected, 5000);
    });
    auto streamed = std::make_shared<Outcome>();
    manager->uploadTaskWithStreamedRequest(put, nullptr, recordInto(streamed))->resume();
    ASSERT_TRUE(waitForCompletion(streamed));
    EXPECT_FALSE(streamed->error);
    EXPECT_EQ(server.requests().last().body, QByteArray(5000, 's'));
    EXPECT_EQ(sentTotal, 5000);
}

// --- server trust ----------------------------------------------------------------------------

TEST(SessionManagerTrust, ARefusedCertificateFailsWithUntrusted)
{
    const testcerts::CertificateSet& certs = testcerts::certificates();
    LoopbackHttpServer server({certs.selfSigned.certificate}, certs.selfSigned.privateKey);
    server.route("GET", QStringLiteral("/s"), LoopbackReply::text(200, "secret"));
    auto manager = rawManager();  // the default policy: the system's roots only

    auto outcome = std::make_shared<Outcome>();
    manager->dataTaskWithRequest(request(server.url(QStringLiteral("/s"))), recordInto(outcome))->resume();
    ASSERT_TRUE(waitForCompletion(outcome));
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(outcome->error->domain, QLatin1String(Error::kURLErrorDomain));
    EXPECT_EQ(outcome->error->code, NSURLErrorServerCertificateUntrusted);
    EXPECT_EQ(server.requestCount(), 0);  // no request went over the refused connection
}

TEST(SessionManagerTrust, ThePolicyDecidesEvenWhereQtWouldDisagree)
{
    const testcerts::CertificateSet& certs = testcerts::certificates();
    LoopbackHttpServer server(certs.localhostChain(), certs.localhost.privateKey);
    server.route("GET", QStringLiteral("/s"), LoopbackReply::text(200, "secret"));

    // Qt does not know the test root, but the policy pins it (and lets the chain end there
    // although no system root vouches for it): accepted.
    auto pinned = rawManager();
    AFSecurityPolicy pinRoot = AFSecurityPolicy::policyWithPinningMode(
        AFSecurityPolicy::kSSLPinningModeCertificate, QSet<QByteArray>{certs.rootCA.certificate.toDer()});
    pinRoot.setAllowInvalidCertificates(true);
    pinned->setSecurityPolicy(pinRoot);
    auto accepted = std::make_shared<Outcome>();
    pinned->dataTaskWithRequest(request(server.url(QStringLiteral("/s"))), recordInto(accepted))->resume();
    ASSERT_TRUE(waitForCompletion(accepted));
    EXPECT_FALSE(accepted->error) << accepted->error->code << " " << accepted->error->localizedDescription().toStdString();
    EXPECT_EQ(accepted->object.toByteArray(), "secret");

    // Qt trusts the root, but the policy pins another certificate: refused.
    testcerts::ScopedTrustedRootCA trusted;
    auto other = rawManager();
    other->setSecurityPolicy(AFSecurityPolicy::policyWithPinningMode(
        AFSecurityPolicy::kSSLPinningModeCertificate, QSet<QByteArray>{certs.selfSigned.certificate.toDer()}));
    auto refused = std::make_shared<Outcome>();
    other->dataTaskWithRequest(request(server.url(QStringLiteral("/s"))), recordInto(refused))->resume();
    ASSERT_TRUE(waitForCompletion(refused));
    ASSERT_TRUE(refused->error);
    EXPECT_EQ(refused->error->code, NSURLErrorServerCertificateUntrusted);

    // With the root trusted, the default policy accepts the chain for 127.0.0.1.
    auto plain = rawManager();
    auto ok = std::make_shared<Outcome>();
    plain->dataTaskWithRequest(request(server.url(QStringLiteral("/s"))), recordInto(ok))->resume();
    ASSERT_TRUE(waitForCompletion(ok));
    EXPECT_FALSE(ok->error) << ok->error->localizedDescription().toStdString();
}

TEST(SessionManagerTrust, AConnectionAnotherManagerAcceptedIsNotReusedWithoutAsking)
{
    const testcerts::CertificateSet& certs = testcerts::certificates();
    LoopbackHttpServer secure({certs.selfSigned.certificate}, certs.selfSigned.privateKey);
    secure.route("GET", QStringLiteral("/s"), LoopbackReply::text(200, "secret"));
    // Plain requests redirected to the TLS server: Qt would follow on the access manager that
    // every manager shares.
    LoopbackHttpServer plain;
    plain.route("GET", QStringLiteral("/go"),
                LoopbackReply::text(302, "").withHeader("Location", secure.url(QStringLiteral("/s")).toEncoded()));

    auto lenient = rawManager();
    AFSecurityPolicy pinned = AFSecurityPolicy::policyWithPinningMode(
        AFSecurityPolicy::kSSLPinningModeCertificate, QSet<QByteArray>{certs.selfSigned.certificate.toDer()});
    pinned.setAllowInvalidCertificates(true);
    lenient->setSecurityPolicy(pinned);
    for (const QString& path : {QStringLiteral("/go"), QStringLiteral("/s")}) {
        auto accepted = std::make_shared<Outcome>();
        const QUrl url = path == QStringLiteral("/go") ? plain.url(path) : secure.url(path);
        lenient->dataTaskWithRequest(request(url), recordInto(accepted))->resume();
        ASSERT_TRUE(waitForCompletion(accepted));
        ASSERT_FALSE(accepted->error) << accepted->error->localizedDescription().toStdString();
        EXPECT_EQ(accepted->object.toByteArray(), "secret");
    }
    ASSERT_EQ(secure.requestCount(), 2);

    // Another manager with the default policy, directly and through the redirection, while the
    // accepted connections are still open.
    auto strict = rawManager();
    for (const QUrl& url : {secure.url(QStringLiteral("/s")), plain.url(QStringLiteral("/go"))}) {
        auto refused = std::make_shared<Outcome>();
        strict->dataTaskWithRequest(request(url), recordInto(refused))->resume();
        ASSERT_TRUE(waitForCompletion(refused));
        ASSERT_TRUE(refused->error) << url.toString().toStdString();
        EXPECT_EQ(refused->error->code, NSURLErrorServerCertificateUntrusted);
    }
    EXPECT_EQ(secure.requestCount(), 2);  // nothing of the strict manager reached the server
}

TEST(SessionManagerTrust, ARedirectionToAnotherServerIsJudgedAgain)
{
    const testcerts::CertificateSet& certs = testcerts::certificates();
    LoopbackHttpServer untrusted(certs.localhostChain(), certs.localhost.privateKey);
    untrusted.route("GET", QStringLiteral("/s"), LoopbackReply::text(200, "secret"));
    LoopbackHttpServer pinnedServer({certs.selfSigned.certificate}, certs.selfSigned.privateKey);
    pinnedServer.route("GET", QStringLiteral("/go"),
                       LoopbackReply::text(302, "").withHeader("Location", untrusted.url(QStringLiteral("/s")).toEncoded()));

    // The policy accepts the first server only; Qt follows the redirection on the same reply.
    auto manager = rawManager();
    AFSecurityPolicy pinned = AFSecurityPolicy::policyWithPinningMode(
        AFSecurityPolicy::kSSLPinningModeCertificate, QSet<QByteArray>{certs.selfSigned.certificate.toDer()});
    pinned.setAllowInvalidCertificates(true);
    manager->setSecurityPolicy(pinned);
    auto outcome = std::make_shared<Outcome>();
    manager->dataTaskWithRequest(request(pinnedServer.url(QStringLiteral("/go"))), recordInto(outcome))->resume();
    ASSERT_TRUE(waitForCompletion(outcome));
    EXPECT_EQ(pinnedServer.requestCount(), 1);
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(outcome->error->code, NSURLErrorServerCertificateUntrusted);

    // The same when the redirection block sends the task somewhere Qt cannot follow by itself
    // (a new manager, whose first reply makes its own connection to the first server).
    manager = rawManager();
    manager->setSecurityPolicy(pinned);
    manager->setTaskWillPerformHTTPRedirectionBlock(
        [](URLSession&, URLSessionTask&, const HTTPURLResponse&, const URLRequest& proposed) -> std::optional<URLRequest> {
            URLRequest changed = proposed;
            changed.URL.setQuery(QStringLiteral("changed=1"));
            return changed;
        });
    auto changed = std::make_shared<Outcome>();
    manager->dataTaskWithRequest(request(pinnedServer.url(QStringLiteral("/go"))), recordInto(changed))->resume();
    ASSERT_TRUE(waitForCompletion(changed));
    ASSERT_TRUE(changed->error);
    EXPECT_EQ(changed->error->code, NSURLErrorServerCertificateUntrusted);
    EXPECT_EQ(untrusted.requestCount(), 0);
}

// --- redirections across schemes ---------------------------------------------------------------

namespace {

// A body stream that can only be read once, as a multipart body is.
class OneWayStream : public QBuffer
{
public:
    bool isSequential() const override { return true; }
};

}  // namespace

TEST(SessionManagerRedirects, ALoopBetweenSchemesEndsWithTooManyRedirectsWithinTheLimit)
{
    TwoSchemes servers;
    servers.plain.route("GET", QStringLiteral("/a"), redirectTo(302, servers.secure.url(QStringLiteral("/b"))));
    servers.secure.route("GET", QStringLiteral("/b"), redirectTo(302, servers.plain.url(QStringLiteral("/a"))));
    auto outcome = std::make_shared<Outcome>();
    servers.manager()->dataTaskWithRequest(request(servers.plain.url(QStringLiteral("/a"))), recordInto(outcome))->resume();
    ASSERT_TRUE(waitForCompletion(outcome, 30000)) << "the loop between http and https never ended";
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(outcome->error->code, NSURLErrorHTTPTooManyRedirects);
    EXPECT_LE(servers.plain.requestCount() + servers.secure.requestCount(), 17);
}

TEST(SessionManagerRedirects, ALoopWithinOneSchemeEndsWithTooManyRedirects)
{
    LoopbackHttpServer server;
    server.route("GET", QStringLiteral("/loop"), redirectTo(302, server.url(QStringLiteral("/loop"))));
    auto outcome = std::make_shared<Outcome>();
    rawManager()->dataTaskWithRequest(request(server.url(QStringLiteral("/loop"))), recordInto(outcome))->resume();
    ASSERT_TRUE(waitForCompletion(outcome, 30000));
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(outcome->error->code, NSURLErrorHTTPTooManyRedirects);
    EXPECT_EQ(outcome->error->localizedDescription(), QStringLiteral("too many HTTP redirects"));
    EXPECT_LE(server.requestCount(), 17);
}

TEST(SessionManagerRedirects, A307ToHttpsSendsTheWholeBodyAgainOrFails)
{
    const QByteArray body = QByteArray(200000, 'u') + "end";
    struct Case
    {
        const char* name;
        std::function<std::shared_ptr<URLSessionTask>(AFURLSessionManager&, const URLRequest&,
                                                      AFURLSessionCompletionHandler)>
            start;
        bool arrives;
    };
    const QList<Case> cases{
        {"upload of bytes", [&](AFURLSessionManager& m, const URLRequest& r, AFURLSessionCompletionHandler done) {
             return m.uploadTaskWithRequestFromData(r, body, nullptr, std::move(done));
         }, true},
        {"rewindable stream", [&](AFURLSessionManager& m, const URLRequest& r, AFURLSessionCompletionHandler done) {
             URLRequest streamed = r;
             auto stream = std::make_shared<QBuffer>();
             stream->setData(body);
             streamed.HTTPBodyStream = stream;
             return m.uploadTaskWithStreamedRequest(streamed, nullptr, std::move(done));
         }, true},
        {"one-way stream", [&](AFURLSessionManager& m, const URLRequest& r, AFURLSessionCompletionHandler done) {
             URLRequest streamed = r;
             auto stream = std::make_shared<OneWayStream>();
             stream->setData(body);
             streamed.HTTPBodyStream = stream;
             return m.uploadTaskWithStreamedRequest(streamed, nullptr, std::move(done));
         }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TwoSchemes servers;
        servers.plain.route("POST", QStringLiteral("/up"), redirectTo(307, servers.secure.url(QStringLiteral("/up"))));
        servers.secure.route("POST", QStringLiteral("/up"), LoopbackReply::text(200, "stored"));
        URLRequest post = request(servers.plain.url(QStringLiteral("/up")), QStringLiteral("POST"));
        post.setValue(QString::number(body.size()), QStringLiteral("Content-Length"));
        auto outcome = std::make_shared<Outcome>();
        auto manager = servers.manager();
        c.start(*manager, post, recordInto(outcome))->resume();
        ASSERT_TRUE(waitForCompletion(outcome, 30000));
        if (c.arrives) {
            ASSERT_FALSE(outcome->error) << outcome->error->localizedDescription().toStdString();
            ASSERT_EQ(servers.secure.requestCount(), 1);
            EXPECT_EQ(servers.secure.requests().last().body, body);
        } else {
            // Never reported as stored when the server cannot have received the whole body.
            ASSERT_TRUE(outcome->error);
            EXPECT_EQ(outcome->error->code, NSURLErrorRequestBodyStreamExhausted);
            for (const LoopbackRequest& received : servers.secure.requests())
                EXPECT_EQ(received.body, body);
        }
    }
}
