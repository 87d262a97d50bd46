#include "NewsListTestSupport.h"
#include "newslist/NewsListFeeds.h"

namespace {

QByteArray rss(const QByteArray& items)
{
    return "<?xml version=\"1.0\"?><rss><channel>" + items + "</channel></rss>";
}

FeedPtr onlyItem(const QByteArray& item)
{
    const QList<FeedPtr> feeds = parserNewsListXmlData(rss(item));
    return feeds.size() == 1 ? feeds.first() : nullptr;
}

class FeedsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Clock::setNow(QDateTime(QDate(2026, 12, 7), QTime(12, 0), QTimeZone::utc()));
        Clock::setLocalZone(QTimeZone::utc());
    }
    void TearDown() override
    {
        Clock::reset();
        Clock::resetLocalZone();
        gbLoadAllData = true;
    }
};

}  // namespace

TEST_F(FeedsTest, ItemsKeepOrderAndEveryField)
{
    const QList<FeedPtr> feeds = parserNewsListXmlData(rss(
        "<item t=\"1\"><newsid>11</newsid><title>A &amp; B</title><url>http://x/11.htm</url>"
        "<postdate>2026-12-07 18:00:00</postdate><newssource>src</newssource><z>ed</z><c>red</c><v>001</v>"
        "<newsauthor>au</newsauthor><image>http://i/a.jpg</image><description>d</description><detail>dt</detail>"
        "<hitcount>5</hitcount><commentcount>6</commentcount><forbidcomment>False</forbidcomment></item>"
        "<item><title>no id</title></item><item><newsid></newsid></item><item><newsid>12</newsid></item>"));
    ASSERT_EQ(feeds.size(), 2);
    const Feed& a = *feeds[0];
    EXPECT_EQ(a.guid, QStringLiteral("11"));
    EXPECT_EQ(a.title, QStringLiteral("A & B"));  // shown as it reads
    EXPECT_EQ(a.link, QStringLiteral("http://x/11.htm"));
    EXPECT_EQ(a.postDate, QStringLiteral("2026-12-07 10:00:00"));
    EXPECT_EQ(a.newsSource, QStringLiteral("src"));
    EXPECT_EQ(a.newsZeBian, QStringLiteral("ed"));
    EXPECT_EQ(a.titlecolor, QStringLiteral("red"));
    EXPECT_EQ(a.author, QStringLiteral("au"));
    EXPECT_EQ(a.imgurl, QStringLiteral("http://i/a_240.jpg"));
    EXPECT_EQ(a.description, QStringLiteral("d"));
    EXPECT_EQ(a.detail, QStringLiteral("dt"));
    EXPECT_EQ(a.hitCount, QStringLiteral("5"));
    EXPECT_EQ(a.commentCount, QStringLiteral("6"));
    EXPECT_EQ(a.forbidcomment, QStringLiteral("False"));
    EXPECT_TRUE(a.isTop);
    EXPECT_TRUE(a.isYuanChuang);
    EXPECT_EQ(feeds[1]->guid, QStringLiteral("12"));
    EXPECT_FALSE(feeds[1]->isTop);
    EXPECT_EQ(feeds[1]->title, QStringLiteral(""));
    EXPECT_FALSE(feeds[1]->title.isNull());
}

TEST_F(FeedsTest, FlagStringsPinsAndPictures)
{
    struct Case
    {
        QByteArray extra;
        bool video, vote, own, top;
        QString image;
    };
    const Case cases[] = {
        {"<v>1</v>", true, false, false, false, QStringLiteral("")},
        {"<v>011</v>", false, true, true, false, QStringLiteral("")},
        {"<v>01</v>", false, true, false, false, QStringLiteral("")},
        {"<v></v>", false, false, false, false, QStringLiteral("")},
        {"", false, false, false, false, QStringLiteral("")},
        {"<image>http://a.jpg/b.jpg</image>", false, false, false, false, QStringLiteral("http://a_240.jpg/b_240.jpg")},
        {"<image>http://a/b.png</image>", false, false, false, false, QStringLiteral("http://a/b.png")},
    };
    for (const Case& c : cases) {
        const FeedPtr feed = onlyItem("<item><newsid>1</newsid>" + c.extra + "</item>");
        ASSERT_TRUE(feed) << c.extra.constData();
        EXPECT_EQ(feed->isShiPin, c.video) << c.extra.constData();
        EXPECT_EQ(feed->isTouPiao, c.vote) << c.extra.constData();
        EXPECT_EQ(feed->isYuanChuang, c.own) << c.extra.constData();
        EXPECT_EQ(feed->imgurl, c.image) << c.extra.constData();
    }
    for (const auto& [attribute, top] : {std::pair{"t=\"1\"", true}, {"t=\"0\"", false}, {"t=\"11\"", false}, {"x=\"1\"", false}}) {
        const FeedPtr feed = onlyItem(QByteArray("<item ") + attribute + "><newsid>1</newsid></item>");
        ASSERT_TRUE(feed);
        EXPECT_EQ(feed->isTop, top) << attribute;
    }
}

