// The stand-in's replies, read by the client's own readers.
#include "StandinTestSupport.h"

#include "foundation/CommonFunction.h"
#include "standin/Documents.h"
#include "foundation/xml/TBXML.h"
#include "foundation/xml/TTXMLParser.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

struct FeedItem
{
    QString newsid, title, postdate, image, v, forbid, pinned;
};

// rss/<section>/item, as the list reads it.
QList<FeedItem> readItems(TBXMLElement* section)
{
    QList<FeedItem> items;
    for (TBXMLElement* item = TBXML::childElementNamed(QStringLiteral("item"), section); item;
         item = TBXML::nextSiblingNamed(QStringLiteral("item"), item)) {
        const auto text = [&](const char* name) {
            TBXMLElement* child = TBXML::childElementNamed(QString::fromLatin1(name), item);
            return child ? TBXML::textForElement(child) : QString();
        };
        items.append({text("newsid"), text("title"), text("postdate"), text("image"), text("v"), text("forbidcomment"),
                      TBXML::valueOfAttributeNamed(QStringLiteral("t"), item)});
    }
    return items;
}

// The root's named child, or null; *ok false when the bytes are not well-formed or the root is not "rss".
TBXMLElement* rssChild(TBXML& xml, const QByteArray& bytes, const char* name, bool* ok)
{
    Error error;
    xml.initWithXMLData(bytes, &error);
    TBXMLElement* root = xml.rootXMLElement();
    *ok = root && TBXML::elementName(root).toLower() == QLatin1String("rss");
    return *ok ? TBXML::childElementNamed(QString::fromLatin1(name), root) : nullptr;
}

QList<FeedItem> listItems(const QByteArray& bytes)
{
    TBXML xml;
    bool ok = false;
    TBXMLElement* channel = rssChild(xml, bytes, "channel", &ok);
    EXPECT_TRUE(ok && channel) << bytes.left(200).constData();
    return channel ? readItems(channel) : QList<FeedItem>();
}

int countElements(TBXMLElement* element, const QString& name)
{
    int count = 0;
    for (TBXMLElement* e = element; e; e = e->nextSibling) {
        if (TBXML::elementName(e) == name)
            ++count;
        count += countElements(e->firstChild, name);
    }
    return count;
}

class StandinReaders : public ::testing::Test
{
protected:
    standin::StandinService service{testOptions()};
    ProxyClient client{service, service.caCertificate()};
};

}  // namespace

TEST_F(StandinReaders, MainListHasTwentyDatedItemsAPinnedOneAndThumbnails)
{
    const Fetched reply = client.get(QStringLiteral("http://api.tidwen.example/xml/newslist/news.xml"));
    ASSERT_EQ(reply.status, 200);
    const QList<FeedItem> items = listItems(reply.body);
    ASSERT_EQ(items.size(), 20);
    int pinned = 0;
    qint64 previous = std::numeric_limits<qint64>::max();
    const QDateTime now = testNow();
    for (const FeedItem& item : items) {
        EXPECT_FALSE(item.title.isEmpty());
        EXPECT_LT(item.newsid.toLongLong(), previous);  // newest first
        previous = item.newsid.toLongLong();
        EXPECT_TRUE(item.image.endsWith(QLatin1String(".jpg"))) << qPrintable(item.image);
        const QDateTime posted = CommonFunction::dateFromCSTDateTimeString(item.postdate);
        ASSERT_TRUE(posted.isValid()) << qPrintable(item.postdate);
        EXPECT_LE(posted, now);
        EXPECT_GT(posted, now.addDays(-30));  // comments stay open on the first page
        pinned += item.pinned == QLatin1String("1");
    }
    EXPECT_EQ(pinned, 1);
}

