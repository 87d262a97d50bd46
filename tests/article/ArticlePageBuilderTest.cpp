#include "ArticleTestSupport.h"

#include "article/ArticlePageBuilder.h"
#include "database/ServerUrls.h"

namespace {

ArticlePageInput input(const QString& body)
{
    ArticlePageInput in;
    in.html = body;
    in.newsID = QStringLiteral("500");
    in.title = QStringLiteral("标题");
    in.postDate = QStringLiteral("2026-12-01 10:00:05");
    in.newsSource = QStringLiteral("科技日报");
    in.newsAuthor = QStringLiteral("李明");
    in.newsZeBian = QStringLiteral("王五");
    in.fontSize = QStringLiteral("18");
    return in;
}

QString link(const QString& base, const QString& path)
{
    return QStringLiteral("<a href=\"%1/%2.htm\" target=\"_blank\">").arg(base, path);
}

}  // namespace

class ArticlePageBuilderTest : public ArticleFixture {};

TEST_F(ArticlePageBuilderTest, InSiteLinksCallThePane)
{
    const QString longPath = QStringLiteral("2026/12/") + QString(44, QLatin1Char('x')) + QStringLiteral("/77");
    const struct { QString body; QString expected; } cases[] = {
        // way D (plain body) and way R (a script in the body)
        {link(kUrlWwwHtmlBase, QStringLiteral("2026/12/77")) + QStringLiteral("x</a>"),
         QStringLiteral("href=\"javascript:window.external.opennewsinnews(77)\"")},
        {link(kUrlWapHtmlBase, QStringLiteral("2026/12/500")) + QStringLiteral("x</a>"), QStringLiteral("href=\"refreshnewsinnews://500\"")},
        {link(kUrlWwwHtmlBase, QStringLiteral("2026/12/abc")) + QStringLiteral("x</a>"), link(kUrlWwwHtmlBase, QStringLiteral("2026/12/abc"))},
        {QStringLiteral("<script>var a;</script>") + link(kUrlWwwHtmlBase, QStringLiteral("2026/77")) + QStringLiteral("x</a>"),
         QStringLiteral("opennewsinnews(77)")},
        // A path of 50 characters or more stays in way R, not in way D.
        {QStringLiteral("<script></script>") + link(kUrlWwwHtmlBase, longPath) + QStringLiteral("x</a>"), link(kUrlWwwHtmlBase, longPath)},
        {link(kUrlWwwHtmlBase, longPath) + QStringLiteral("x</a>"), QStringLiteral("opennewsinnews(77)")},
        {QStringLiteral("<a href=\"#down\">d</a>"), QStringLiteral("href=\"javascript:downfun()\"")},
    };
    for (const auto& c : cases) {
        const ArticlePageResult page = ArticlePageBuilder::complateHtmlCode(input(c.body));
        EXPECT_TRUE(page.page.contains(c.expected)) << c.body.toStdString();
    }
}

TEST_F(ArticlePageBuilderTest, PicturesLoadLazilyWithNetworkOnly)
{
    const QString body = QStringLiteral("<p><img src=\"http://i/1.jpg\" width=\"600\" height=\"400\"/></p>"
                                        "<a href=\"http://x/\"><img src=\"http://i/2.jpg\"/></a><p><img src=\"http://i/3.jpg\"/></p>");
    ArticlePageInput in = input(body);
    const ArticlePageResult online = ArticlePageBuilder::complateHtmlCode(in);
    EXPECT_EQ(online.firstimgurlInHtml, QStringLiteral("http://i/1.jpg"));
    EXPECT_EQ(online.currentNewsImageArray, (QStringList{QStringLiteral("http://i/1.jpg"), QStringLiteral("http://i/3.jpg")}));
    EXPECT_TRUE(online.page.contains(QStringLiteral("data-original=\"http://i/1.jpg\" originsrc=\"http://i/1.jpg\"")));
    EXPECT_TRUE(online.page.contains(QStringLiteral("<img src=\"http://i/2.jpg\"/>")));  // inside a link: untouched
    EXPECT_FALSE(online.page.contains(QStringLiteral("width=\"600\"")));

    in.networkReachable = false;
    const ArticlePageResult offline = ArticlePageBuilder::complateHtmlCode(in);
    EXPECT_TRUE(offline.firstimgurlInHtml.isEmpty());
    EXPECT_FALSE(offline.page.contains(QStringLiteral("data-original")));
    EXPECT_EQ(offline.currentNewsImageArray.size(), 3);

    // The same picture twice is rewritten once: no attribute inside another.
    const ArticlePageResult twice = ArticlePageBuilder::complateHtmlCode(
        input(QStringLiteral("<img src=\"http://i/9.jpg\"><img src=\"http://i/9.jpg\">")));
    EXPECT_FALSE(twice.page.contains(QStringLiteral("origindata-original")));
    EXPECT_EQ(twice.page.count(QStringLiteral("data-original=\"http://i/9.jpg\"")), 2);
}

