#include "CommentsTestSupport.h"
#include "HeldReply.h"

#include "comments/CommentFeedJsonp.h"
#include "comments/CommentPageBuilder.h"
#include "comments/CommentPageLoader.h"
#include "comments/CommentVoter.h"
#include "comments/CommentWriter.h"
#include "comments/HotCommentListModel.h"
#include "database/CacheLayout.h"
#include "database/SessionAccount.h"
#include "foundation/CommonFunction.h"
#include "foundation/WebFileStampStore.h"
#include "platform/Clock.h"
#include "ScopeGuard.h"

#include <QFile>
#include <QFileInfo>
#include <QUrlQuery>

TEST(CommentFeedJsonp, TakesTheArrayOutOfTheEnvelope)
{
    struct Case
    {
        QByteArray bytes;
        int count;  // -1: refused
    };
    const Case cases[] = {
        {"showcomment([])", 0},
        {"  showcomment([{\"C\":\"a\"},{\"C\":\"b\"}])\n", 2},
        {"showcomment({\"C\":\"a\"})", -1},
        {"showcomment([1,2", -1},
        {"showcomment([1,2]);", -1},
        {"callback([1])", -1},
        {"[1,2]", -1},
        {"showcomment()", -1},
        {"", -1},
    };
    for (const Case& c : cases) {
        const auto list = CommentFeedJsonp::parse(c.bytes);
        if (c.count < 0)
            EXPECT_FALSE(list) << c.bytes.toStdString();
        else
            EXPECT_EQ(list ? int(list->size()) : -1, c.count) << c.bytes.toStdString();
    }
}

TEST(CommentUrls, FolderAndEncipheredStemOfDigitIdsOnly)
{
    const QString hex = CommonFunction::EncrypteUTF8(QStringLiteral("123456"), kDesKeyRequest).toUpper();
    EXPECT_EQ(CommentUrls::commentListUrl(QStringLiteral("https://c.test/json/commentlist"), QStringLiteral("123456")),
              QStringLiteral("https://c.test/json/commentlist/123/%1.json").arg(hex));
    EXPECT_TRUE(CommentUrls::commentListUrl(QStringLiteral("b"), QStringLiteral("12")).startsWith(QStringLiteral("b/0/")));
    for (const char* bad : {"", "12a", "../1", "1 2", "-5", "1234567890123456789"})
        EXPECT_TRUE(CommentUrls::commentListUrl(QStringLiteral("b"), QString::fromLatin1(bad)).isEmpty()) << bad;
}

TEST(CommentPageBuilder, EscapesEveryServiceText)
{
    const QVariantList comments = QJsonArray{commentObject(1, QStringLiteral("<b>me</b>"), QStringLiteral("<script>alert(1)</script>&"))}
                                      .toVariantList();
    const QString html = CommentPageBuilder::pageHtml(QStringLiteral("\"><img src=x onerror=1>"),
                                                      QStringLiteral("javascript:alert(1)"), comments, 1);
    EXPECT_FALSE(html.contains(QStringLiteral("<script>alert")));
    EXPECT_TRUE(html.contains(QStringLiteral("&lt;script&gt;alert(1)&lt;/script&gt;&amp;")));
    EXPECT_TRUE(html.contains(QStringLiteral("&lt;b&gt;me&lt;/b&gt;")));
    EXPECT_FALSE(html.contains(QStringLiteral("<img src=x")));
    EXPECT_FALSE(html.contains(QStringLiteral("javascript:")));
    EXPECT_TRUE(html.contains(QStringLiteral("iMac")));  // client 14 without a device text
    EXPECT_TRUE(html.contains(CommonFunction::GetAvatarAddress(QStringLiteral("1001"))));
}

// The title links to the article's page on the web site, whether the link is the path the lists
// give or a whole address.
TEST(CommentPageBuilder, TheTitleLinksToTheArticlesPageForEitherFormOfLink)
{
    const QString site = kUrlSiteHome;
    kUrlSiteHome = QStringLiteral("http://www.tidwen.example");
    const auto restore = qScopeGuard([&] { kUrlSiteHome = site; });
    const QString page = QStringLiteral("http://www.tidwen.example/html/2026/1208/711989.htm");
    for (const QString& link : {QStringLiteral("/html/2026/1208/711989.htm"), page}) {
        EXPECT_TRUE(CommentPageBuilder::pageHtml(QStringLiteral("标题"), link, {}, 0)
                        .contains(QStringLiteral("<h1><a href=\"%1\" target=\"_blank\">标题</a></h1>").arg(page)))
            << link.toStdString();
    }
}

