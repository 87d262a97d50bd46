#include "ImageFixtures.h"

#include "LoopbackHttpServer.h"
#include "TestEnvironment.h"
#include "images/SDWebImagePrefetcher.h"

#include <gtest/gtest.h>

using namespace imagefixtures;

namespace {

class CountingDelegate : public SDWebImagePrefetcherDelegate
{
public:
    void imagePrefetcherDidPrefetchURL(SDWebImagePrefetcher&, const QUrl& url, quint64, quint64) override
    {
        prefetched << url;
    }
    void imagePrefetcherDidFinishWithTotalCount(SDWebImagePrefetcher&, quint64 total, quint64 skipped) override
    {
        finished = {total, skipped};
    }
    QList<QUrl> prefetched;
    std::optional<std::pair<quint64, quint64>> finished;
};

class SDWebImagePrefetcherTest : public ::testing::Test
{
protected:
    LoopbackHttpServer server;
    IsolatedManager isolated;
    std::shared_ptr<SDWebImagePrefetcher> prefetcher = SDWebImagePrefetcher::create(isolated.manager);

    QList<QUrl> urls(int count, int delayMs, const QString& prefix = QStringLiteral("/p"))
    {
        QList<QUrl> list;
        for (int i = 0; i < count; ++i) {
            const QString path = prefix + QString::number(i) + QStringLiteral(".png");
            server.route("GET", path, imageReply(png(4, 4, Qt::red), "image/png", delayMs));
            list << server.url(path);
        }
        return list;
    }
};

TEST_F(SDWebImagePrefetcherTest, ThreeAtATimeThenTheRestAndACountAtTheEnd)
{
    EXPECT_EQ(isolated.downloader->maxConcurrentDownloads(), 3);
    EXPECT_EQ(prefetcher->options(), static_cast<ImageLoadOptions>(SDLoadLowPriority));
    // Replies slow enough that no fourth request can follow an answer while the first three are counted.
    QList<QUrl> list = urls(5, 1500);
    server.route("GET", "/p4.png", LoopbackReply::text(404, "gone"));
    auto delegate = std::make_shared<CountingDelegate>();
    prefetcher->setDelegate(delegate);
    QList<QPair<quint64, quint64>> progress;
    std::optional<std::pair<quint64, quint64>> completed;
    prefetcher->prefetchURLs(
        list, [&progress](quint64 done, quint64 total) { progress.append({done, total}); },
        [&completed](quint64 done, quint64 skipped) { completed = {done, skipped}; });
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() >= 3; })) << "three prefetches at once";
    EXPECT_EQ(server.requestCount(), 3);
    ASSERT_TRUE(waitUntil([&] { return completed.has_value(); }));
    EXPECT_EQ(*completed, (std::pair<quint64, quint64>(5, 1)));
    EXPECT_EQ(server.requestCount(), 5);
    ASSERT_EQ(progress.size(), 5);
    EXPECT_EQ(progress.last(), (QPair<quint64, quint64>(5, 5)));
    EXPECT_EQ(delegate->prefetched.size(), 5);
    ASSERT_TRUE(delegate->finished);
    EXPECT_EQ(*delegate->finished, (std::pair<quint64, quint64>(4, 1)));
}

TEST_F(SDWebImagePrefetcherTest, ANewRunCancelsTheRunningLoads)
{
    std::optional<std::pair<quint64, quint64>> firstCompleted;
    prefetcher->prefetchURLs(urls(3, 400, QStringLiteral("/old")), nullptr,
                             [&firstCompleted](quint64 done, quint64 skipped) { firstCompleted = {done, skipped}; });
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 3; }));
    EXPECT_TRUE(isolated.manager->isRunning());

    std::optional<std::pair<quint64, quint64>> secondCompleted;
    prefetcher->prefetchURLs(urls(2, 0, QStringLiteral("/new")), nullptr,
                             [&secondCompleted](quint64 done, quint64 skipped) { secondCompleted = {done, skipped}; });
    ASSERT_TRUE(waitUntil([&] { return secondCompleted.has_value(); }));
    EXPECT_EQ(*secondCompleted, (std::pair<quint64, quint64>(2, 0)));
    ASSERT_TRUE(server.waitForReplyAfter(500)) << "waited past the cancelled loads' replies";
    spin(200);  // room for a report that must not come
    EXPECT_FALSE(firstCompleted) << "the cancelled run reports nothing";
    EXPECT_FALSE(isolated.manager->isRunning());
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(isolated.manager->cachedImageExistsForURL(server.url(QStringLiteral("/old%1.png").arg(i))));
}

TEST_F(SDWebImagePrefetcherTest, EmptyListCompletesAtOnceAndCachedPicturesNeedNoRequest)
{
    std::optional<std::pair<quint64, quint64>> completed;
    prefetcher->prefetchURLs({}, nullptr, [&completed](quint64 done, quint64 skipped) { completed = {done, skipped}; });
    ASSERT_TRUE(completed);
    EXPECT_EQ(*completed, (std::pair<quint64, quint64>(0, 0)));

    const QList<QUrl> list = urls(4, 0, QStringLiteral("/mem"));
    for (const QUrl& url : list)
        isolated.cache->storeImage(filled(2, 2, Qt::red), isolated.manager->cacheKeyForURL(url), false);
    completed.reset();
    prefetcher->prefetchURLs(list, nullptr, [&completed](quint64 done, quint64 skipped) { completed = {done, skipped}; });
    ASSERT_TRUE(waitUntil([&] { return completed.has_value(); }));
    EXPECT_EQ(*completed, (std::pair<quint64, quint64>(4, 0)));
    EXPECT_EQ(server.requestCount(), 0);
}

}  // namespace
