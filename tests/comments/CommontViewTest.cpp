#include "CommentsTestSupport.h"
#include "EndImageLoads.h"
#include "RecordingUrlOpener.h"
#include "WebClick.h"
#include "WebViewTaming.h"

#include "comments/CommentFeedJsonp.h"
#include "comments/CommentPageLoader.h"
#include "comments/CommentVoter.h"
#include "comments/views/CommontView.h"
#include "comments/views/HotCommntTableViewController.h"
#include "comments/views/WriteCommentWD.h"
#include "comments/HotCommentListModel.h"

#include "foundation/GlobalValues.h"
#include "ui/imageview/ImageView.h"
#include "ui/imageview/WebCache.h"

#include <QApplication>
#include <QListView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWebEnginePage>


class CommontViewPage : public LoopbackStoreTest
{
protected:
    static qsizetype rowsOnPage(CommontView& view)
    {
        return evaluate(view, QStringLiteral("document.querySelectorAll('#comments .comment').length")).toInt();
    }
    void SetUp() override
    {
        LoopbackStoreTest::SetUp();
        pointUrls({{23, m_server.url(QStringLiteral("/json/commentlist")).toString()}});
    }
    // Serves the comments of article 4321 and opens its comment page in the view, shown; true
    // once the page is in the view.
    bool openArticleComments(CommontView& view, const QJsonArray& comments)
    {
        m_server.route("GET", QUrl(CommentUrls::commentListUrl(kUrlCommentList, QStringLiteral("4321"))).path(),
                       LoopbackReply::text(200, commentJsonp(comments)));
        view.resize(600, 500);
        view.show();
        view.openNewsComment(QStringLiteral("4321"), QStringLiteral("文章"), QStringLiteral("http://www.tidwen.example/4321.htm"));
        return waitUntil([&] { return rowsOnPage(view) == comments.size(); }, 30000);
    }
    LoopbackHttpServer m_server;
};

TEST_F(CommontViewPage, RowsAreTheCommentsServedAndMarkupShowsAsText)
{
    const QJsonArray comments{commentObject(1, QStringLiteral("甲"), QStringLiteral("第一")),
                              commentObject(2, QStringLiteral("乙"), QStringLiteral("<script>document.title='x'</script>")),
                              commentObject(3, QStringLiteral("<i>丙</i>"), QStringLiteral("第三"))};
    CommontView view;
    ASSERT_TRUE(openArticleComments(view, comments));

    EXPECT_EQ(evaluate(view, QStringLiteral("document.querySelectorAll('#comments .comment').length")).toInt(), 3);
    EXPECT_EQ(evaluate(view, QStringLiteral("Array.from(document.querySelectorAll('.comment .name')).map(e => e.textContent).join('|')"))
                  .toString(),
              QStringLiteral("甲|乙|<i>丙</i>"));
    EXPECT_EQ(evaluate(view, QStringLiteral("document.querySelectorAll('.comment')[1].querySelector('.text').textContent")).toString(),
              QStringLiteral("<script>document.title='x'</script>"));
    EXPECT_EQ(evaluate(view, QStringLiteral("document.querySelectorAll('#comments script, #comments i').length")).toInt(), 0);
    EXPECT_NE(evaluate(view, QStringLiteral("document.title")).toString(), QStringLiteral("x"));

    // The article's family, then the sans face, never the engine's serif default.
    EXPECT_EQ(evaluate(view, QStringLiteral("getComputedStyle(document.body).fontFamily")).toString().toStdString(), "PingFangSC-Regular, sans-serif");
    view.SetFontFamily(QStringLiteral("Noto Serif"));
    EXPECT_EQ(evaluate(view, QStringLiteral("getComputedStyle(document.body).fontFamily")).toString().toStdString(), "\"Noto Serif\", sans-serif");
}

