#include "networking/AFNetManager.h"
#include "networking/AFStreamingMultipartFormData.h"

#include "BlockCalls.h"
#include "LoopbackHttpServer.h"
#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using Calls = BlockCalls;

const std::shared_ptr<AFHTTPSessionManager> kNoManager;

// After a wait for the call that must come: runs what is queued for the main thread, then lets
// the event loop run a while more, so that a call that should not come has had its chance.
void settle(int ms = 200)
{
    ASSERT_TRUE(drainMainQueue());
    spin(ms);
}

class AFNetManagerTest : public ::testing::Test
{
protected:
    // Sends a standard request and returns the one request the server logged.
    LoopbackRequest send(bool get, const QString& pathAndQuery, const QVariant& parms, int32_t type)
    {
        server.clearRequests();
        auto c = std::make_shared<Calls>();
        AFNetManager::requestWithUrlString(server.url(pathAndQuery).toString(), get, parms, type, nullptr,
                                           finishedInto(c), failedInto(c));
        EXPECT_TRUE(waitUntil([&] { return c->done(); }));
        EXPECT_EQ(c->finished, 1) << (c->error ? qPrintable(c->error->localizedDescription()) : "");
        EXPECT_EQ(server.requestCount(), 1);
        return server.requests().value(0);
    }

    void SetUp() override
    {
        server.route("GET", QStringLiteral("/q"), LoopbackReply::text(200, R"({"a":1})", "application/json"));
        server.route("POST", QStringLiteral("/q"), LoopbackReply::text(200, "posted"));
    }

    LoopbackHttpServer server;
};

}  // namespace

TEST_F(AFNetManagerTest, GetAndPostArriveAsTheServerLogShowsWithRawBodies)
{
    const QVariantMap parms{{QStringLiteral("b"), QStringLiteral("2")}, {QStringLiteral("a"), QStringLiteral("x y")}};
    const LoopbackRequest get = send(true, QStringLiteral("/q"), parms, 1);
    EXPECT_EQ(get.method, "GET");
    EXPECT_EQ(get.path, QStringLiteral("/q"));
    EXPECT_EQ(get.query, QStringLiteral("a=x%20y&b=2"));
    EXPECT_TRUE(get.body.isEmpty());

    const LoopbackRequest post = send(false, QStringLiteral("/q"), parms, 1);
    EXPECT_EQ(post.method, "POST");
    EXPECT_TRUE(post.query.isNull());
    EXPECT_EQ(post.body, "a=x%20y&b=2");
    EXPECT_TRUE(post.header("Content-Type").startsWith("application/x-www-form-urlencoded"));

    // No response type: the JSON reply reaches the caller as its bytes, not parsed.
    auto c = std::make_shared<Calls>();
    AFNetManager::requestWithUrlString(server.url(QStringLiteral("/q")).toString(), true, QVariant(), 1, nullptr,
                                       finishedInto(c), failedInto(c));
    ASSERT_TRUE(waitUntil([&] { return c->done(); }));
    EXPECT_TRUE(c->onMainThread);
    EXPECT_EQ(c->object.metaType().id(), QMetaType::QByteArray);
    EXPECT_EQ(c->object.toByteArray(), R"({"a":1})");
    ASSERT_TRUE(c->task);
    EXPECT_EQ(c->task->originalRequest().URL, server.url(QStringLiteral("/q")));
}

TEST_F(AFNetManagerTest, EncodedTypesChooseTheQueryEncoder)
{
    const QVariantMap spaced{{QStringLiteral("q"), QStringLiteral("a b&c")}};
    EXPECT_EQ(send(true, QStringLiteral("/q"), spaced, 2).query, QStringLiteral("q=a%20b%26c"));
    EXPECT_EQ(send(true, QStringLiteral("/q"), spaced, 5).query, QStringLiteral("q=a%20b%26c"));
    EXPECT_EQ(send(false, QStringLiteral("/q"), spaced, 2).body, "q=a%20b%26c");

    const QVariantMap zhong{{QStringLiteral("k"), QString::fromUtf8("中")}};
    EXPECT_EQ(send(true, QStringLiteral("/q"), zhong, 3).query, QStringLiteral("k=%D6%D0"));
    EXPECT_EQ(send(true, QStringLiteral("/q"), zhong, 2).query, QStringLiteral("k=%E4%B8%AD"));

    // 0, 1 and anything outside 2..5 use the default query: sorted keys, UTF-8.
    const QVariantMap two{{QStringLiteral("z"), QString::fromUtf8("中")}, {QStringLiteral("m"), QStringLiteral("1")}};
    for (const int32_t type : {0, 1, 6, 7, -1})
        EXPECT_EQ(send(true, QStringLiteral("/q"), two, type).query, QStringLiteral("m=1&z=%E4%B8%AD")) << type;

    // A null value gives the bare key; no parameters leave the caller's query alone.
    EXPECT_EQ(send(true, QStringLiteral("/q"), QVariantMap{{QStringLiteral("k"), QVariant::fromValue(nullptr)}}, 2).query,
              QStringLiteral("k"));
    EXPECT_EQ(send(true, QStringLiteral("/q?r=0.5"), QVariant(), 2).query, QStringLiteral("r=0.5"));
}