TEST_F(ArticlePageBuilderTest, TitleFormsAndEscaping)
{
    ArticlePageInput in = input(QStringLiteral("<p>x</p>"));
    in.title = QStringLiteral("<b>x</b>&'\"");
    in.newsSource = QStringLiteral("Tidwen 原创");
    in.author = QStringLiteral("小<i>编");
    in.hitCount = QStringLiteral("<script>");
    in.staffReader = true;
    QString page = ArticlePageBuilder::complateHtmlCode(in).page;
    EXPECT_TRUE(page.contains(QStringLiteral("<h1>&lt;b&gt;x&lt;/b&gt;&amp;&#39;&quot;</h1>")));
    EXPECT_TRUE(page.contains(QStringLiteral("2026-12-01 10:00 &nbsp&nbsp&nbspTidwen(小&lt;i&gt;编)")));
    EXPECT_TRUE(page.contains(QStringLiteral("<a>&lt;script&gt;</a>")));
    in.staffReader = false;
    EXPECT_FALSE(ArticlePageBuilder::complateHtmlCode(in).page.contains(QStringLiteral("<span class=\"newshitcount\">")));
    in.newsSource = QStringLiteral("外站");
    in.newsAuthor = QStringLiteral("-");
    page = ArticlePageBuilder::complateHtmlCode(in).page;
    EXPECT_TRUE(page.contains(QStringLiteral("<span>责编：王五</span></span>")));
    in.newsAuthor = QStringLiteral("李明");
    EXPECT_TRUE(ArticlePageBuilder::complateHtmlCode(in).page.contains(QStringLiteral("<span>作者：李明</span>")));
}

TEST_F(ArticlePageBuilderTest, HeadContainersAndPlaceholders)
{
    ArticlePageInput in = input(QStringLiteral("<p>x</p>"));
    in.thinFont = true;
    in.fontSize = QStringLiteral("21");
    QString page = ArticlePageBuilder::complateHtmlCode(in).page;
    EXPECT_TRUE(page.startsWith(QStringLiteral("<html><head><style")));
    EXPECT_FALSE(page.contains(QStringLiteral("#fontsize#")));
    EXPECT_FALSE(page.contains(QStringLiteral("[ios9]1")));
    EXPECT_TRUE(page.contains(QStringLiteral("font-size:21px")));
    EXPECT_TRUE(page.contains(QStringLiteral("PingFangSC-Light")));
    EXPECT_TRUE(page.contains(QStringLiteral("function (html) { fill(\"newscore\", html); }")));
    EXPECT_TRUE(page.contains(QStringLiteral("<div id=\"newreward\"></div><div id=\"newscore\"></div><div id=\"related\"></div>"
                                             "<div id=\"douzaimai\"></div><div id=\"newshotcomment\"></div><iframe class=\"hl\" src=\"")));
    EXPECT_TRUE(page.contains(QStringLiteral("?newsid=500&dev=mac\"")));
    EXPECT_TRUE(page.endsWith(QStringLiteral("</body></html>")));
    in.douZaiMai = false;
    in.fontSize.reset();
    page = ArticlePageBuilder::complateHtmlCode(in).page;
    EXPECT_FALSE(page.contains(QStringLiteral("<div id=\"douzaimai\">")));
    EXPECT_TRUE(page.contains(QStringLiteral("#fontsize#")));
}

TEST_F(ArticlePageBuilderTest, EmbeddedVotesBecomeContainers)
{
    const QString snippet = QStringLiteral(
        "<script>document.write(\"<s\"+\"cript type='text/javascript' src='http://www.tidwen.example/vote/77.js?\"+Math.random()+\"'></scr\"+\"ipt>\");"
        "</script><p id=\"vote77\" style=\"text-indent:0em\"></p><script>document.getElementById(\"vote77\").innerHTML = voteStr;</script>");
    const ArticlePageResult once = ArticlePageBuilder::complateHtmlCode(input(QStringLiteral("<p>a</p>") + snippet));
    EXPECT_EQ(once.voteIds, QStringList{QStringLiteral("77")});
    EXPECT_TRUE(once.page.contains(QStringLiteral("<div id=\"vote77\"></div>")));
    EXPECT_FALSE(once.page.contains(QStringLiteral("voteStr")));
    const ArticlePageResult twice = ArticlePageBuilder::complateHtmlCode(input(snippet + snippet));
    EXPECT_TRUE(twice.voteIds.isEmpty());
    EXPECT_EQ(twice.page.count(QStringLiteral("<div id=\"vote77\"></div>")), 2);
}