TEST_F(CommontViewPage, ClickingSupportVotesAndThePageShowsTheUsersVote)
{
    pointUrls({{23, m_server.url(QStringLiteral("/json/commentlist")).toString()},
               {5, m_server.url(QStringLiteral("/api/comment.asmx/CommentVote")).toString()}});
    m_server.route("POST", QStringLiteral("/api/comment.asmx/CommentVote"), LoopbackReply::text(200, "<string>1</string>"));
    m_server.route("GET", QUrl(CommentUrls::commentListUrl(kUrlCommentList, QStringLiteral("4321"))).path(),
                   LoopbackReply::text(200, commentJsonp(QJsonArray{commentObject(9, QStringLiteral("甲"), QStringLiteral("好"))})));
    CommontView view;
    view.resize(600, 500);
    view.show();
    view.openNewsComment(QStringLiteral("4321"), QStringLiteral("文章"), QStringLiteral("http://www.tidwen.example/4321.htm"));
    ASSERT_TRUE(waitUntil([&] { return rowsOnPage(view) == 1; }, 30000)) << "the comment page never showed";

    evaluate(view, QStringLiteral("document.querySelector('.comment .support').click()"));
    const QString voted = QStringLiteral("(function(){var e=document.querySelector('.comment .support.voted');return e?e.textContent:'';})()");
    ASSERT_TRUE(waitUntil([&] { return evaluate(view, voted).toString() == QStringLiteral("支持(19)"); }, 30000))
        << "the page never showed the vote: " << qPrintable(evaluate(view, voted).toString());
    EXPECT_EQ(countRequests(m_server.requests(), "POST"), 1);
    EXPECT_EQ(CommentVoter::recordedVote(QStringLiteral("9")), CommentVoter::Support);
}

namespace {
QJsonArray manyComments()
{
    QJsonArray comments;
    for (int id = 1; id <= 30; ++id)
        comments.append(commentObject(id, QStringLiteral("读者%1").arg(id), QStringLiteral("第%1条").arg(id)));
    return comments;
}
}  // namespace

// A vote on a comment below the first screen changes its counts where the reader is.
TEST_F(CommontViewPage, AVoteOnALowerCommentKeepsThePagesPlace)
{
    pointUrls({{23, m_server.url(QStringLiteral("/json/commentlist")).toString()},
               {5, m_server.url(QStringLiteral("/api/comment.asmx/CommentVote")).toString()}});
    m_server.route("POST", QStringLiteral("/api/comment.asmx/CommentVote"), LoopbackReply::text(200, "<string>1</string>"));
    CommontView view;
    ASSERT_TRUE(openArticleComments(view, manyComments()));
    ASSERT_TRUE(clickElement(&view, QStringLiteral(".comment[data-ci=\"25\"] .support")));
    const double place = evaluate(view, QStringLiteral("scrollY")).toDouble();
    ASSERT_GT(place, 0);
    const QString voted = QStringLiteral("(document.querySelector('.comment[data-ci=\"25\"] .support.voted')||{}).textContent");
    ASSERT_TRUE(waitUntil([&] { return evaluate(view, voted).toString() == QStringLiteral("支持(51)"); }, 30000))
        << "the page never showed the vote";
    EXPECT_EQ(evaluate(view, QStringLiteral("scrollY")).toDouble(), place);
    EXPECT_EQ(rowsOnPage(view), 30);
}

// The comments the program put there are the view's only page: its history, its menus, the
// mouse's buttons and keys take the reader nowhere, and its zoom stays at 1.
TEST_F(CommontViewPage, NothingTheReaderDoesLeavesTheCommentsShown)
{
    CommontView view;
    ASSERT_TRUE(openArticleComments(view, manyComments()));
    m_server.route("GET", QUrl(CommentUrls::commentListUrl(kUrlCommentList, QStringLiteral("4322"))).path(),
                   LoopbackReply::text(200, commentJsonp(manyComments())));
    view.openNewsComment(QStringLiteral("4322"), QStringLiteral("另一篇"), QStringLiteral("http://www.tidwen.example/4322.htm"));
    const auto onScreen = [&] {
        return evaluate(view, QStringLiteral("document.querySelector('h1').textContent+document.querySelectorAll('.comment').length"))
                   .toString()
            == QStringLiteral("另一篇30");
    };
    ASSERT_TRUE(waitUntil(onScreen, 30000)) << "the second article's comments never showed";
    expectStaysOnItsPage(&view, onScreen,
                         {{QStringLiteral(".comment .name"), false, {}, {}},
                          {QStringLiteral(".comment .support"), false, {}, {}},
                          {QStringLiteral("h1 a"), false, {QStringLiteral("复制链接地址")}, {QStringLiteral("http://www.tidwen.example/4322.htm")}},
                          {QStringLiteral(".comment .text"), true, {QStringLiteral("复制")}, {QStringLiteral("第1条")}}});
}