TEST_F(AFNetManagerTest, SessionManagerVariantSendsHeadWithoutAResponseObject)
{
    server.route("GET", QStringLiteral("/feed"),
                 LoopbackReply::text(200, "feed body").withHeader("Last-Modified", "Tue, 01 Jan 2019 00:00:00 GMT"));
    auto c = std::make_shared<Calls>();
    auto progressCalls = std::make_shared<std::atomic<int>>(0);
    auto manager = AFNetManager::requestWithUrlString(
        server.url(QStringLiteral("/feed")).toString(), false, QVariant(), 1, nullptr, kNoManager,
        [progressCalls](const std::shared_ptr<Progress>&) { ++*progressCalls; }, finishedInto(c), failedInto(c));
    ASSERT_TRUE(manager);
    ASSERT_TRUE(waitUntil([&] { return c->done(); }));
    EXPECT_EQ(c->finished, 1);
    EXPECT_FALSE(c->object.isValid());
    ASSERT_TRUE(c->task && c->task->response());
    EXPECT_EQ(c->task->response()->valueForHTTPHeaderField(QStringLiteral("last-modified")),
              QStringLiteral("Tue, 01 Jan 2019 00:00:00 GMT"));
    EXPECT_EQ(progressCalls->load(), 0);
    ASSERT_EQ(server.requestCount(), 1);
    EXPECT_EQ(server.requests().at(0).method, "HEAD");
}

TEST_F(AFNetManagerTest, ReusedManagerCarriesTheSerializersOfTheLastCall)
{
    const QVariantMap zhong{{QStringLiteral("k"), QString::fromUtf8("中")}};
    auto first = std::make_shared<Calls>();
    auto manager = AFNetManager::requestWithUrlString(server.url(QStringLiteral("/q")).toString(), false, zhong, 3,
                                                      AFJSONResponseSerializer::serializer(), kNoManager,
                                                      finishedInto(first), failedInto(first));
    ASSERT_TRUE(waitUntil([&] { return first->done(); }));

    auto second = std::make_shared<Calls>();
    auto same = AFNetManager::requestWithUrlString(server.url(QStringLiteral("/q")).toString(), true, zhong, 1, nullptr,
                                                   manager, finishedInto(second), failedInto(second));
    EXPECT_EQ(same, manager);
    ASSERT_TRUE(waitUntil([&] { return second->done(); }));
    EXPECT_EQ(typeid(*manager->responseSerializer()), typeid(AFHTTPResponseSerializer));
    EXPECT_EQ(second->object.toByteArray(), R"({"a":1})");  // raw, not parsed by the first call's JSON serializer

    auto third = std::make_shared<Calls>();
    AFNetManager::requestWithUrlString(server.url(QStringLiteral("/q")).toString(), true, zhong, 3,
                                       AFJSONResponseSerializer::serializer(), manager, finishedInto(third),
                                       failedInto(third));
    ASSERT_TRUE(waitUntil([&] { return third->done(); }));
    EXPECT_EQ(third->object.toMap().value(QStringLiteral("a")).toInt(), 1);

    const QList<LoopbackRequest> log = server.requests();
    ASSERT_EQ(log.size(), 3);
    EXPECT_EQ(log[0].method, "HEAD");
    EXPECT_EQ(log[0].query, QStringLiteral("k=%D6%D0"));
    EXPECT_EQ(log[1].query, QStringLiteral("k=%E4%B8%AD"));  // the GB 18030 block was cleared
    EXPECT_EQ(log[2].query, QStringLiteral("k=%D6%D0"));
}

TEST_F(AFNetManagerTest, ServerErrorReachesTheFailedBlockWithTheStatusReadable)
{
    server.route("GET", QStringLiteral("/broken"), LoopbackReply::text(500, "oops"));
    auto c = std::make_shared<Calls>();
    AFNetManager::requestWithUrlString(server.url(QStringLiteral("/broken")).toString(), true, QVariant(), 1, nullptr,
                                       finishedInto(c), failedInto(c));
    ASSERT_TRUE(waitUntil([&] { return c->done(); }));
    settle(100);
    EXPECT_EQ(c->finished, 0);
    EXPECT_EQ(c->failed, 1);
    EXPECT_TRUE(c->onMainThread);
    ASSERT_TRUE(c->task && c->task->response());
    EXPECT_EQ(c->task->response()->statusCode, 500);
    EXPECT_EQ(c->error->code, kErrorBadServerResponse);
}

