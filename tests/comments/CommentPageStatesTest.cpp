// What the comment page shows between two lists: the next article's own empty page while its
// list loads, and a failure the reader can try again, never another article's rows or "暂无评论".

#include "CommentsTestSupport.h"
#include "ScopeGuard.h"

#include "comments/CommentPageLoader.h"
#include "comments/views/CommontView.h"
#include "ui/controls/DDErrorView.h"
#include "ui/hud/DJActivityIndicator.h"
#include "ui/hud/DJProgressHUD.h"

#include <QEvent>
#include <QLabel>

namespace {

const QString kFirst = QStringLiteral("1111");
const QString kSecond = QStringLiteral("2222");

QString pageText(CommontView& view)
{
    return evaluate(view, QStringLiteral("document.body ? document.body.innerText : ''")).toString();
}

QString heading(CommontView& view)
{
    return evaluate(view, QStringLiteral("(function(){var h=document.querySelector('h1');return h?h.textContent:'';})()"))
        .toString();
}

int rows(CommontView& view)
{
    return evaluate(view, QStringLiteral("document.querySelectorAll('.comment').length")).toInt();
}

bool shownAndVisible(const QWidget* widget)
{
    return widget != nullptr && widget->isVisible();
}

// The toasts the HUD shows over a widget while this lives, each read as it appears: a toast goes
// away by itself after a second, which a busy machine may let pass before a check.
class ToastLog : public QObject
{
public:
    explicit ToastLog(const QWidget* over) : m_over(over) { DJProgressHUD::instance()->hudView()->installEventFilter(this); }
    const QStringList& texts() const { return m_texts; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const DJProgressHUD* hud = DJProgressHUD::instance();
        if (event->type() == QEvent::Show && hud->parentView() == m_over && hud->label())
            m_texts.append(hud->label()->text());
        return QObject::eventFilter(watched, event);
    }

private:
    const QWidget* m_over;
    QStringList m_texts;
};

}  // namespace

class CommentPageStates : public CommentRequests
{
protected:
    void SetUp() override
    {
        CommentRequests::SetUp();
        m_view.resize(600, 500);
        m_view.show();
    }

    void serve(const QString& newsId, const LoopbackReply& reply) { m_server.route("GET", listPath(newsId), reply); }

    static LoopbackReply list(const QString& text)
    {
        return LoopbackReply::text(200, commentJsonp(QJsonArray{commentObject(7, QStringLiteral("甲"), text)}));
    }

    // Opens the first article and waits until its comment is on the page.
    void openFirst()
    {
        serve(kFirst, list(QStringLiteral("第一篇的评论")));
        m_view.openNewsComment(kFirst, QStringLiteral("第一篇"), QStringLiteral("http://www.tidwen.example/1111.htm"));
        ASSERT_TRUE(waitUntil([&] { return pageText(m_view).contains(QStringLiteral("第一篇的评论")); }, 30000))
            << "the first article's comments never showed";
    }

    DDErrorView* errorView() const { return m_view.findChild<DDErrorView*>(); }
    DJActivityIndicator* spinner() const { return m_view.findChild<DJActivityIndicator*>(); }

    CommontView m_view;
};

TEST_F(CommentPageStates, TheNextArticlesPageShowsEmptyWithItsLoadingStateWhileItsListLoads)
{
    openFirst();
    // The same article opened again keeps its comments on screen while they are fetched anew.
    serve(kFirst, LoopbackReply::silent());
    const qsizetype before = m_server.requestCount();
    m_view.openNewsComment(kFirst, QStringLiteral("第一篇"), QStringLiteral("http://www.tidwen.example/1111.htm"));
    ASSERT_TRUE(waitUntil([&] { return m_server.requestCount() > before; }, 30000));
    EXPECT_TRUE(pageText(m_view).contains(QStringLiteral("第一篇的评论")));
    EXPECT_FALSE(shownAndVisible(spinner()));

    serve(kSecond, LoopbackReply::silent());
    m_view.openNewsComment(kSecond, QStringLiteral("第二篇"), QStringLiteral("http://www.tidwen.example/2222.htm"));

    ASSERT_TRUE(waitUntil([&] { return heading(m_view) == QStringLiteral("第二篇"); }, 30000))
        << "the page still shows: " << qPrintable(heading(m_view));
    EXPECT_EQ(rows(m_view), 0);
    EXPECT_EQ(evaluate(m_view, QStringLiteral("document.querySelectorAll('a[href*=\"comment-vote\"]').length")).toInt(), 0);
    EXPECT_FALSE(pageText(m_view).contains(QStringLiteral("第一篇")));
    EXPECT_FALSE(pageText(m_view).contains(QStringLiteral("暂无评论")));
    ASSERT_TRUE(shownAndVisible(spinner())) << "no loading state";
    EXPECT_TRUE(spinner()->isAnimating());
    EXPECT_FALSE(shownAndVisible(errorView()));

    // An article without comments still says so once its list is in.
    serve(QStringLiteral("3333"), LoopbackReply::text(200, commentJsonp(QJsonArray{})));
    m_view.openNewsComment(QStringLiteral("3333"), QStringLiteral("第三篇"), QString());
    ASSERT_TRUE(waitUntil([&] { return pageText(m_view).contains(QStringLiteral("暂无评论")); }, 30000));
    EXPECT_EQ(heading(m_view), QStringLiteral("第三篇"));
    EXPECT_FALSE(shownAndVisible(spinner()));
}

