#include "RecordingUrlOpener.h"
#include "RightViewFixture.h"
#include "ScopeGuard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QWebEngineNewWindowRequest>

// The page's bridge, its new windows and the scripts native code runs in it, against pages other
// than the article page.
class ArticlePageGuardsTest : public RightViewControllerTest
{
protected:
    void SetUp() override
    {
        RightViewControllerTest::SetUp();
        UrlOpener::install(opener);
    }
    void TearDown() override
    {
        UrlOpener::install(nullptr);
        RightViewControllerTest::TearDown();
    }

    std::shared_ptr<RecordingUrlOpener> opener = std::make_shared<RecordingUrlOpener>();
};

TEST_F(ArticlePageGuardsTest, AnInPageAnchorKeepsTheBridge)
{
    routeArticle(QStringLiteral("t"), QStringLiteral("<p><a id=\"to-note\" href=\"#note\">注</a></p>"
                                                     "<div style=\"height:3000px\"></div><p id=\"note\">注释</p>"));
    routeArticle(QStringLiteral("乙"), QStringLiteral("<p>b</p>"), QStringLiteral("/rss/654321.xml"), QStringLiteral("654321"));
    ASSERT_TRUE(openAndWait());
    runScript(*view, QStringLiteral("document.getElementById('to-note').click()"));
    ASSERT_TRUE(waitUntil([&] { return view->webPage()->url().fragment() == QStringLiteral("note"); }))
        << "the page's address to end in #note";

    runScript(*view, QStringLiteral("window.external.opennewsinnews('654321')"));
    ASSERT_TRUE(waitUntil([&] { return historySize() == 2; })) << "the bridge to open article 654321";
    EXPECT_EQ(view->feed()->guid, QStringLiteral("654321"));
    EXPECT_TRUE(waitUntil([&] { return view->pane()->bSucLoad() && text(QStringLiteral("h1")) == QStringLiteral("乙"); }, 30000));
}

TEST_F(ArticlePageGuardsTest, WindowOpenLeavesNoPageAndNeedsAClick)
{
    const QString outside = server.url(QStringLiteral("/outside.html")).toString();
    routeArticle(QStringLiteral("t"), QStringLiteral("<p><a id=\"web\" href=\"%1\" target=\"_blank\">web</a></p>").arg(outside));
    ASSERT_TRUE(openAndWait());
    int asked = 0;
    QObject::connect(view->webPage(), &QWebEnginePage::newWindowRequested, view.get(),
                     [&](QWebEngineNewWindowRequest&) { ++asked; });

    // Five windows without an address, one with an address, none of them after a click.
    runScript(*view, QStringLiteral("for (var i = 0; i < 5; ++i) window.open(); window.open('%1');").arg(outside));
    ASSERT_TRUE(waitUntil([&] { return asked == 6; })) << "six new-window requests, got " << asked;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(view->findChildren<QWebEnginePage*>().size(), 1) << "only the article page is left";
    EXPECT_TRUE(opener->urls.isEmpty()) << "a popup without a click reached the browser";

    // A click on a link that opens a new window sends it to the browser, and leaves no page either.
    ASSERT_TRUE(clickElement(QStringLiteral("#web")));
    ASSERT_TRUE(waitUntil([&] { return !opener->urls.isEmpty(); })) << "the clicked link in the browser";
    EXPECT_EQ(opener->urls, QList<QUrl>{QUrl(outside)});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(view->findChildren<QWebEnginePage*>().size(), 1);
}

