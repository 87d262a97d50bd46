#include "LoopbackHttpServer.h"
#include "TestEnvironment.h"
#include "app/SharedURLCache.h"
#include "article/ArticlePane.h"
#include "networking/AFURLResponseSerialization.h"
#include "networking/AFURLSessionManager.h"

#include <QApplication>
#include <QNetworkDiskCache>

#include <gtest/gtest.h>

namespace {

// One GET of the program's own, through a session of its own as every request makes one.
bool fetch(const QUrl& url)
{
    auto manager = std::make_shared<AFURLSessionManager>();
    manager->setResponseSerializer(AFHTTPResponseSerializer::serializer());
    URLRequest request;
    request.URL = url;
    bool done = false;
    manager->dataTaskWithRequest(request, [&](const std::optional<HTTPURLResponse>&, const QVariant&, const std::optional<Error>&) {
               done = true;
           })->resume();
    const bool ended = waitUntil([&] { return done; }, 30000);
    manager->invalidateSessionCancelingTasks(true);
    return ended;
}

}  // namespace

// The article pane's cache clearing empties the program's one URL cache and leaves it no room: a reply
// that would have been kept before is not kept afterwards.
TEST(ArticleCacheCleaning, AfterCleanCacheAndCookieNothingIsStoredAgain)
{
    SharedURLCache cache;
    cache.install(4194304, 33554432, QStringLiteral("nsurlcache-cleaning"));
    LoopbackHttpServer server;
    for (const char* path : {"/kept.xml", "/later.xml"})
        server.route("GET", QLatin1String(path),
                     LoopbackReply::text(200, "<cfg/>", "text/xml")
                         .withHeader("Cache-Control", "max-age=600")
                         .withHeader("Last-Modified", "Mon, 07 Dec 2026 08:00:00 GMT"));
    ASSERT_TRUE(fetch(server.url(QStringLiteral("/kept.xml"))));
    ASSERT_TRUE(cache.diskCache()->metaData(server.url(QStringLiteral("/kept.xml"))).isValid()) << "a reply kept before";

    // What the pane's cleanCacheAndCookie does for the program's requests.
    ArticlePane::cleanSharedCacheAndCookie();
    EXPECT_FALSE(cache.diskCache()->metaData(server.url(QStringLiteral("/kept.xml"))).isValid());
    EXPECT_EQ(cache.diskCache()->maximumCacheSize(), 0);

    for (const char* path : {"/kept.xml", "/later.xml"}) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(fetch(server.url(QLatin1String(path))));
        EXPECT_FALSE(cache.diskCache()->metaData(server.url(QLatin1String(path))).isValid()) << "kept after the clearing";
    }
    EXPECT_EQ(cache.diskCache()->cacheSize(), 0);
    EXPECT_EQ(server.requestCount(), 3) << "every request after the clearing reached the server";
}
