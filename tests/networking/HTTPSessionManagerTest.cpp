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

// A copy, and a manager read back from its archive, are HTTP managers with the same base URL,
// configuration, serializers (copies, of the same classes and settings) and security policy.
TEST(HTTPSessionManager, ACopyAndAnArchivedThenReadManagerKeepBaseURLSerializersAndSecurityPolicy)
{
    URLSessionConfiguration configuration = URLSessionConfiguration::defaultSessionConfiguration();
    configuration.timeoutIntervalForRequest = 7.5;
    const auto original = std::make_shared<AFHTTPSessionManager>(QUrl(QStringLiteral("http://127.0.0.1:1/api")), configuration);
    const auto request = AFJSONRequestSerializer::serializerWithWritingOptions(AFJSONRequestSerializer::kWritingPrettyPrinted);
    request->setValue(QStringLiteral("1"), QStringLiteral("X-Kept"));
    request->setQueryStringSerializationWithBlock([](const URLRequest&, const QVariant&, ErrorSlot) { return QStringLiteral("q=1"); });
    original->setRequestSerializer(request);
    const auto response = AFXMLDocumentResponseSerializer::serializerWithXMLDocumentOptions(3);
    response->setAcceptableStatusCodes(QSet<int>{200, 204});
    response->setAcceptableContentTypes(std::nullopt);
    original->setResponseSerializer(response);
    AFSecurityPolicy policy = AFSecurityPolicy::policyWithPinningMode(AFSecurityPolicy::kSSLPinningModeCertificate);
    policy.setAllowInvalidCertificates(true);
    policy.setValidatesDomainName(false);
    original->setSecurityPolicy(policy);

    const std::shared_ptr<AFURLSessionManager> copied = original->copy();
    const std::shared_ptr<AFURLSessionManager> restored = AFHTTPSessionManager::initWithCoder(original->encodeWithCoder());
    for (const auto& [what, made] : {std::pair{"copy", copied}, std::pair{"archive", restored}}) {
        SCOPED_TRACE(what);
        const auto manager = std::dynamic_pointer_cast<AFHTTPSessionManager>(made);
        ASSERT_TRUE(manager);
        EXPECT_EQ(manager->baseURL(), QUrl(QStringLiteral("http://127.0.0.1:1/api/")));
        EXPECT_EQ(manager->sessionConfiguration(), configuration);
        const auto requestCopy = std::dynamic_pointer_cast<AFJSONRequestSerializer>(manager->requestSerializer());
        ASSERT_TRUE(requestCopy);
        EXPECT_NE(requestCopy, request);
        EXPECT_EQ(requestCopy->writingOptions(), AFJSONRequestSerializer::kWritingPrettyPrinted);
        EXPECT_EQ(requestCopy->valueForHTTPHeaderField(QStringLiteral("X-Kept")), QStringLiteral("1"));
        const auto responseCopy = std::dynamic_pointer_cast<AFXMLDocumentResponseSerializer>(manager->responseSerializer());
        ASSERT_TRUE(responseCopy);
        EXPECT_NE(responseCopy, response);
        EXPECT_EQ(responseCopy->options(), 3u);
        EXPECT_EQ(responseCopy->acceptableStatusCodes(), (QSet<int>{200, 204}));
        EXPECT_FALSE(responseCopy->acceptableContentTypes());
        const AFSecurityPolicy kept = manager->securityPolicy();
        EXPECT_EQ(kept.SSLPinningMode(), AFSecurityPolicy::kSSLPinningModeCertificate);
        EXPECT_TRUE(kept.allowInvalidCertificates());
        EXPECT_FALSE(kept.validatesDomainName());
    }
    // Only the copy carries the query-string block, which is code and not archived.
    const auto built = std::dynamic_pointer_cast<AFHTTPSessionManager>(copied)->requestSerializer()->requestWithMethod(
        QStringLiteral("GET"), QStringLiteral("http://127.0.0.1:1/x"), QVariantMap{{QStringLiteral("a"), 1}}, nullptr);
    ASSERT_TRUE(built);
    EXPECT_EQ(built->URL.query(), QStringLiteral("q=1"));
    // An archive naming only a background session's identifier.
    EXPECT_EQ(AFHTTPSessionManager::initWithCoder({{QStringLiteral("identifier"), QStringLiteral("bg")}})->sessionConfiguration(),
              URLSessionConfiguration::backgroundSessionConfigurationWithIdentifier(QStringLiteral("bg")));
}

// Every serializer class survives copying and archiving with its own settings.
TEST(HTTPSessionManager, EverySerializerClassIsCopiedAndArchivedWithItsSettings)
{
    const auto json = AFJSONResponseSerializer::serializerWithReadingOptions(AFJSONResponseSerializer::kReadingAllowFragments);
    json->setRemovesKeysWithNullValues(true);
    const QList<std::shared_ptr<AFHTTPResponseSerializer>> responses{
        AFHTTPResponseSerializer::serializer(),
        json,
        AFXMLParserResponseSerializer::serializer(),
        AFXMLDocumentResponseSerializer::serializerWithXMLDocumentOptions(2),
        AFPropertyListResponseSerializer::serializerWithFormat(200, 1),
        AFImageResponseSerializer::serializer(),
        AFCompoundResponseSerializer::compoundSerializerWithResponseSerializers({json, AFImageResponseSerializer::serializer()}),
    };
    for (const auto& serializer : responses) {
        const QVariantMap archive = serializer->encodeWithCoder();
        SCOPED_TRACE(archive.value(QStringLiteral("class")).toString().toStdString());
        for (const std::shared_ptr<AFURLResponseSerialization>& made :
             {serializer->copy(), std::shared_ptr<AFURLResponseSerialization>(AFHTTPResponseSerializer::initWithCoder(archive))}) {
            ASSERT_TRUE(made);
            EXPECT_EQ(typeid(*made), typeid(*serializer));
            EXPECT_EQ(made->encodeWithCoder(), archive);
        }
    }
    const QList<std::shared_ptr<AFHTTPRequestSerializer>> requests{
        AFHTTPRequestSerializer::serializer(), AFJSONRequestSerializer::serializerWithWritingOptions(1),
        AFPropertyListRequestSerializer::serializerWithFormat(200, 3)};
    for (const auto& serializer : requests) {
        const QVariantMap archive = serializer->encodeWithCoder();
        SCOPED_TRACE(archive.value(QStringLiteral("class")).toString().toStdString());
        for (const std::shared_ptr<AFURLRequestSerialization>& made :
             {serializer->copy(), std::shared_ptr<AFURLRequestSerialization>(AFHTTPRequestSerializer::initWithCoder(archive))}) {
            ASSERT_TRUE(made);
            EXPECT_EQ(typeid(*made), typeid(*serializer));
            EXPECT_EQ(made->encodeWithCoder(), archive);
        }
    }
}