TEST_F(StandinReaders, RankingHasFourSectionsOfTwelveAndSlidesPassTheDeviceRule)
{
    const Fetched rank = client.get(QStringLiteral("http://api.tidwen.example/xml/newslist/rank.xml"));
    TBXML xml;
    Error error;
    xml.initWithXMLData(rank.body, &error);
    ASSERT_TRUE(xml.rootXMLElement());
    for (const char* section : {"channel48rank", "channelweekhotrank", "channelweekcommentrank", "channelmonthrank"}) {
        TBXMLElement* element = TBXML::childElementNamed(QString::fromLatin1(section), xml.rootXMLElement());
        ASSERT_TRUE(element) << section;
        EXPECT_EQ(readItems(element).size(), 12) << section;
    }

    const Fetched slides = client.get(QStringLiteral("http://api.tidwen.example/xml/slide/slide.xml"));
    TBXML slideXml;
    bool ok = false;
    TBXMLElement* channel = rssChild(slideXml, slides.body, "channel", &ok);
    ASSERT_TRUE(channel);
    int kept = 0;
    QSet<QString> openTypes;
    for (TBXMLElement* item = TBXML::childElementNamed(QStringLiteral("item"), channel); item;
         item = TBXML::nextSiblingNamed(QStringLiteral("item"), item)) {
        const QString device = TBXML::textForElement(TBXML::childElementNamed(QStringLiteral("device"), item));
        openTypes.insert(TBXML::textForElement(TBXML::childElementNamed(QStringLiteral("opentype"), item)));
        kept += device.isEmpty() || device.contains(QLatin1Char('6'));
    }
    EXPECT_EQ(kept, 5);
    EXPECT_EQ(openTypes, (QSet<QString>{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));

    for (const char* channelList : {"phone", "vr", "discovery", "ios"}) {
        const qsizetype n = listItems(client.get(QStringLiteral("http://api.tidwen.example/xml/newslist/%1.xml")
                                                     .arg(QLatin1String(channelList))).body).size();
        EXPECT_GE(n, 6) << channelList;
        EXPECT_LE(n, 12) << channelList;
    }
}

TEST_F(StandinReaders, ArticleDocumentReadsIntoDictionariesWithBodyPicturesLinkAndVote)
{
    const QList<FeedItem> items = listItems(client.get(QStringLiteral("http://api.tidwen.example/xml/newslist/news.xml")).body);
    ASSERT_GE(items.size(), 20);
    int withLink = 0;
    int withVote = 0;
    int pictureCountMin = 99;
    int pictureCountMax = 0;
    static const QRegularExpression kLink(QStringLiteral("<a href=\"(http://www.tidwen.example/html/(.+?).htm)\" target=\"_blank\">"));
    static const QRegularExpression kVote(QStringLiteral("http://[\\w.]+tidwen.example/vote/([\\w/]+)\\.(js)"));
    for (const FeedItem& item : items) {
        const QString id = item.newsid;
        const QString path = QStringLiteral("/xml/newscontent/%1/%2.xml").arg(id.left(id.size() - 3), id.right(3));
        const Fetched reply = client.get(QStringLiteral("http://api.tidwen.example") + path);
        ASSERT_EQ(reply.status, 200) << qPrintable(path);
        TTXMLParser parser(reply.body);
        ASSERT_TRUE(parser.parse());
        const QVariantMap entry = parser.rootObject()->value(QStringLiteral("channel")).toMap().value(QStringLiteral("item")).toMap();
        const auto text = [&](const char* name) {
            return entry.value(QString::fromLatin1(name)).toMap().value(TTXMLKeys::kValue).toString();
        };
        EXPECT_EQ(text("newsid"), id);
        EXPECT_EQ(text("title"), item.title);
        EXPECT_EQ(text("postdate"), item.postdate);
        const QString detail = text("detail");
        const int pictures = static_cast<int>(detail.count(QStringLiteral("<img ")));
        pictureCountMin = std::min(pictureCountMin, pictures);
        pictureCountMax = std::max(pictureCountMax, pictures);
        const QRegularExpressionMatch link = kLink.match(detail);
        if (link.hasMatch()) {
            ++withLink;
            EXPECT_GT(link.captured(2).section(QLatin1Char('/'), -1).toLongLong(), 0);
        }
        if (kVote.match(detail).hasMatch()) {
            ++withVote;
            EXPECT_EQ(text("v").mid(1, 1), QStringLiteral("1"));  // the vote flag
            const QString voteId = kVote.match(detail).captured(1);
            EXPECT_TRUE(detail.contains(QStringLiteral("<p id=\"vote%1\" style=\"text-indent:0em\"></p>").arg(voteId)));
            const Fetched vote = client.get(QStringLiteral("http://api.tidwen.example/xml/vote/%1_0.xml?r=5").arg(voteId));
            TBXML voteXml;
            Error error;
            voteXml.initWithXMLData(vote.body, &error);
            ASSERT_TRUE(voteXml.rootXMLElement());
            EXPECT_EQ(TBXML::elementName(voteXml.rootXMLElement()), QStringLiteral("vote"));
            EXPECT_EQ(countElements(voteXml.rootXMLElement(), QStringLiteral("item")), 3);
        }
    }
    EXPECT_EQ(withLink, 1);
    EXPECT_EQ(withVote, 1);
    EXPECT_GE(pictureCountMin, 1);
    EXPECT_LE(pictureCountMax, 3);

    // The oldest of the 24 is 31 days old; the fallback address gives the same document.
    const QList<FeedItem> older = listItems(client.get(QStringLiteral("http://api.tidwen.example/xml/newslist/news_%1.xml")
                                                           .arg(CommonFunction::EncrypteUTF8(items.last().newsid, kDesKeyNextPage)))
                                                .body);
    ASSERT_EQ(older.size(), 4);
    EXPECT_LT(CommonFunction::dateFromCSTDateTimeString(older.last().postdate), testNow().addDays(-31));
    const Fetched feed = client.get(QStringLiteral("http://api.tidwen.example/rss/%1.xml").arg(older.last().newsid));
    const QString id = older.last().newsid;
    EXPECT_EQ(feed.body, client.get(QStringLiteral("http://api.tidwen.example/xml/newscontent/%1/%2.xml")
                                        .arg(id.left(id.size() - 3), id.right(3))).body);
}

TEST_F(StandinReaders, CommentsRelatedNewsAndScoreAreWhatTheArticleBlocksRead)
{
    const QString id = listItems(client.get(QStringLiteral("http://api.tidwen.example/xml/newslist/news.xml")).body).first().newsid;
    const QString hex = CommonFunction::EncrypteUTF8(id, kDesKeyRequest).toUpper();
    const QString folder = id.left(id.size() - 3);

    const Fetched hot = client.get(QStringLiteral("http://api.tidwen.example/json/hotcommentlist/%1/%2.json?r=1").arg(folder, hex));
    ASSERT_GE(hot.body.size(), 14);
    ASSERT_TRUE(hot.body.left(12).toLower() == "showcomment(");
    const QJsonDocument hotJson = QJsonDocument::fromJson(hot.body.mid(12, hot.body.size() - 13));
    ASSERT_TRUE(hotJson.isArray());
    EXPECT_EQ(hotJson.array().size(), 4);
    for (const char* key : {"I", "T", "U", "CI", "C", "Ui", "N", "Y", "D", "Ta", "Cl", "S", "A", "SF"})
        EXPECT_TRUE(hotJson.array().first().toObject().contains(QString::fromLatin1(key))) << key;

    // The comment page over https: comments with replies.
    const Fetched page = client.get(QStringLiteral("https://comment.tidwen.example/json/commentlist/%1/%2.json").arg(folder, hex));
    ASSERT_EQ(page.status, 200) << page.error;
    const QJsonArray comments = QJsonDocument::fromJson(page.body.mid(12, page.body.size() - 13)).array();
    ASSERT_FALSE(comments.isEmpty());
    int replies = 0;
    for (const QJsonValue& comment : comments)
        replies += static_cast<int>(comment.toObject().value(QStringLiteral("R")).toArray().size());
    EXPECT_GT(replies, 0);

    // A folder that does not belong to the id is not a comment file.
    EXPECT_EQ(client.get(QStringLiteral("http://api.tidwen.example/json/hotcommentlist/1/%1.json").arg(hex)).status, 404);

    const Fetched related = client.get(QStringLiteral("http://api.tidwen.example/json/tags/%1/%2.json?r=2")
                                           .arg(id.toLongLong() / 1000, 4, 10, QLatin1Char('0'))
                                           .arg(id));
    const QJsonArray relatedArray = QJsonDocument::fromJson(related.body).array();
    EXPECT_GE(related.body.size(), 19);
    ASSERT_EQ(relatedArray.size(), 5);
    EXPECT_TRUE(relatedArray.first().toObject().value(QStringLiteral("newsid")).isString());

    const QJsonObject grade =
        QJsonDocument::fromJson(client.get(QStringLiteral("http://api.tidwen.example/api/newsgrade/get?newsid=%1&userid=0&r=3").arg(id)).body)
            .object();
    EXPECT_TRUE(grade.value(QStringLiteral("g1")).isDouble());
    EXPECT_TRUE(grade.value(QStringLiteral("Grade")).isString());
}

TEST_F(StandinReaders, DealsAccountAndConfigurationReplies)
{
    const qint64 timestamp = 1796630400;
    const QString signature = CommonFunction::getHotProductSignature(static_cast<double>(timestamp));
    const Fetched deals = client.get(QStringLiteral("http://api.zefup.tidwen.example/api/apps/douzaimai?count=3&signature=%1&timestamp=%2")
                                         .arg(signature).arg(timestamp));
    const QJsonObject dealsJson = QJsonDocument::fromJson(deals.body).object();
    EXPECT_EQ(dealsJson.value(QStringLiteral("success")).toInt(), 1);
    const QJsonArray content = dealsJson.value(QStringLiteral("content")).toArray();
    ASSERT_EQ(content.size(), 3);
    const QJsonObject first = content.first().toObject();
    EXPECT_TRUE(first.value(QStringLiteral("productid")).isDouble());
    EXPECT_TRUE(first.value(QStringLiteral("CreateTime")).toString().contains(QLatin1Char('T')));
    EXPECT_TRUE(first.value(QStringLiteral("Picture")).toString().startsWith(QLatin1Char('/')));

    // The account reply, read by the account parser; a wrong hash is a reply without a user.
    const auto& demo = standin::documents::demoAccount();
    const QString hash = CommonFunction::EncrypteUTF8(demo.account + QChar(0x0C) + demo.password, kDesKeyRequest);
    const Fetched user = client.fetch("POST", QStringLiteral("https://account.tidwen.example/api/User.asmx/G"), {},
                                      "userHash=" + hash.toLatin1());
    ASSERT_EQ(user.status, 200) << user.error;
    const NSMyUserInfoPtr info = CommonFunction::parseXML(user.body);
    EXPECT_EQ(info->userID, demo.userId);
    EXPECT_EQ(info->userAccount, demo.account);
    const Fetched stranger = client.fetch("POST", QStringLiteral("https://account.tidwen.example/api/User.asmx/G"), {},
                                          "userHash=" + CommonFunction::EncrypteUTF8(QStringLiteral("x\fy"), kDesKeyRequest).toLatin1());
    EXPECT_EQ(CommonFunction::parseXML(stranger.body)->userID, 99999);

    // The configuration: enciphered whole, well-formed once deciphered, the user's tables kept.
    const Fetched config = client.get(QStringLiteral("https://data.tidwen.example/tidwen/v2/mac.xml"));
    ASSERT_EQ(config.status, 200) << config.error;
    EXPECT_FALSE(config.body.contains("<config"));
    const QByteArray plain = CommonFunction::DecypteData(config.body, kDesKeyRemoteConfig);
    TBXML xml;
    Error error;
    xml.initWithXMLData(plain, &error);
    ASSERT_TRUE(xml.rootXMLElement()) << plain.left(100).constData();
    EXPECT_EQ(countElements(xml.rootXMLElement(), QStringLiteral("srp")), 1);
    EXPECT_EQ(countElements(xml.rootXMLElement(), QStringLiteral("us")), 0);
    EXPECT_EQ(countElements(xml.rootXMLElement(), QStringLiteral("cgs")), 0);
    TBXMLElement* srp = TBXML::childElementNamed(QStringLiteral("srp"), xml.rootXMLElement());
    EXPECT_EQ(TBXML::valueOfAttributeNamed(QStringLiteral("lu"), srp),
              QStringLiteral("http://api.tidwen.example/api/comment/hotcommentlist"));
    EXPECT_EQ(countElements(xml.rootXMLElement(), QStringLiteral("slot")), 0);  // no list ads unless asked
    // The plain http fallback address serves the same bytes.
    EXPECT_EQ(client.get(QStringLiteral("http://data.tidwen.example/tidwen/v2/mac.xml")).body, config.body);
}

TEST(StandinConfiguration, ListAdSlotsOnlyWhenAsked)
{
    standin::StandinOptions options = testOptions();
    options.listAds = true;
    standin::StandinService service(options);
    ProxyClient client(service);
    const QByteArray plain =
        CommonFunction::DecypteData(client.get(QStringLiteral("http://data.tidwen.example/tidwen/v2/mac.xml")).body, kDesKeyRemoteConfig);
    TBXML xml;
    Error error;
    xml.initWithXMLData(plain, &error);
    ASSERT_TRUE(xml.rootXMLElement());
    EXPECT_EQ(countElements(xml.rootXMLElement(), QStringLiteral("slot")), 2);
    EXPECT_EQ(countElements(xml.rootXMLElement(), QStringLiteral("ad")), 0);  // the ads come from the list-ad request
    EXPECT_EQ(countElements(xml.rootXMLElement(), QStringLiteral("srp")), 1);
    TBXMLElement* listAd = TBXML::childElementNamed(QStringLiteral("listad"), xml.rootXMLElement());
    ASSERT_TRUE(listAd);
    const QString request = TBXML::valueOfAttributeNamed(QStringLiteral("u"), listAd);
    ASSERT_FALSE(request.isEmpty());

    // The request names its slots; the reply gives two ads to each, and the log keeps the slots.
    const Fetched reply = client.fetch("POST", request, {}, R"({"slots":[{"sp":3,"ep":5},{"sp":11,"ep":13}]})");
    ASSERT_EQ(reply.status, 200);
    const QJsonArray slotList = QJsonDocument::fromJson(reply.body).object().value(QStringLiteral("slots")).toArray();
    ASSERT_EQ(slotList.size(), 2);
    const QJsonArray ads = slotList.at(1).toObject().value(QStringLiteral("ads")).toArray();
    ASSERT_EQ(ads.size(), 2);
    EXPECT_TRUE(ads.at(0).toObject().value(QStringLiteral("url")).toString().startsWith(QStringLiteral("http://www.tidwen.example/")));
    const QJsonObject logged = service.requestLog().last().value(QStringLiteral("fields")).toObject();
    EXPECT_EQ(QJsonDocument::fromJson(logged.value(QStringLiteral("slots")).toString().toUtf8())
                  .object()
                  .value(QStringLiteral("slots"))
                  .toArray()
                  .size(),
              2);
}

TEST(StandinConfiguration, OwnAdAndConfigurationReportsAreAnsweredAndLogged)
{
    standin::StandinService service(testOptions());
    ProxyClient client(service);
    EXPECT_EQ(client.fetch("POST", QStringLiteral("http://report.tidwen.example/receive/tidwenads.aspx"), {},
                           "event=click&url=http%3A%2F%2Fwww.tidwen.example%2Fspecial%2Fad1.htm")
                  .status,
              200);
    EXPECT_EQ(client.fetch("POST", QStringLiteral("http://report.tidwen.example/receive/kvup.aspx"), {}, "version=7").status, 200);
    const QList<QJsonObject> log = service.requestLog();
    ASSERT_GE(log.size(), 2);
    const QJsonObject ad = log.at(log.size() - 2).value(QStringLiteral("fields")).toObject();
    EXPECT_EQ(ad.value(QStringLiteral("url")).toString(), QStringLiteral("http://www.tidwen.example/special/ad1.htm"));
    EXPECT_EQ(ad.value(QStringLiteral("event")).toString(), QStringLiteral("click"));
    EXPECT_EQ(log.last().value(QStringLiteral("fields")).toObject().value(QStringLiteral("version")).toString(), QStringLiteral("7"));
}

TEST(StandinCertificate, TheLeafNamesEveryServedHost)
{
    standin::StandinService service(testOptions());
    ProxyClient client(service, service.caCertificate());
    const QStringList hosts = standin::servedHosts();
    EXPECT_EQ(hosts.size(), 17);
    for (const QString& host : hosts) {
        const Fetched reply = client.get(QStringLiteral("https://%1/").arg(host));
        EXPECT_NE(reply.error, QNetworkReply::SslHandshakeFailedError) << qPrintable(host);
        EXPECT_GT(reply.status, 0) << qPrintable(host);  // an HTTP answer came through the tunnel
    }
}