TEST_F(CommontViewPage, WriteWindowClosesOnlyAfterAnAcceptedPost)
{
    auto shell = std::make_shared<RecordingCommentsShell>();
    CommentsShell::install(shell);
    pointUrls({{46, m_server.url(QStringLiteral("/post")).toString()}});
    rememberAccount(QStringLiteral("reader"), QStringLiteral("pw"), true, true);
    m_server.route("POST", QStringLiteral("/post"), LoopbackReply::text(503, "busy"));
    WriteCommentWD window;
    window.show(QStringLiteral("4321"), QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"), QString());
    window.textBox()->setPlainText(QStringLiteral("好"));
    window.sendButton()->click();
    ASSERT_TRUE(waitUntil([&] { return window.statusText() == QStringLiteral("发表失败，请稍后再试"); }));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(shell->tasks, 0);

    m_server.route("POST", QStringLiteral("/post"), LoopbackReply::text(200, "<string>1</string>"));
    window.sendButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !window.isVisible(); }));
    EXPECT_EQ(shell->tasks, 1);
    CommentsShell::install(nullptr);
}

TEST_F(CommontViewPage, HotCommentListDrawsItsRows)
{
    auto channel = std::make_shared<NewsListData>();
    channel->iListID = 153;
    HotCommntTableViewController* list = HotCommntTableViewController::initWithNewsListData(channel);
    list->resize(320, 300);
    list->model()->setComments(*HotCommentListModel::parse(
        QJsonDocument(QJsonArray{commentObject(1, QStringLiteral("甲"), QStringLiteral("一")),
                                 commentObject(2, QStringLiteral("乙"), QStringLiteral("二"))})
            .toJson()));
    list->show();
    const QImage image = list->grab().toImage();
    // Text pixels in the first row, a plain background below the last row.
    bool ink = false;
    for (int y = 8; y < 40 && !ink; ++y)
        for (int x = 12; x < 200 && !ink; ++x)
            ink = qGray(image.pixel(x, y)) < 128;
    EXPECT_TRUE(ink);
    EXPECT_EQ(list->listView()->model()->rowCount(), 2);
    EXPECT_EQ(list->newslistData(), channel);
    // Rows are white by day and dark at night, sampled at the right end of the first row.
    const QPoint blank(list->listView()->viewport()->width() - 4, 60);
    EXPECT_EQ(list->listView()->viewport()->grab().toImage().pixelColor(blank), QColor(Qt::white));
    const int32_t theme = gThemeMode;
    gThemeMode = 2;
    EXPECT_EQ(list->listView()->viewport()->grab().toImage().pixelColor(blank), QColor(0x26, 0x26, 0x26));
    gThemeMode = theme;
    delete list;
}

namespace {
QList<CommentFeedPtr> twoHotComments()
{
    return *HotCommentListModel::parse(QJsonDocument(QJsonArray{commentObject(1, QStringLiteral("甲"), QStringLiteral("一")),
                                                                commentObject(2, QStringLiteral("乙"), QStringLiteral("二"))})
                                           .toJson());
}
}  // namespace

// An opened row's title is drawn in the lists' read grey, the others in the unread ink.
TEST_F(CommontViewPage, AnOpenedHotCommentRowIsDrawnInTheReadColour)
{
    auto channel = std::make_shared<NewsListData>();
    channel->iListID = 153;
    HotCommntTableViewController list(channel);
    list.resize(320, 300);
    list.model()->setComments(twoHotComments());
    list.model()->markRead(1);
    list.show();
    const QImage image = list.listView()->viewport()->grab().toImage();
    // The darkest pixel of each row's title line is the pen that drew it.
    const auto titleInk = [&](int row) {
        const QRect rect = list.listView()->visualRect(list.model()->index(row, 0));
        int darkest = 255;
        for (int y = rect.top() + 8; y < rect.top() + 26; ++y)
            for (int x = HotCommntTableViewController::kAvatarRect.right() + 11; x < rect.right() - 12; ++x)
                darkest = std::min(darkest, qGray(image.pixel(x, y)));
        return darkest;
    };
    EXPECT_LT(titleInk(0), 60);
    EXPECT_EQ(titleInk(1), 118);
    EXPECT_EQ(list.model()->index(1, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(118, 118, 118));
    EXPECT_FALSE(list.model()->index(0, 0).data(Qt::ForegroundRole).isValid());
    endImageLoads();
}

// The hot-comment list takes the news lists' keys: Down and Up open the next and the previous
// row, Return the open one again; the open row is marked by day and by night, also in new rows.
TEST_F(CommontViewPage, HotCommentRowsOpenFromTheKeys)
{
    auto channel = std::make_shared<NewsListData>();
    channel->iListID = 153;
    HotCommntTableViewController list(channel);
    list.resize(320, 400);
    QJsonArray rows;
    for (int id : {1, 2, 3}) {
        QJsonObject row = commentObject(id, QStringLiteral("甲"), QStringLiteral("一"));
        row[QStringLiteral("I")] = 100 + id;
        rows.append(row);
    }
    list.model()->setComments(*HotCommentListModel::parse(QJsonDocument(rows).toJson()));
    list.show();
    SignalLog chosen(&list, &HotCommntTableViewController::hotCommentChosen);
    for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_Return}) {
        for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent event(type, key, Qt::NoModifier);
            QApplication::sendEvent(list.listView(), &event);
        }
    }
    QStringList opened;
    for (qsizetype i = 0; i < chosen.size(); ++i)
        opened.append(std::get<0>(chosen.at(i)));
    EXPECT_EQ(opened, (QStringList{QStringLiteral("101"), QStringLiteral("102"), QStringLiteral("101"), QStringLiteral("101")}));
    EXPECT_GE(openRowContrast(list.listView(), 0, 1), 19);
    list.model()->setComments(list.model()->comments());
    EXPECT_GE(openRowContrast(list.listView(), 0, 1), 19) << "new rows";
    endImageLoads();
}

