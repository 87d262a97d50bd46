#include "ArticleTestSupport.h"

#include "article/ArticleCacheFile.h"
#include "database/DatabaseOperate.h"

#include <QRegularExpression>

namespace {

const QString kArticlePath = QStringLiteral("/xml/newscontent/123/456.xml");
const QByteArray kLastModified = "Mon, 07 Dec 2026 08:00:00 GMT";

QString storedTime(const QString& id, int64_t kind)
{
    DatabaseOperate::Lease store;
    return store ? store->getNewsLastUpdateTimeforNewsType(kind, id) : QString();
}

}  // namespace

class ArticlePaneTest : public ArticleFixture
{
protected:
    void routeArticle(const QString& path, const QByteArray& body, int delayMs = 0)
    {
        LoopbackReply reply = LoopbackReply::text(200, body, "text/xml; charset=utf-8").withHeader("Last-Modified", kLastModified);
        reply.delayMs = delayMs;
        server.route("GET", path, reply);
    }
    bool waitForPage(ArticlePane&, qsizetype count = 1)
    {
        return waitUntil([&] { return host.pages.size() >= count; }, 30000);
    }
};

TEST_F(ArticlePaneTest, FirstOpenDownloadsCachesAndBuilds)
{
    const QByteArray xml = articleXml(QStringLiteral("123456"), QStringLiteral("第一篇"), QStringLiteral("<p>正文</p>"));
    routeArticle(kArticlePath, xml);
    ArticlePane pane(&host);
    pane.show(item(QStringLiteral("123456")));
    EXPECT_TRUE(host.logoShown);
    ASSERT_TRUE(waitForPage(pane));
    EXPECT_FALSE(host.logoShown);
    EXPECT_TRUE(host.pages.first().contains(QStringLiteral("<h1>第一篇</h1>")));

    const auto article = requestsTo(kArticlePath);
    ASSERT_EQ(article.size(), 2);
    EXPECT_EQ(article.at(0).method, QByteArray("HEAD"));
    EXPECT_TRUE(article.at(0).query.isNull());  // no "?r=" while the random switch is off
    EXPECT_EQ(article.at(1).method, QByteArray("GET"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^r=[0-9]+$")).match(article.at(1).query).hasMatch()) << article.at(1).query.toStdString();
    EXPECT_EQ(ArticleCacheFile::read(QStringLiteral("123456"), 1), xml);
    EXPECT_EQ(storedTime(QStringLiteral("123456"), 1), QString::fromLatin1(kLastModified));
    EXPECT_EQ(host.commentCount, QStringLiteral("12"));
    EXPECT_EQ(pane.recordNewsAndHot().size(), 1);
    EXPECT_FALSE(host.backVisible);

    // The side requests: hot comments, related news, deals, comment count, and the score query.
    EXPECT_TRUE(waitUntil([&] { return !requestsTo(QStringLiteral("/api/newsgrade/get")).isEmpty(); }));
    EXPECT_EQ(requestsTo(QStringLiteral("/json/tags/0123/123456.json")).size(), 1);
    EXPECT_EQ(requestsTo(QStringLiteral("/json/hotcommentlist/123/")).size(), 1);
    EXPECT_TRUE(waitUntil([&] { return requestsTo(QStringLiteral("/api/comment.asmx/GetCommentCount")).size() == 1; }));

    // Reopened with the same Last-Modified: the cache serves, no second GET.
    ArticlePane again(&host);
    again.show(item(QStringLiteral("123456")));
    ASSERT_TRUE(waitForPage(again, 2));
    int gets = 0;
    for (const auto& request : requestsTo(kArticlePath))
        gets += request.method == "GET" ? 1 : 0;
    EXPECT_EQ(gets, 1);
    EXPECT_TRUE(host.pages.at(1).contains(QStringLiteral("<h1>第一篇</h1>")));
}

TEST_F(ArticlePaneTest, MissingNewsContentFallsBackToTheFeedDocument)
{
    const QByteArray xml = articleXml(QStringLiteral("123456"), QStringLiteral("来自订阅"), QStringLiteral("<p>b</p>"));
    routeArticle(QStringLiteral("/rss/123456.xml"), xml);
    ArticlePane pane(&host);
    pane.show(item(QStringLiteral("123456")));
    ASSERT_TRUE(waitForPage(pane));
    EXPECT_EQ(ArticleCacheFile::read(QStringLiteral("123456"), 2), xml);
    EXPECT_TRUE(ArticleCacheFile::read(QStringLiteral("123456"), 1).isEmpty());
    EXPECT_EQ(requestsTo(QStringLiteral("/rss/123456.xml")).size(), 1);  // GET only, no second HEAD

    // An item without a date goes straight to the feed document.
    server.clearRequests();
    ArticlePane undated(&host);
    undated.show(item(QStringLiteral("123456"), QStringLiteral("")));
    ASSERT_TRUE(waitForPage(undated, 2));
    EXPECT_TRUE(requestsTo(kArticlePath).isEmpty());
}

TEST_F(ArticlePaneTest, NothingAnywhereShowsTheErrorViewAndAClickTriesAgain)
{
    ArticlePane pane(&host);
    pane.show(item(QStringLiteral("123456")));
    ASSERT_TRUE(waitUntil([&] { return host.errorShown; }, 30000));
    EXPECT_FALSE(host.logoShown);
    EXPECT_TRUE(host.pages.isEmpty());
    EXPECT_FALSE(pane.isLoading());

    // The same item again after the failure opens it again.
    routeArticle(kArticlePath, articleXml(QStringLiteral("123456"), QStringLiteral("再来"), QStringLiteral("<p>x</p>")));
    pane.show(item(QStringLiteral("123456")));
    ASSERT_TRUE(waitForPage(pane));
    EXPECT_FALSE(host.errorShown);
    EXPECT_EQ(pane.recordNewsAndHot().size(), 1);
}

TEST_F(ArticlePaneTest, FailuresShowTheCachedCopy)
{
    const struct { int status; QByteArray body; } cases[] = {
        {404, "missing"}, {500, "oops"}, {200, "<rss><channel><item><title>t</title></item></channel></rss>"}, {200, "\x01\x02garbage"},
    };
    ASSERT_TRUE(ArticleCacheFile::write(QStringLiteral("123456"), 1,
                                        articleXml(QStringLiteral("123456"), QStringLiteral("缓存"), QStringLiteral("<p>c</p>"))));
    for (const auto& c : cases) {
        host.pages.clear();
        server.route("GET", kArticlePath, LoopbackReply::text(c.status, c.body));
        server.route("GET", QStringLiteral("/rss/123456.xml"), LoopbackReply::text(c.status, c.body));
        ArticlePane pane(&host);
        pane.show(item(QStringLiteral("123456")));
        ASSERT_TRUE(waitForPage(pane)) << c.status;
        EXPECT_TRUE(host.pages.last().contains(QStringLiteral("<h1>缓存</h1>"))) << c.status;
        EXPECT_FALSE(host.errorShown);
        EXPECT_FALSE(host.logoShown);
    }
}

TEST_F(ArticlePaneTest, FailedRefreshKeepsThePage)
{
    routeArticle(kArticlePath, articleXml(QStringLiteral("123456"), QStringLiteral("原文"), QStringLiteral("<p>x</p>")));
    ArticlePane pane(&host);
    pane.show(item(QStringLiteral("123456")));
    ASSERT_TRUE(waitForPage(pane));
    server.route("HEAD", kArticlePath, LoopbackReply::text(200, "").withHeader("Last-Modified", "Tue, 08 Dec 2026 08:00:00 GMT"));
    server.route("GET", kArticlePath, LoopbackReply::text(500, "down"));
    server.clearRequests();
    const TaskCompletionCount ended;
    pane.refreshNews(true);
    ASSERT_TRUE(waitUntil([&] { return requestsTo(kArticlePath).size() == 2; }));
    EXPECT_TRUE(requestsTo(kArticlePath).at(1).query.startsWith(QStringLiteral("r=shuaxin")));
    ASSERT_TRUE(settleReplies(ended, kArticlePath, 2)) << "waited for the refresh's two replies to be handled";
    spin(100);  // room for a page or an error view that must not come
    EXPECT_EQ(host.pages.size(), 1);
    EXPECT_FALSE(host.errorShown);

    // Clicking the loaded item again refreshes without a history entry.
    pane.show(item(QStringLiteral("123456")));
    EXPECT_EQ(pane.recordNewsAndHot().size(), 1);
}

TEST_F(ArticlePaneTest, TheLaterArticleWins)
{
    routeArticle(kArticlePath, articleXml(QStringLiteral("123456"), QStringLiteral("甲文"), QStringLiteral("<p>A</p>")), 300);
    routeArticle(QStringLiteral("/xml/newscontent/654/321.xml"),
                 articleXml(QStringLiteral("654321"), QStringLiteral("乙文"), QStringLiteral("<p>B</p>")));
    ArticlePane pane(&host);
    pane.show(item(QStringLiteral("123456")));
    ASSERT_TRUE(waitUntil([&] { return !requestsTo(kArticlePath).isEmpty(); }));
    pane.show(item(QStringLiteral("654321")));
    ASSERT_TRUE(waitForPage(pane));
    ASSERT_TRUE(server.waitForReplyAfter(400)) << "waited past the first article's reply";
    spin(100);  // room for a page that must not come
    ASSERT_EQ(host.pages.size(), 1);
    EXPECT_TRUE(host.pages.first().contains(QStringLiteral("乙文")));
    EXPECT_FALSE(host.pages.first().contains(QStringLiteral("甲文")));
    EXPECT_TRUE(ArticleCacheFile::read(QStringLiteral("123456"), 1).isEmpty());
}

TEST_F(ArticlePaneTest, ItemsWithoutANewsIdAreNotOpened)
{
    ArticlePane pane(&host);
    for (const char* id : {"", "../../x", "12a", "１２"})
        pane.show(item(QString::fromUtf8(id)));
    pane.openNewsInNews(QStringLiteral("../../x"));
    pane.openHot(QStringLiteral("x1"));
    EXPECT_TRUE(pane.recordNewsAndHot().isEmpty());
    // The pane refuses at once; a request it queued would have left by the pause's end.
    ASSERT_TRUE(drainMainQueue());
    spin(100);
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_TRUE(host.deals.isEmpty());
}

TEST_F(ArticlePaneTest, BlocksWaitForTheirPageAndOnlyTheirPage)
{
    routeArticle(kArticlePath, articleXml(QStringLiteral("123456"), QStringLiteral("t"), QStringLiteral("<p>x</p>"), QStringLiteral("<ndg>1</ndg>")));
    ArticlePane pane(&host);
    pane.show(item(QStringLiteral("123456")));
    ASSERT_TRUE(waitForPage(pane));
    host.scripts.clear();
    const QString html = QStringLiteral("<p>it's \\ </script>") + QChar(0x2028) + QStringLiteral("</p>");
    pane.insertScore(html, QStringLiteral("123456"));
    pane.insertRelateNews(QStringLiteral("<li>r</li>"), QStringLiteral("999"));  // another article
    pane.insertHotComment(QStringLiteral("<li>h</li>"), QStringLiteral("123456"));
    EXPECT_TRUE(host.scripts.isEmpty());  // the page has not finished loading
    pane.pageLoadFinished();
    ASSERT_EQ(host.scripts.size(), 2);
    EXPECT_TRUE(host.scripts.at(0).startsWith(QStringLiteral("padappinsertscore(\"<p>it's \\\\ <\\/script>\\u2028")));
    EXPECT_TRUE(host.scripts.at(1).startsWith(QStringLiteral("padappinserthotcomment(")));
    pane.insertHotComment(QStringLiteral("<li>late</li>"), QStringLiteral("123456"));
    EXPECT_TRUE(host.scripts.last().startsWith(QStringLiteral("appinserthotcomment(\"<li>late<\\/li>\");")));
    pane.insertDouZaiMai(QStringLiteral(""), QStringLiteral("123456"));
    EXPECT_EQ(host.scripts.size(), 3);
    // A reload of the same page injects the slots again.
    pane.pageLoadFinished();
    EXPECT_EQ(host.scriptsCalling(QStringLiteral("padappinsertscore")).size(), 2);
}

TEST_F(ArticlePaneTest, SideBlocksArriveForTheArticleOnScreen)
{
    routeArticle(kArticlePath, articleXml(QStringLiteral("123456"), QStringLiteral("t"), QStringLiteral("<p>x</p>")));
    server.route("GET", QStringLiteral("/json/tags/0123/123456.json"),
                 LoopbackReply::text(200, "cb([{\"newsid\":\"77\",\"newstitle\":\"相关'\",\"postdate\":\"2026-12-01\"}])"));
    server.route("GET", QStringLiteral("/api/newsgrade/get"), LoopbackReply::text(200, "{\"g1\":1,\"g2\":2,\"g3\":3,\"Grade\":\"4.5\"}"));
    server.route("GET", QStringLiteral("/api/apps/douzaimai"),
                 LoopbackReply::text(200, "{\"success\":true,\"content\":[{\"productid\":5,\"ProductName\":\"耳机\"}]}"));
    ArticlePane pane(&host);
    pane.show(item(QStringLiteral("123456")));
    ASSERT_TRUE(waitForPage(pane));
    pane.pageLoadFinished();
    ASSERT_TRUE(waitUntil([&] {
        return !host.scriptsCalling(QStringLiteral("padappinsertrelatednews")).isEmpty()
            && !host.scriptsCalling(QStringLiteral("padappinsertscore")).isEmpty()
            && !host.scriptsCalling(QStringLiteral("padappinsertdouzaimai")).isEmpty();
    }));
    EXPECT_TRUE(host.scriptsCalling(QStringLiteral("padappinsertrelatednews")).first().contains(QStringLiteral("相关&#39;")));
    EXPECT_TRUE(host.scriptsCalling(QStringLiteral("padappinsertscore")).first().contains(QStringLiteral("当前6人打分")));
    EXPECT_EQ(pane.scoreDic().value(QStringLiteral("Grade")).toString(), QStringLiteral("4.5"));
    const auto deals = requestsTo(QStringLiteral("/api/apps/douzaimai"));
    ASSERT_EQ(deals.size(), 1);
    EXPECT_TRUE(deals.first().query.contains(QStringLiteral("count=3")));
    EXPECT_TRUE(deals.first().query.contains(QStringLiteral("signature=")));
}

TEST_F(ArticlePaneTest, VoteSnippetRequestsItsVoteOnce)
{
    const QString snippet = QStringLiteral(
        "<script>document.write(\"<s\"+\"cript type='text/javascript' src='http://www.tidwen.example/vote/77.js?\"+Math.random()+\"'></scr\"+\"ipt>\");"
        "</script><p id=\"vote77\"></p><script>document.getElementById(\"vote77\").innerHTML = voteStr;</script>");
    routeArticle(kArticlePath, articleXml(QStringLiteral("123456"), QStringLiteral("t"), QStringLiteral("<p>x</p>") + snippet));
    server.route("GET", QStringLiteral("/xml/vote/77_0.xml"),
                 LoopbackReply::text(200, "<vote><title>v</title><total>2</total><votetype>1</votetype><voted>false</voted>"
                                          "<items><item><t>a</t><c>1</c><i>3</i></item><item><t>b</t><c>1</c><i>4</i></item></items></vote>"));
    const TaskCompletionCount ended;
    ArticlePane pane(&host);
    pane.show(item(QStringLiteral("123456")));
    ASSERT_TRUE(waitForPage(pane));
    EXPECT_TRUE(host.pages.first().contains(QStringLiteral("<div id=\"vote77\"></div>")));
    ASSERT_TRUE(waitUntil([&] { return requestsTo(QStringLiteral("/xml/vote/77_0.xml")).size() == 1; }));
    // The reply is in and its block built; the page has not said it loaded, so the block waits.
    ASSERT_TRUE(settleReplies(ended, QStringLiteral("/xml/vote/77_0.xml"), 1)) << "waited for the vote's reply and its block";
    EXPECT_TRUE(host.scriptsCalling(QStringLiteral("appinsertvote")).isEmpty());
    pane.pageLoadFinished();
    ASSERT_TRUE(waitUntil([&] { return !host.scriptsCalling(QStringLiteral("appinsertvote")).isEmpty(); }));
    EXPECT_TRUE(host.scriptsCalling(QStringLiteral("appinsertvote")).first().contains(QStringLiteral("<input")));
    EXPECT_TRUE(host.scriptsCalling(QStringLiteral("appinsertvote")).first().endsWith(QStringLiteral(",\"vote77\");")));
    EXPECT_EQ(requestsTo(QStringLiteral("/xml/vote/77_0.xml")).size(), 1);
}

TEST_F(ArticlePaneTest, VoteBlocksWaitForTheirPageAndLeaveWithTheirArticle)
{
    routeArticle(kArticlePath, articleXml(QStringLiteral("123456"), QStringLiteral("t"), QStringLiteral("<p>x</p>")));
    routeArticle(QStringLiteral("/xml/newscontent/123/457.xml"),
                 articleXml(QStringLiteral("123457"), QStringLiteral("u"), QStringLiteral("<p>y</p>")));
    ArticlePane pane(&host);
    pane.show(item(QStringLiteral("123456")));
    ASSERT_TRUE(waitForPage(pane));
    host.scripts.clear();

    // Before the page's load end: nothing runs, and two votes of one page both wait.
    pane.insertVote(QStringLiteral("<b>first</b>"), QStringLiteral("77"));
    pane.insertVote(QStringLiteral("<b>second</b>"), QStringLiteral("78"));
    pane.insertVote(QStringLiteral("<b>bad</b>"), QStringLiteral("7'8"));
    EXPECT_TRUE(host.scripts.isEmpty());
    pane.pageLoadFinished();
    const QStringList waited = host.scriptsCalling(QStringLiteral("appinsertvote"));
    ASSERT_EQ(waited.size(), 2);
    EXPECT_EQ(waited.at(0), QStringLiteral("appinsertvote(\"<b>first<\\/b>\",\"vote77\");"));
    EXPECT_EQ(waited.at(1), QStringLiteral("appinsertvote(\"<b>second<\\/b>\",\"vote78\");"));

    // Loaded: at once; a newer block of the same vote replaces the kept one.
    pane.insertVote(QStringLiteral("<b>again</b>"), QStringLiteral("77"));
    EXPECT_EQ(host.scriptsCalling(QStringLiteral("appinsertvote")).size(), 3);
    EXPECT_TRUE(host.scripts.last().contains(QStringLiteral("again")));
    // A reload of the same page puts both votes back, the newer block of 77 among them.
    host.scripts.clear();
    pane.pageLoadFinished();
    const QStringList reloaded = host.scriptsCalling(QStringLiteral("appinsertvote"));
    ASSERT_EQ(reloaded.size(), 2);
    EXPECT_TRUE(reloaded.at(0).contains(QStringLiteral("again")));
    EXPECT_TRUE(reloaded.at(1).contains(QStringLiteral("second")));

    // Another article: its page gets none of them.
    pane.show(item(QStringLiteral("123457")));
    pane.insertVote(QStringLiteral("<b>new</b>"), QStringLiteral("90"));  // arrives while it loads
    ASSERT_TRUE(waitForPage(pane, 2));
    host.scripts.clear();
    pane.pageLoadFinished();
    const QStringList next = host.scriptsCalling(QStringLiteral("appinsertvote"));
    ASSERT_EQ(next.size(), 1);
    EXPECT_TRUE(next.first().endsWith(QStringLiteral(",\"vote90\");")));
}

TEST_F(ArticlePaneTest, AVoteRepliedAfterItsArticleWasLeftIsDropped)
{
    const QString snippet = QStringLiteral(
        "<script>document.write(\"<s\"+\"cript type='text/javascript' src='http://www.tidwen.example/vote/77.js?\"+Math.random()+\"'></scr\"+\"ipt>\");"
        "</script><p id=\"vote77\"></p><script>document.getElementById(\"vote77\").innerHTML = voteStr;</script>");
    routeArticle(kArticlePath, articleXml(QStringLiteral("123456"), QStringLiteral("t"), QStringLiteral("<p>x</p>") + snippet));
    routeArticle(QStringLiteral("/xml/newscontent/123/457.xml"),
                 articleXml(QStringLiteral("123457"), QStringLiteral("u"), QStringLiteral("<p>y</p>")));
    LoopbackReply vote = LoopbackReply::text(200, "<vote><title>v</title><total>1</total><votetype>1</votetype><voted>false</voted>"
                                                  "<items><item><t>a</t><c>1</c><i>3</i></item></items></vote>");
    vote.delayMs = 300;
    server.route("GET", QStringLiteral("/xml/vote/77_0.xml"), vote);
    const TaskCompletionCount ended;
    ArticlePane pane(&host);
    pane.show(item(QStringLiteral("123456")));
    ASSERT_TRUE(waitForPage(pane));
    pane.show(item(QStringLiteral("123457")));
    ASSERT_TRUE(waitForPage(pane, 2));
    ASSERT_TRUE(waitUntil([&] { return requestsTo(QStringLiteral("/xml/vote/77_0.xml")).size() == 1; }));
    ASSERT_TRUE(settleReplies(ended, QStringLiteral("/xml/vote/77_0.xml"), 1)) << "waited for the delayed vote reply and its block";
    pane.pageLoadFinished();  // injects what it keeps at once
    EXPECT_TRUE(host.scriptsCalling(QStringLiteral("appinsertvote")).isEmpty());
}

// The document's own news id comes into the item with its other fields, when it is a plain news
// id: ids end up in file names.
TEST_F(ArticlePaneTest, TheDocumentsNewsIdComesIntoTheItemWhenItIsPlain)
{
    struct Case
    {
        QString itemId;
        QString documentId;
        QString taken;
    };
    const Case cases[] = {{QStringLiteral("123456"), QStringLiteral("654321"), QStringLiteral("654321")},
                          {QStringLiteral("123457"), QStringLiteral("65a321"), QStringLiteral("123457")},
                          {QStringLiteral("123458"), QStringLiteral("../1"), QStringLiteral("123458")}};
    qsizetype pages = 0;
    for (const Case& c : cases) {
        routeArticle(QStringLiteral("/xml/newscontent/123/%1.xml").arg(c.itemId.right(3)),
                     articleXml(c.documentId, QStringLiteral("第一篇"), QStringLiteral("<p>正文</p>")));
        ArticlePane pane(&host);
        const FeedPtr feed = item(c.itemId);
        pane.show(feed);
        ASSERT_TRUE(waitForPage(pane, ++pages)) << c.documentId.toStdString();
        EXPECT_EQ(feed->guid.toStdString(), c.taken.toStdString());
    }
}
