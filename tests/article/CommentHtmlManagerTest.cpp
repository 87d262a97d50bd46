#include "ArticleTestSupport.h"

#include "article/CommentHtmlManager.h"
#include "database/DatabaseOperate.h"
#include "foundation/GlobalValues.h"

#include <QRegularExpression>

namespace {

QVariantMap grade(double g1, double g2, double g3, const QString& value)
{
    return {{QStringLiteral("g1"), g1}, {QStringLiteral("g2"), g2}, {QStringLiteral("g3"), g3},
            {QStringLiteral("Grade"), value}};
}

QVariantMap voteItem(const QString& tag, qlonglong count, qlonglong input)
{
    return {{QStringLiteral("tag"), tag}, {QStringLiteral("count"), count}, {QStringLiteral("input"), input}};
}

QStringList shares(const QString& html)
{
    QStringList found;
    static const QRegularExpression pattern(QStringLiteral("countdiv\">([0-9.]+)% \\("));
    auto it = pattern.globalMatch(html);
    while (it.hasNext())
        found.append(it.next().captured(1));
    return found;
}

struct ConfigScope
{
    long max = gNewsScoreMax.load();
    long raters = gNewsScoreMinRaters.load();
    long related = gRelatedNewsCount.load();
    ~ConfigScope()
    {
        gNewsScoreMax = max;
        gNewsScoreMinRaters = raters;
        gRelatedNewsCount = related;
    }
};

}  // namespace

