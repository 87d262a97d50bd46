#include "SearchTestSupport.h"
#include "foundation/GlobalValues.h"
#include "newslist/community/NSVundListInfoManager.h"

#include <QRegularExpression>

using namespace h24;

namespace {

class CommunityTest : public Fixture
{
protected:
    QList<NewsListDataPtr> circles()
    {
        QList<NewsListDataPtr> list;
        DatabaseOperate::Lease store;
        store->ForumList_getAllForumList(list, false);
        return list;
    }
    QList<NSVundCategoryInfoPtr> categories(int64_t id)
    {
        QList<NSVundCategoryInfoPtr> list;
        DatabaseOperate::Lease store;
        store->ForumCategory_getCategoryList(list, id);
        return list;
    }
    QString storedLastModified(int64_t type)
    {
        DatabaseOperate::Lease store;
        return store->getWebFileLastModifyTimeforFileType(type);
    }
    // A fetch past the list's 180 s.
    void reloadList(const LoopbackReply& reply)
    {
        Clock::advance(180 * 1000);
        server.route("GET", QStringLiteral("/api/category"), reply);
        const qsizetype before = server.requestCount();
        NSVundListInfoManager& manager = NSVundListInfoManager::getInstance();
        manager.reloadVundInfo();
        ASSERT_TRUE(waitUntil([&] { return !manager.bDownLoading() && server.requestCount() == before + 1; }));
    }
};

LoopbackReply withLastModified(const QByteArray& body, const QByteArray& lastModified)
{
    LoopbackReply reply = json(body);
    reply.withHeader("Last-Modified", lastModified);
    return reply;
}

}  // namespace