// ---- requests ---------------------------------------------------------------------------------------

TEST_F(CommentRequests, RefreshFetchesOnlyAChangedListAlsoWhenTheUserAsks)
{
    QJsonArray comments{commentObject(1, QStringLiteral("甲"), QStringLiteral("一"))};
    m_server.route("GET", listPath(QStringLiteral("123456")), [&comments](const LoopbackRequest&) {
        return LoopbackReply::text(200, commentJsonp(comments)).withHeader("Last-Modified", "A");
    });
    CommentPageLoader loader;
    loader.openNewsComment(QStringLiteral("123456"), QStringLiteral("标题"), QStringLiteral("http://www.tidwen.example/a.htm"));
    ASSERT_TRUE(waitUntil([&] { return !loader.isLoading(); }));
    EXPECT_EQ(loader.comments().size(), 1);
    EXPECT_EQ(count("GET"), 1);

    SignalLog pages(&loader, &CommentPageLoader::pageReady);
    for (const bool userAsked : {false, true}) {
        loader.refreshComment(userAsked);
        ASSERT_TRUE(waitUntil([&] { return !loader.isLoading(); })) << userAsked;
        EXPECT_EQ(count("HEAD"), userAsked ? 2 : 1) << userAsked;
        EXPECT_EQ(count("GET"), 1) << "an unchanged list was fetched again; user asked: " << userAsked;
        EXPECT_TRUE(pages.isEmpty()) << userAsked;
    }

    m_server.route("GET", listPath(QStringLiteral("123456")), LoopbackReply::text(200, commentJsonp(QJsonArray{
        commentObject(1, QStringLiteral("甲"), QStringLiteral("一")), commentObject(2, QStringLiteral("乙"), QStringLiteral("二"))}))
                                                                  .withHeader("Last-Modified", "B"));
    loader.refreshComment(true);
    ASSERT_TRUE(waitUntil([&] { return !loader.isLoading(); }));
    EXPECT_EQ(count("GET"), 2);
    EXPECT_EQ(loader.comments().size(), 2);

    // A broken reply keeps the list that is shown.
    m_server.route("GET", listPath(QStringLiteral("123456")), LoopbackReply::text(200, "showcomment([{").withHeader("Last-Modified", "C"));
    loader.refreshComment(false);
    ASSERT_TRUE(waitUntil([&] { return !loader.isLoading(); }));
    EXPECT_EQ(count("GET"), 3);
    EXPECT_EQ(loader.comments().size(), 2);
    EXPECT_TRUE(loader.html().contains(QStringLiteral("二")));
}

TEST_F(CommentRequests, ARefreshDuringAHungOneGivesItUpAndAsksAtOnce)
{
    const QString path = listPath(QStringLiteral("123456"));
    m_server.route("GET", path, LoopbackReply::text(200, commentJsonp(QJsonArray{commentObject(1, QStringLiteral("甲"), QStringLiteral("一"))}))
                                    .withHeader("Last-Modified", "A"));
    CommentPageLoader loader;
    loader.openNewsComment(QStringLiteral("123456"), QStringLiteral("标题"), QStringLiteral("http://www.tidwen.example/a.htm"));
    ASSERT_TRUE(waitUntil([&] { return !loader.isLoading(); }));
    HeldReply hung;
    m_server.route("HEAD", path, hung.handler(LoopbackReply::text(200, "").withHeader("Last-Modified", "A")));
    loader.refreshComment(true);
    ASSERT_TRUE(waitUntil([&] { return count("HEAD") == 1; }, 30000));

    // The first server's thread holds that reply: the next refresh goes to a server of its own.
    LoopbackHttpServer second;
    second.route("GET", path, LoopbackReply::text(200, commentJsonp(QJsonArray{commentObject(1, QStringLiteral("甲"), QStringLiteral("一")),
                                                                             commentObject(2, QStringLiteral("乙"), QStringLiteral("二"))}))
                                  .withHeader("Last-Modified", "B"));
    pointUrls({{23, second.url(QStringLiteral("/json/commentlist")).toString()}});
    loader.refreshComment(true);
    ASSERT_TRUE(waitUntil([&] { return loader.comments().size() == 2 && !loader.isLoading(); }, 30000))
        << "the refresh waited for the hung one";
    hung.release();
    ASSERT_TRUE(m_server.waitForReplyAfter(0));
    EXPECT_EQ(loader.comments().size(), 2) << "the given-up refresh still answered";
}

