// The shell's part of the road: a comment posted with the demo account through the write-comment
// window and the login window (the password not remembered), its toast and the comment page that
// reloads with it; the main window growing wider with the split view pinned to its right edge; the
// article's hot comments opening its comment page.

#include "RoadFixture.h"

#include "ScopeGuard.h"
#include "TestEnvironment.h"
#include "account/AccountRequests.h"
#include "account/views/UserLandWD.h"
#include "app/AppDelegate.h"
#include "app/views/MainSplitViewController.h"
#include "app/views/MainViewController.h"
#include "app/views/MainWindowController.h"
#include "article/views/ArticleNeighbours.h"
#include "article/views/ArticleWebPage.h"
#include "article/views/RightViewController.h"
#include "comments/CommentPageLoader.h"
#include "comments/views/CommontView.h"
#include "comments/views/WriteCommentWD.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace road {
namespace {

const QString kCommentHost = QStringLiteral("comment.tidwen.example");

template <typename Window>
Window* visibleWindow()
{
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<Window*>(top); window && window->isVisible())
            return window;
    }
    return nullptr;
}

// The comment page's text as the web view shows it.
QString commentPageText(CommontView* view)
{
    return view ? runScript(view->page(), QStringLiteral("document.body ? document.body.innerText : ''")).toString()
                : QString();
}

}  // namespace

TEST_F(Road, ACommentPostedWithTheDemoAccountShowsItsToastAndReloadsTheCommentPage)
{
    RightViewController* pane = detailPane();
    ASSERT_TRUE(pane);
    ASSERT_TRUE(waitUntil([&] { return pane->feed() && !pane->feed()->guid.isEmpty(); }, 30000))
        << "waited for the first article to open by itself";
    const QString newsId = pane->feed()->guid;

    // Whatever happens below, the next tests find nobody logged in and no window in front.
    ScopeExit cleanUp([] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (qobject_cast<QDialog*>(top) && top->isVisible())
                top->hide();
        }
        AccountRequests::logOut();
    });

    // The comment page of the article, with the stand-in's comments.
    pane->toolBar()->commentBtn->click();
    CommontView* commentView = pane->findChild<CommontView*>();
    ASSERT_TRUE(commentView);
    ASSERT_TRUE(waitUntil([&] { return commentView->isVisible() && commentView->loader()->comments().size() >= 12 &&
                                       !commentView->loader()->isLoading(); }, 20000))
        << "waited for the comment page of " << qPrintable(newsId);

    // The write-comment window: modal, in front.
    pane->toolBar()->writeCommentBtn->click();
    WriteCommentWD* writer = visibleWindow<WriteCommentWD>();
    ASSERT_TRUE(writer) << "the toolbar's write button showed no write-comment window";
    EXPECT_EQ(writer->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(QApplication::activeModalWidget(), writer);
    const QString text = QStringLiteral("路过看看，写得不错 %1").arg(lastSeq(service()));
    writer->textBox()->setPlainText(text);

    // Nobody is logged in: sending asks for the login, in the one login window of the article view.
    writer->sendButton()->click();
    UserLandWD* login = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (login = visibleWindow<UserLandWD>()) != nullptr; }, 30000))
        << "waited for the login window";
    EXPECT_EQ(login->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(QApplication::activeModalWidget(), login);
    ArticleNeighbours::instance()->showLoginWindow(pane->window());
    EXPECT_EQ(visibleWindow<UserLandWD>(), login) << "a second login window instead of the kept one";
    EXPECT_EQ(mainWindow()->findChildren<UserLandWD*>().size(), 1);

    // A reader who does not want the password kept is logged in all the same.
    login->accountField()->setText(QStringLiteral("tidwen_demo"));
    login->passwordField()->setText(QStringLiteral("demo2026"));
    login->rememberBox()->setChecked(false);
    login->loginButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !login->isVisible() && AppDelegate::shared()->getCurrLandUser(); }, 30000))
        << "waited for the demo account's login: " << qPrintable(login->statusText());

    // Logged in: the window no longer asks for it; the comment goes out, the window closes, the
    // pane says so, the page reloads.
    ASSERT_TRUE(writer->isVisible());
    EXPECT_NE(writer->statusText(), QStringLiteral("请先登录"));
    ToastWatcher toasts;
    ASSERT_TRUE(ToastWatcher::waitUntilHudIdle());
    const qint64 before = lastSeq(service());
    writer->sendButton()->click();
    const auto post = waitForRequest(service(), QStringLiteral("POST"), kCommentHost,
                                     QStringLiteral("/tidwen/postComment\\.aspx"), before);
    ASSERT_TRUE(post) << qPrintable(describeRequests(service(), before));
    EXPECT_EQ(post->field(QStringLiteral("newsid")), newsId);
    EXPECT_FALSE(post->field(QStringLiteral("postedId")).isEmpty()) << "the stand-in did not take the demo account's comment";
    EXPECT_TRUE(toasts.waitFor(QStringLiteral("评论成功"))) << qPrintable(toasts.seen().join(QLatin1Char('|')));
    EXPECT_TRUE(waitUntil([&] { return !writer->isVisible(); }, 30000)) << "the write-comment window stayed open";

    EXPECT_TRUE(waitForRequest(service(), QStringLiteral("GET"), kCommentHost, QStringLiteral("/json/commentlist/.*"),
                               post->seq))
        << "the comment page did not reload: " << qPrintable(describeRequests(service(), post->seq));
    EXPECT_TRUE(waitUntil([&] { return commentPageText(commentView).contains(text); }, 30000))
        << "the comment page does not show the new comment";
    ASSERT_FALSE(commentView->loader()->comments().isEmpty());
    EXPECT_EQ(commentView->loader()->comments().first().toMap().value(QStringLiteral("C")).toString(), text);
    EXPECT_EQ(commentView->loader()->comments().first().toMap().value(QStringLiteral("N")).toString(),
              QStringLiteral("演示用户"));

    pane->back();
}