TEST_F(AFNetManagerTest, CancelThroughTheKeptManagerGivesMinus999AndNothingElse)
{
    server.route("GET", QStringLiteral("/slow"), LoopbackReply::silent());
    auto old = std::make_shared<Calls>();
    auto kept = AFNetManager::requestWithUrlString(server.url(QStringLiteral("/slow")).toString(), true, QVariant(), 1,
                                                   nullptr, finishedInto(old), failedInto(old));
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 1; }));

    // The caller's pattern: cancel the kept manager, start the next request at once.
    kept->invalidateSessionCancelingTasks(true);
    auto next = std::make_shared<Calls>();
    kept = AFNetManager::requestWithUrlString(server.url(QStringLiteral("/q")).toString(), true, QVariant(), 1, nullptr,
                                              finishedInto(next), failedInto(next));
    EXPECT_FALSE(old->done());  // the cancellation arrives later
    ASSERT_TRUE(waitUntil([&] { return old->done() && next->done(); }));
    settle();
    EXPECT_EQ(old->finished, 0);
    EXPECT_EQ(old->failed, 1);
    EXPECT_TRUE(old->onMainThread);
    EXPECT_EQ(old->error->domain, QLatin1String(Error::kURLErrorDomain));
    EXPECT_EQ(old->error->code, NSURLErrorCancelled);
    EXPECT_EQ(next->finished, 1);
    EXPECT_EQ(next->failed, 0);
}

TEST_F(AFNetManagerTest, RequestFromAWorkerThreadCompletesOnTheMainThread)
{
    auto c = std::make_shared<Calls>();
    std::shared_ptr<AFHTTPSessionManager> manager;
    std::thread worker([&] {
        manager = AFNetManager::requestWithUrlString(server.url(QStringLiteral("/q")).toString(), true,
                                                     QVariantMap{{QStringLiteral("w"), QStringLiteral("1")}}, 2,
                                                     nullptr, finishedInto(c), failedInto(c));
    });
    worker.join();
    ASSERT_TRUE(manager);
    EXPECT_EQ(manager->session()->thread(), QCoreApplication::instance()->thread());
    ASSERT_TRUE(waitUntil([&] { return c->done(); }));
    EXPECT_EQ(c->finished, 1);
    EXPECT_TRUE(c->onMainThread);
    EXPECT_EQ(server.requests().at(0).query, QStringLiteral("w=1"));
}

TEST_F(AFNetManagerTest, UnparsableURLReachesTheFailedBlockLaterAndNeverTheFinishedBlock)
{
    auto c = std::make_shared<Calls>();
    auto manager = AFNetManager::requestWithUrlString(QStringLiteral("http://127.0.0.1:1/news list"), true, QVariant(),
                                                      1, nullptr, finishedInto(c), failedInto(c));
    EXPECT_TRUE(manager);
    EXPECT_FALSE(c->done());
    ASSERT_TRUE(waitUntil([&] { return c->done(); }));
    settle(100);
    EXPECT_EQ(c->finished, 0);
    EXPECT_EQ(c->failed, 1);
    EXPECT_TRUE(c->onMainThread);
    EXPECT_FALSE(c->task);
    EXPECT_EQ(c->error->domain, QLatin1String(Error::kURLErrorDomain));
    EXPECT_EQ(c->error->code, NSURLErrorUnsupportedURL);

    // The multipart variant reports the same way.
    auto m = std::make_shared<Calls>();
    AFNetManager::requestWithUrlString(QStringLiteral("http://127.0.0.1:1/up load"), QVariant(), nullptr, nullptr,
                                       finishedInto(m), failedInto(m));
    ASSERT_TRUE(waitUntil([&] { return m->done(); }));
    EXPECT_EQ(m->failed, 1);
    EXPECT_FALSE(m->task);
    EXPECT_EQ(m->error->code, NSURLErrorUnsupportedURL);
}

TEST_F(AFNetManagerTest, ProgressAndMultipartVariants)
{
    server.route("GET", QStringLiteral("/big"), LoopbackReply::text(200, QByteArray(100000, 'x')));
    auto c = std::make_shared<Calls>();
    auto received = std::make_shared<std::atomic<qint64>>(0);
    AFNetManager::requestWithUrlString(server.url(QStringLiteral("/big")).toString(), true, QVariant(), 1, nullptr,
                                       [received](const std::shared_ptr<Progress>& p) { *received = p->completedUnitCount(); },
                                       finishedInto(c), failedInto(c));
    ASSERT_TRUE(waitUntil([&] { return c->done(); }));
    EXPECT_EQ(c->object.toByteArray().size(), 100000);
    EXPECT_EQ(received->load(), 100000);

    server.clearRequests();
    auto m = std::make_shared<Calls>();
    auto manager = AFNetManager::requestWithUrlString(
        server.url(QStringLiteral("/q")).toString(), QVariantMap{{QStringLiteral("id"), QStringLiteral("7")}}, nullptr,
        [](AFMultipartFormData& form) { form.appendPartWithFormData("hello", QStringLiteral("greeting")); },
        finishedInto(m), failedInto(m));
    ASSERT_TRUE(manager);
    ASSERT_TRUE(waitUntil([&] { return m->done(); }));
    EXPECT_EQ(m->object.toByteArray(), "posted");
    const LoopbackRequest sent = server.requests().value(0);
    EXPECT_EQ(sent.method, "POST");
    EXPECT_TRUE(sent.header("Content-Type").startsWith("multipart/form-data"));
    EXPECT_TRUE(sent.body.contains("name=\"id\"\r\n\r\n7\r\n"));
    EXPECT_TRUE(sent.body.contains("name=\"greeting\"\r\n\r\nhello\r\n"));
}