TEST_F(CommentRequests, AnIdThatIsNotDigitsSendsNothing)
{
    CommentPageLoader loader;
    SignalLog pages(&loader, &CommentPageLoader::pageReady);
    loader.openNewsComment(QStringLiteral("../../x"), QStringLiteral("t"), QString());
    EXPECT_EQ(pages.size(), 1);
    loader.refreshComment(true);
    // The id is refused at once; the pause is room for a request that must not be logged.
    ASSERT_TRUE(drainMainQueue());
    spin(100);
    EXPECT_EQ(m_server.requestCount(), 0);
}

TEST_F(CommentRequests, WithoutARememberedLoginTheWriterAsksForTheLogin)
{
    struct Case
    {
        bool hasAccount;
        bool loggedIn;
        bool remember;
    };
    for (const Case c : {Case{false, false, false}, Case{true, false, true}, Case{true, true, false}}) {
        if (c.hasAccount)
            rememberAccount(QStringLiteral("reader"), QStringLiteral("pw"), c.loggedIn, c.remember);
        CommentWriter writer;
        SignalLog done(&writer, &CommentWriter::finished);
        writer.show(QStringLiteral("123456"), QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"), QString());
        writer.post(QStringLiteral("好文"));
        ASSERT_EQ(done.size(), 1);
        EXPECT_EQ(std::get<0>(done.at(0)), CommentWriter::Outcome::NeedLogin);
    }
    EXPECT_EQ(m_shell->logins, 3);
    EXPECT_EQ(m_server.requestCount(), 0);
}

TEST_F(CommentRequests, AnAcceptedPostCarriesTheFieldsAndRunsTheTask)
{
    rememberAccount(QStringLiteral("reader"), QStringLiteral("p@ss"), true, true);
    m_server.route("POST", QStringLiteral("/tidwen/postComment.aspx"), LoopbackReply::text(200, "<string>1</string>"));
    CommentWriter writer;
    SignalLog done(&writer, &CommentWriter::finished);
    writer.show(QStringLiteral("123456"), QStringLiteral("778"), QStringLiteral("3"), QStringLiteral("779"), QStringLiteral("甲"));
    EXPECT_TRUE(writer.isReply());
    writer.post(QStringLiteral("  同意 & <b>  "));
    ASSERT_TRUE(waitUntil([&] { return done.size() == 1; }));
    EXPECT_EQ(std::get<0>(done.at(0)), CommentWriter::Outcome::Posted);
    EXPECT_EQ(m_shell->tasks, 1);

    ASSERT_EQ(m_server.requestCount(), 1);
    const QUrlQuery form(QString::fromUtf8(m_server.requests().first().body).replace(QLatin1Char('+'), QLatin1Char(' ')));
    EXPECT_EQ(form.queryItemValue(QStringLiteral("newsid")), QStringLiteral("123456"));
    EXPECT_EQ(form.queryItemValue(QStringLiteral("parentid")), QStringLiteral("778"));
    EXPECT_EQ(form.queryItemValue(QStringLiteral("content"), QUrl::FullyDecoded), QStringLiteral("同意 & <b>"));
    EXPECT_EQ(form.queryItemValue(QStringLiteral("city")), QStringLiteral("c0ffee"));
    EXPECT_EQ(form.queryItemValue(QStringLiteral("client")), QStringLiteral("14"));
    EXPECT_EQ(form.queryItemValue(QStringLiteral("ram")), CommonFunction::getDeviceRamSize());
    EXPECT_FALSE(form.queryItemValue(QStringLiteral("ram")).isEmpty());
    EXPECT_EQ(CommonFunction::DecypteUTF8(form.queryItemValue(QStringLiteral("userHash")), kDesKeyRequest),
              QStringLiteral("reader") + QChar(0x0C) + QStringLiteral("p@ss"));
}

TEST_F(CommentRequests, ARefusedPostRunsNoTaskAndOddInputSendsNothing)
{
    rememberAccount(QStringLiteral("reader"), QStringLiteral("pw"), true, true);
    m_server.route("POST", QStringLiteral("/tidwen/postComment.aspx"), LoopbackReply::text(500, "no"));
    CommentWriter writer;
    SignalLog done(&writer, &CommentWriter::finished);
    writer.show(QStringLiteral("123456"), QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"), QString());
    writer.post(QStringLiteral("x"));
    ASSERT_TRUE(waitUntil([&] { return done.size() == 1; }));
    EXPECT_EQ(std::get<0>(done.at(0)), CommentWriter::Outcome::Failed);
    EXPECT_EQ(m_shell->tasks, 0);

    writer.post(QStringLiteral("   "));
    EXPECT_EQ(std::get<0>(done.last()), CommentWriter::Outcome::EmptyText);
    writer.show(QStringLiteral("12;drop"), QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"), QString());
    writer.post(QStringLiteral("x"));
    EXPECT_EQ(std::get<0>(done.last()), CommentWriter::Outcome::BadIds);
    EXPECT_EQ(m_server.requestCount(), 1);
}

TEST_F(CommentRequests, HotCommentRowsComeFromTheChannelList)
{
    const auto restore = onScopeExit([] {
        Clock::reset();
        WebFileStampStore::setInstance(nullptr);
    });
    Clock::setNow(QDateTime::currentDateTimeUtc());
    DatabaseOperate::installWebFileStampStore();
    auto channel = std::make_shared<NewsListData>();
    channel->iListID = 153;
    channel->ListUrl = m_server.url(QStringLiteral("/api/comment/hotcommentlist")).toString();
    QJsonArray rows{commentObject(5, QStringLiteral("甲"), QStringLiteral("一")), QJsonValue(7),
                    commentObject(6, QStringLiteral("乙"), QStringLiteral("二"))};
    m_server.route("GET", QStringLiteral("/api/comment/hotcommentlist"),
                   LoopbackReply::text(200, QJsonDocument(rows).toJson(), "application/json"));
    HotCommentListModel model(channel);
    SignalLog finished(&model, &HotCommentListModel::loadFinished);
    model.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return finished.size() == 1; }));
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.data(model.index(1), HotCommentListModel::CommentRole).toString(), QStringLiteral("二"));
    EXPECT_EQ(model.data(model.index(1), HotCommentListModel::UserNameRole).toString(), QStringLiteral("乙"));
    EXPECT_EQ(model.data(model.index(0), HotCommentListModel::SupportRole).toLongLong(), 10);
    EXPECT_EQ(model.comments().at(1)->rank, 2);
    EXPECT_EQ(model.newslistData()->iListID, 153);

    // A second click on "上热评" within 180 s sends nothing: 153 keeps its stamp under type 0.
    model.showByClick(true);
    EXPECT_FALSE(model.isLoading());
    EXPECT_EQ(m_server.requestCount(), 1);
    Clock::advance(180 * 1000);
    model.showByClick(true);
    ASSERT_TRUE(waitUntil([&] { return finished.size() == 2; }));
    EXPECT_EQ(m_server.requestCount(), 2);

    // A reply that is not a list keeps the rows.
    m_server.route("GET", QStringLiteral("/api/comment/hotcommentlist"), LoopbackReply::text(200, "{\"a\":1}"));
    model.showByClick(false);
    ASSERT_TRUE(waitUntil([&] { return finished.size() == 3; }));
    EXPECT_FALSE(std::get<0>(finished.last()));
    EXPECT_EQ(model.rowCount(), 2);
}