// The article's hot-comment block calls the program without an argument; "查看更多评论" opens the
// article's comment page.
TEST_F(Road, TheArticlesHotCommentsOpenItsCommentPage)
{
    RightViewController* pane = detailPane();
    ASSERT_TRUE(pane);
    const QString more = QStringLiteral("document.querySelectorAll('.hotcommentmore a').length");
    ASSERT_TRUE(waitUntil([&] { return pane->webView() && runScript(pane->webView()->page(), more).toInt() == 1; }, 60000))
        << "waited for the article's hot comments";
    CommontView* commentView = pane->findChild<CommontView*>();
    ASSERT_FALSE(commentView && commentView->isVisible()) << "the comment page was open before the click";

    runScript(pane->webView()->page(), QStringLiteral("document.querySelector('.hotcommentmore a').click()"));
    ASSERT_TRUE(waitUntil([&] { return (commentView = pane->findChild<CommontView*>()) && commentView->isVisible() &&
                                       !commentView->loader()->comments().isEmpty(); }, 30000))
        << "the more link opened no comment page";
    pane->back();
}

TEST_F(Road, AWiderWindowKeepsTheSplitViewAtItsRightEdge)
{
    auto* window = dynamic_cast<MainWindowController*>(mainWindow());
    ASSERT_TRUE(window);
    MainViewController* content = window->MainVC();
    MainSplitViewController* split = content->MainSplitVC();
    const QSize original = window->size();
    ScopeExit restore([&] { window->resize(original); });

    const auto pinned = [&] {
        const QRect frame = split->geometry();
        return frame.left() == 70 && frame.right() == content->width() - 1 && frame.height() == content->height();
    };
    ASSERT_TRUE(waitUntil(pinned, 30000)) << "at " << original.width() << " wide the split view spans "
                                         << split->geometry().left() << ".." << split->geometry().right();

    // Wider, then past the widest detail pane (where the window stops growing): the list column
    // keeps 300, the edge follows.
    const int widest = 70 + 300 + split->handleWidth() + 2000;
    for (const int asked : {original.width() + 400, widest + 500}) {
        const int width = std::min(asked, widest);
        window->resize(asked, original.height());
        EXPECT_TRUE(waitUntil([&] { return content->width() == width && pinned(); }, 30000))
            << "at " << width << " wide the split view spans " << split->geometry().left() << ".."
            << split->geometry().right();
        EXPECT_EQ(split->CenterViewController()->width(), 300) << width;
        EXPECT_EQ(split->RightViewController()->width(), std::min(2000, width - 70 - 300 - split->handleWidth()))
            << width;
    }
}

}  // namespace road
