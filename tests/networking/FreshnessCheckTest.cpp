#include "networking/AFNetManager.h"
#include "networking/TaskResponseHeader.h"

#include "LoopbackHttpServer.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

// A cached feed kept fresh the way the program's lists, pages and configuration are: a HEAD on a
// kept manager, its "Last-Modified" compared with the stored text, and a GET on the same manager
// only when the text changed.
class CachedFeed
{
public:
    explicit CachedFeed(QString url) : m_url(std::move(url)) {}

    // Starts one check; done() turns true when it has ended either way.
    void refresh()
    {
        m_done = false;
        if (m_manager)
            m_manager->invalidateSessionCancelingTasks(true);
        m_manager = AFNetManager::requestWithUrlString(
            m_url, false, QVariant(), 1, nullptr, std::shared_ptr<AFHTTPSessionManager>(),
            [this](const std::shared_ptr<URLSessionDataTask>& task, const QVariant&) {
                const QString lastModified = responseHeaderField(task, QStringLiteral("Last-Modified"));
                if (lastModified == storedLastModified) {
                    m_done = true;
                    return;
                }
                AFNetManager::requestWithUrlString(
                    m_url, true, QVariant(), 1, nullptr, m_manager,
                    [this, lastModified](const std::shared_ptr<URLSessionDataTask>&, const QVariant& body) {
                        cachedBody = body.toByteArray();
                        storedLastModified = lastModified;
                        m_done = true;
                    },
                    [this](const std::shared_ptr<URLSessionDataTask>&, const Error&) { m_done = true; });
            },
            [this](const std::shared_ptr<URLSessionDataTask>&, const Error&) { m_done = true; });
    }

    bool done() const { return m_done; }

    QString storedLastModified;
    QByteArray cachedBody;

private:
    const QString m_url;
    std::shared_ptr<AFHTTPSessionManager> m_manager;
    bool m_done = false;
};

}  // namespace

TEST(FreshnessCheck, GetIsSentOnlyAfterLastModifiedChanges)
{
    LoopbackHttpServer server;
    auto version = std::make_shared<std::atomic<int>>(1);
    server.route("GET", QStringLiteral("/feed.xml"), [version](const LoopbackRequest&) {
        const QByteArray v = QByteArray::number(version->load());
        return LoopbackReply::text(200, "<feed>" + v + "</feed>", "text/xml")
            .withHeader("Last-Modified", "Mon, 0" + v + " Jan 2018 08:00:00 GMT");
    });
    CachedFeed feed(server.url(QStringLiteral("/feed.xml")).toString());
    const auto methods = [&] {
        QList<QByteArray> sent;
        for (const LoopbackRequest& r : server.requests())
            sent.append(r.method);
        return sent;
    };

    feed.refresh();  // nothing stored yet: the first check fetches
    ASSERT_TRUE(waitUntil([&] { return feed.done(); }));
    EXPECT_EQ(methods(), (QList<QByteArray>{"HEAD", "GET"}));
    EXPECT_EQ(feed.cachedBody, "<feed>1</feed>");
    EXPECT_EQ(feed.storedLastModified, QStringLiteral("Mon, 01 Jan 2018 08:00:00 GMT"));

    feed.refresh();  // unchanged: HEAD only
    ASSERT_TRUE(waitUntil([&] { return feed.done(); }));
    EXPECT_EQ(methods(), (QList<QByteArray>{"HEAD", "GET", "HEAD"}));

    version->store(2);
    feed.refresh();
    ASSERT_TRUE(waitUntil([&] { return feed.done(); }));
    EXPECT_EQ(methods(), (QList<QByteArray>{"HEAD", "GET", "HEAD", "HEAD", "GET"}));
    EXPECT_EQ(feed.cachedBody, "<feed>2</feed>");
    EXPECT_EQ(feed.storedLastModified, QStringLiteral("Mon, 02 Jan 2018 08:00:00 GMT"));
}