TEST_F(CommentRequests, AnOpenedHotCommentIsMarkedReadAndStaysSoAfterAReload)
{
    auto channel = std::make_shared<NewsListData>();
    channel->iListID = 153;
    channel->ListUrl = m_server.url(QStringLiteral("/api/comment/hotcommentlist")).toString();
    const QJsonArray rows{commentObject(5, QStringLiteral("甲"), QStringLiteral("一")),
                          commentObject(6, QStringLiteral("乙"), QStringLiteral("二"))};
    m_server.route("GET", QStringLiteral("/api/comment/hotcommentlist"),
                   LoopbackReply::text(200, QJsonDocument(rows).toJson(), "application/json"));
    HotCommentListModel model(channel);
    SignalLog finished(&model, &HotCommentListModel::loadFinished);
    model.showByClick(false);
    ASSERT_TRUE(waitUntil([&] { return finished.size() == 1; }));
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_FALSE(model.data(model.index(1), HotCommentListModel::HaveReadRole).toBool());

    int changed = 0;
    QObject::connect(&model, &QAbstractItemModel::dataChanged, [&changed] { ++changed; });
    model.markRead(1);
    EXPECT_TRUE(model.data(model.index(1), HotCommentListModel::HaveReadRole).toBool());
    EXPECT_EQ(changed, 1);

    HotCommentListModel again(channel);
    SignalLog reloaded(&again, &HotCommentListModel::loadFinished);
    again.showByClick(false);
    ASSERT_TRUE(waitUntil([&] { return reloaded.size() == 1; }));
    ASSERT_EQ(again.rowCount(), 2);
    EXPECT_FALSE(again.data(again.index(0), HotCommentListModel::HaveReadRole).toBool());
    EXPECT_TRUE(again.data(again.index(1), HotCommentListModel::HaveReadRole).toBool());
}

