#include "SearchTestSupport.h"
#include "newslist/search/SearchReply.h"

#include <QUrlQuery>

using namespace h24;

namespace {

class SearchReplyTest : public Fixture
{
};

QByteArray oneItem(const QString& children)
{
    return QStringLiteral("<rss><channel><item>%1</item></channel></rss>").arg(children).toUtf8();
}

}  // namespace

TEST_F(SearchReplyTest, NewsAddressesCarryTheEncipheredKeyword)
{
    EXPECT_EQ(SearchReply::newsFirstPageUrl(QStringLiteral("http://h/xml/search"), QStringLiteral("苹果"), 42),
              QStringLiteral("http://h/xml/search/fa4beb691647450f.xml?r=42"));
    EXPECT_EQ(SearchReply::newsMorePageUrl(QStringLiteral("http://h/xml/search"), QStringLiteral("苹果"), 102, 0),
              QStringLiteral("http://h/xml/search/fa4beb691647450f_102.xml?r=searchmore0"));
    // Nine GB 18030 bytes take two blocks.
    EXPECT_EQ(SearchReply::newsFirstPageUrl(QStringLiteral("b"), QStringLiteral("苹果苹果a"), 1).size(),
              QStringLiteral("b/.xml?r=1").size() + 32);
}

TEST_F(SearchReplyTest, DealsFieldsOfFirstAndFurtherPages)
{
    const QVariantMap first = SearchReply::dealsFirstPageParms(QStringLiteral("苹果"), 1700000000, QStringLiteral("0"));
    EXPECT_EQ(first.keys(), (QStringList{"count", "key", "platform", "productid", "signature", "timestamp", "userid"}));
    EXPECT_EQ(first.value("signature").toString(), QStringLiteral("186ABBD9F63CE071A77FD3C1B0F10225"));
    EXPECT_EQ(first.value("timestamp").toLongLong(), 1700000000);
    const QVariantMap more = SearchReply::dealsMorePageParms(QStringLiteral("苹果"), 31, 1700000000);
    EXPECT_EQ(more.keys(), (QStringList{"count", "key", "productid", "signature", "timestamp"}));
    EXPECT_EQ(more.value("productid").toLongLong(), 31);
}

TEST_F(SearchReplyTest, ItemsNeedAnIdAndATitle)
{
    struct Case
    {
        QByteArray xml;
        int items;
    };
    const QList<Case> cases = {
        {oneItem("<newsid>1</newsid><title>t</title>"), 1},
        {oneItem("<newsid>1</newsid>"), 0},
        {oneItem("<newsid>1</newsid><title></title>"), 0},
        {oneItem("<title>t</title>"), 0},
        {"<RSS><channel><item><newsid>1</newsid><title>t</title></item></channel></RSS>", 1},
        {"<feed><channel><item><newsid>1</newsid><title>t</title></item></channel></feed>", 0},
        {"<rss><item><newsid>1</newsid><title>t</title></item></rss>", 0},
        {"not xml at all", 0},
        {"", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SearchReply::parserNewsListXmlData(c.xml).size(), c.items) << c.xml.constData();
}

TEST_F(SearchReplyTest, ItemFieldsFollowTheListRules)
{
    Clock::setLocalZone(Clock::beijingZone());
    struct Case
    {
        QString children;
        QString forbid;
        bool video;
        bool vote;
        bool own;
    };
    const QList<Case> cases = {
        // 31 days old: comments closed whatever the feed said.
        {"<postdate>2023-10-14 10:00:00</postdate><forbidcomment>false</forbidcomment><v>010</v>", "true", false, true, false},
        // Yesterday keeps the feed's value.
        {"<postdate>2023-11-14 00:00:00</postdate><forbidcomment>false</forbidcomment><v>1</v>", "false", true, false, false},
        // A date that does not read closes them too.
        {"<postdate>someday</postdate><v>001</v>", "true", false, false, true},
    };
    for (const Case& c : cases) {
        const QList<FeedPtr> feeds =
            SearchReply::parserNewsListXmlData(oneItem("<newsid>5</newsid><title>t</title><image>http://i/a.jpg</image>" + c.children));
        ASSERT_EQ(feeds.size(), 1) << c.children.toStdString();
        EXPECT_EQ(feeds[0]->forbidcomment, c.forbid) << c.children.toStdString();
        EXPECT_EQ(feeds[0]->isShiPin, c.video);
        EXPECT_EQ(feeds[0]->isTouPiao, c.vote);
        EXPECT_EQ(feeds[0]->isYuanChuang, c.own);
        EXPECT_EQ(feeds[0]->imgurl, QStringLiteral("http://i/a_240.jpg"));
    }
    Clock::resetLocalZone();
}

TEST_F(SearchReplyTest, CursorOnlyFallsToPositiveIds)
{
    struct Case
    {
        int64_t cursor;
        QString id;
        int64_t expected;
    };
    const QList<Case> cases = {{999999999, "105", 105}, {105, "200", 105}, {105, "0", 105}, {105, "-3", 105},
                               {105, "abc", 105},        {105, "", 105},     {105, " 7 ", 7},  {105, "99999999999999999999", 105}};
    for (const Case& c : cases)
        EXPECT_EQ(SearchReply::lowerCursor(c.cursor, c.id), c.expected) << c.id.toStdString();
}

TEST_F(SearchReplyTest, DealsRepliesMustBeSuccessObjects)
{
    const auto deals = SearchReply::parserDealsJsonData(
        R"({"success":"1","content":[{"productid":88,"ProductName":"甲","CreateTime":"2023-11-14T10:00:00"},"x",)"
        R"({"productid":1e300,"ProductName":5},{"productid":12.5}]})");
    ASSERT_TRUE(deals);
    ASSERT_EQ(deals->size(), 3);
    EXPECT_EQ(deals->at(0)->pro_productid, QStringLiteral("88"));
    EXPECT_EQ(deals->at(0)->pro_createTime, QStringLiteral("2023-11-14T10:00:00"));
    EXPECT_EQ(deals->at(1)->pro_productName, QStringLiteral(""));
    EXPECT_EQ(SearchReply::lowerCursor(SearchReply::kNoCursor, deals->at(1)->pro_productid), SearchReply::kNoCursor);
    EXPECT_EQ(deals->at(2)->pro_productid, QStringLiteral("12.5"));

    for (const QByteArray& bad : {QByteArray("[]"), QByteArray("1"), QByteArray("{\"success\":2,\"content\":[]}"),
                                  QByteArray("{\"success\":false}"), QByteArray("{"), QByteArray()})
        EXPECT_FALSE(SearchReply::parserDealsJsonData(bad)) << bad.constData();
    // true has the text form "1": a success, as the deals pages read it.
    for (const QByteArray& success : {QByteArray(R"({"success":1})"), QByteArray(R"({"success":true})")}) {
        const auto empty = SearchReply::parserDealsJsonData(success);
        ASSERT_TRUE(empty) << success.constData();
        EXPECT_TRUE(empty->isEmpty());
    }
}