TEST(CommentHtmlManager, StarBarWidths)
{
    ConfigScope scope;
    gNewsScoreMax = 5;
    const struct { const char* grade; long width; } cases[] = {
        {"5", 100}, {"4.5", 92}, {"4", 78}, {"0", 0}, {"1", 15}, {"2.5", 50}, {"9", 100}, {"-3", 0}, {"abc", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CommentHtmlManager::scoreBarWidth(QLatin1String(c.grade)), c.width) << c.grade;
    // A full score of 0 (or less) would divide by zero: it counts as 5.
    gNewsScoreMax = 0;
    EXPECT_EQ(CommentHtmlManager::scoreBarWidth(QStringLiteral("4.5")), 92);
    gNewsScoreMax = -2;
    EXPECT_EQ(CommentHtmlManager::scoreBarWidth(QStringLiteral("5")), 100);
}

TEST(CommentHtmlManager, ScoreResultNeedsEnoughRaters)
{
    ConfigScope scope;
    gNewsScoreMinRaters = 5;
    const QString few = CommentHtmlManager::RefreshNewsScoreBody(grade(1, 2, 1, QStringLiteral("4.5")), QStringLiteral("9"),
                                                                 QStringLiteral("1"));
    EXPECT_TRUE(few.startsWith(QStringLiteral("9<span class=\"tipsspan\">打分人数少于5人，不显示文章质量得分</span>")));
    EXPECT_TRUE(few.contains(QStringLiteral("activemidscore")));
    EXPECT_FALSE(few.contains(QStringLiteral("activelowscore")));
    const QString many = CommentHtmlManager::RefreshNewsScoreBody(grade(200000, 2, 3, QStringLiteral("4.5")),
                                                                  QStringLiteral("9"), QStringLiteral("0"));
    EXPECT_TRUE(many.contains(QStringLiteral("文章价值：4.5分")));
    EXPECT_TRUE(many.contains(QStringLiteral("width:92px;")));
    EXPECT_TRUE(many.contains(QStringLiteral("100000+人打分")));
    EXPECT_TRUE(many.contains(QStringLiteral("<span class=\"activesinglespan\">100000+</span>")));
    // Wrong types count 0, a missing grade reads "0".
    const QString odd = CommentHtmlManager::RefreshNewsScoreBody(
        {{QStringLiteral("g1"), QStringLiteral("7")}, {QStringLiteral("Grade"), 5}}, QStringLiteral("9"), QStringLiteral("2"));
    EXPECT_TRUE(odd.contains(QStringLiteral("少于5人")));
    EXPECT_TRUE(odd.contains(QStringLiteral("activehighscore")));
}

TEST(CommentHtmlManager, ReaderWithoutScoreSeesTheButtons)
{
    {
        DatabaseOperate::Lease store;
        ASSERT_TRUE(store);
        store->NewsScore_setScore(QStringLiteral("4242"), QStringLiteral("8"), QStringLiteral("2"));
    }
    const QString unscored = CommentHtmlManager::GetNewsScoreBody(grade(3, 0, 0, QStringLiteral("1")), QStringLiteral("4242"),
                                                                  QStringLiteral("0"));
    EXPECT_TRUE(unscored.contains(QStringLiteral("当前3人打分")));
    EXPECT_TRUE(unscored.contains(QStringLiteral("clickNewScore(2);")));
    const QString scored = CommentHtmlManager::GetNewsScoreBody(grade(3, 0, 0, QStringLiteral("1")), QStringLiteral("4242"),
                                                                QStringLiteral("8"));
    EXPECT_TRUE(scored.contains(QStringLiteral("activehighscore")));
    EXPECT_FALSE(scored.contains(QStringLiteral("clickNewScore(2);")));
}

TEST(CommentHtmlManager, VoteShares)
{
    const QVariantList thirds{voteItem(QStringLiteral("a"), 1, 1), voteItem(QStringLiteral("b"), 1, 2),
                              voteItem(QStringLiteral("c"), 1, 3)};
    const struct { long long type; const char* total; QVariantList items; QStringList expected; } cases[] = {
        {1, "3", thirds, {"33.33", "33.33", "33.34"}},
        {2, "3", thirds, {"33.33", "33.33", "33.33"}},
        {1, "0", thirds, {"0.00", "0.00", "0.00"}},
        {1, "", thirds, {"0.00", "0.00", "0.00"}},
        // Counts that do not add up to the total get no remainder, and never a negative one.
        {1, "2", thirds, {"50.00", "50.00", "50.00"}},
        {1, "10", thirds, {"10.00", "10.00", "10.00"}},
    };
    for (const auto& c : cases) {
        const QVariantMap vote{{QStringLiteral("title"), QStringLiteral("t")}, {QStringLiteral("total"), QLatin1String(c.total)},
                               {QStringLiteral("voteType"), c.type}, {QStringLiteral("isVoted"), true},
                               {QStringLiteral("items"), c.items}};
        const QString html = CommentHtmlManager::GetNewsPageVoteBody(vote, QStringLiteral("77"));
        EXPECT_EQ(shares(html), c.expected) << c.type << " " << c.total;
        EXPECT_FALSE(html.contains(QStringLiteral("nan"))) << c.total;
    }
}

TEST(CommentHtmlManager, VoteTextsShowTheirReferencesDecodedAndStillEscaped)
{
    const QByteArray xml = "<vote><title>A&amp;B &#x4E2D;</title><total>1</total><votetype>1</votetype><voted>false</voted>"
                           "<items><item><t>&lt;b&gt;\xff&#20013;</t><c>1</c><i>3</i></item></items></vote>";
    const auto vote = CommentHtmlManager::parseVoteDocument(xml);
    ASSERT_TRUE(vote);
    EXPECT_EQ(vote->value(QStringLiteral("title")).toString(), QStringLiteral("A&B 中"));
    const QString tag = vote->value(QStringLiteral("items")).toList().value(0).toMap().value(QStringLiteral("tag")).toString();
    EXPECT_EQ(tag, QStringLiteral("<b>\uFFFD中"));
    const QString html = CommentHtmlManager::GetNewsPageVoteBody(*vote, QStringLiteral("77"));
    EXPECT_TRUE(html.contains(QStringLiteral("<div class=\"titlediv\">A&amp;B 中</div>"))) << qPrintable(html);
    EXPECT_TRUE(html.contains(QStringLiteral("&lt;b&gt;"))) << "the tag's text became markup: " << qPrintable(html);
    EXPECT_FALSE(html.contains(QStringLiteral("<b>")));
}

TEST(CommentHtmlManager, VoteFormsAndDocument)
{
    const QByteArray xml = "<vote><title>选哪个</title><total>0</total><votetype>2</votetype><voted>False</voted>"
                           "<items><item><t>甲</t><c>0</c><i>3</i></item><item><t>乙</t><c>0</c><i>4</i></item>"
                           "<item><c>0</c><i>5</i></item></items></vote>";
    const auto vote = CommentHtmlManager::parseVoteDocument(xml);
    ASSERT_TRUE(vote);
    EXPECT_EQ(vote->value(QStringLiteral("voteType")).toLongLong(), 2);
    EXPECT_FALSE(vote->value(QStringLiteral("isVoted")).toBool());
    ASSERT_EQ(vote->value(QStringLiteral("items")).toList().size(), 3);
    const QString html = CommentHtmlManager::GetNewsPageVoteBody(*vote, QStringLiteral("77"));
    EXPECT_TRUE(html.startsWith(QStringLiteral("77<div class=\"titlediv\">选哪个</div>")));
    EXPECT_EQ(html.count(QStringLiteral("type=\"checkbox\"")), 2);  // the item without a label is left out
    EXPECT_TRUE(html.contains(QStringLiteral("submitVote('77',2)")));
    EXPECT_FALSE(CommentHtmlManager::parseVoteDocument("<poll><title>x</title></poll>"));
    EXPECT_FALSE(CommentHtmlManager::parseVoteDocument("not xml"));
    // Another device: results even without a vote.
    QVariantMap other = *vote;
    other.insert(QStringLiteral("los"), QStringLiteral("android"));
    EXPECT_FALSE(CommentHtmlManager::GetNewsPageVoteBody(other, QStringLiteral("77")).contains(QStringLiteral("votebutton")));
}

TEST(CommentHtmlManager, RelatedNewsIsCappedAndEscaped)
{
    ConfigScope scope;
    gRelatedNewsCount = 3;
    QVariantList related;
    for (int i = 0; i < 5; ++i)
        related.append(QVariantMap{{QStringLiteral("newsid"), QString::number(100 + i)},
                                   {QStringLiteral("newstitle"), QStringLiteral("标题%1").arg(i)},
                                   {QStringLiteral("postdate"), QStringLiteral("2026-12-0%1").arg(i + 1)}});
    const QString html = CommentHtmlManager::GetNewsPageRelateNewsBody(related, QStringLiteral("5"));
    EXPECT_EQ(html.count(QStringLiteral("<li ")), 3);
    EXPECT_TRUE(html.contains(QStringLiteral("clickRelateNews(102);")));
    EXPECT_EQ(CommentHtmlManager::GetNewsPageRelateNewsBody({}, QStringLiteral("5")), QStringLiteral("5"));
    // A non-dictionary counts toward the limit and gives nothing.
    const QVariantList mixed{QStringLiteral("x"), related.at(0), related.at(1), related.at(2)};
    EXPECT_EQ(CommentHtmlManager::GetNewsPageRelateNewsBody(mixed, QStringLiteral("5")).count(QStringLiteral("<li ")), 2);

    const QString hostile = QStringLiteral("it's \\ </script> ") + QChar(0x2028) + QStringLiteral("<img src=x onerror=alert(1)>");
    const QString escaped = CommentHtmlManager::GetNewsPageRelateNewsBody(
        {QVariantMap{{QStringLiteral("newsid"), QStringLiteral("1")}, {QStringLiteral("newstitle"), hostile}}}, QStringLiteral("5"));
    EXPECT_FALSE(escaped.contains(QStringLiteral("<img")));
    EXPECT_FALSE(escaped.contains(QStringLiteral("</script>")));
    EXPECT_TRUE(escaped.contains(QStringLiteral("&lt;img src=x onerror=alert(1)&gt;")));
}

TEST(CommentHtmlManager, HotCommentsAndDeals)
{
    const QVariantList comments{QVariantMap{{QStringLiteral("Ui"), 42}, {QStringLiteral("N"), QStringLiteral("<b>小王</b>")},
                                            {QStringLiteral("Y"), QStringLiteral("北京")}, {QStringLiteral("D"), QStringLiteral("12:00")},
                                            {QStringLiteral("C"), QStringLiteral("好文章'</script>")}, {QStringLiteral("S"), 7}}};
    const QString withAvatar = CommentHtmlManager::GetNewsPageHotCommentBody(comments, true, QStringLiteral("5"));
    EXPECT_TRUE(withAvatar.startsWith(QStringLiteral("5<h2>最热评论</h2>")));
    EXPECT_TRUE(withAvatar.contains(QStringLiteral("hcavatar")));
    EXPECT_TRUE(withAvatar.contains(QStringLiteral("支持(7)")));
    EXPECT_TRUE(withAvatar.contains(QStringLiteral("&lt;b&gt;小王&lt;/b&gt;")));
    EXPECT_EQ(withAvatar.count(QStringLiteral("window.external.showpagecomment()")), 2);
    EXPECT_FALSE(CommentHtmlManager::GetNewsPageHotCommentBody(comments, false, QStringLiteral("5")).contains(QStringLiteral("hcavatar")));
    EXPECT_EQ(CommentHtmlManager::GetNewsPageHotCommentBody({}, true, QStringLiteral("5")), QStringLiteral("5"));

    const QVariantList deals{QVariantMap{{QStringLiteral("productid"), 88.0}, {QStringLiteral("ProductName"), QStringLiteral("耳机<i>")},
                                         {QStringLiteral("Picture"), QStringLiteral("/a.jpg")},
                                         {QStringLiteral("PromotionInfo"), QStringLiteral("满减%0D%0A包邮")}}};
    const QString dou = CommentHtmlManager::GetNewsPageDouZaiMaiBody(deals, QStringLiteral("5"));
    EXPECT_TRUE(dou.startsWith(QStringLiteral("5<h2>大家都在买</h2><ul>")));
    EXPECT_TRUE(dou.contains(QStringLiteral("clickDouZaiMai(88);")));
    EXPECT_TRUE(dou.contains(QStringLiteral("满减<br>包邮")));
    EXPECT_TRUE(dou.contains(QStringLiteral("耳机&lt;i&gt;")));
    EXPECT_TRUE(CommentHtmlManager::GetNewsPageHaiZaiMaiBody(deals, QStringLiteral("5"))
                    .startsWith(QStringLiteral("5<div class=\"entryline2\"></div><h2>大家还在买</h2>")));
}
