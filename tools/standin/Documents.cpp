#include "Documents.h"

#include "foundation/DES.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamWriter>

namespace standin::documents {
namespace {

constexpr int kBeijingOffset = 8 * 3600;

class Xml
{
public:
    Xml() : m_writer(&m_bytes) { m_writer.writeStartDocument(); }
    QXmlStreamWriter& w() { return m_writer; }
    void text(const QString& name, const QString& value) { m_writer.writeTextElement(name, value); }
    QByteArray finish()
    {
        m_writer.writeEndDocument();
        return m_bytes;
    }

private:
    QByteArray m_bytes;
    QXmlStreamWriter m_writer;
};

void writeItemFields(Xml& xml, const NewsItem& item, bool article)
{
    QXmlStreamWriter& w = xml.w();
    w.writeStartElement(QStringLiteral("item"));
    if (item.pinned)
        w.writeAttribute(QStringLiteral("t"), QStringLiteral("1"));
    xml.text(QStringLiteral("newsid"), QString::number(item.id));
    xml.text(QStringLiteral("title"), item.title);
    // The service names an article's page by its path on the main site.
    xml.text(QStringLiteral("url"), StandinContent::htmlPath(item));
    xml.text(QStringLiteral("postdate"), beijingText(item.postDate));
    xml.text(QStringLiteral("newssource"), item.source);
    xml.text(QStringLiteral("z"), item.editor);
    xml.text(QStringLiteral("c"), item.titleColor);
    xml.text(QStringLiteral("v"), item.flags);
    xml.text(QStringLiteral("newsauthor"), item.author);
    xml.text(QStringLiteral("image"), item.thumbnail);
    xml.text(QStringLiteral("description"), item.description);
    if (article) {
        QString body;
        for (qsizetype i = 0; i < item.paragraphs.size(); ++i) {
            body += QStringLiteral("<p>%1</p>").arg(item.paragraphs[i].toHtmlEscaped());
            if (i < item.pictures.size())
                body += QStringLiteral("<p style=\"text-align:center\"><img src=\"%1\" width=\"640\" height=\"400\"/></p>")
                            .arg(item.pictures[i]);
        }
        for (qsizetype i = item.paragraphs.size(); i < item.pictures.size(); ++i)
            body += QStringLiteral("<p><img src=\"%1\"/></p>").arg(item.pictures[i]);
        if (item.linkTo > 0) {
            body += QStringLiteral("<p>延伸阅读：<a href=\"http://www.tidwen.example/html/%1/%2.htm\" target=\"_blank\">相关报道</a></p>")
                        .arg(item.postDate.toUTC().toString(QStringLiteral("yyyy/MMdd")))
                        .arg(item.linkTo);
        }
        if (item.voteId > 0) {
            const QString id = QString::number(item.voteId);
            body += QStringLiteral("<script>document.write(\"<s\"+\"cript type='text/javascript' "
                                   "src='http://www.tidwen.example/vote/%1.js?\"+Math.random()+\"'></scr\"+\"ipt>\");"
                                   "</script><p id=\"vote%1\" style=\"text-indent:0em\"></p><script>"
                                   "document.getElementById(\"vote%1\").innerHTML = voteStr;</script>")
                        .arg(id);
        }
        for (int v = 1; v <= item.version; ++v)
            body += QStringLiteral("<p>（第 %1 次更新）</p>").arg(v);
        w.writeStartElement(QStringLiteral("detail"));
        w.writeCDATA(body);
        w.writeEndElement();
    } else {
        xml.text(QStringLiteral("detail"), QString());
    }
    xml.text(QStringLiteral("hitcount"), QString::number(item.hitCount + item.version * 7));
    xml.text(QStringLiteral("commentcount"), QString::number(item.commentCount));
    xml.text(QStringLiteral("forbidcomment"), item.forbidComment ? QStringLiteral("true") : QStringLiteral("false"));
    if (article)
        xml.text(QStringLiteral("ndg"), item.scoreOff ? QStringLiteral("1") : QStringLiteral("0"));
    w.writeEndElement();
}

QByteArray compact(const QJsonDocument& document)
{
    return document.toJson(QJsonDocument::Compact);
}

QJsonObject commentObject(const Comment& comment)
{
    QJsonObject object{
        {QStringLiteral("I"), comment.newsId},
        {QStringLiteral("T"), comment.newsTitle},
        {QStringLiteral("U"), comment.newsUrl},
        {QStringLiteral("CI"), comment.id},
        {QStringLiteral("C"), comment.text},
        {QStringLiteral("Ui"), comment.userId},
        {QStringLiteral("N"), comment.userName},
        {QStringLiteral("Y"), comment.location},
        {QStringLiteral("D"), beijingText(comment.postTime)},
        {QStringLiteral("Ta"), comment.device},
        {QStringLiteral("Cl"), comment.client},
        {QStringLiteral("S"), comment.support},
        {QStringLiteral("A"), comment.against},
        {QStringLiteral("SF"), comment.floor},
    };
    if (!comment.replies.isEmpty()) {
        QJsonArray replies;
        for (const Comment& reply : comment.replies)
            replies.append(commentObject(reply));
        object.insert(QStringLiteral("R"), replies);
    }
    return object;
}

QJsonObject dealObject(const Deal& deal)
{
    return QJsonObject{
        {QStringLiteral("productid"), deal.productId},
        {QStringLiteral("ProductName"), deal.name},
        {QStringLiteral("CreateTime"),
         deal.createTime.toOffsetFromUtc(kBeijingOffset).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))},
        {QStringLiteral("OriginStoreName"), deal.store},
        {QStringLiteral("Picture"), deal.picture},
        {QStringLiteral("PromotionInfo"), deal.promotion},
    };
}

}  // namespace

