#include "LoopbackHttpServer.h"
#include "TestCertificates.h"
#include "TestEnvironment.h"
#include "app/SharedURLCache.h"
#include "images/SDImageCache.h"
#include "networking/AFSecurityPolicy.h"
#include "networking/AFURLResponseSerialization.h"
#include "networking/AFURLSessionManager.h"
#include "platform/StorageRoot.h"
#include "remoteconfig/NSADInfoManager.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>

#include <gtest/gtest.h>

namespace {

QNetworkDiskCache* diskBehind(QNetworkAccessManager* manager)
{
    auto* front = qobject_cast<SharedURLCacheFront*>(manager->cache());
    return front != nullptr ? front->disk() : nullptr;
}

}  // namespace

TEST(SharedURLCache, OneDiskCacheForTheManagersOfTheApplication)
{
    auto* before = new QNetworkAccessManager(qApp);
    SharedURLCache cache;
    cache.install(4194304, 33554432, QStringLiteral("nsurlcache"));
    ASSERT_NE(cache.diskCache(), nullptr);
    EXPECT_EQ(cache.diskCache()->maximumCacheSize(), 33554432);
    EXPECT_EQ(QDir(cache.diskCache()->cacheDirectory()).absolutePath(),
              QDir(QDir(StorageRoot::cachesPath()).filePath(QStringLiteral("nsurlcache"))).absolutePath());
    EXPECT_TRUE(QDir(cache.diskCache()->cacheDirectory()).exists());
    EXPECT_EQ(diskBehind(before), cache.diskCache());

    // A manager made later gets the same cache once it is whole.
    auto* after = new QNetworkAccessManager(qApp);
    ASSERT_TRUE(waitUntil([&] { return diskBehind(after) != nullptr; }, 30000));
    EXPECT_EQ(diskBehind(after), cache.diskCache());

    // A second install keeps each manager's front.
    QAbstractNetworkCache* const front = before->cache();
    cache.install(4194304, 33554432, QStringLiteral("nsurlcache"));
    EXPECT_EQ(before->cache(), front);
    delete before;
    delete after;
}

TEST(SharedURLCache, FrontsStopUsingAGoneCache)
{
    auto* manager = new QNetworkAccessManager(qApp);
    {
        SharedURLCache cache;
        cache.install(0, 1024, QStringLiteral("nsurlcache-gone"));
        ASSERT_NE(diskBehind(manager), nullptr);
    }
    // The front is still the manager's, and answers as an empty cache.
    ASSERT_NE(manager->cache(), nullptr);
    EXPECT_EQ(manager->cache()->cacheSize(), 0);
    EXPECT_EQ(manager->cache()->data(QUrl(QStringLiteral("http://example.test/"))), nullptr);
    delete manager;
}

TEST(SharedURLCache, AnHttpsReplyServedTwiceComesTheSecondTimeFromTheCache)
{
    SharedURLCache cache;
    cache.install(4194304, 33554432, QStringLiteral("nsurlcache-https"));
    const testcerts::CertificateSet& certs = testcerts::certificates();
    LoopbackHttpServer server({certs.selfSigned.certificate}, certs.selfSigned.privateKey);
    server.route("GET", QStringLiteral("/config.xml"),
                 LoopbackReply::text(200, "<cfg/>", "text/xml")
                     .withHeader("Cache-Control", "max-age=600")
                     .withHeader("Last-Modified", "Mon, 07 Dec 2026 08:00:00 GMT"));
    AFSecurityPolicy pinned = AFSecurityPolicy::policyWithPinningMode(
        AFSecurityPolicy::kSSLPinningModeCertificate, QSet<QByteArray>{certs.selfSigned.certificate.toDer()});
    pinned.setAllowInvalidCertificates(true);

    QList<QByteArray> bodies;
    for (int round = 0; round < 2; ++round) {
        // A session of its own each time, as every request of the program makes one.
        auto manager = std::make_shared<AFURLSessionManager>();
        manager->setResponseSerializer(AFHTTPResponseSerializer::serializer());
        manager->setSecurityPolicy(pinned);
        URLRequest request;
        request.URL = server.url(QStringLiteral("/config.xml"));
        bool done = false;
        manager->dataTaskWithRequest(request, [&](const std::optional<HTTPURLResponse>&, const QVariant& object,
                                                  const std::optional<Error>& error) {
                   EXPECT_FALSE(error);
                   bodies.append(object.toByteArray());
                   done = true;
               })->resume();
        ASSERT_TRUE(waitUntil([&] { return done; }, 30000)) << "https request " << round << " never completed";
        manager->invalidateSessionCancelingTasks(true);
    }
    EXPECT_EQ(bodies, (QList<QByteArray>{"<cfg/>", "<cfg/>"}));
    EXPECT_EQ(server.requestCount(), 1);
    EXPECT_GT(cache.diskCache()->cacheSize(), 0);
    cache.diskCache()->clear();
}

// A file left where a cache folder belongs never stops the cache for good: its writer, its start
// or its clearing makes the folder a folder again.
TEST(SharedURLCache, AFileInThePlaceOfACacheFolderGivesWay)
{
    auto* manager = new QNetworkAccessManager(qApp);
    SharedURLCache network;
    SDImageCache pictures(QStringLiteral("healing"), StorageRoot::cachesPath());
    const QString caches = StorageRoot::cachesPath();
    struct Case
    {
        const char* name;
        QString folder;
        std::function<void()> act;
    };
    const Case cases[] = {
        {"configuration, written", QDir(StorageRoot::documentsPath()).filePath(QStringLiteral("tmp/ADInfo")),
         [] { StorageRoot::writeFileAtomically(NSADInfoManager::cacheFilePath(), "cfg"); }},
        {"pictures, written", pictures.diskCachePath(),
         [&] { pictures.storeImageDataToDisk("\x89PNG", QStringLiteral("http://example.test/a.png")); }},
        {"network, installed", QDir(caches).filePath(QStringLiteral("nsurlcache-healing")),
         [&] { network.install(0, 1048576, QStringLiteral("nsurlcache-healing")); }},
        {"network, cleared", QDir(caches).filePath(QStringLiteral("nsurlcache-healing")),
         [] { URLSession::clearSharedCache(); }},
    };
    for (const Case& c : cases) {
        QDir(c.folder).removeRecursively();
        QDir().mkpath(QFileInfo(c.folder).path());
        QFile file(c.folder);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << c.name;
        file.close();
        c.act();
        EXPECT_TRUE(QFileInfo(c.folder).isDir()) << c.name;
    }
    delete manager;
}