TEST_F(ArticlePageGuardsTest, APageReachedByALinkGetsNothingFromThePane)
{
    // The outside page answers to every page function the pane calls, and says so in its title.
    const QByteArray outside = "<html><head><title>outside</title><script>"
                               "function mark(n) { document.title += '|' + n; }"
                               "window.padappinsertrelatednews = function () { mark('block'); };"
                               "window.appinsertvote = function () { mark('vote'); };"
                               "window.SetFontFamily = function () { mark('font'); };"
                               "window.getSelectedContents = function () { mark('copy'); return 'outside text'; };"
                               "</script></head><body>o</body></html>";
    server.route("GET", QStringLiteral("/outside.html"), LoopbackReply::text(200, outside, "text/html; charset=utf-8"));
    routeArticle(QStringLiteral("t"),
                 QStringLiteral("<p><a id=\"out\" href=\"%1\">外</a></p>").arg(server.url(QStringLiteral("/outside.html")).toString()));
    ASSERT_TRUE(openAndWait());
    runScript(*view, QStringLiteral("document.getElementById('out').click()"));
    ASSERT_TRUE(waitUntil([&] { return view->webPage()->title() == QStringLiteral("outside"); }, 30000)) << "the outside page";

    QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    view->pane()->insertRelateNews(QStringLiteral("<b>r</b>"), QStringLiteral("123456"));
    view->pane()->insertVote(QStringLiteral("<b>v</b>"), QStringLiteral("77"));
    view->fontChanged();
    view->webView()->copySelection();
    // Scripts of one page run in order: this one runs after any the pane sent.
    EXPECT_EQ(runScript(*view, QStringLiteral("document.title")).toString(), QStringLiteral("outside"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
}

// Article bodies carry links whose address is only "#": after a click on one the address ends in
// "#" with no fragment to show for it. The pane's scripts must still reach the page, as after a
// click on an anchor of the page.
TEST_F(ArticlePageGuardsTest, ScriptsReachThePageAfterAnEmptyOrANamedAnchor)
{
    routeArticle(QStringLiteral("t"), QStringLiteral("<p><a id=\"empty\" href=\"#\">空</a> <a id=\"named\" href=\"#note\">注</a></p>"
                                                     "<p id=\"chosen\">选中的文字</p><div id=\"vote77\"></div>"
                                                     "<div style=\"height:3000px\"></div><p id=\"note\">注释</p>"));
    ASSERT_TRUE(openAndWait());
    const struct
    {
        const char* link;
        QString address;  // the page's address after the click, past the article's own
    } clicks[] = {{"#empty", QStringLiteral("#")}, {"#named", QStringLiteral("#note")}, {"#empty", QStringLiteral("#")}};
    const QString article = view->webPage()->articleUrl().toString();
    int round = 0;
    for (const auto& click : clicks) {
        SCOPED_TRACE(click.link);
        ++round;
        ASSERT_TRUE(clickElement(QLatin1String(click.link)));
        ASSERT_TRUE(waitUntil([&] {
            return runScript(*view, QStringLiteral("location.href")).toString() == article + click.address;
        })) << "the page's address to end in " << click.address.toStdString();

        runScript(*view, QStringLiteral("document.body.style.fontFamily = ''"));
        view->fontChanged();
        const QString vote = QStringLiteral("<b id=\"result\">%1</b>").arg(round);
        view->pane()->insertVote(vote, QStringLiteral("77"));
        // Scripts of one page run in order: this one runs after those the pane sent.
        EXPECT_TRUE(runScript(*view, QStringLiteral("document.body.style.fontFamily")).toString().contains(QStringLiteral("PingFangSC")))
            << "the font change";
        EXPECT_EQ(text(QStringLiteral("#result")), QString::number(round)) << "the vote result";

        QGuiApplication::clipboard()->setText(QStringLiteral("old"));
        runScript(*view, QStringLiteral("var r=document.createRange();r.selectNodeContents(document.getElementById('chosen'));"
                                        "window.getSelection().removeAllRanges();window.getSelection().addRange(r);"));
        view->webView()->copySelection();
        EXPECT_TRUE(waitUntil([] { return QGuiApplication::clipboard()->text() == QStringLiteral("选中的文字"); }))
            << "the copy to take the selection, the clipboard holds " << QGuiApplication::clipboard()->text().toStdString();
    }
}