QString beijingText(const QDateTime& moment)
{
    return moment.toOffsetFromUtc(kBeijingOffset).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QByteArray newsListFeed(const QList<const NewsItem*>& items)
{
    Xml xml;
    xml.w().writeStartElement(QStringLiteral("rss"));
    xml.w().writeAttribute(QStringLiteral("version"), QStringLiteral("2.0"));
    xml.w().writeStartElement(QStringLiteral("channel"));
    xml.text(QStringLiteral("title"), QStringLiteral("Tidwen"));
    for (const NewsItem* item : items)
        writeItemFields(xml, *item, false);
    xml.w().writeEndElement();
    xml.w().writeEndElement();
    return xml.finish();
}

QByteArray rankFeed(const QList<QList<const NewsItem*>>& sections)
{
    static const char* const kSections[] = {"channel48rank", "channelweekhotrank", "channelweekcommentrank",
                                            "channelmonthrank"};
    Xml xml;
    xml.w().writeStartElement(QStringLiteral("rss"));
    for (qsizetype s = 0; s < sections.size() && s < 4; ++s) {
        xml.w().writeStartElement(QString::fromLatin1(kSections[s]));
        for (const NewsItem* item : sections[s])
            writeItemFields(xml, *item, false);
        xml.w().writeEndElement();
    }
    xml.w().writeEndElement();
    return xml.finish();
}

QByteArray slideFeed(const QList<Slide>& slides)
{
    Xml xml;
    xml.w().writeStartElement(QStringLiteral("rss"));
    xml.w().writeStartElement(QStringLiteral("channel"));
    for (const Slide& slide : slides) {
        xml.w().writeStartElement(QStringLiteral("item"));
        xml.text(QStringLiteral("title"), slide.title);
        xml.text(QStringLiteral("link"), slide.link);
        xml.text(QStringLiteral("newstype"), slide.newsType);
        xml.text(QStringLiteral("opentype"), slide.openType);
        xml.text(QStringLiteral("image"), slide.image);
        xml.text(QStringLiteral("device"), slide.device);
        xml.w().writeEndElement();
    }
    xml.w().writeEndElement();
    xml.w().writeEndElement();
    return xml.finish();
}

QByteArray articleDocument(const NewsItem& item)
{
    Xml xml;
    xml.w().writeStartElement(QStringLiteral("rss"));
    xml.w().writeStartElement(QStringLiteral("channel"));
    writeItemFields(xml, item, true);
    xml.w().writeEndElement();
    xml.w().writeEndElement();
    return xml.finish();
}

QByteArray voteDocument(qint64 voteId, bool voted, const QString& title)
{
    static const char* const kChoices[] = {"很期待", "观望一下", "不感兴趣"};
    static const int kCounts[] = {412, 268, 97};
    Xml xml;
    xml.w().writeStartElement(QStringLiteral("vote"));
    xml.text(QStringLiteral("title"), title);
    xml.text(QStringLiteral("total"), QString::number(kCounts[0] + kCounts[1] + kCounts[2]));
    xml.text(QStringLiteral("votetype"), QStringLiteral("1"));
    xml.text(QStringLiteral("voted"), voted ? QStringLiteral("true") : QStringLiteral("false"));
    xml.text(QStringLiteral("los"), QString());
    xml.text(QStringLiteral("ld"), QString());
    xml.text(QStringLiteral("lt"), QString::number(voteId));
    xml.w().writeStartElement(QStringLiteral("items"));
    for (int i = 0; i < 3; ++i) {
        xml.w().writeStartElement(QStringLiteral("item"));
        xml.text(QStringLiteral("t"), QString::fromUtf8(kChoices[i]));
        xml.text(QStringLiteral("c"), QString::number(kCounts[i]));
        xml.text(QStringLiteral("i"), QString::number(i + 1));
        xml.w().writeEndElement();
    }
    xml.w().writeEndElement();
    xml.w().writeEndElement();
    return xml.finish();
}

QByteArray commentArray(const QList<Comment>& comments)
{
    QJsonArray array;
    for (const Comment& comment : comments)
        array.append(commentObject(comment));
    return compact(QJsonDocument(array));
}

QByteArray commentJsonp(const QList<Comment>& comments)
{
    return "showcomment(" + commentArray(comments) + ")";
}

QByteArray relatedNews(const QList<const NewsItem*>& items)
{
    QJsonArray array;
    for (const NewsItem* item : items) {
        array.append(QJsonObject{{QStringLiteral("newsid"), QString::number(item->id)},
                                 {QStringLiteral("newstitle"), item->title},
                                 {QStringLiteral("postdate"), beijingText(item->postDate)}});
    }
    return compact(QJsonDocument(array));
}

QByteArray newsGrade(qint64 newsId)
{
    Random random(static_cast<uint64_t>(newsId) * 2654435761ULL);
    const int g1 = random.range(0, 20);
    const int g2 = random.range(0, 40);
    const int g3 = random.range(5, 120);
    const double grade = 5.0 * (g3 + 0.5 * g2) / (g1 + g2 + g3);
    return compact(QJsonDocument(QJsonObject{{QStringLiteral("g1"), g1},
                                             {QStringLiteral("g2"), g2},
                                             {QStringLiteral("g3"), g3},
                                             {QStringLiteral("Grade"), QString::number(grade, 'f', 1)}}));
}

QByteArray dealsReply(const QList<Deal>& deals, bool success)
{
    if (!success)
        return compact(QJsonDocument(QJsonObject{{QStringLiteral("success"), 0}}));
    QJsonArray content;
    for (const Deal& deal : deals)
        content.append(dealObject(deal));
    return compact(QJsonDocument(QJsonObject{{QStringLiteral("success"), 1}, {QStringLiteral("content"), content}}));
}

QByteArray dealDetail(const Deal& deal)
{
    QJsonObject object = dealObject(deal);
    const QString page = QStringLiteral("http://www.tidwen.example/deal/%1.htm").arg(deal.productId);
    object.insert(QStringLiteral("Detail"), QStringLiteral("<p>%1</p><p>%2</p>").arg(deal.name.toHtmlEscaped(), deal.promotion.toHtmlEscaped()));
    object.insert(QStringLiteral("BuyUrl"), page);
    object.insert(QStringLiteral("ShareUrl"), page);
    return compact(QJsonDocument(QJsonObject{{QStringLiteral("success"), 1}, {QStringLiteral("content"), object}}));
}

QByteArray xmlValue(const QString& rootName, const QString& text)
{
    Xml xml;
    xml.text(rootName, text);
    return xml.finish();
}

const Account& demoAccount()
{
    static const Account account;
    return account;
}

QByteArray accountReply(const QString& operation, const Account* account)
{
    Xml xml;
    QXmlStreamWriter& w = xml.w();
    w.writeStartElement(QStringLiteral("soap:Envelope"));
    w.writeAttribute(QStringLiteral("xmlns:soap"), QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/"));
    w.writeStartElement(QStringLiteral("soap:Body"));
    w.writeStartElement(operation + QStringLiteral("Response"));
    w.writeStartElement(operation + QStringLiteral("Result"));
    if (account) {
        xml.text(QStringLiteral("UserName"), account->account);
        xml.text(QStringLiteral("UserID"), QString::number(account->userId));
        xml.text(QStringLiteral("NickName"), account->nickName);
        xml.text(QStringLiteral("RankDays"), QStringLiteral("365.5"));
        xml.text(QStringLiteral("TidwenLogon"), QStringLiteral("true"));
        xml.text(QStringLiteral("TidwenReadCount"), QStringLiteral("1024"));
        xml.text(QStringLiteral("ModifyCountRemain"), QStringLiteral("1"));
        xml.text(QStringLiteral("userGroup"), QStringLiteral("0"));
        xml.text(QStringLiteral("M"), QStringLiteral("false"));
        xml.text(QStringLiteral("t"), QStringLiteral("0"));
        xml.text(QStringLiteral("Medal"), QStringLiteral("1,3"));
        xml.text(QStringLiteral("Mobile"), QStringLiteral("138****0000"));
        xml.text(QStringLiteral("Coin"), QStringLiteral("120"));
        xml.text(QStringLiteral("ConLDays"), QStringLiteral("5"));
    }
    w.writeEndElement();
    w.writeEndElement();
    w.writeEndElement();
    w.writeEndElement();
    return xml.finish();
}

QByteArray configurationXml(bool listAds)
{
    Xml xml;
    QXmlStreamWriter& w = xml.w();
    w.writeStartElement(QStringLiteral("config"));
    w.writeStartElement(QStringLiteral("rcount"));
    w.writeAttribute(QStringLiteral("o2"), QStringLiteral("3"));
    w.writeEndElement();
    xml.text(QStringLiteral("newscore"), QStringLiteral("5"));
    xml.text(QStringLiteral("scorecount"), QStringLiteral("5"));
    xml.text(QStringLiteral("avd"), QStringLiteral("avatar.tidwen.example"));
    w.writeStartElement(QStringLiteral("srp"));
    w.writeAttribute(QStringLiteral("n"), QStringLiteral("上热评"));
    w.writeAttribute(QStringLiteral("lu"), QStringLiteral("http://api.tidwen.example/api/comment/hotcommentlist"));
    w.writeEndElement();
    if (listAds) {
        // Two slots; their ads come from the list-ad request (listAdReply).
        w.writeStartElement(QStringLiteral("listad"));
        w.writeAttribute(QStringLiteral("u"), QString::fromLatin1(kListAdRequestUrl));
        for (int slot = 0; slot < 2; ++slot) {
            w.writeStartElement(QStringLiteral("slot"));
            w.writeAttribute(QStringLiteral("sp"), QString::number(3 + slot * 8));
            w.writeAttribute(QStringLiteral("ep"), QString::number(5 + slot * 8));
            w.writeEndElement();
        }
        w.writeEndElement();
    }
    w.writeEndElement();
    return xml.finish();
}

QByteArray listAdReply(const QByteArray& request)
{
    // One entry per slot asked for, each with two ads to choose from by weight.
    const QJsonArray asked = QJsonDocument::fromJson(request).object().value(QStringLiteral("slots")).toArray();
    QJsonArray slotList;
    for (qsizetype slot = 0; slot < asked.size(); ++slot) {
        QJsonArray ads;
        for (int ad = 1; ad <= 2; ++ad) {
            const qsizetype n = slot * 2 + ad;
            ads.append(QJsonObject{{QStringLiteral("w"), ad},
                                   {QStringLiteral("url"), QStringLiteral("http://www.tidwen.example/special/ad%1.htm").arg(n)},
                                   {QStringLiteral("img"), QStringLiteral("http://img.tidwen.example/ad/%1_240.jpg").arg(n)},
                                   {QStringLiteral("title"), QStringLiteral("示例推广 %1").arg(n)},
                                   {QStringLiteral("t"), QStringLiteral("推广")}});
        }
        slotList.append(QJsonObject{{QStringLiteral("ads"), ads}});
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("slots"), slotList}}).toJson(QJsonDocument::Compact);
}

QByteArray medalXml()
{
    Xml xml;
    QXmlStreamWriter& w = xml.w();
    w.writeStartElement(QStringLiteral("medals"));
    static const char* const kNames[] = {"早起读者", "评论达人", "连续登录"};
    for (int i = 0; i < 3; ++i) {
        w.writeStartElement(QStringLiteral("medal"));
        w.writeAttribute(QStringLiteral("id"), QString::number(i + 1));
        w.writeAttribute(QStringLiteral("n"), QString::fromUtf8(kNames[i]));
        w.writeAttribute(QStringLiteral("img"), QStringLiteral("http://img.tidwen.example/medal/%1_60.png").arg(i + 1));
        w.writeEndElement();
    }
    w.writeEndElement();
    return xml.finish();
}

QByteArray encipherFile(const QByteArray& plain, const DesKey& key)
{
    QByteArray padded = plain;
    while (padded.isEmpty() || padded.size() % 8 != 0)
        padded.append(' ');
    DES des;
    des.encryptKey(key.data(), reinterpret_cast<uint8_t*>(padded.data()), static_cast<int32_t>(padded.size() / 8));
    return padded;
}

}  // namespace standin::documents