TEST_F(CommentPageStates, AListThatFailsIsAFailureTheReaderCanTryAgain)
{
    struct Case
    {
        const char* name;
        LoopbackReply reply;
        // Seconds the second article's list may go without an answer; 0: as the program has it.
        double timeout = 0;
    };
    const Case cases[] = {
        {"refused", LoopbackReply::text(500, "boom")},
        {"silent until the timeout", LoopbackReply::silent(), 0.5},
        {"not a comment list", LoopbackReply::text(200, "showcomment([{")},
    };
    const double programTimeout = m_view.loader()->requestTimeout();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        openFirst();
        serve(kSecond, c.reply);
        // Only the list that never answers has the short timeout: a loaded machine may take that
        // long over any other request.
        if (c.timeout > 0)
            m_view.loader()->setRequestTimeout(c.timeout);
        m_view.openNewsComment(kSecond, QStringLiteral("第二篇"), QStringLiteral("http://www.tidwen.example/2222.htm"));
        ASSERT_TRUE(waitUntil([&] { return shownAndVisible(errorView()); }, 30000)) << "no failure shown";
        EXPECT_EQ(errorView()->title(), QStringLiteral("评论加载失败"));
        EXPECT_EQ(errorView()->subtitle(), QStringLiteral("点击刷新按钮重新加载"));
        EXPECT_FALSE(shownAndVisible(spinner()));
        // Over the widget the web engine draws the page in, which comes after the error view.
        const QWidget* top = m_view.childAt(m_view.rect().center());
        EXPECT_TRUE(top == errorView() || errorView()->isAncestorOf(top)) << "the error view is covered";
        ASSERT_TRUE(waitUntil([&] { return heading(m_view) == QStringLiteral("第二篇"); }, 30000));
        EXPECT_EQ(rows(m_view), 0);
        EXPECT_FALSE(pageText(m_view).contains(QStringLiteral("暂无评论")));

        // Trying again once the service answers shows the list.
        m_view.loader()->setRequestTimeout(programTimeout);
        serve(kSecond, list(QStringLiteral("第二篇的评论")));
        ASSERT_TRUE(errorView()->reloadButton());
        errorView()->reloadButton()->click();
        ASSERT_TRUE(waitUntil([&] { return pageText(m_view).contains(QStringLiteral("第二篇的评论")); }, 30000))
            << "trying again did not show the list";
        EXPECT_FALSE(shownAndVisible(errorView()));
        EXPECT_FALSE(shownAndVisible(spinner()));
    }
}

TEST_F(CommentPageStates, OnlyTheReadersOwnRefreshSaysThatItFailed)
{
    openFirst();
    const auto dismiss = onScopeExit([] { DJProgressHUD::dismiss(); });
    serve(kFirst, LoopbackReply::text(500, "boom"));
    for (const bool userAsked : {false, true}) {
        SCOPED_TRACE(userAsked ? "the reader's refresh" : "the automatic refresh");
        DJProgressHUD::dismiss();
        ASSERT_TRUE(waitUntil([] { return !DJProgressHUD::instance()->displaying(); }, 30000));
        ToastLog toasts(&m_view);
        const qsizetype before = m_server.requestCount();
        m_view.refreshComment(userAsked);
        ASSERT_TRUE(waitUntil([&] { return m_server.requestCount() > before && !m_view.loader()->isLoading(); }, 30000));
        EXPECT_EQ(toasts.texts(), userAsked ? QStringList{QStringLiteral("评论加载失败")} : QStringList{});
        EXPECT_TRUE(pageText(m_view).contains(QStringLiteral("第一篇的评论"))) << "the list on screen went";
        EXPECT_FALSE(shownAndVisible(errorView()));
    }
}
