#include "networking/AFHTTPSessionManager.h"

#include "BlockCalls.h"
#include "LoopbackHttpServer.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

namespace {

std::shared_ptr<AFHTTPSessionManager> rawManager(const QUrl& baseURL = QUrl())
{
    auto manager = std::make_shared<AFHTTPSessionManager>(baseURL);
    manager->setResponseSerializer(AFHTTPResponseSerializer::serializer());
    return manager;
}

}  // namespace

TEST(HTTPSessionManager, NewManagerHasNoBaseURLAFormSerializerAndAJSONResponseSerializer)
{
    auto manager = AFHTTPSessionManager::manager();
    EXPECT_TRUE(manager->baseURL().isEmpty());
    EXPECT_EQ(typeid(*manager->requestSerializer()), typeid(AFHTTPRequestSerializer));
    EXPECT_EQ(typeid(*manager->responseSerializer()), typeid(AFJSONResponseSerializer));

    LoopbackHttpServer server;
    server.route("GET", QStringLiteral("/data"), LoopbackReply::text(200, R"({"n":3})", "application/json"));
    auto r = std::make_shared<BlockCalls>();
    auto task = manager->GET(server.url(QStringLiteral("/data")).toString(), QVariantMap{{QStringLiteral("b"), 2}, {QStringLiteral("a"), 1}},
                             finishedInto(r), failedInto(r));
    ASSERT_TRUE(task);
    EXPECT_NE(task->state(), URLSessionTaskState::Suspended);  // handed back already resumed
    ASSERT_TRUE(waitUntil([&] { return r->done(); }));
    EXPECT_EQ(r->finished, 1);
    EXPECT_TRUE(r->onMainThread);
    EXPECT_EQ(r->task, task);
    EXPECT_EQ(r->object.toMap().value(QStringLiteral("n")).toInt(), 3);
    EXPECT_EQ(server.requests().at(0).query, QStringLiteral("a=1&b=2"));
}

TEST(HTTPSessionManager, BaseURLWithAPathGainsAFinalSlashAndResolvesRelativeStrings)
{
    LoopbackHttpServer server;
    server.route("GET", QStringLiteral("/api/items"), LoopbackReply::text(200, "items"));
    auto manager = rawManager(server.url(QStringLiteral("/api")));
    EXPECT_EQ(manager->baseURL(), server.url(QStringLiteral("/api/")));
    EXPECT_TRUE(manager->description().contains(server.url(QStringLiteral("/api/")).toString()));
    EXPECT_EQ(AFHTTPSessionManager(server.url(QStringLiteral(""))).baseURL(), server.url(QStringLiteral("")));

    auto r = std::make_shared<BlockCalls>();
    manager->GET(QStringLiteral("items"), QVariant(), finishedInto(r), failedInto(r));
    ASSERT_TRUE(waitUntil([&] { return r->done(); }));
    EXPECT_EQ(r->object.toByteArray(), "items");
    ASSERT_EQ(server.requestCount(), 1);
    EXPECT_EQ(server.requests().at(0).path, QStringLiteral("/api/items"));
}

TEST(HTTPSessionManager, EachMethodArrivesWithItsParametersWhereTheyBelong)
{
    LoopbackHttpServer server;
    for (const QByteArray method : {"POST", "PUT", "PATCH", "DELETE", "HEAD"})
        server.route(method, QStringLiteral("/r"), LoopbackReply::text(200, method == "HEAD" ? QByteArray() : method));
    auto manager = rawManager();
    const QString url = server.url(QStringLiteral("/r")).toString();
    const QVariantMap parameters{{QStringLiteral("k"), QStringLiteral("v w")}};

    auto post = std::make_shared<BlockCalls>();
    auto put = std::make_shared<BlockCalls>();
    auto patch = std::make_shared<BlockCalls>();
    auto del = std::make_shared<BlockCalls>();
    auto head = std::make_shared<BlockCalls>();
    manager->POST(url, parameters, finishedInto(post), failedInto(post));
    manager->PUT(url, parameters, finishedInto(put), failedInto(put));
    manager->PATCH(url, parameters, finishedInto(patch), failedInto(patch));
    manager->DELETE(url, parameters, finishedInto(del), failedInto(del));
    manager->HEAD(url, parameters, [head](const std::shared_ptr<URLSessionDataTask>& task) {
        ++head->finished;
        head->task = task;
    }, failedInto(head));
    ASSERT_TRUE(waitUntil([&] { return post->done() && put->done() && patch->done() && del->done() && head->done(); }));
    for (const auto& r : {post, put, patch, del, head})
        EXPECT_EQ(r->finished, 1);
    EXPECT_EQ(post->object.toByteArray(), "POST");
    ASSERT_TRUE(head->task && head->task->response());
    EXPECT_EQ(head->task->response()->statusCode, 200);

    QHash<QByteArray, LoopbackRequest> byMethod;
    for (const LoopbackRequest& request : server.requests())
        byMethod.insert(request.method, request);
    ASSERT_EQ(byMethod.size(), 5);
    for (const QByteArray method : {"POST", "PUT", "PATCH"}) {
        EXPECT_EQ(byMethod[method].body, "k=v%20w") << method.constData();
        EXPECT_TRUE(byMethod[method].query.isNull()) << method.constData();
        EXPECT_TRUE(byMethod[method].header("Content-Type").startsWith("application/x-www-form-urlencoded"));
    }
    for (const QByteArray method : {"DELETE", "HEAD"}) {
        EXPECT_EQ(byMethod[method].query, QStringLiteral("k=v%20w")) << method.constData();
        EXPECT_TRUE(byMethod[method].body.isEmpty()) << method.constData();
    }
}
