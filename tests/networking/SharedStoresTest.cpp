// Emptying the process's cookies and URL cache, as the article pane's clean-up does.
#include "networking/AFURLSessionManager.h"
#include "networking/URLSession.h"

#include "LoopbackHttpServer.h"
#include "TestCertificates.h"
#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QPointer>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Runs a GET through a fresh manager and waits for its end; false when it did not end in time.
bool fetch(const QUrl& url)
{
    auto manager = std::make_shared<AFURLSessionManager>();
    manager->setResponseSerializer(AFHTTPResponseSerializer::serializer());
    auto done = std::make_shared<bool>(false);
    URLRequest request;
    request.URL = url;
    manager->dataTaskWithRequest(request, [done](const std::optional<HTTPURLResponse>&, const QVariant&,
                                                 const std::optional<Error>&) { *done = true; })
        ->resume();
    const bool ended = waitUntil([&] { return *done; }, 30000);
    // The session (and a TLS connection it keeps) goes now rather than when the test program ends.
    std::weak_ptr<URLSession> session = manager->session();
    manager->invalidateSessionCancelingTasks(true);
    manager.reset();
    const bool released = waitUntil([&] { return session.expired(); }, 30000);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return ended && released;
}

struct CookieCase
{
    const char* name;
    bool setOverTls;
    bool readOverTls;
};

class SharedCookies : public testing::TestWithParam<CookieCase>
{
};

TEST_P(SharedCookies, ClearingDeletesTheCookiesEverySessionSends)
{
    const CookieCase& c = GetParam();
    const testcerts::CertificateSet& certs = testcerts::certificates();
    testcerts::ScopedTrustedRootCA trusted;
    LoopbackHttpServer plain;
    LoopbackHttpServer secure(certs.localhostChain(), certs.localhost.privateKey);
    for (LoopbackHttpServer* server : {&plain, &secure}) {
        server->route("GET", QStringLiteral("/set"),
                      LoopbackReply::text(200, "ok").withHeader("Set-Cookie", "uid=42; Path=/"));
        server->route("GET", QStringLiteral("/read"), LoopbackReply::text(200, "ok"));
    }
    LoopbackHttpServer& setter = c.setOverTls ? secure : plain;
    LoopbackHttpServer& reader = c.readOverTls ? secure : plain;

    ASSERT_TRUE(fetch(setter.url(QStringLiteral("/set"))));
    ASSERT_TRUE(fetch(reader.url(QStringLiteral("/read"))));
    URLSession::clearSharedCookies();
    ASSERT_TRUE(fetch(reader.url(QStringLiteral("/read"))));

    QList<QByteArray> sent;
    for (const LoopbackRequest& request : reader.requests())
        if (request.path == QLatin1String("/read"))
            sent.append(request.header("Cookie"));
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent[0], QByteArray("uid=42")) << "the cookie was not shared before clearing";
    EXPECT_TRUE(sent[1].isEmpty()) << "still sent after clearing: " << sent[1].constData();
}

INSTANTIATE_TEST_SUITE_P(Schemes, SharedCookies,
                         testing::Values(CookieCase{"Plain", false, false}, CookieCase{"Tls", true, true},
                                         CookieCase{"PlainThenTls", false, true}),
                         [](const testing::TestParamInfo<CookieCase>& info) { return std::string(info.param.name); });

TEST(SharedCache, ClearingRemovesEveryStoredResponse)
{
    LoopbackHttpServer server;
    server.route("GET", QStringLiteral("/page"),
                 LoopbackReply::text(200, "cached body").withHeader("Cache-Control", "max-age=600"));
    server.route("GET", QStringLiteral("/other"),
                 LoopbackReply::text(200, "another").withHeader("Cache-Control", "max-age=600"));
    ASSERT_TRUE(fetch(server.url(QStringLiteral("/warm-up"))));  // the shared manager now exists

    // The application's URL cache, as start-up installs it on the application's managers.
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QList<QPointer<QNetworkAccessManager>> managers;
    QPointer<QNetworkDiskCache> disk;
    for (QNetworkAccessManager* manager :
         QCoreApplication::instance()->findChildren<QNetworkAccessManager*>(Qt::FindDirectChildrenOnly)) {
        if (manager->cache() != nullptr)
            continue;
        auto* cache = new QNetworkDiskCache;
        cache->setCacheDirectory(folder.path());
        manager->setCache(cache);
        managers.append(manager);
        disk = cache;
    }
    ASSERT_FALSE(managers.isEmpty());
    const auto detach = qScopeGuard([&] {
        for (const QPointer<QNetworkAccessManager>& manager : std::as_const(managers))
            if (manager)
                manager->setCache(nullptr);
    });

    ASSERT_TRUE(fetch(server.url(QStringLiteral("/page"))));
    ASSERT_TRUE(fetch(server.url(QStringLiteral("/other"))));
    ASSERT_TRUE(fetch(server.url(QStringLiteral("/page"))));  // from the cache
    ASSERT_TRUE(disk);
    ASSERT_TRUE(disk->metaData(server.url(QStringLiteral("/page"))).isValid());
    ASSERT_EQ(server.requests().count(), 3) << "the second /page did not come from the cache";

    URLSession::clearSharedCache();

    EXPECT_FALSE(disk->metaData(server.url(QStringLiteral("/page"))).isValid());
    EXPECT_FALSE(disk->metaData(server.url(QStringLiteral("/other"))).isValid());
    EXPECT_EQ(disk->cacheSize(), 0);
    ASSERT_TRUE(fetch(server.url(QStringLiteral("/page"))));
    EXPECT_EQ(server.requests().count(), 4) << "answered from a cache that was cleared";
}

}  // namespace
