#include "networking/AFNetManager.h"
#include "networking/TaskResponseHeader.h"

#include "BlockCalls.h"
#include "LoopbackHttpServer.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

namespace {

// The task of one GET to the loopback server, after its success block ran.
std::shared_ptr<URLSessionDataTask> finishedTask(const LoopbackHttpServer& server, const QString& path)
{
    auto calls = std::make_shared<BlockCalls>();
    AFNetManager::requestWithUrlString(server.url(path).toString(), true, QVariant(), 1, nullptr, finishedInto(calls),
                                       failedInto(calls));
    EXPECT_TRUE(waitUntil([&] { return calls->done(); }));
    EXPECT_EQ(calls->finished, 1);
    return calls->task;
}

}  // namespace

TEST(TaskResponseHeader, ReadsTheFieldOfTheResponseOrANullText)
{
    LoopbackHttpServer server;
    server.route("GET", QStringLiteral("/feed"),
                 LoopbackReply::text(200, "feed")
                     .withHeader("Last-Modified", "Tue, 01 Jan 2019 00:00:00 GMT")
                     .withHeader("X-Empty", ""));
    const std::shared_ptr<URLSessionDataTask> answered = finishedTask(server, QStringLiteral("/feed"));
    ASSERT_TRUE(answered && answered->response());

    // A task that was never resumed has no response yet.
    const std::shared_ptr<URLSession> session = URLSession::create(URLSessionConfiguration::defaultSessionConfiguration());
    URLRequest request;
    request.URL = server.url(QStringLiteral("/feed"));
    const std::shared_ptr<URLSessionDataTask> unsent = session->dataTaskWithRequest(request);
    ASSERT_TRUE(unsent);
    ASSERT_FALSE(unsent->response());

    const struct
    {
        const char* what;
        std::shared_ptr<URLSessionDataTask> task;
        QString field;
        QString expected;
        bool expectedNull;
    } rows[] = {
        {"present", answered, QStringLiteral("Last-Modified"), QStringLiteral("Tue, 01 Jan 2019 00:00:00 GMT"), false},
        {"present, other case", answered, QStringLiteral("last-modified"), QStringLiteral("Tue, 01 Jan 2019 00:00:00 GMT"),
         false},
        {"absent", answered, QStringLiteral("ETag"), QString(), true},
        // A field sent without a value does not reach the response: it reads as absent.
        {"empty", answered, QStringLiteral("X-Empty"), QString(), true},
        {"no response", unsent, QStringLiteral("Last-Modified"), QString(), true},
        {"no task", nullptr, QStringLiteral("Last-Modified"), QString(), true},
    };
    for (const auto& row : rows) {
        const QString value = responseHeaderField(row.task, row.field);
        EXPECT_EQ(value, row.expected) << row.what;
        EXPECT_EQ(value.isNull(), row.expectedNull) << row.what;
    }
    session->invalidateAndCancel();
}
