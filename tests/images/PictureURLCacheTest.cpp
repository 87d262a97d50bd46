#include "ImageFixtures.h"
#include "LoadRecorder.h"

#include "LoopbackHttpServer.h"
#include "TestEnvironment.h"
#include "URLCacheScope.h"
#include "images/SDWebImageDownloader.h"

#include <gtest/gtest.h>

using namespace imagefixtures;

namespace {

class PictureURLCacheTest : public ::testing::Test
{
protected:
    LoopbackHttpServer server;
    URLCacheScope urlCache;
    std::shared_ptr<SDWebImageDownloader> downloader = SDWebImageDownloader::create();

    void TearDown() override
    {
        downloader.reset();
        settleEvents();
    }

    bool cached(const QUrl& url) const { return urlCache.holds(url); }

    std::shared_ptr<LoadRecord> download(const QUrl& url, ImageDownloadOptions options)
    {
        auto record = std::make_shared<LoadRecord>();
        downloader->downloadImageWithURL(url, options, nullptr, recordDownload(record));
        EXPECT_TRUE(waitUntil([&] { return record->done(); })) << url.toString().toStdString();
        return record;
    }

    LoopbackReply keepableReply(const QByteArray& picture)
    {
        return imageReply(picture).withHeader("Cache-Control", "max-age=3600");
    }
};

TEST_F(PictureURLCacheTest, PictureRepliesLeaveTheURLCacheEmpty)
{
    server.route("GET", "/cover.png", keepableReply(png(6, 6, Qt::red)));
    server.route("GET", "/page", keepableReply("<p>page</p>"));

    const auto record = download(server.url("/cover.png"), 0);
    EXPECT_EQ(record->image.size(), QSize(6, 6));
    EXPECT_FALSE(cached(server.url("/cover.png")));

    // The same cache keeps a reply the session's other users ask for.
    const std::shared_ptr<URLSession> session = URLSession::create(URLSessionConfiguration::defaultSessionConfiguration());
    URLRequest request;
    request.URL = server.url("/page");
    const auto task = session->dataTaskWithRequest(request);
    task->resume();
    ASSERT_TRUE(waitUntil([&] { return task->state() == URLSessionTaskState::Completed; }));
    EXPECT_TRUE(cached(server.url("/page")));
    session->invalidateAndCancel();
}

TEST_F(PictureURLCacheTest, AReplyServedByTheURLCacheGivesNoImageWhenCachedRepliesAreIgnored)
{
    server.route("GET", "/cached.png", keepableReply(png(7, 7, Qt::blue)));
    const QUrl url = server.url("/cached.png");

    const auto first = download(url, SDDownloadUseURLCache);
    EXPECT_EQ(first->image.size(), QSize(7, 7));
    ASSERT_TRUE(cached(url)) << "a request that may use the URL cache lets it keep the reply";

    const auto again = download(url, SDDownloadUseURLCache);
    EXPECT_EQ(again->image.size(), QSize(7, 7));
    EXPECT_EQ(server.requestCount(), 1) << "the second came from the URL cache";

    const auto ignored = download(url, SDDownloadUseURLCache | SDDownloadIgnoreCachedResponse);
    EXPECT_EQ(server.requestCount(), 1);
    EXPECT_TRUE(ignored->image.isNull());
    EXPECT_TRUE(ignored->data.isNull());
    EXPECT_FALSE(ignored->error);
    EXPECT_TRUE(ignored->finished);

    // From the network, the same options give the picture.
    server.route("GET", "/fresh.png", imageReply(png(8, 8, Qt::green)));
    const auto fresh = download(server.url("/fresh.png"), SDDownloadUseURLCache | SDDownloadIgnoreCachedResponse);
    EXPECT_EQ(fresh->image.size(), QSize(8, 8));
}

}  // namespace