TEST_F(FeedsTest, PostDateFollowsTheLocalZone)
{
    const QByteArray item = "<item><newsid>1</newsid><postdate>2015-01-05 10:00:00</postdate></item>";
    EXPECT_EQ(onlyItem(item)->postDate, QStringLiteral("2015-01-05 02:00:00"));
    Clock::setLocalZone(QTimeZone(Clock::kBeijingOffsetSeconds));
    EXPECT_EQ(onlyItem(item)->postDate, QStringLiteral("2015-01-05 10:00:00"));
    Clock::setLocalZone(QTimeZone(-5 * 3600));
    EXPECT_EQ(onlyItem(item)->postDate, QStringLiteral("2015-01-04 21:00:00"));
    // Unreadable dates stay as given.
    EXPECT_EQ(onlyItem("<item><newsid>1</newsid><postdate>soon</postdate></item>")->postDate, QStringLiteral("soon"));
}

TEST_F(FeedsTest, CommentsCloseAfterThirtyDaysOrForAnUnreadableDate)
{
    Clock::setLocalZone(QTimeZone(Clock::kBeijingOffsetSeconds));
    // Now is 2026-12-07 20:00:00 in UTC+8.
    struct Case
    {
        const char* date;
        const char* given;
        QString expected;
    };
    const Case cases[] = {
        {"2026-11-07 20:00:00", "false", QStringLiteral("true")},    // exactly 30 days
        {"2026-11-07 20:00:01", "false", QStringLiteral("false")},   // one second younger
        {"2026-12-01 08:00:00", "", QStringLiteral("")},
        {"not a date", "false", QStringLiteral("true")},
        {"2020-01-01 00:00:00", "TRUE", QStringLiteral("TRUE")},
        {"", "false", QStringLiteral("false")},
    };
    for (const Case& c : cases) {
        const FeedPtr feed = onlyItem(QByteArray("<item><newsid>1</newsid><postdate>") + c.date + "</postdate><forbidcomment>"
                                      + c.given + "</forbidcomment></item>");
        EXPECT_EQ(feed->forbidcomment, c.expected) << c.date;
    }
}

TEST_F(FeedsTest, DocumentsThatAreNotListsGiveNothing)
{
    const QByteArray item = "<item><newsid>1</newsid></item>";
    EXPECT_EQ(parserNewsListXmlData("<RSS><channel>" + item + "</channel></RSS>").size(), 1);
    EXPECT_TRUE(parserNewsListXmlData("<feed><channel>" + item + "</channel></feed>").isEmpty());
    EXPECT_TRUE(parserNewsListXmlData("<rss>" + item + "</rss>").isEmpty());
    EXPECT_TRUE(parserNewsListXmlData(QByteArray()).isEmpty());
    EXPECT_TRUE(parserNewsListXmlData(QByteArray("\x00\xff\xfe garbage", 11)).isEmpty());
    EXPECT_TRUE(parserNewsListXmlData("<rss><channel><!-- broken").isEmpty());
    EXPECT_FALSE(parserSingleNewsXmlData(nullptr));
    EXPECT_TRUE(parserRankNewsListXmlData("not xml at all").isEmpty());
}

TEST_F(FeedsTest, RankingSectionsMoveUpWhenOneIsMissing)
{
    const QByteArray doc = "<rss><channel48rank><item><newsid>1</newsid></item><item><newsid>2</newsid></item>"
                           "</channel48rank><channelmonthrank><item><newsid>4</newsid></item></channelmonthrank>"
                           "<channelweekcommentrank><item><newsid>3</newsid></item><item><newsid></newsid></item>"
                           "</channelweekcommentrank></rss>";
    const QList<QList<FeedPtr>> sections = parserRankNewsListXmlData(doc);
    ASSERT_EQ(sections.size(), 3);
    EXPECT_EQ(sections[0].size(), 2);
    ASSERT_EQ(sections[1].size(), 1);
    EXPECT_EQ(sections[1][0]->guid, QStringLiteral("3"));  // week-comment before month, whatever the document order
    EXPECT_EQ(sections[2][0]->guid, QStringLiteral("4"));
    EXPECT_EQ(parserRankNewsListXmlData("<rss><channelweekhotrank/></rss>").size(), 1);
}