// The page's title links to the article on the web site in a new window: the browser opens it.
TEST_F(CommontViewPage, TheTitleLinkOpensInTheBrowser)
{
    auto browser = std::make_shared<RecordingUrlOpener>();
    const std::shared_ptr<UrlOpener> previous = UrlOpener::shared();
    UrlOpener::install(browser);
    const auto restore = qScopeGuard([&] { UrlOpener::install(previous); });
    CommontView view;
    ASSERT_TRUE(openArticleComments(view, {commentObject(1, QStringLiteral("甲"), QStringLiteral("一"))}));
    ASSERT_EQ(evaluate(view, QStringLiteral("document.querySelectorAll('a[target=\"_blank\"]').length")).toInt(), 1);
    ASSERT_TRUE(clickElement(&view, QStringLiteral("a[target=\"_blank\"]")));
    ASSERT_TRUE(waitUntil([&] { return !browser->urls.isEmpty(); })) << "the title link reached no browser";
    EXPECT_EQ(browser->urls, QList<QUrl>{QUrl(QStringLiteral("http://www.tidwen.example/4321.htm"))});
    EXPECT_EQ(evaluate(view, QStringLiteral("document.querySelectorAll('#comments .comment').length")).toInt(), 1);
}

// A row asks for its article and is marked read; each row has its commenter's avatar view.
TEST_F(CommontViewPage, HotCommentRowsAskForTheirArticleAndShowAvatars)
{
    auto channel = std::make_shared<NewsListData>();
    channel->iListID = 153;
    HotCommntTableViewController list(channel);
    list.resize(320, 400);
    list.model()->setComments(twoHotComments());
    list.show();
    for (int row = 0; row < 2; ++row) {
        QWidget* holder = list.listView()->indexWidget(list.model()->index(row, 0));
        ImageView* avatar = holder ? holder->findChild<ImageView*>() : nullptr;
        ASSERT_NE(avatar, nullptr) << "row " << row << " has no avatar view";
        EXPECT_EQ(WebCache::sd_imageURL(avatar), list.model()->index(row, 0).data(HotCommentListModel::AvatarRole).toUrl());
        EXPECT_EQ(avatar->geometry(), HotCommntTableViewController::kAvatarRect);
    }
    EXPECT_TRUE(list.model()->index(0, 0).data(HotCommentListModel::AvatarRole).toUrl().isValid());

    SignalLog chosen(&list, &HotCommntTableViewController::hotCommentChosen);
    const QModelIndex second = list.model()->index(1, 0);
    const QPoint at = list.listView()->visualRect(second).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, list.listView()->viewport()->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.listView()->viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, list.listView()->viewport()->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(list.listView()->viewport(), &release);
    ASSERT_EQ(chosen.size(), 1);
    EXPECT_EQ(std::get<0>(chosen.last()), second.data(HotCommentListModel::NewsIdRole).toString());
    EXPECT_EQ(std::get<1>(chosen.last()), second.data(HotCommentListModel::NewsTitleRole).toString());
    EXPECT_TRUE(list.model()->comments().at(1)->isHaveRead);
    EXPECT_FALSE(list.model()->comments().at(0)->isHaveRead);
    endImageLoads();
}