TEST_F(CommunityTest, CircleListFollowsLastModifiedAndReadableReplies)
{
    reloadList(withLastModified(R"([{"id":21,"n":"A","c":5},3,{"id":"22","n":"B"}])", "Tue, 14 Nov 2023 10:00:00 GMT"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^GET /api/category\\?client=1&r=\\d+$")).match(sent().last()).hasMatch())
        << sent().last().toStdString();
    QList<NewsListDataPtr> list = circles();
    ASSERT_EQ(list.size(), 2);  // the element that is no object is skipped
    EXPECT_EQ(list[0]->iListID, 21);
    EXPECT_EQ(list[0]->ListName, QStringLiteral("A"));
    EXPECT_EQ(list[0]->ListCount, QStringLiteral("5"));
    EXPECT_EQ(list[1]->iListID, 22);
    EXPECT_EQ(storedLastModified(WebFileType::kVundList), QStringLiteral("Tue, 14 Nov 2023 10:00:00 GMT"));
    EXPECT_TRUE(CommonFunction::getWebFileLastUpdateTime(WebFileType::kVundList).isValid());

    // The same Last-Modified: the reply is not read.
    reloadList(withLastModified(R"([{"id":30,"n":"C","c":1}])", "Tue, 14 Nov 2023 10:00:00 GMT"));
    EXPECT_EQ(circles().size(), 2);

    // Unreadable: nothing changes.
    reloadList(withLastModified("{", "Wed, 15 Nov 2023 10:00:00 GMT"));
    EXPECT_EQ(circles().size(), 2);
    EXPECT_EQ(storedLastModified(WebFileType::kVundList), QStringLiteral("Tue, 14 Nov 2023 10:00:00 GMT"));

    // An empty array (or a readable non-array) empties the table and stores no stamps.
    reloadList(withLastModified("[]", "Thu, 16 Nov 2023 10:00:00 GMT"));
    EXPECT_TRUE(circles().isEmpty());
    EXPECT_EQ(storedLastModified(WebFileType::kVundList), QStringLiteral("Tue, 14 Nov 2023 10:00:00 GMT"));
    reloadList(withLastModified(R"([{"id":40,"n":"D","c":2}])", "Fri, 17 Nov 2023 10:00:00 GMT"));
    ASSERT_EQ(circles().size(), 1);
    reloadList(withLastModified("7", "Sat, 18 Nov 2023 10:00:00 GMT"));
    EXPECT_TRUE(circles().isEmpty());

    // A failed request only ends the fetch.
    reloadList(LoopbackReply::text(500, "no"));
    EXPECT_FALSE(NSVundListInfoManager::getInstance().bDownLoading());
}

TEST_F(CommunityTest, TheCircleListIsNotFetchedAgainWithin180Seconds)
{
    reloadList(json(R"([{"id":21,"n":"A","c":5}])"));
    NSVundListInfoManager& manager = NSVundListInfoManager::getInstance();
    Clock::advance(179 * 1000);
    manager.reloadVundInfo();
    EXPECT_FALSE(manager.bDownLoading());
    ASSERT_TRUE(drainMainQueue());
    EXPECT_EQ(server.requestCount(), 1);
    Clock::advance(1000);
    manager.reloadVundInfo();
    ASSERT_TRUE(waitUntil([&] { return !manager.bDownLoading() && server.requestCount() == 2; }));
}

TEST_F(CommunityTest, SecondListFetchWhileOneRunsSendsNothing)
{
    LoopbackReply slow = json(R"([{"id":21,"n":"A","c":5}])");
    slow.delayMs = 200;
    server.route("GET", QStringLiteral("/api/category"), slow);
    NSVundListInfoManager& manager = NSVundListInfoManager::getInstance();
    manager.reloadVundInfo();
    manager.reloadVundInfo();
    ASSERT_TRUE(waitUntil([&] { return !manager.bDownLoading(); })) << "waited for the fetch's end";
    // A second request would have left with the first; the pause is room for it to be logged.
    ASSERT_TRUE(drainMainQueue());
    spin(50);
    EXPECT_EQ(server.requestCount(), 1);
}

TEST_F(CommunityTest, CategoriesAreFetchedOnceADayAndAnotherIdReplacesTheRunningFetch)
{
    server.route("GET", QStringLiteral("/api/category"), [](const LoopbackRequest& request) {
        LoopbackReply reply = json(request.query.contains(QStringLiteral("categoryid=7&"))
                                       ? QByteArray(R"([{"id":71,"n":"x"},{"id":72,"n":"y"}])")
                                       : QByteArray(R"([{"id":81,"n":"z"}])"));
        if (request.query.contains(QStringLiteral("categoryid=7&")))
            reply.delayMs = 300;
        return reply;
    });
    NSVundCategoryInfoManager manager;
    manager.reloadCategoryInfoForVundId(7);
    manager.reloadCategoryInfoForVundId(7);  // the id being fetched: nothing
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 1; }));
    manager.reloadCategoryInfoForVundId(8);  // another id: the running fetch goes
    ASSERT_TRUE(waitUntil([&] { return !manager.bDownLoading(); })) << "waited for the second fetch's end";
    ASSERT_TRUE(server.waitForReplyAfter(400)) << "waited past the replaced fetch's reply";
    spin(100);  // room for categories that must not come
    EXPECT_TRUE(categories(7).isEmpty());
    ASSERT_EQ(categories(8).size(), 1);
    EXPECT_EQ(categories(8)[0]->categoryTitle, QStringLiteral("z"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^GET /api/category\\?categoryid=8&r=\\d+$")).match(sent().last()).hasMatch());
    EXPECT_EQ(manager.iWebFileLastModifyTimeType(), 20008);

    // Within a day of the stamp: no request; a day later: one.
    Clock::advance(86399LL * 1000);
    manager.reloadCategoryInfoForVundId(8);
    // The stamp is read at once; the pause is room for a request that must not be logged.
    ASSERT_TRUE(drainMainQueue());
    spin(50);
    EXPECT_EQ(server.requestCount(), 2);
    EXPECT_FALSE(manager.bDownLoading());
    Clock::advance(2000);
    manager.reloadCategoryInfoForVundId(8);
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 3 && !manager.bDownLoading(); }));
}

TEST_F(CommunityTest, ACategoryManagerThatGoesCancelsItsRequest)
{
    LoopbackReply slow = json(R"([{"id":91,"n":"q"}])");
    slow.delayMs = 200;
    server.route("GET", QStringLiteral("/api/category"), slow);
    {
        NSVundCategoryInfoManager manager;
        manager.reloadCategoryInfoForVundId(9);
        ASSERT_TRUE(waitUntil([&] { return server.requestCount() == 1; }));
    }
    ASSERT_TRUE(server.waitForReplyAfter(300)) << "waited past the cancelled fetch's reply";
    spin(100);  // room for categories that must not come
    EXPECT_TRUE(categories(9).isEmpty());
}