TEST_F(FeedsTest, SlidesForOtherDevicesAreDropped)
{
    const QByteArray doc = "<rss><channel>"
                           "<item><title>a</title><device>5</device></item>"
                           "<item><title>b</title><device></device><link> 12 </link><opentype>1</opentype>"
                           "<newstype>n</newstype><image>http://i/b.jpg</image></item>"
                           "<item><title>c</title><device>56</device></item>"
                           "<item><title>d</title></item></channel></rss>";
    QList<slideDataPtr> slides;
    slides.append(std::make_shared<slideData>());
    ASSERT_TRUE(parserSlideXmlData(doc, slides));
    ASSERT_EQ(slides.size(), 4);  // appended after what was there
    EXPECT_EQ(slides[1]->slideTitle, QStringLiteral("b"));
    EXPECT_EQ(slides[1]->slideLinkUrl, QStringLiteral("12"));  // the reader trims texts
    EXPECT_EQ(slides[1]->slideOpenType, QStringLiteral("1"));
    EXPECT_EQ(slides[1]->slideType, QStringLiteral("n"));
    EXPECT_EQ(slides[1]->slideImageUrl, QStringLiteral("http://i/b.jpg"));  // pictures of slides keep their name
    EXPECT_TRUE(slides[1]->slideProductid.isNull());
    EXPECT_EQ(slides[2]->slideTitle, QStringLiteral("c"));
    EXPECT_EQ(slides[3]->slideTitle, QStringLiteral("d"));

    QList<slideDataPtr> none;
    EXPECT_TRUE(parserSlideXmlData("<html><body/></html>", none));
    EXPECT_TRUE(parserSlideXmlData("<rss/>", none));
    EXPECT_TRUE(none.isEmpty());
    EXPECT_FALSE(parserSlideXmlData(QByteArray(), none));
    EXPECT_FALSE(parserSlideXmlData("just text", none));
    EXPECT_FALSE(parserSlideXmlData("<rss><channel><![CDATA[ cut", none));
}

TEST_F(FeedsTest, TheKeywordFilterActsOnlyWhenTheLoadAllSwitchIsOff)
{
    QList<FeedPtr> feeds = parserNewsListXmlData(rss("<item><newsid>1</newsid><title>新款 iPhone 发布</title></item>"
                                                     "<item><newsid>2</newsid><title>天气</title></item>"));
    QList<QList<FeedPtr>> sections{feeds};
    QList<slideDataPtr> slides{std::make_shared<slideData>(), std::make_shared<slideData>()};
    slides[0]->slideTitle = QStringLiteral("Android 手机");
    gbLoadAllData = true;
    filerData(feeds);
    filerData(slides);
    EXPECT_EQ(feeds.size(), 2);
    EXPECT_EQ(slides.size(), 2);
    gbLoadAllData = false;
    filerData(feeds);
    filerData(sections);
    filerData(slides);
    ASSERT_EQ(feeds.size(), 1);
    EXPECT_EQ(feeds[0]->guid, QStringLiteral("2"));
    EXPECT_EQ(sections[0].size(), 1);
    EXPECT_EQ(slides.size(), 1);
}

// A CDATA section is literal in XML, and the article reader keeps it so; the list, which builds
// the article page from its own item when the document is unchanged, must read it the same way.
TEST_F(FeedsTest, CDATATextsReadAsTheArticleReaderReadsThem)
{
    const FeedPtr feed = onlyItem(
        "<item><newsid>11</newsid><title><![CDATA[AT&amp;T &lt;b&gt;]]></title>"
        "<detail><![CDATA[<p>write &lt;b&gt; for bold</p>]]></detail>"
        "<description>A &amp; B <![CDATA[&amp;]]></description></item>");
    ASSERT_TRUE(feed);
    EXPECT_EQ(feed->title, QStringLiteral("AT&amp;T &lt;b&gt;"));
    EXPECT_EQ(feed->detail, QStringLiteral("<p>write &lt;b&gt; for bold</p>"));
    EXPECT_EQ(feed->description, QStringLiteral("A & B &amp;"));

    QList<slideDataPtr> slides;
    ASSERT_TRUE(parserSlideXmlData(rss("<item><title><![CDATA[AT&amp;T]]> &amp; co</title></item>"), slides));
    ASSERT_EQ(slides.size(), 1);
    EXPECT_EQ(slides.first()->slideTitle, QStringLiteral("AT&amp;T & co"));
}