// The last list reply is kept in the news lists' cache folder: a later start, or a tab click on
// an empty list, shows it at once, before (and without) an answer from the network.
TEST_F(CommentRequests, HotCommentRowsComeFromTheCacheWhileTheServerIsDown)
{
    auto server = std::make_unique<LoopbackHttpServer>();
    auto channel = std::make_shared<NewsListData>();
    channel->iListID = 153;
    channel->ListUrl = server->url(QStringLiteral("/api/comment/hotcommentlist")).toString();
    const QByteArray reply = commentJsonp({commentObject(5, QStringLiteral("甲"), QStringLiteral("一")),
                                           commentObject(6, QStringLiteral("乙"), QStringLiteral("二"))});
    server->route("GET", QStringLiteral("/api/comment/hotcommentlist"), LoopbackReply::text(200, reply, "text/plain"));
    {
        HotCommentListModel first(channel);
        SignalLog finished(&first, &HotCommentListModel::loadFinished);
        first.showByClick(true);
        ASSERT_TRUE(waitUntil([&] { return finished.size() == 1; }));
        ASSERT_EQ(first.rowCount(), 2);
        first.markRead(1);
        // A reply without rows leaves the kept one in place.
        server->route("GET", QStringLiteral("/api/comment/hotcommentlist"), LoopbackReply::text(200, "[]", "text/plain"));
        first.showByClick(false);
        ASSERT_TRUE(waitUntil([&] { return finished.size() == 2; }));
    }
    const QString cacheFile = HotCommentListModel::filePathForUrl(channel->ListUrl);
    EXPECT_EQ(QFileInfo(cacheFile).absolutePath(), CacheLayout::folderPath(CacheLayout::kNewsListFolder));
    EXPECT_EQ(QFileInfo(cacheFile).fileName(), QString::number(CacheLayout::urlHash(channel->ListUrl), 16));
    QFile kept(cacheFile);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), reply);

    server.reset();
    HotCommentListModel nextStart(channel);
    SignalLog finished(&nextStart, &HotCommentListModel::loadFinished);
    nextStart.showByClick(true);
    ASSERT_EQ(nextStart.rowCount(), 2);
    EXPECT_EQ(nextStart.data(nextStart.index(0), HotCommentListModel::CommentRole).toString(), QStringLiteral("一"));
    EXPECT_FALSE(nextStart.data(nextStart.index(0), HotCommentListModel::HaveReadRole).toBool());
    EXPECT_TRUE(nextStart.data(nextStart.index(1), HotCommentListModel::HaveReadRole).toBool());
    ASSERT_TRUE(waitUntil([&] { return finished.size() == 1; }));
    EXPECT_FALSE(std::get<0>(finished.last()));
    EXPECT_EQ(nextStart.rowCount(), 2);
}

// ---- votes ------------------------------------------------------------------------------------------

