#include "networking/AFURLSessionManager.h"

#include "LoopbackHttpServer.h"
#include "SessionManagerFixtures.h"
#include "TestEnvironment.h"
#include "URLCacheScope.h"

#include <gtest/gtest.h>

// A request the server may already have acted on goes out once: a connection lost before the
// answer ends the task with the loss, never with a copy sent behind the caller's back.
TEST(TaskEndsOnce, ARequestNotSafeToRepeatIsSentOnceWhenTheConnectionDrops)
{
    LoopbackHttpServer server;
    auto manager = rawManager();
    for (const char* method : {"POST", "PUT", "DELETE", "PATCH"}) {
        const QString path = QStringLiteral("/once/%1").arg(QLatin1String(method));
        server.route(method, path, LoopbackReply::closeConnection());
        URLRequest r = request(server.url(path), QLatin1String(method));
        if (QByteArray(method) != "DELETE")
            r.HTTPBody = "content=%E6%B2%99%E5%8F%91";
        const qsizetype before = server.requestCount();
        auto outcome = std::make_shared<Outcome>();
        manager->dataTaskWithRequest(r, recordInto(outcome))->resume();
        ASSERT_TRUE(waitForCompletion(outcome)) << method;
        ASSERT_TRUE(outcome->error) << method;
        EXPECT_EQ(outcome->error->code, NSURLErrorNetworkConnectionLost) << method;
        EXPECT_EQ(server.requestCount() - before, 1) << method;
    }
}

// A server error to a request checked against the URL cache (Qt offers its cached copy in its
// place) ends the task at once with the server's status.
TEST(TaskEndsOnce, AServerErrorToARequestCheckedAgainstTheCacheEndsTheTaskAtOnce)
{
    URLCacheScope cache;
    LoopbackHttpServer server;
    auto manager = rawManager();
    for (const int status : {500, 502, 503, 504}) {
        const QString path = QStringLiteral("/comments/%1.json").arg(status);
        server.route("GET", path,
                     LoopbackReply::text(200, "[1]").withHeader("Last-Modified", "Tue, 08 Dec 2026 08:00:00 GMT"));
        auto first = std::make_shared<Outcome>();
        manager->dataTaskWithRequest(request(server.url(path)), recordInto(first))->resume();
        ASSERT_TRUE(waitForCompletion(first));
        ASSERT_FALSE(first->error);
        ASSERT_TRUE(cache.holds(server.url(path)));

        server.route("GET", path, LoopbackReply::text(status, "down"));
        auto second = std::make_shared<Outcome>();
        manager->dataTaskWithRequest(request(server.url(path)), recordInto(second))->resume();
        ASSERT_TRUE(waitForCompletion(second)) << status;
        ASSERT_TRUE(second->response);
        EXPECT_EQ(second->response->statusCode, status);
        ASSERT_TRUE(second->error);
        EXPECT_EQ(second->error->code, kErrorBadServerResponse);
        EXPECT_EQ(second->calls, 1);

        // The freshness check of a list on its first refresh is such a request too.
        auto head = std::make_shared<Outcome>();
        manager->dataTaskWithRequest(request(server.url(path), QStringLiteral("HEAD")), recordInto(head))->resume();
        ASSERT_TRUE(waitForCompletion(head)) << status;
        ASSERT_TRUE(head->response);
        EXPECT_EQ(head->response->statusCode, status);
    }
}
