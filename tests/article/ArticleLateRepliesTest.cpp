#include "ArticleTestSupport.h"

#include "article/ArticleCacheFile.h"

#include <QDateTime>
#include <QUrl>
#include <QUrlQuery>

#include <atomic>

namespace {

const QString kFirst = QStringLiteral("123456");
const QString kSecond = QStringLiteral("654321");

// Side replies of the first article are held back until the second article is on screen; the
// second article's own replies leave the server only after all of the first's have left, so that
// once the second's blocks are in, every late reply of the first has had its chance.
class SideReplies
{
public:
    static constexpr int kFirstDelayMs = 2500;
    static constexpr int kGapMs = 600;

    LoopbackReply first(const QByteArray& body)
    {
        LoopbackReply reply = LoopbackReply::text(200, body);
        reply.delayMs = kFirstDelayMs;
        const qint64 leaves = QDateTime::currentMSecsSinceEpoch() + kFirstDelayMs;
        qint64 seen = m_firstLeaves.load();
        while (leaves > seen && !m_firstLeaves.compare_exchange_weak(seen, leaves)) {
        }
        return reply;
    }
    LoopbackReply second(const QByteArray& body) const
    {
        LoopbackReply reply = LoopbackReply::text(200, body);
        reply.delayMs = static_cast<int>(std::max<qint64>(0, m_firstLeaves.load() + kGapMs - QDateTime::currentMSecsSinceEpoch()));
        return reply;
    }

private:
    std::atomic<qint64> m_firstLeaves{0};
};

}  // namespace

class ArticleLateRepliesTest : public ArticleFixture
{
protected:
    static QByteArray hotComments(const char* text)
    {
        return QByteArray("showcomment([{\"Ui\":1,\"N\":\"n\",\"C\":\"") + text + "\",\"S\":3}])";
    }
    static QByteArray related(const char* title)
    {
        return QByteArray("[{\"newsid\":\"77\",\"newstitle\":\"") + title + "\",\"postdate\":\"2026-12-01\"}]";
    }
    static QByteArray deals(const char* name)
    {
        return QByteArray("{\"success\":true,\"content\":[{\"productid\":5,\"ProductName\":\"") + name + "\"}]}";
    }
    bool scriptsContain(const QString& text) const
    {
        for (const QString& script : host.scripts) {
            if (script.contains(text))
                return true;
        }
        return false;
    }
};

TEST_F(ArticleLateRepliesTest, RepliesOfTheArticleLeftNeverReachTheNextOne)
{
    auto replies = std::make_shared<SideReplies>();
    // The first article asks for a score block; the second does not.
    server.route("GET", QStringLiteral("/xml/newscontent/123/456.xml"),
                 LoopbackReply::text(200, articleXml(kFirst, QStringLiteral("甲"), QStringLiteral("<p>a</p>")), "text/xml"));
    server.route("GET", QStringLiteral("/xml/newscontent/654/321.xml"),
                 LoopbackReply::text(200, articleXml(kSecond, QStringLiteral("乙"), QStringLiteral("<p>b</p>"), QStringLiteral("<ndg>1</ndg>")),
                                     "text/xml"));
    server.route("GET", QStringLiteral("/api/newsgrade/get"), [replies](const LoopbackRequest& request) {
        if (QUrlQuery(request.query).queryItemValue(QStringLiteral("newsid")) == kFirst)
            return replies->first("{\"g1\":10,\"g2\":20,\"g3\":30,\"Grade\":\"1.5\"}");
        return LoopbackReply::text(404, "none");
    });
    server.route("GET", QUrl(ArticleUrls::hotCommentUrl(kFirst)).path(),
                 [replies](const LoopbackRequest&) { return replies->first(hotComments("甲评论")); });
    server.route("GET", QUrl(ArticleUrls::hotCommentUrl(kSecond)).path(),
                 [replies](const LoopbackRequest&) { return replies->second(hotComments("乙评论")); });
    server.route("GET", QStringLiteral("/json/tags/0123/123456.json"),
                 [replies](const LoopbackRequest&) { return replies->first(related("甲相关")); });
    server.route("GET", QStringLiteral("/json/tags/0654/654321.json"),
                 [replies](const LoopbackRequest&) { return replies->second(related("乙相关")); });
    auto dealsAsked = std::make_shared<std::atomic<int>>(0);
    server.route("GET", QStringLiteral("/api/apps/douzaimai"), [replies, dealsAsked](const LoopbackRequest&) {
        return ++*dealsAsked == 1 ? replies->first(deals("甲耳机")) : replies->second(deals("乙耳机"));
    });

    ArticlePane pane(&host);
    pane.show(item(kFirst));
    ASSERT_TRUE(waitUntil([&] {
        return !host.pages.isEmpty() && !requestsTo(QStringLiteral("/api/newsgrade/get")).isEmpty()
            && !requestsTo(QStringLiteral("/json/tags/0123/")).isEmpty() && !requestsTo(QStringLiteral("/api/apps/douzaimai")).isEmpty()
            && !requestsTo(QUrl(ArticleUrls::hotCommentUrl(kFirst)).path()).isEmpty();
    }, 30000)) << "the first article's page and its four side requests";
    pane.pageLoadFinished();

    // The reader moves on while the first article's side replies are still on their way; only
    // what reaches the page from now on counts.
    host.scripts.clear();
    pane.show(item(kSecond));
    ASSERT_TRUE(waitUntil([&] { return host.pages.size() == 2; }, 30000)) << "the second article's page";
    pane.pageLoadFinished();
    ASSERT_TRUE(waitUntil([&] {
        return scriptsContain(QStringLiteral("乙评论")) && scriptsContain(QStringLiteral("乙相关")) && scriptsContain(QStringLiteral("乙耳机"));
    }, 20000)) << "the second article's own blocks, sent after every late reply of the first";

    for (const char* text : {"甲评论", "甲相关", "甲耳机", "当前60人打分"})
        EXPECT_FALSE(scriptsContain(QString::fromUtf8(text))) << text;
    EXPECT_TRUE(host.scriptsCalling(QStringLiteral("padappinsertscore")).isEmpty());
    // The next score click on the second article must not start from the first one's counts.
    EXPECT_TRUE(pane.scoreDic().isEmpty());
}