class CommentVotes : public CommentRequests
{
protected:
    void SetUp() override
    {
        CommentRequests::SetUp();
        pointUrls({{23, m_server.url(QStringLiteral("/json/commentlist")).toString()},
                   {5, m_server.url(QStringLiteral("/api/comment.asmx/CommentVote")).toString()},
                   {6, m_server.url(QStringLiteral("/api/comment.asmx/CancelCommentVote")).toString()}});
        for (const char* call : {"/api/comment.asmx/CommentVote", "/api/comment.asmx/CancelCommentVote"})
            m_server.route("POST", QString::fromLatin1(call), LoopbackReply::text(200, "<string>1</string>"));
    }

    // The form of the request that went to the path, or nothing.
    std::optional<QUrlQuery> formSentTo(const QString& path) const
    {
        for (const LoopbackRequest& request : m_server.requests())
            if (request.path == path)
                return QUrlQuery(QString::fromUtf8(request.body));
        return std::nullopt;
    }
};

TEST_F(CommentVotes, AVoteIsSentStoredShownAsTheUsersOwnThenCancelledAndRemoved)
{
    rememberAccount(QStringLiteral("reader"), QStringLiteral("pw"), true, true);
    m_server.route("GET", listPath(QStringLiteral("123456")),
                   LoopbackReply::text(200, commentJsonp(QJsonArray{commentObject(7, QStringLiteral("甲"), QStringLiteral("一"))})));
    CommentPageLoader loader;
    SignalLog pages(&loader, &CommentPageLoader::pageReady);
    loader.openNewsComment(QStringLiteral("123456"), QStringLiteral("标题"), QStringLiteral("http://www.tidwen.example/a.htm"));
    ASSERT_TRUE(waitUntil([&] { return !loader.isLoading(); }));
    EXPECT_FALSE(loader.html().contains(QStringLiteral("class=\"support voted\"")));
    const QUrl castLink = CommentPageBuilder::voteLinkUrl({QStringLiteral("7"), CommentVoter::Support, true});
    EXPECT_TRUE(loader.html().contains(castLink.toString(QUrl::FullyEncoded).toHtmlEscaped()));

    CommentVoter voter;
    SignalLog votes(&voter, &CommentVoter::voteFinished);
    voter.commentVoteCommentId(QStringLiteral("7"), CommentVoter::Support, false, true);
    ASSERT_TRUE(waitUntil([&] { return votes.size() == 1; })) << "the vote never finished";
    EXPECT_EQ(std::get<3>(votes.last()), CommentVoter::Outcome::Stored);
    const auto sent = formSentTo(QStringLiteral("/api/comment.asmx/CommentVote"));
    ASSERT_TRUE(sent);
    EXPECT_EQ(CommonFunction::DecypteUTF8(sent->queryItemValue(QStringLiteral("strCommentID")), kDesKeyRequest),
              QStringLiteral("7"));
    EXPECT_EQ(sent->queryItemValue(QStringLiteral("type")), QStringLiteral("1"));
    EXPECT_EQ(CommonFunction::DecypteUTF8(sent->queryItemValue(QStringLiteral("userHash")), kDesKeyRequest),
              QStringLiteral("reader") + QChar(0x0C) + QStringLiteral("pw"))
        << sent->toString().toStdString();
    EXPECT_EQ(CommentVoter::recordedVote(QStringLiteral("7")), CommentVoter::Support);

    // The next build of the page marks it: the support count is the user's own and cancels it;
    // oppose is no longer offered.
    loader.applyVote(QStringLiteral("7"), CommentVoter::Support, true);
    const QUrl cancelLink = CommentPageBuilder::voteLinkUrl({QStringLiteral("7"), CommentVoter::Support, false});
    EXPECT_TRUE(loader.html().contains(QStringLiteral("class=\"support voted\"")));
    EXPECT_TRUE(loader.html().contains(cancelLink.toString(QUrl::FullyEncoded).toHtmlEscaped()));
    EXPECT_TRUE(loader.html().contains(QStringLiteral("支持(15)")));  // 14 served, plus the user's
    EXPECT_TRUE(loader.html().contains(QStringLiteral("<span class=\"against\">反对(1)</span>")));

    // A second vote on the same comment, and an oppose, send nothing.
    voter.commentVoteCommentId(QStringLiteral("7"), CommentVoter::Support, false, true);
    voter.commentVoteCommentId(QStringLiteral("7"), CommentVoter::Oppose, false, true);
    EXPECT_EQ(votes.size(), 3);
    EXPECT_EQ(std::get<3>(votes.last()), CommentVoter::Outcome::Refused);
    EXPECT_EQ(m_server.requestCount(), 2);

    voter.commentVoteCommentId(QStringLiteral("7"), CommentVoter::Support, false, false);
    ASSERT_TRUE(waitUntil([&] { return votes.size() == 4; })) << "the cancellation never finished";
    EXPECT_EQ(std::get<3>(votes.last()), CommentVoter::Outcome::Stored);
    const auto cancelled = formSentTo(QStringLiteral("/api/comment.asmx/CancelCommentVote"));
    ASSERT_TRUE(cancelled);
    EXPECT_EQ(cancelled->queryItemValue(QStringLiteral("type")), QStringLiteral("1"));
    EXPECT_EQ(CommentVoter::recordedVote(QStringLiteral("7")), CommentVoter::None);
    loader.applyVote(QStringLiteral("7"), CommentVoter::Support, false);
    EXPECT_FALSE(loader.html().contains(QStringLiteral("class=\"support voted\"")));
    EXPECT_TRUE(loader.html().contains(QStringLiteral("支持(14)")));
}

