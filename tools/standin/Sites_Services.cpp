#include "Documents.h"
#include "Pictures.h"
#include "Sites.h"

#include "foundation/CommonFunction.h"
#include "httpcore/HttpRouter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

// The other hosts: comments, deals, account, push, reports, configuration, pictures and pages.
namespace standin::sites {
namespace {

// A made-up public address from the documentation range.
constexpr const char* kPublicAddress = "203.0.113.7";

// The deals service refuses a request whose signature is not that of its timestamp.
bool signatureValid(const QUrlQuery& q)
{
    const QString timestamp = q.queryItemValue(QStringLiteral("timestamp"));
    bool ok = false;
    const double seconds = timestamp.toDouble(&ok);
    return ok && !timestamp.isEmpty() &&
           q.queryItemValue(QStringLiteral("signature")) == CommonFunction::getHotProductSignature(seconds);
}

HttpReply dealsReply(const StandinContent& content, const HttpRequest& request)
{
    const QUrlQuery q = parameters(request);
    if (!signatureValid(q)) {
        HttpReply reply = jsonReply(documents::dealsReply({}, false));
        note(reply, QStringLiteral("signature"), QStringLiteral("wrong"));
        return reply;
    }
    const QString call = request.path.section(QLatin1Char('/'), -1).toLower();
    const int count = std::clamp(q.hasQueryItem(QStringLiteral("count")) ? q.queryItemValue(QStringLiteral("count")).toInt() : 20, 0, 100);
    const qint64 cursor = q.queryItemValue(QStringLiteral("productid")).toLongLong();
    QList<Deal> deals;
    if (call == QLatin1String("detail")) {
        const Deal* deal = content.deal(cursor);
        return deal ? jsonReply(documents::dealDetail(*deal)) : jsonReply(documents::dealsReply({}, false));
    }
    if (call == QLatin1String("focus")) {
        QJsonArray focus;
        const QList<Deal> all = content.deals();
        for (int i = 0; i < 4; ++i) {
            focus.append(QJsonObject{{QStringLiteral("Title"), all[i].name},
                                     {QStringLiteral("Picture"), all[i].picture},
                                     {QStringLiteral("Url"), QStringLiteral("http://www.tidwen.example/deal/%1.htm").arg(all[i].productId)},
                                     {QStringLiteral("productid"), all[i].productId},
                                     {QStringLiteral("newsid"), 0}});
        }
        return jsonReply(QJsonDocument(QJsonObject{{QStringLiteral("success"), 1}, {QStringLiteral("content"), focus}})
                             .toJson(QJsonDocument::Compact));
    }
    const QString key = q.queryItemValue(QStringLiteral("key"), QUrl::FullyDecoded);
    // The client names its category ("tag", one of the built-in category names after "全部");
    // "tagid" numbers it directly.
    static const QStringList kCategoryNames{QStringLiteral("爆品"), QStringLiteral("白菜价"), QStringLiteral("福利")};
    const int named = int(kCategoryNames.indexOf(q.queryItemValue(QStringLiteral("tag"), QUrl::FullyDecoded))) + 1;
    const int tag = named > 0 ? named : q.queryItemValue(QStringLiteral("tagid")).toInt();
    for (const Deal& deal : content.deals()) {
        if (cursor > 0 && deal.productId >= cursor && call != QLatin1String("douzaimai"))
            continue;
        if (call == QLatin1String("search") && !deal.name.contains(key, Qt::CaseInsensitive))
            continue;
        if (call == QLatin1String("tag") && tag > 0 && deal.tag != tag)
            continue;
        deals.append(deal);
    }
    // Newest first: the highest product ids.
    std::sort(deals.begin(), deals.end(), [](const Deal& a, const Deal& b) { return a.productId > b.productId; });
    if (deals.size() > count)
        deals.resize(count);
    HttpReply reply = jsonReply(documents::dealsReply(deals, true));
    if (call == QLatin1String("search"))
        note(reply, QStringLiteral("key"), key);
    return reply;
}

// userHash: account, form feed, password under the main key; the demo account with its password
// of the moment, or nobody.
const documents::Account* accountOf(const QString& userHash, const QString& demoPassword)
{
    const documents::Account& demo = documents::demoAccount();
    return decipher(userHash, kDesKeyRequest) == demo.account + QChar(0x0C) + demoPassword ? &demo : nullptr;
}

// The password change ("MP"): the user hash and the old password of "strPwd" (old, form feed,
// new) must both be the demo account's password of the moment; the new one then replaces it.
bool changePassword(const QUrlQuery& q, QString& demoPassword)
{
    if (!accountOf(q.queryItemValue(QStringLiteral("userHash")), demoPassword))
        return false;
    const QString passwords = decipher(q.queryItemValue(QStringLiteral("strPwd")), kDesKeyRequest);
    const QString oldPassword = passwords.section(QChar(0x0C), 0, 0);
    const QString newPassword = passwords.section(QChar(0x0C), 1);
    if (!passwords.contains(QChar(0x0C)) || oldPassword != demoPassword || newPassword.isEmpty())
        return false;
    demoPassword = newPassword;
    return true;
}

HttpReply accountCall(const HttpRequest& request, QString& demoPassword)
{
    QUrlQuery q = parameters(request);
    const QString operation = request.path.section(QLatin1Char('/'), -1);
    const documents::Account* account = accountOf(q.queryItemValue(QStringLiteral("userHash")), demoPassword);
    HttpReply reply;
    if (operation == QLatin1String("L") || operation == QLatin1String("G"))
        reply = xmlReply(documents::accountReply(operation, account));
    else if (operation == QLatin1String("DoTask"))
        reply = xmlReply(documents::xmlValue(QStringLiteral("string"), account ? QStringLiteral("true") : QStringLiteral("false")));
    else if (operation == QLatin1String("MP"))
        reply = xmlReply(documents::xmlValue(QStringLiteral("string"),
                                             changePassword(q, demoPassword) ? QStringLiteral("true") : QStringLiteral("false")));
    else
        reply = xmlReply(documents::xmlValue(QStringLiteral("string"), QStringLiteral("true")));
    // The passwords of a change stay out of the log.
    q.removeAllQueryItems(QStringLiteral("strPwd"));
    noteEncipheredFields(reply, q);
    return reply;
}

// The comment replies' count ("commentID": the highest reply id the client has seen) of a user:
// replies to the comments that user posted here. The community's count ("rID") stays 0.
HttpReply replyCount(const StandinContent& content, const HttpRequest& request)
{
    const QUrlQuery q = parameters(request);
    int count = 0;
    if (q.hasQueryItem(QStringLiteral("commentID"))) {
        const qint64 userId = decipher(q.queryItemValue(QStringLiteral("strUserID")), kDesKeyRequest).toLongLong();
        if (userId > 0)
            count = content.repliesTo(userId, q.queryItemValue(QStringLiteral("commentID")).toLongLong());
    }
    HttpReply reply = xmlReply(documents::xmlValue(QStringLiteral("int"), QString::number(count)));
    noteEncipheredFields(reply, q);
    return reply;
}

HttpReply commentPage(const StandinContent& content, const HttpRequest& request)
{
    const QStringList parts = request.path.split(QLatin1Char('/'));
    const QString hex = fileStem(request.path).section(QLatin1Char('_'), 0, 0);
    const QString idText = decipher(hex, kDesKeyRequest);
    const qint64 id = idText.toLongLong();
    if (parts.size() != 5 || id <= 0 || parts[3] != idFolder(id) || !content.item(id))
        return notFound();
    // One page: further pages are empty.
    const bool later = fileStem(request.path).contains(QLatin1Char('_'));
    HttpReply reply = HttpReply::text(200, documents::commentJsonp(later ? QList<Comment>() : content.comments(id)),
                                      "text/javascript; charset=utf-8");
    note(reply, QStringLiteral("newsid"), idText);
    return reply;
}

HttpReply picture(const HttpRequest& request)
{
    QByteArray type;
    const QByteArray bytes = pictures::render(request.path, &type);
    if (bytes.isEmpty())
        return notFound();
    return HttpReply::text(200, bytes, type);
}

HttpReply ipReply(const HttpRequest&)
{
    return textReply(kPublicAddress);
}

}  // namespace

void addServiceRoutes(HttpRouter& router, StandinContent& content, bool listAds, std::function<void()> contentChanged)
{
    const StandinContent* c = &content;
    StandinContent* writable = &content;
    const DemoPassword demoPassword = std::make_shared<QString>(documents::demoAccount().password);

    // Comments.
    const QString comment = QStringLiteral("comment.tidwen.example");
    router.add("GET", comment, QStringLiteral("/json/commentlist/*/*.json"), [c](const HttpRequest& r) { return commentPage(*c, r); });
    router.add("GET", comment, QStringLiteral("/json/commentlatest/*/*.json"), [c](const HttpRequest& r) { return commentPage(*c, r); });
    router.add("*", comment, QStringLiteral("/tidwen/postComment.aspx"), [writable, contentChanged, demoPassword](const HttpRequest& r) {
        const QUrlQuery q = parameters(r);
        HttpReply reply = xmlReply(documents::xmlValue(QStringLiteral("string"), QStringLiteral("1")));
        noteEncipheredFields(reply, q);
        // The demo account's comments appear on the article's comment page from now on.
        if (const documents::Account* account = accountOf(q.queryItemValue(QStringLiteral("userHash")), *demoPassword)) {
            const Comment* posted = writable->postComment(
                q.queryItemValue(QStringLiteral("newsid")).toLongLong(), q.queryItemValue(QStringLiteral("parentid")).toLongLong(),
                q.queryItemValue(QStringLiteral("content"), QUrl::FullyDecoded), account->userId, account->nickName);
            if (posted != nullptr) {
                note(reply, QStringLiteral("newsid"), QString::number(posted->newsId));
                note(reply, QStringLiteral("postedId"), QString::number(posted->id));
                if (contentChanged)
                    contentChanged();
            }
        }
        return reply;
    });
    router.add("GET", comment, QStringLiteral("/tidwen/hitcount.aspx"), [](const HttpRequest&) { return htmlReply(QStringLiteral("hit"), QString()); });

    // Deals.
    router.add("GET", QStringLiteral("api.zefup.tidwen.example"), QStringLiteral("/api/apps/*"),
               [c](const HttpRequest& r) { return dealsReply(*c, r); });
    router.add("*", QStringLiteral("api.zefup.tidwen.example"), QStringLiteral("*"), [](const HttpRequest&) { return textReply("ok"); });

    // Account.
    const QString account = QStringLiteral("account.tidwen.example");
    router.add("*", account, QStringLiteral("/api/*.asmx/*"), [demoPassword](const HttpRequest& r) { return accountCall(r, *demoPassword); });
    addFavouritesRoutes(router, account, demoPassword);
    router.add("*", account, QStringLiteral("/olvenna/*"), [](const HttpRequest&) { return textReply("ok"); });
    router.add("*", account, QStringLiteral("*"), [](const HttpRequest&) { return htmlReply(QStringLiteral("Tidwen 通行证"), QString()); });

    // Push registration, reports, feedback.
    router.add("*", QStringLiteral("push.tidwen.example"), QStringLiteral("/push/push.asmx/*"), [](const HttpRequest& r) {
        const bool save = r.path.endsWith(QLatin1String("SaveMacDevice"));
        HttpReply reply = xmlReply(documents::xmlValue(QStringLiteral("string"), save ? QStringLiteral("ok") : QStringLiteral("true")));
        note(reply, QStringLiteral("deviceToken"), decipher(parameters(r).queryItemValue(QStringLiteral("deviceToken")), kDesKeyPushToken));
        return reply;
    });
    router.add("POST", QStringLiteral("report.tidwen.example"), QUrl(QString::fromLatin1(documents::kListAdRequestUrl)).path(),
               [](const HttpRequest& r) {
                   HttpReply reply = jsonReply(documents::listAdReply(r.body));
                   note(reply, QStringLiteral("slots"), QString::fromUtf8(r.body));
                   return reply;
               });
    router.add("*", QStringLiteral("report.tidwen.example"), QStringLiteral("/receive/*"), [](const HttpRequest& r) {
        HttpReply reply = textReply("ok");
        const QUrlQuery fields = parameters(r);
        const QString uid = fields.queryItemValue(QStringLiteral("uid"));
        if (!uid.isEmpty())
            note(reply, QStringLiteral("uid"), decipher(uid, kDesKeyLaunchReportUid));
        // The own ad report (the ad's address and the event) and the configuration report (its
        // version) send plain fields.
        if (r.path.endsWith(QLatin1String("/tidwenads.aspx")) || r.path.endsWith(QLatin1String("/kvup.aspx"))) {
            for (const auto& item : fields.queryItems(QUrl::FullyDecoded))
                note(reply, item.first, item.second);
        }
        return reply;
    });
    router.add("*", QStringLiteral("feedback.tidwen.example"), QStringLiteral("*"),
               [](const HttpRequest&) { return xmlReply(documents::xmlValue(QStringLiteral("boolean"), QStringLiteral("true"))); });

    // Configuration and medal files.
    const QString data = QStringLiteral("data.tidwen.example");
    router.add("GET", data, QStringLiteral("/tidwen/v2/mac.xml"), [listAds](const HttpRequest&) {
        return HttpReply::text(200, documents::encipherFile(documents::configurationXml(listAds), kDesKeyRemoteConfig),
                               "application/octet-stream");
    });
    router.add("GET", data, QStringLiteral("/quibex/medal.xml"), [](const HttpRequest&) {
        return HttpReply::text(200, documents::encipherFile(documents::medalXml(), kDesKeyMedalFile), "application/octet-stream");
    });

    // Public address pages.
    router.add("GET", QStringLiteral("ip.tidwen.example"), QStringLiteral("*"), ipReply);
    router.add("GET", QStringLiteral("www.tidwen.example"), QStringLiteral("/ip.aspx"), ipReply);

    // Pictures.
    for (const char* host : {"img.tidwen.example", "img.zefup.tidwen.example", "avatar.tidwen.example"})
        router.add("GET", QString::fromLatin1(host), QStringLiteral("*"), picture);

    // Community.
    const QString community = QStringLiteral("api.community.tidwen.example");
    router.add("*", community, QStringLiteral("/s/reply.asmx/GetReplyCount"), [c](const HttpRequest& r) { return replyCount(*c, r); });
    router.add("GET", community, QStringLiteral("/api/category"), [](const HttpRequest& r) {
        const bool one = parameters(r).hasQueryItem(QStringLiteral("categoryid"));
        return jsonReply(one ? QByteArray(R"([{"c":"","id":2,"n":"讨论"}])")
                             : QByteArray(R"([{"c":"","id":1,"n":"数码"},{"c":"","id":2,"n":"讨论"}])"));
    });

    // Web pages: article pages, votes, the rest of the sites.
    for (const char* host : {"www.tidwen.example", "m.tidwen.example"}) {
        router.add("GET", QString::fromLatin1(host), QStringLiteral("/html/*.htm"), [c](const HttpRequest& r) {
            const NewsItem* item = c->item(fileStem(r.path).toLongLong());
            if (!item)
                return notFound();
            return htmlReply(item->title, QStringLiteral("<p>%1</p>").arg(item->description.toHtmlEscaped()));
        });
    }
    router.add("GET", QStringLiteral("www.tidwen.example"), QStringLiteral("/vote/*.js"),
               [](const HttpRequest&) { return HttpReply::text(200, "var voteStr = '';", "text/javascript"); });
    router.add("*", QStringLiteral("www.tidwen.example"), QStringLiteral("/tidwen/tidwen.asmx/*"),
               [](const HttpRequest&) { return xmlReply(documents::xmlValue(QStringLiteral("string"), QStringLiteral("1"))); });
    for (const char* host : {"www.tidwen.example", "m.tidwen.example", "community.tidwen.example", "download.tidwen.example"})
        router.add("GET", QString::fromLatin1(host), QStringLiteral("*"),
                   [](const HttpRequest&) { return htmlReply(QStringLiteral("Tidwen"), QStringLiteral("<p>示例页面</p>")); });
}

}  // namespace standin::sites
