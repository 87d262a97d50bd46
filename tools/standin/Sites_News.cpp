#include "Documents.h"
#include "Sites.h"

#include "httpcore/HttpRouter.h"

#include <QByteArray>

// The news service host: list, ranking and slide feeds, paging, search, articles and their
// side requests.
namespace standin::sites {
namespace {

const QString kNewsHost = QStringLiteral("api.tidwen.example");

// A list file: "news" the first page, "news_<hex>" the page after the item the hex names.
HttpReply listReply(const StandinContent& content, const QString& stem)
{
    if (stem == QLatin1String("rank"))
        return xmlReply(documents::rankFeed(content.rankSections()));
    const int channel = StandinContent::channelOfListName(stem);
    if (channel > 0)
        return xmlReply(documents::newsListFeed(content.firstPage(channel)));
    const qsizetype underscore = stem.indexOf(QLatin1Char('_'));
    if (underscore <= 0)
        return notFound();
    const int pagedChannel = StandinContent::channelOfListName(stem.left(underscore));
    const QString hex = stem.mid(underscore + 1);
    const QString idText = decipher(hex, kDesKeyNextPage);
    bool ok = false;
    const qint64 id = idText.toLongLong(&ok);
    if (pagedChannel <= 0 || pagedChannel == StandinContent::kRankChannel || !ok || id <= 0)
        return notFound();
    HttpReply reply = xmlReply(documents::newsListFeed(content.olderItems(pagedChannel, id)));
    note(reply, QStringLiteral("page"), idText);
    return reply;
}

HttpReply articleReply(const StandinContent& content, qint64 id)
{
    const NewsItem* item = content.item(id);
    if (!item)
        return notFound();
    return xmlReply(documents::articleDocument(*item));
}

// "<hex>" or "<hex>_<cursor>": the keyword in GB 18030 under the main key.
HttpReply searchReply(const StandinContent& content, const QString& stem)
{
    const QString hex = stem.section(QLatin1Char('_'), 0, 0);
    const QString cursorText = stem.section(QLatin1Char('_'), 1);
    qint64 cursor = 0;
    if (!cursorText.isEmpty()) {
        bool ok = false;
        cursor = cursorText.toLongLong(&ok);
        if (!ok)
            return notFound();
    }
    const QString word = decipherGb18030(hex, kDesKeyRequest);
    if (word.isEmpty())
        return notFound();
    HttpReply reply = xmlReply(documents::newsListFeed(content.search(word, cursor, 10)));
    note(reply, QStringLiteral("keyword"), word);
    return reply;
}

}  // namespace

void addNewsRoutes(HttpRouter& router, const StandinContent& content)
{
    const StandinContent* c = &content;
    router.add("GET", kNewsHost, QStringLiteral("/xml/newslist/*.xml"),
               [c](const HttpRequest& r) { return listReply(*c, fileStem(r.path)); });
    router.add("GET", kNewsHost, QStringLiteral("/rss/*.xml"), [c](const HttpRequest& r) {
        // The article fallback (digits) and the list fallback share the folder.
        bool isId = false;
        const qint64 id = fileStem(r.path).toLongLong(&isId);
        return isId ? articleReply(*c, id) : listReply(*c, fileStem(r.path));
    });
    router.add("GET", kNewsHost, QStringLiteral("/xml/slide/*.xml"), [c](const HttpRequest& r) {
        const int channel = StandinContent::channelOfSlideName(fileStem(r.path));
        return channel > 0 ? xmlReply(documents::slideFeed(c->slides(channel))) : notFound();
    });
    router.add("GET", kNewsHost, QStringLiteral("/xml/newscontent/*/*.xml"), [c](const HttpRequest& r) {
        const QStringList parts = r.path.split(QLatin1Char('/'));
        if (parts.size() != 5)
            return notFound();
        return articleReply(*c, idFromFolderStem(parts[3], fileStem(r.path)));
    });
    router.add("GET", kNewsHost, QStringLiteral("/xml/search/*.xml"),
               [c](const HttpRequest& r) { return searchReply(*c, fileStem(r.path)); });
    router.add("GET", kNewsHost, QStringLiteral("/xml/vote/*.xml"), [c](const HttpRequest& r) {
        const QString stem = fileStem(r.path);
        const qint64 voteId = stem.section(QLatin1Char('_'), 0, 0).toLongLong();
        const QString user = stem.section(QLatin1Char('_'), 1);
        for (const NewsItem* item : c->channelItems(StandinContent::kMainChannel)) {
            if (item->voteId == voteId && voteId > 0) {
                HttpReply reply = xmlReply(documents::voteDocument(voteId, false, QStringLiteral("你会购买这款新品吗？")));
                note(reply, QStringLiteral("userid"), user);
                return reply;
            }
        }
        return notFound();
    });
    router.add("GET", kNewsHost, QStringLiteral("/json/hotcommentlist/*/*.json"), [c](const HttpRequest& r) {
        const QStringList parts = r.path.split(QLatin1Char('/'));
        const QString idText = decipher(fileStem(r.path), kDesKeyRequest);
        const qint64 id = idText.toLongLong();
        if (parts.size() != 5 || id <= 0 || parts[3] != idFolder(id) || !c->item(id))
            return notFound();
        HttpReply reply = HttpReply::text(200, documents::commentJsonp(c->hotComments(id)), "text/javascript; charset=utf-8");
        note(reply, QStringLiteral("newsid"), idText);
        return reply;
    });
    router.add("GET", kNewsHost, QStringLiteral("/json/tags/*/*.json"), [c](const HttpRequest& r) {
        const QStringList parts = r.path.split(QLatin1Char('/'));
        const qint64 id = fileStem(r.path).toLongLong();
        if (parts.size() != 5 || !c->item(id) || parts[3] != QStringLiteral("%1").arg(id / 1000, 4, 10, QLatin1Char('0')))
            return notFound();
        return jsonReply(documents::relatedNews(c->related(id)));
    });
    router.add("GET", kNewsHost, QStringLiteral("/api/newsgrade/get"), [c](const HttpRequest& r) {
        const QUrlQuery q = parameters(r);
        const qint64 id = q.queryItemValue(QStringLiteral("newsid")).toLongLong();
        if (!c->item(id))
            return jsonReply("{}");
        return jsonReply(documents::newsGrade(id));
    });
    router.add("GET", kNewsHost, QStringLiteral("/api/newsgrade/create"), [](const HttpRequest& r) {
        HttpReply reply = jsonReply(R"({"status":1})");
        note(reply, QStringLiteral("user"), decipher(parameters(r).queryItemValue(QStringLiteral("user")), kDesKeyRequest));
        return reply;
    });
    router.add("*", kNewsHost, QStringLiteral("/api/comment.asmx/GetCommentCount"), [c](const HttpRequest& r) {
        const QString idText = decipher(parameters(r).queryItemValue(QStringLiteral("strNewsID")), kDesKeyRequest);
        const NewsItem* item = c->item(idText.toLongLong());
        HttpReply reply = xmlReply(documents::xmlValue(QStringLiteral("int"), QString::number(item ? item->commentCount : 0)));
        note(reply, QStringLiteral("strNewsID"), idText);
        return reply;
    });
    // Comment votes: the deciphered comment id and the kind go to the log.
    for (const char* call : {"/api/comment.asmx/CommentVote", "/api/comment.asmx/CancelCommentVote"}) {
        router.add("POST", kNewsHost, QString::fromLatin1(call), [](const HttpRequest& r) {
            const QUrlQuery q = parameters(r);
            HttpReply reply = xmlReply(documents::xmlValue(QStringLiteral("string"), QStringLiteral("1")));
            note(reply, QStringLiteral("strCommentID"), decipher(q.queryItemValue(QStringLiteral("strCommentID")), kDesKeyRequest));
            note(reply, QStringLiteral("type"), q.queryItemValue(QStringLiteral("type")));
            return reply;
        });
    }
    router.add("*", kNewsHost, QStringLiteral("/api/comment.asmx/*"),
               [](const HttpRequest& r) {
                   const bool count = r.path.endsWith(QLatin1String("GetReplyCount"));
                   return xmlReply(documents::xmlValue(count ? QStringLiteral("int") : QStringLiteral("string"),
                                                       count ? QStringLiteral("0") : QStringLiteral("1")));
               });
    router.add("*", kNewsHost, QStringLiteral("/api/vote.asmx/PostVote"), [](const HttpRequest& r) {
        HttpReply reply = xmlReply(documents::xmlValue(QStringLiteral("string"), QStringLiteral("1")));
        note(reply, QStringLiteral("userhash"), decipher(parameters(r).queryItemValue(QStringLiteral("userhash")), kDesKeyRequest));
        return reply;
    });
    router.add("GET", kNewsHost, QStringLiteral("/api/comment/hotcommentlist"), [c](const HttpRequest& r) {
        // One page only: a cursor asks for what follows it, which is nothing.
        const bool more = parameters(r).hasQueryItem(QStringLiteral("s"));
        return jsonReply(documents::commentArray(more ? QList<Comment>() : c->channelHotComments()));
    });
    router.add("GET", kNewsHost, QStringLiteral("/json/commentcontent/*"),
               [c](const HttpRequest&) { return jsonReply(documents::commentArray(c->channelHotComments().mid(0, 1))); });
    router.add("GET", kNewsHost, QStringLiteral("/json/*"), [](const HttpRequest&) { return jsonReply("[]"); });
}

}  // namespace standin::sites