TEST_F(CommentVotes, ARefusedVoteIsNotStoredAndOddInputSendsNothing)
{
    m_server.route("POST", QStringLiteral("/api/comment.asmx/CommentVote"), LoopbackReply::text(500, "no"));
    CommentVoter voter;
    SignalLog votes(&voter, &CommentVoter::voteFinished);
    voter.commentVoteCommentId(QStringLiteral("8"), CommentVoter::Oppose, true, true);
    ASSERT_TRUE(waitUntil([&] { return votes.size() == 1; }));
    EXPECT_EQ(std::get<3>(votes.last()), CommentVoter::Outcome::Failed);
    EXPECT_EQ(CommentVoter::recordedVote(QStringLiteral("8")), CommentVoter::None);
    EXPECT_EQ(m_server.requestCount(), 1);

    voter.commentVoteCommentId(QStringLiteral("8;1"), CommentVoter::Support, false, true);
    voter.commentVoteCommentId(QStringLiteral("8"), 3, false, true);
    voter.commentVoteCommentId(QStringLiteral("8"), CommentVoter::Support, false, false);  // nothing to cancel
    EXPECT_EQ(votes.size(), 4);
    EXPECT_EQ(m_server.requestCount(), 1);
}

TEST_F(CommentVotes, ALoginThatKeepsNoPasswordPostsAndVotesWithThePasswordOfThisRun)
{
    rememberAccount(QStringLiteral("reader"), QString(), true, false);
    SessionAccount::loggedIn(QStringLiteral("Reader"), QStringLiteral("p@ss"));
    const auto forget = onScopeExit([] { SessionAccount::loggedOut(); });
    pointUrls({{5, m_server.url(QStringLiteral("/api/comment.asmx/CommentVote")).toString()},
               {46, m_server.url(QStringLiteral("/tidwen/postComment.aspx")).toString()}});
    m_server.route("POST", QStringLiteral("/tidwen/postComment.aspx"), LoopbackReply::text(200, "<string>1</string>"));

    CommentWriter writer;
    SignalLog posted(&writer, &CommentWriter::finished);
    writer.show(QStringLiteral("123456"), QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"), QString());
    writer.post(QStringLiteral("好文"));
    ASSERT_TRUE(waitUntil([&] { return posted.size() == 1; }));
    EXPECT_EQ(std::get<0>(posted.at(0)), CommentWriter::Outcome::Posted);
    EXPECT_EQ(m_shell->logins, 0);

    CommentVoter voter;
    SignalLog votes(&voter, &CommentVoter::voteFinished);
    voter.commentVoteCommentId(QStringLiteral("7"), CommentVoter::Support, false, true);
    ASSERT_TRUE(waitUntil([&] { return votes.size() == 1; }));

    for (const QString& path : {QStringLiteral("/tidwen/postComment.aspx"), QStringLiteral("/api/comment.asmx/CommentVote")}) {
        const auto sent = formSentTo(path);
        ASSERT_TRUE(sent) << path.toStdString();
        EXPECT_EQ(CommonFunction::DecypteUTF8(sent->queryItemValue(QStringLiteral("userHash")), kDesKeyRequest),
                  QStringLiteral("reader") + QChar(0x0C) + QStringLiteral("p@ss"))
            << path.toStdString();
    }
}
