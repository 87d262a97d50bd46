#include "article/ArticleCacheFile.h"
#include "article/ArticleDocument.h"
#include "article/HtmlText.h"
#include "database/ServerUrls.h"
#include "platform/Clock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

QByteArray document(const QString& items)
{
    return QStringLiteral("<rss><channel><item>%1</item></channel></rss>").arg(items).toUtf8();
}

struct ClockScope
{
    ClockScope(const QDateTime& now, const QTimeZone& zone)
    {
        Clock::setNow(now);
        Clock::setLocalZone(zone);
    }
    ~ClockScope()
    {
        Clock::reset();
        Clock::resetLocalZone();
    }
};

}  // namespace

TEST(NewsIdPath, FoldersFollowTheLengthOfTheId)
{
    const struct { const char* id; const char* path; } cases[] = {
        {"7", "0/7.xml"}, {"12", "0/12.xml"}, {"123", "0/123.xml"}, {"1234", "1/234.xml"}, {"123456", "123/456.xml"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NewsIdPath::forNewsId(QLatin1String(c.id)).xmlPath(), QLatin1String(c.path)) << c.id;
}

TEST(ArticleUrls, RelatedNewsFolderIsTheThousandsInFourDigits)
{
    EXPECT_TRUE(ArticleUrls::relatedNewsUrl(QStringLiteral("123456")).endsWith(QStringLiteral("/0123/123456.json")));
    EXPECT_TRUE(ArticleUrls::relatedNewsUrl(QStringLiteral("999")).endsWith(QStringLiteral("/0000/999.json")));
}

TEST(ArticleIds, OnlyAsciiDigitsNameAnArticle)
{
    const struct { const char* id; bool news; bool vote; } cases[] = {
        {"123456", true, true}, {"", false, false}, {"../../x", false, false}, {"12a", false, true},
        {"１２３", false, false}, {"-5", false, false}, {"ab_1/2", false, true}, {"a b", false, false},
    };
    for (const auto& c : cases) {
        const QString id = QString::fromUtf8(c.id);
        EXPECT_EQ(ArticleIds::isNewsId(id), c.news) << c.id;
        EXPECT_EQ(ArticleIds::isVoteId(id), c.vote) << c.id;
        // Nothing but a news id ever names a cache file or an address.
        EXPECT_EQ(ArticleCacheFile::filePathForGuid(id, 1).isEmpty(), !c.news) << c.id;
        EXPECT_EQ(ArticleUrls::newsContentUrl(id).isEmpty(), !c.news) << c.id;
    }
}

TEST(ArticleDocument, FlagsOfTheVElement)
{
    const struct { const char* v; bool video; bool vote; bool own; } cases[] = {
        {"011", false, true, true}, {"1", true, false, false}, {"", false, false, false}, {"111", true, true, true},
        {"0010", false, false, true},
    };
    for (const auto& c : cases) {
        const FeedPtr feed = ArticleDocument::parseXML(document(QStringLiteral("<v>%1</v>").arg(QLatin1String(c.v))));
        EXPECT_EQ(feed->isShiPin, c.video) << c.v;
        EXPECT_EQ(feed->isTouPiao, c.vote) << c.v;
        EXPECT_EQ(feed->isYuanChuang, c.own) << c.v;
    }
}

TEST(ArticleDocument, ScoreSwitchAndPictures)
{
    EXPECT_TRUE(ArticleDocument::parseXML(document(QStringLiteral("<title>t</title>")))->isScore);
    EXPECT_TRUE(ArticleDocument::parseXML(document(QStringLiteral("<ndg>0</ndg>")))->isScore);
    EXPECT_FALSE(ArticleDocument::parseXML(document(QStringLiteral("<ndg>1</ndg>")))->isScore);
    EXPECT_EQ(ArticleDocument::parseXML(document(QStringLiteral("<image>http://i/a.jpg</image>")))->imgurl,
              QStringLiteral("http://i/a_240.jpg"));
    EXPECT_EQ(ArticleDocument::parseXML(document(QStringLiteral("<image>http://i/b.png</image>")))->imgurl,
              QStringLiteral("http://i/b.png"));
}

TEST(ArticleDocument, UnparsableBytesGiveAnEmptyItem)
{
    for (const QByteArray& bytes : {QByteArray(), QByteArray("<rss><channel"), QByteArray("\xff\xfe garbage")}) {
        const FeedPtr feed = ArticleDocument::parseXML(bytes);
        ASSERT_TRUE(feed);
        EXPECT_TRUE(feed->detail.isEmpty());
        EXPECT_TRUE(feed->guid.isEmpty());
    }
}

TEST(ArticleDocument, CommentsCloseAfterThirtyDays)
{
    const QTimeZone beijing(8 * 3600);
    ClockScope clock(QDateTime(QDate(2026, 12, 7), QTime(12, 0), beijing), beijing);
    const struct { const char* date; const char* forbid; const char* expected; } cases[] = {
        {"2026-11-06 12:00:00", "false", "true"},   // 31 days
        {"2026-11-20 12:00:00", "false", "false"},  // 17 days
        {"2026-11-20 12:00:00", "TRUE", "TRUE"},
        {"not a date", "false", "true"},
    };
    for (const auto& c : cases) {
        const FeedPtr feed = ArticleDocument::parseXML(document(
            QStringLiteral("<postdate>%1</postdate><forbidcomment>%2</forbidcomment>").arg(QLatin1String(c.date), QLatin1String(c.forbid))));
        EXPECT_EQ(feed->forbidcomment, QLatin1String(c.expected)) << c.date;
    }
    // In Beijing time the date stays exactly as sent.
    EXPECT_EQ(ArticleDocument::parseXML(document(QStringLiteral("<postdate>2026-11-20 09:08:07</postdate>")))->postDate,
              QStringLiteral("2026-11-20 09:08:07"));
}

TEST(ArticleDocument, PostDateMovesToTheLocalZone)
{
    ClockScope clock(QDateTime(QDate(2026, 12, 7), QTime(12, 0), QTimeZone::utc()), QTimeZone::utc());
    EXPECT_EQ(ArticleDocument::parseXML(document(QStringLiteral("<postdate>2026-11-20 09:08:07</postdate>")))->postDate,
              QStringLiteral("2026-11-20 01:08:07"));
}

TEST(HtmlText, ScriptLiteralsReadBackAsTheTextAndNeverCloseAScript)
{
    const QString samples[] = {
        QStringLiteral("it's \\ \"quoted\""), QStringLiteral("</script><script>alert(1)</script>"),
        QString(QChar(0x2028)) + QStringLiteral("line") + QChar(0x2029), QStringLiteral("<img src=x onerror=alert(1)>"),
        QStringLiteral("tab\tnew\nline\r\x01"), QStringLiteral("中文'</"),
    };
    for (const QString& text : samples) {
        const QString literal = HtmlText::scriptLiteral(text);
        EXPECT_FALSE(literal.contains(QStringLiteral("</"))) << literal.toStdString();
        EXPECT_FALSE(literal.contains(QChar(0x2028)));
        const QJsonDocument back = QJsonDocument::fromJson(("[" + literal + "]").toUtf8());
        ASSERT_TRUE(back.isArray()) << literal.toStdString();
        EXPECT_EQ(back.array().at(0).toString(), text);
    }
}

TEST(HtmlText, EscapedMarkupHasNoTagsOrQuotes)
{
    const QString escaped = HtmlText::escape(QStringLiteral("<b>x</b>&'\""));
    EXPECT_EQ(escaped, QStringLiteral("&lt;b&gt;x&lt;/b&gt;&amp;&#39;&quot;"));
}

// The lists read a byte that is not UTF-8 as U+FFFD and keep the rest; so does the article, with
// entities still never expanded.
TEST(ArticleDocument, ABadByteIsReadAsAReplacementCharacter)
{
    const struct
    {
        const char* where;
        QByteArray bytes;
        QString title;
        QString detail;
    } cases[] = {
        {"in the body's CDATA",
         "<?xml version=\"1.0\" encoding=\"utf-8\"?><rss><channel><item><newsid>5</newsid><title>标题</title>"
         "<detail><![CDATA[<p>前\xff后</p>]]></detail></item></channel></rss>",
         QStringLiteral("标题"), QStringLiteral("<p>前\uFFFD后</p>")},
        {"a cut sequence in the title, no declaration",
         "<rss><channel><item><newsid>5</newsid><title>a\xe4\xb8" "b</title><detail>正文</detail></item></channel></rss>",
         QStringLiteral("a\uFFFD\uFFFDb"), QStringLiteral("正文")},
        {"with an internal entity",
         "<!DOCTYPE rss [<!ENTITY l \"lol\"><!ENTITY l2 \"&l;&l;\">]><rss><channel><item><newsid>5</newsid>"
         "<title>t\x80</title><detail>x&l2;y</detail></item></channel></rss>",
         QString(), QString()},
        // Another encoding the document names is read as such, not as broken UTF-8.
        {"in the encoding it names",
         "<?xml version=\"1.0\" encoding=\"gb2312\"?><rss><channel><item><newsid>5</newsid>"
         "<title>\xd6\xd0</title><detail>\xd6\xd0\xce\xc4</detail></item></channel></rss>",
         QStringLiteral("中"), QStringLiteral("中文")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        const FeedPtr feed = ArticleDocument::parseXML(c.bytes);
        EXPECT_EQ(feed->title, c.title);
        EXPECT_EQ(feed->detail, c.detail);
        EXPECT_FALSE(feed->detail.contains(QStringLiteral("lol")));
    }
}

