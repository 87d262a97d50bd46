#include "ArticleTestSupport.h"
#include "RightViewFixture.h"
#include "RecordingUrlOpener.h"
#include "ScopeGuard.h"

#include "article/ArticleCacheFile.h"
#include "database/ServerUrls.h"
#include "article/views/ArticleNeighbours.h"
#include "article/views/popovers/AdjustFontViewController.h"
#include "article/views/popovers/ShareViewController.h"
#include "database/SettingsDatabaseOperate.h"
#include "article/views/ArticleSchemeHandler.h"
#include "article/views/ArticleWebPage.h"
#include "article/views/RightViewController.h"
#include "foundation/CommonFunction.h"
#include "ui/hud/DJActivityIndicator.h"
#include "ui/hud/DJProgressHUD.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QDir>
#include <QScopeGuard>
#include <QDirIterator>
#include <QUrl>

#include <functional>

#include <csignal>

// The article page's scheme must exist before the application object.
void tidwenBeforeApplication()
{
    ArticleSchemeHandler::registerScheme();
}

namespace {

// Stores the font size back when the scope ends, however the test ends: later tests read it.
[[nodiscard]] auto restoreStoredFontSize()
{
    return onScopeExit([before = AdjustFontViewController::storedFontSize()] { AdjustFontViewController::storeFontSize(before); });
}

}  // namespace

TEST_F(RightViewControllerTest, AnArticlePageWithItsBlocks)
{
    const QString hostile = QStringLiteral("it's \\ </script> ") + QChar(0x2028) + QStringLiteral(" <img src=x onerror=window.bad=1>");
    routeArticle(QStringLiteral("<b>x</b>&'\""), QStringLiteral("<p>正文</p>"));
    server.route("GET", QStringLiteral("/api/newsgrade/get"), LoopbackReply::text(200, "{\"g1\":1,\"g2\":2,\"g3\":3,\"Grade\":\"4.5\"}"));
    server.route("GET", QStringLiteral("/json/tags/0123/123456.json"),
                 LoopbackReply::text(200, QStringLiteral("[{\"newsid\":\"654321\",\"newstitle\":\"%1\",\"postdate\":\"d\"}]")
                                              .arg(QString(hostile).replace(QStringLiteral("\\"), QStringLiteral("\\\\")))
                                              .toUtf8()));
    server.route("GET", QUrl(ArticleUrls::hotCommentUrl(QStringLiteral("123456"))).path(),
                 LoopbackReply::text(200, QStringLiteral("showcomment([{\"Ui\":1,\"N\":\"n\",\"C\":\"%1\",\"S\":3}])")
                                              .arg(QString(hostile).replace(QStringLiteral("\\"), QStringLiteral("\\\\")))
                                              .toUtf8()));
    server.route("GET", QStringLiteral("/api/apps/douzaimai"),
                 LoopbackReply::text(200, "{\"success\":true,\"content\":[{\"productid\":5,\"ProductName\":\"耳机\"}]}"));
    ASSERT_TRUE(openAndWait());
    EXPECT_EQ(text(QStringLiteral("h1")), QStringLiteral("<b>x</b>&'\""));
    ASSERT_TRUE(waitUntil([&] {
        return !text(QStringLiteral("#newscore")).isEmpty() && !text(QStringLiteral("#related")).isEmpty()
            && !text(QStringLiteral("#douzaimai")).isEmpty() && !text(QStringLiteral("#newshotcomment")).isEmpty();
    }, 30000));
    EXPECT_EQ(text(QStringLiteral("#related li a")), hostile);
    EXPECT_EQ(text(QStringLiteral("#newshotcomment .hccontent")), hostile);
    EXPECT_FALSE(runScript(*view, QStringLiteral("window.bad === 1")).toBool());
    EXPECT_FALSE(view->logoView()->isVisible());
    EXPECT_TRUE(view->webView()->isVisible());
    // The bridge shim has exactly its seven names.
    EXPECT_EQ(runScript(*view, QStringLiteral("Object.keys(window.external).sort().join(',')")).toString(),
              QStringLiteral("clickDouZaiMai,clickNewScore,clickRelateNews,opennewsinnews,showpagecomment,voteempty,votesucess"));

    // A related row opens its article in the pane, one history entry more, back shown.
    // An item known only by its id has no date: it opens the feed document.
    // The keys in the page stay with the page that replaces it, not with the window's next control.
    QPushButton nextControl(view.get());
    nextControl.show();
    ASSERT_TRUE(waitUntil([&] { return view->isActiveWindow(); }));
    view->webView()->setFocus(Qt::MouseFocusReason);  // as a click in the text does
    const auto keysInPage = [&] { return view->webView()->isAncestorOf(QApplication::focusWidget()); };
    ASSERT_TRUE(keysInPage());
    routeArticle(QStringLiteral("相关文章"), QStringLiteral("<p>r</p>"), QStringLiteral("/rss/654321.xml"), QStringLiteral("654321"));
    runScript(*view, QStringLiteral("document.querySelector('#related li').click()"));
    ASSERT_TRUE(waitUntil([&] { return historySize() == 2; }));
    EXPECT_TRUE(view->toolBar()->backBtn->isVisible());
    ASSERT_TRUE(waitUntil([&] { return view->pane()->bSucLoad() && text(QStringLiteral("h1")) == QStringLiteral("相关文章"); }, 30000));
    EXPECT_TRUE(keysInPage()) << "the keys are on " << QApplication::focusWidget();
}

TEST_F(RightViewControllerTest, InPageLinksOpenInThePaneAndOthersGoToTheBrowser)
{
    auto catcher = std::make_shared<RecordingUrlOpener>();
    const std::shared_ptr<UrlOpener> previous = UrlOpener::shared();
    UrlOpener::install(catcher);
    const auto restore = qScopeGuard([&] { UrlOpener::install(previous); });
    const QString outside = server.url(QStringLiteral("/outside.html")).toString();
    routeArticle(QStringLiteral("t"), QStringLiteral("<p><a href=\"%1/2026/12/654321.htm\" target=\"_blank\">in</a>"
                                                     "<a id=\"web\" href=\"%2\" target=\"_blank\">web</a>"
                                                     "<a id=\"file\" href=\"file:///etc/passwd\" target=\"_blank\">f</a>"
                                                     "<a id=\"smb\" href=\"smb://host/share\" target=\"_blank\">s</a></p>")
                                          .arg(kUrlWwwHtmlBase, outside));
    routeArticle(QStringLiteral("链接文章"), QStringLiteral("<p>l</p>"), QStringLiteral("/rss/654321.xml"), QStringLiteral("654321"));
    ASSERT_TRUE(openAndWait());
    runScript(*view, QStringLiteral("document.querySelector('a[href^=\"javascript:\"]').click()"));
    ASSERT_TRUE(waitUntil([&] { return historySize() == 2; }));
    ASSERT_TRUE(waitUntil([&] { return view->pane()->bSucLoad(); }, 30000));
    view->recordNewsAndHot().removeFirst();

    // Back on the first article: an http link goes to the browser, file: and smb: go nowhere.
    view->show(item(QStringLiteral("123456")));
    ASSERT_TRUE(waitUntil([&] { return view->pane()->bSucLoad() && text(QStringLiteral("h1")) == QStringLiteral("t"); }, 30000));
    // Real clicks: a new window needs one.
    for (const char* id : {"file", "smb", "web"})
        ASSERT_TRUE(clickElement(QStringLiteral("#") + QLatin1String(id)));
    EXPECT_TRUE(waitUntil([&] { return !catcher->urls.isEmpty(); }, 30000));
    // The web link, clicked last, has reached the browser; the pause is room for the two clicked
    // before it, which must reach nothing.
    spin(300);
    ASSERT_EQ(catcher->urls.size(), 1);
    EXPECT_EQ(catcher->urls.first().toString(), outside);
}

TEST_F(RightViewControllerTest, OnlyTheArticlePageReachesThePane)
{
    const QByteArray caller = "<html><body><script>"
                              "try { window.external.opennewsinnews('654321'); } catch (e) {}"
                              "try { new QWebChannel(qt.webChannelTransport, function (c) { c.objects.external.opennewsinnews('654321'); }); } catch (e) {}"
                              "try { parent.external.opennewsinnews('654321'); } catch (e) {}"
                              "document.title = 'ran';</script></body></html>";
    server.route("GET", QStringLiteral("/caller.html"), LoopbackReply::text(200, caller, "text/html"));
    routeArticle(QStringLiteral("t"), QStringLiteral("<p>x</p><iframe src=\"%1\"></iframe>").arg(server.url(QStringLiteral("/caller.html")).toString()));
    ASSERT_TRUE(openAndWait());
    ASSERT_TRUE(waitUntil([&] { return !requestsTo(QStringLiteral("/caller.html")).isEmpty(); }));
    // A path outside the cache is no news id: nothing is requested, nothing written.
    runScript(*view, QStringLiteral("window.external.opennewsinnews('../../x')"));
    // The script has run (runScript waits for its result); its call to the pane travels over the
    // web channel, which says nothing when it is refused: the pause is room for it to arrive.
    spin(800);
    EXPECT_EQ(historySize(), 1);

    // An outside page loaded into the view.
    view->webPage()->load(server.url(QStringLiteral("/caller.html")));
    ASSERT_TRUE(waitUntil([&] { return view->webPage()->title() == QStringLiteral("ran"); }, 30000));
    // The title is set after the three calls: they have been made. The pause is room for one of
    // them to arrive over the web channel, which must change nothing.
    spin(800);
    EXPECT_EQ(historySize(), 1);
    EXPECT_TRUE(requestsTo(QStringLiteral("/xml/newscontent/654/")).isEmpty());
    EXPECT_TRUE(requestsTo(QStringLiteral("/xml/newscontent/../")).isEmpty());
    QDirIterator files(TestEnvironment::rootPath(), QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        EXPECT_FALSE(path.endsWith(QStringLiteral("x_1.xml"))) << path.toStdString();
    }
}

TEST_F(RightViewControllerTest, BlocksBeforeTheLoadEndArriveAtIt)
{
    routeArticle(QStringLiteral("t"), QStringLiteral("<p>x</p>"));
    view->show(item(QStringLiteral("123456")));
    // Early: the blank page is up, the article page is not.
    view->pane()->insertReward(QStringLiteral("<div id=\"early\">赏</div>"), QStringLiteral("123456"));
    ASSERT_TRUE(waitUntil([&] { return view->pane()->bSucLoad(); }, 30000));
    ASSERT_TRUE(waitUntil([&] { return text(QStringLiteral("#early")) == QStringLiteral("赏"); }));
    // Late: at once.
    view->pane()->insertRelateNews(QStringLiteral("<b id=\"late\">晚</b>"), QStringLiteral("123456"));
    EXPECT_TRUE(waitUntil([&] { return text(QStringLiteral("#late")) == QStringLiteral("晚"); }));
}

// The blank page shown while an article loads is of the articles' own site: a page of another
// site made the engine start a new web process for every article opened.
TEST_F(RightViewControllerTest, ArticlesAndTheBlankPageBetweenThemShareOneWebProcess)
{
    routeArticle(QStringLiteral("t"), QStringLiteral("<p>x</p>"));
    ASSERT_TRUE(openAndWait());
    const qint64 process = view->webView()->page()->renderProcessPid();
    ASSERT_GT(process, 0);
    view->pane()->openNews();
    ASSERT_TRUE(waitUntil([&] { return view->pane()->bSucLoad(); }, 30000));
    EXPECT_EQ(view->webView()->page()->renderProcessPid(), process);
}

TEST_F(RightViewControllerTest, AVoteFromThePage)
{
    rememberAccount();
    server.route("POST", QStringLiteral("/api/vote.asmx/PostVote"), LoopbackReply::text(200, "<string>ok</string>"));
    routeArticle(QStringLiteral("t"), QStringLiteral("<p>x</p><div id=\"vote77\"></div>"));
    ASSERT_TRUE(openAndWait());
    view->pane()->insertVote(QStringLiteral("<input type=\"checkbox\" name=\"checkbox77[]\" value=\"3\" checked/>"
                                            "<input type=\"checkbox\" name=\"checkbox77[]\" value=\"4\" checked/>"
                                            "<a id=\"votebutton\">提交</a>"),
                             QStringLiteral("77"));
    ASSERT_TRUE(waitUntil([&] { return text(QStringLiteral("#votebutton")) == QStringLiteral("提交"); }));
    runScript(*view, QStringLiteral("submitVote('77',2)"));
    ASSERT_TRUE(waitUntil([&] { return !requestsTo(QStringLiteral("/api/vote.asmx/PostVote")).isEmpty(); }));
    EXPECT_TRUE(requestsTo(QStringLiteral("/api/vote.asmx/PostVote")).first().body.contains("items=3%2C4&"));
    EXPECT_TRUE(waitUntil([&] { return text(QStringLiteral("#votebutton")) == QStringLiteral("投票"); }));
}

TEST_F(RightViewControllerTest, ALargeArticleLoadsWhole)
{
    QString body;
    while (body.size() < 3 * 1024 * 1024)
        body += QStringLiteral("<p>这是一段很长的正文，用来检查大页面能完整地显示出来。</p>");
    body += QStringLiteral("<p id=\"last\">末尾</p>");
    routeArticle(QStringLiteral("长文"), body);
    ASSERT_TRUE(openAndWait());
    EXPECT_EQ(text(QStringLiteral("#last")), QStringLiteral("末尾"));
}

TEST_F(RightViewControllerTest, NothingToShowGivesTheErrorView)
{
    view->show(item(QStringLiteral("123456")));
    ASSERT_TRUE(waitUntil([&] { return view->errorView() && view->errorView()->isVisible(); }, 30000));
    EXPECT_EQ(view->errorView()->title(), QStringLiteral("新闻加载失败"));
    EXPECT_EQ(view->errorView()->subtitle(), QStringLiteral("点击刷新按钮重新加载"));
    EXPECT_FALSE(view->logoView()->isVisible());
    // The error view covers the page: sample its middle.
    const QImage shot = view->grab().toImage();
    EXPECT_EQ(shot.pixelColor(shot.width() / 2, 60), view->errorView()->backgroundColor());
}

TEST_F(RightViewControllerTest, AWebViewProcessThatEndsIsNamedInThePaneAndReloadBringsThePageBack)
{
    routeArticle(QStringLiteral("t"), QStringLiteral("<p>x</p>"));
    ASSERT_TRUE(openAndWait()) << "the article page's load end";
    const qint64 pid = view->webPage()->renderProcessPid();
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(static_cast<pid_t>(pid), SIGKILL), 0);
    const auto notice = [&] { return view->webView()->findChild<DDErrorView*>(); };
    ASSERT_TRUE(waitUntil([&] { return notice() && notice()->isVisible(); }, 30000))
        << "the error view after the web view's process was killed";
    EXPECT_EQ(notice()->title(), ProgramWebView::webViewFailedTitle());
    EXPECT_FALSE(view->logoView()->isVisible());

    notice()->reloadButton()->click();
    ASSERT_TRUE(waitUntil([&] { return view->pane()->bSucLoad() && text(QStringLiteral("h1")) == QStringLiteral("t"); }, 30000))
        << "the article page again after the reload button";
    EXPECT_FALSE(notice()->isVisible());
}

TEST_F(RightViewControllerTest, CopyTakesThePageSelection)
{
    routeArticle(QStringLiteral("t"), QStringLiteral("<p id=\"p\">选中的文字</p>"));
    ASSERT_TRUE(openAndWait());
    QGuiApplication::clipboard()->setText(QStringLiteral("old"));
    runScript(*view, QStringLiteral("var r=document.createRange();r.selectNodeContents(document.getElementById('p'));"
                                    "window.getSelection().removeAllRanges();window.getSelection().addRange(r);"));
    view->webView()->copySelection();
    EXPECT_TRUE(waitUntil([] { return QGuiApplication::clipboard()->text() == QStringLiteral("选中的文字"); }));
    runScript(*view, QStringLiteral("window.getSelection().removeAllRanges()"));
    view->webView()->copySelection();
    EXPECT_TRUE(waitUntil([] { return QGuiApplication::clipboard()->text().isEmpty(); }));
}

TEST_F(RightViewControllerTest, LoggedOutScoringAsksToLogIn)
{
    view->pane()->postScore(2, QString());
    QMessageBox* prompt = view->window()->findChild<QMessageBox*>(QStringLiteral("loginPrompt"));
    ASSERT_NE(prompt, nullptr);
    // The title is the message, the invitation its informative text.
    EXPECT_EQ(prompt->text(), QStringLiteral("文章打分"));
    EXPECT_EQ(prompt->informativeText(), QStringLiteral("登录Korvask通行证后才可以进行此操作"));
    ASSERT_EQ(prompt->buttons().size(), 1);
    EXPECT_EQ(prompt->buttons().first()->text(), QStringLiteral("我要去登录"));
    prompt->close();
}

namespace {

class FakeDealPage : public ArticleDealPage
{
public:
    explicit FakeDealPage(QWidget* parent) : page(new QWidget(parent)) {}
    QWidget* widget() override { return page; }
    void show(const QString& productId, bool byClick) override
    {
        shown.append(productId + (byClick ? "/click" : ""));
        // A page may bring itself to the front whenever it likes.
        page->raise();
    }
    void runScript(const QString& script) override { scripts.append(script); }
    HotProductModelPtr productModel() const override { return model; }
    QWidget* page;
    HotProductModelPtr model;
    QStringList shown;
    QStringList scripts;
};

class FakeCommentPage : public ArticleCommentPage
{
public:
    explicit FakeCommentPage(QWidget* parent) : page(new QWidget(parent)) {}
    QWidget* widget() override { return page; }
    void openNewsComment(const QString& newsId, const QString&, const QString&) override { opened.append(newsId); }
    void refreshComment(bool byUser) override { refreshes += byUser ? 1 : 0; }
    void runScript(const QString&) override {}
    QWidget* page;
    QStringList opened;
    int refreshes = 0;
};

class FakeNeighbours : public ArticleNeighbours
{
public:
    FakeDealPage* deal = nullptr;
    FakeCommentPage* comments = nullptr;
    std::unique_ptr<ArticleDealPage> makeDealPage(QWidget* parent) override
    {
        auto page = std::make_unique<FakeDealPage>(parent);
        deal = page.get();
        return page;
    }
    std::unique_ptr<ArticleCommentPage> makeCommentPage(QWidget* parent) override
    {
        auto page = std::make_unique<FakeCommentPage>(parent);
        comments = page.get();
        return page;
    }
    void showLoginWindow(QWidget*) override {}
    void showWriteComment(const QString& newsId, const QString&, const QString&, const QString&, const QString&) override
    {
        written.append(newsId);
    }
    QStringList written;
};

}  // namespace

TEST_F(RightViewControllerTest, BackWalksTheHistoryAndTheCommentPage)
{
    auto neighbours = std::make_shared<FakeNeighbours>();
    ArticleNeighbours::install(neighbours);
    RightViewController pane;
    pane.resize(900, 700);
    pane.show();
    routeArticle(QStringLiteral("甲"), QStringLiteral("<p>a</p>"));
    routeArticle(QStringLiteral("乙"), QStringLiteral("<p>b</p>"), QStringLiteral("/rss/654321.xml"), QStringLiteral("654321"));
    pane.show(item(QStringLiteral("123456")));
    ASSERT_TRUE(waitUntil([&] { return pane.pane()->bSucLoad(); }, 30000));
    pane.pane()->openNewsInNews(QStringLiteral("654321"));
    ASSERT_EQ(pane.recordNewsAndHot().size(), 2);
    EXPECT_FALSE(pane.toolBar()->backBtn->isHidden());

    pane.openComment();
    ASSERT_NE(neighbours->comments, nullptr);
    EXPECT_EQ(neighbours->comments->opened, QStringList{QStringLiteral("654321")});
    EXPECT_TRUE(pane.webView()->isHidden());
    pane.refresh();
    EXPECT_EQ(neighbours->comments->refreshes, 1);
    pane.openComment();  // again: back to the article
    EXPECT_FALSE(pane.webView()->isHidden());
    EXPECT_TRUE(neighbours->comments->page->isHidden());
    EXPECT_EQ(pane.recordNewsAndHot().size(), 2);

    pane.back();
    ASSERT_EQ(pane.recordNewsAndHot().size(), 1);
    EXPECT_EQ(pane.feed()->guid, QStringLiteral("123456"));
    EXPECT_TRUE(pane.toolBar()->backBtn->isHidden());
    pane.writeComment();
    EXPECT_EQ(neighbours->written, QStringList{QStringLiteral("123456")});
    ArticleNeighbours::install(nullptr);
}

TEST_F(RightViewControllerTest, DealsOpenInTheDealPage)
{
    auto neighbours = std::make_shared<FakeNeighbours>();
    ArticleNeighbours::install(neighbours);
    RightViewController pane;
    pane.resize(900, 700);
    pane.show();
    // The deal page's web view is made when a deal is first shown, not with the pane.
    EXPECT_EQ(neighbours->deal, nullptr);
    pane.showDealByClick(QStringLiteral("x1"), true);
    EXPECT_EQ(neighbours->deal, nullptr);
    pane.showDealByClick(QStringLiteral("88"), false);
    ASSERT_NE(neighbours->deal, nullptr);
    EXPECT_EQ(neighbours->deal->shown, QStringList{QStringLiteral("88")});
    EXPECT_TRUE(neighbours->deal->page->isVisible());
    EXPECT_FALSE(pane.webView()->isVisible());
    EXPECT_TRUE(pane.toolBar()->instantGOBtn->isVisible());
    // From a deals block of the page: recorded in the history, back shown.
    pane.pane()->openHot(QStringLiteral("99"));
    EXPECT_EQ(neighbours->deal->shown.last(), QStringLiteral("99/click"));
    ASSERT_EQ(pane.recordNewsAndHot().size(), 1);
    EXPECT_EQ(pane.recordNewsAndHot().first().kind, QStringLiteral("hot"));
    EXPECT_TRUE(pane.toolBar()->backBtn->isVisible());
    pane.fontChanged();
    EXPECT_EQ(neighbours->deal->scripts, QStringList{QStringLiteral("SetFontFamily('PingFangSC-Regular')")});
    ArticleNeighbours::install(nullptr);
}

TEST_F(RightViewControllerTest, FontAndSharePopoversAndTheBuyButton)
{
    auto neighbours = std::make_shared<FakeNeighbours>();
    ArticleNeighbours::install(neighbours);
    auto opener = std::make_shared<RecordingUrlOpener>();
    UrlOpener::install(opener);
    {
        RightViewController pane;
        pane.resize(900, 700);
        pane.show();
        routeArticle(QStringLiteral("字"), QStringLiteral("<p>a</p>"));
        auto article = item(QStringLiteral("123456"));
        pane.show(article);
        ASSERT_TRUE(waitUntil([&] { return pane.pane()->bSucLoad(); }, 30000));
        const quint64 generation = pane.pane()->pageGeneration();

        pane.adjustFont();
        auto* font = pane.toolBarPopover()->findChild<AdjustFontViewController*>();
        ASSERT_NE(font, nullptr);
        const int before = AdjustFontViewController::storedFontSize();
        font->addFontSize();
        {
            SettingsDatabaseOperate::Lease settings;
            ASSERT_TRUE(settings);
            EXPECT_EQ(settings->contentFontSize(), QString::number(std::min(before + 1, 30)));
        }
        EXPECT_GT(pane.pane()->pageGeneration(), generation);  // built again with the new size
        ASSERT_TRUE(waitUntil([&] { return pane.pane()->bSucLoad(); }, 30000));
        AdjustFontViewController::storeFontSize(before);

        article->link = QStringLiteral("/html/2026/12/123456.htm");
        pane.share();
        auto* share = pane.toolBarPopover()->findChild<ShareViewController*>();
        ASSERT_NE(share, nullptr);
        EXPECT_EQ(share->Purl(), kUrlSiteHome + QStringLiteral("/html/2026/12/123456.htm"));
        EXPECT_EQ(share->Ptitle(), QStringLiteral("字"));

        auto deal = std::make_shared<HotProductModel>();
        deal->pro_shareUrl = QStringLiteral("http://deal/share");
        deal->pro_buyUrl = QStringLiteral("http://deal/buy");
        pane.showDealByClick(QStringLiteral("5"), true);
        ASSERT_NE(neighbours->deal, nullptr);
        neighbours->deal->model = deal;
        pane.share();
        share = pane.toolBarPopover()->findChild<ShareViewController*>();
        ASSERT_NE(share, nullptr);
        EXPECT_EQ(share->Purl(), QStringLiteral("http://deal/share"));
        pane.instantGO();
        EXPECT_EQ(opener->urls, QList<QUrl>{QUrl(QStringLiteral("http://deal/buy"))});
        deal->pro_buyUrl = QStringLiteral("");
        pane.instantGO();
        EXPECT_EQ(opener->urls.size(), 1);
    }
    UrlOpener::install(nullptr);
    ArticleNeighbours::install(nullptr);
}

TEST_F(RightViewControllerTest, OnePopoverServesFontAndShareAndDropsItsContentOnClose)
{
    routeArticle(QStringLiteral("字"), QStringLiteral("<p>a</p>"));
    ASSERT_TRUE(openAndWait());
    view->adjustFont();
    const QPointer<QWidget> popover = view->toolBarPopover();
    ASSERT_FALSE(popover.isNull());
    const QPointer<AdjustFontViewController> font = popover->findChild<AdjustFontViewController*>();
    ASSERT_FALSE(font.isNull());
    EXPECT_TRUE(popover->isVisible());

    popover->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(font.isNull()) << "the closed popover's content is dropped";
    ASSERT_FALSE(popover.isNull()) << "the popover itself stays for the next use";

    view->share();
    EXPECT_EQ(view->toolBarPopover(), popover.data());
    EXPECT_TRUE(popover->isVisible());
    EXPECT_NE(popover->findChild<ShareViewController*>(), nullptr);
    EXPECT_EQ(popover->findChild<AdjustFontViewController*>(), nullptr);
}

// ---- Toolbar actions on the real pane ----

class PaneToolbarTest : public RightViewControllerTest
{
protected:
    void SetUp() override
    {
        RightViewControllerTest::SetUp();
        neighbours = std::make_shared<FakeNeighbours>();
        ArticleNeighbours::install(neighbours);
        pane = std::make_unique<RightViewController>();
        pane->resize(900, 700);
        pane->show();
        routeArticle(QStringLiteral("甲"), QStringLiteral("<p>a</p>"));
        routeArticle(QStringLiteral("乙"), QStringLiteral("<p>b</p>"), QStringLiteral("/rss/654321.xml"), QStringLiteral("654321"));
    }
    void TearDown() override
    {
        pane.reset();
        ArticleNeighbours::install(nullptr);
        RightViewControllerTest::TearDown();
    }
    void openA()
    {
        pane->show(item(QStringLiteral("123456")));
        ASSERT_TRUE(waitUntil([&] { return pane->pane()->bSucLoad(); }, 30000));
    }
    QStringList history() const
    {
        QStringList entries;
        for (const ArticleHistoryEntry& entry : pane->recordNewsAndHot())
            entries.append(entry.kind == QStringLiteral("news") ? entry.feed->guid : QStringLiteral("hot ") + entry.dealId);
        return entries;
    }
    // Score, related news, hot comments and deals of article 123456 all answer.
    void routeSideBlocks()
    {
        server.route("GET", QStringLiteral("/api/newsgrade/get"), LoopbackReply::text(200, "{\"g1\":1,\"g2\":2,\"g3\":3,\"Grade\":\"4.5\"}"));
        server.route("GET", QStringLiteral("/json/tags/0123/123456.json"),
                     LoopbackReply::text(200, "[{\"newsid\":\"654321\",\"newstitle\":\"rel\",\"postdate\":\"d\"}]"));
        server.route("GET", QUrl(ArticleUrls::hotCommentUrl(QStringLiteral("123456"))).path(),
                     LoopbackReply::text(200, "showcomment([{\"Ui\":1,\"N\":\"n\",\"C\":\"hot\",\"S\":3}])"));
        server.route("GET", QStringLiteral("/api/apps/douzaimai"),
                     LoopbackReply::text(200, "{\"success\":true,\"content\":[{\"productid\":5,\"ProductName\":\"耳机\"}]}"));
    }
    // How many of the five side blocks the page shows, and the article text's size.
    QString shownBlocks()
    {
        return runScript(*pane, QStringLiteral("['#newreward','#newscore','#related','#douzaimai','#newshotcomment'].filter("
                                               "function(s){var e=document.querySelector(s);return e&&e.innerHTML.length>0;})"
                                               ".length+''")).toString();
    }
    QString contentFontSize()
    {
        return runScript(*pane, QStringLiteral("getComputedStyle(document.querySelector('#content')).fontSize")).toString();
    }
    bool dealShowing() const
    {
        return neighbours->deal && neighbours->deal->page->isVisible() && !pane->webView()->isVisible();
    }

    std::shared_ptr<FakeNeighbours> neighbours;
    std::unique_ptr<RightViewController> pane;
};

TEST_F(PaneToolbarTest, BackFromADealToTheArticleStillHeldKeepsThatArticle)
{
    openA();
    pane->pane()->openHot(QStringLiteral("77"));
    ASSERT_EQ(history(), (QStringList{"123456", "hot 77"}));
    ASSERT_TRUE(dealShowing());
    pane->back();
    EXPECT_EQ(history(), QStringList{QStringLiteral("123456")});
    EXPECT_EQ(pane->feed()->guid, QStringLiteral("123456"));
    EXPECT_TRUE(pane->webView()->isVisible());
    EXPECT_FALSE(neighbours->deal->page->isVisible());
    EXPECT_TRUE(pane->toolBar()->backBtn->isHidden());
    EXPECT_TRUE(pane->toolBar()->commentBtn->isVisible());
}

TEST_F(PaneToolbarTest, BackToADealShowsTheDealPage)
{
    openA();
    pane->pane()->openHot(QStringLiteral("77"));
    pane->pane()->openNewsInNews(QStringLiteral("654321"));
    ASSERT_EQ(history(), (QStringList{"123456", "hot 77", "654321"}));
    ASSERT_TRUE(waitUntil([&] { return pane->pane()->bSucLoad() && pane->webView()->isVisible(); }, 30000));
    pane->back();
    EXPECT_EQ(history(), (QStringList{"123456", "hot 77"}));
    EXPECT_EQ(neighbours->deal->shown.last(), QStringLiteral("77/click"));
    EXPECT_TRUE(dealShowing());
    EXPECT_TRUE(pane->toolBar()->instantGOBtn->isVisible());
    EXPECT_FALSE(pane->toolBar()->backBtn->isHidden());
}

TEST_F(PaneToolbarTest, BackBetweenTwoArticlesAndThroughTheCommentPage)
{
    openA();
    pane->pane()->openNewsInNews(QStringLiteral("654321"));
    ASSERT_TRUE(waitUntil([&] { return pane->pane()->bSucLoad(); }, 30000));
    pane->openComment();
    ASSERT_TRUE(pane->webView()->isHidden());
    pane->back();  // from the comments: the article again, the history untouched
    EXPECT_TRUE(pane->webView()->isVisible());
    EXPECT_TRUE(neighbours->comments->page->isHidden());
    EXPECT_EQ(history(), (QStringList{"123456", "654321"}));
    pane->toolBar()->commentBtn->click();
    pane->toolBar()->commentCountBtn->click();  // the badge while the comments show: back to the article
    EXPECT_TRUE(pane->webView()->isVisible());
    EXPECT_EQ(neighbours->comments->opened, (QStringList{"654321", "654321"}));
    pane->toolBar()->backBtn->click();
    EXPECT_EQ(history(), QStringList{QStringLiteral("123456")});
    EXPECT_EQ(pane->feed()->guid, QStringLiteral("123456"));
    EXPECT_TRUE(pane->toolBar()->backBtn->isHidden());
    pane->back();  // nowhere to go: nothing changes
    EXPECT_EQ(history(), QStringList{QStringLiteral("123456")});
}

TEST_F(PaneToolbarTest, CommentsNeedAnArticle)
{
    pane->openComment();
    pane->writeComment();
    EXPECT_TRUE(neighbours->written.isEmpty());
    EXPECT_TRUE(neighbours->comments == nullptr || neighbours->comments->opened.isEmpty());
    openA();
    pane->feed()->guid = QStringLiteral("");
    pane->openComment();
    pane->writeComment();
    EXPECT_TRUE(neighbours->written.isEmpty());
    ASSERT_NE(neighbours->comments, nullptr);
    EXPECT_TRUE(neighbours->comments->opened.isEmpty());
    EXPECT_TRUE(pane->webView()->isVisible());
}

TEST_F(PaneToolbarTest, TheBuyButtonOpensOnlyWebAddresses)
{
    auto opener = std::make_shared<RecordingUrlOpener>();
    UrlOpener::install(opener);
    auto deal = std::make_shared<HotProductModel>();
    pane->showDealByClick(QStringLiteral("5"), true);
    ASSERT_NE(neighbours->deal, nullptr);
    neighbours->deal->model = deal;
    for (const char* refused : {"", "javascript:x", "file:///etc/passwd", "tidwen://x"}) {
        deal->pro_buyUrl = QLatin1String(refused);
        DJProgressHUD::dismiss();
        waitUntil([] { return !DJProgressHUD::instance()->displaying(); }, 30000);
        pane->toolBar()->instantGOBtn->click();
        EXPECT_TRUE(opener->urls.isEmpty()) << refused;
        QWidget* tipHost = DJProgressHUD::instance()->parentView();
        ASSERT_NE(tipHost, nullptr) << refused;
        EXPECT_TRUE(pane->isAncestorOf(tipHost)) << refused;
        QStringList texts;
        for (const QLabel* label : tipHost->findChildren<QLabel*>())
            texts.append(label->text());
        EXPECT_TRUE(texts.contains(QStringLiteral("获取链接失败，无法打开网页"))) << texts.join('|').toStdString();
    }
    deal->pro_buyUrl = QStringLiteral("https://shop.example/buy?id=5");
    pane->toolBar()->instantGOBtn->click();
    EXPECT_EQ(opener->urls, QList<QUrl>{QUrl(QStringLiteral("https://shop.example/buy?id=5"))});
    UrlOpener::install(nullptr);
}

TEST_F(PaneToolbarTest, TheTipsAndTheSpinnerStandAboveEveryPage)
{
    const auto dismiss = onScopeExit([] { DJProgressHUD::dismiss(); });
    // What is drawn in the middle of the widget is the widget or a part of it.
    const auto onTop = [&](QWidget* widget) {
        QWidget* top = pane->childAt(widget->mapTo(pane.get(), widget->rect().center()));
        return top == widget || widget->isAncestorOf(top);
    };
    // The page is laid out over the middle of the pane before its tip is asked for.
    const auto laidOut = [&](QWidget* page) {
        return waitUntil([&] { return page->isVisible() && page->geometry().contains(pane->rect().center()); }, 30000);
    };
    const auto tipOnTop = [&](QWidget* page, const std::function<void()>& tip) {
        DJProgressHUD::dismiss();
        EXPECT_TRUE(waitUntil([] { return !DJProgressHUD::instance()->displaying(); }, 30000));
        EXPECT_TRUE(laidOut(page));
        tip();
        QWidget* host = DJProgressHUD::instance()->parentView();
        return host && pane->isAncestorOf(host) && onTop(host);
    };
    const auto commentSent = [&] { pane->sentCommentSuc(); };
    const auto buyFailed = [&] { pane->instantGO(); };
    openA();
    pane->openComment();
    QWidget* comments = neighbours->comments->page;
    EXPECT_TRUE(tipOnTop(comments, commentSent)) << "comment page first";
    pane->showDealByClick(QStringLiteral("5"), true);
    QWidget* deal = neighbours->deal->page;
    EXPECT_TRUE(tipOnTop(deal, buyFailed)) << "deal page after the comment page";
    pane->openComment();
    EXPECT_TRUE(tipOnTop(comments, commentSent)) << "comment page after the deal page";
    pane->showDealByClick(QStringLiteral("6"), true);
    EXPECT_TRUE(tipOnTop(deal, buyFailed)) << "deal page again";
    pane->showLogo();
    pane->openComment();
    EXPECT_TRUE(laidOut(comments));
    EXPECT_TRUE(onTop(pane->logoView())) << "spinner under the comment page";
}

// A tip longer than the tips area's own width is shown whole, not cut to its middle.
TEST_F(PaneToolbarTest, ALongTipIsShownWhole)
{
    const auto dismiss = onScopeExit([] { DJProgressHUD::dismiss(); });
    const QString text = QStringLiteral("获取链接失败，无法打开网页");
    pane->tips(text);
    QWidget* host = DJProgressHUD::instance()->parentView();
    ASSERT_NE(host, nullptr);
    EXPECT_GE(host->width(), DJProgressHUD::messageSize(text).width());
    EXPECT_TRUE(pane->rect().contains(host->geometry()));
}

TEST_F(PaneToolbarTest, AFontStepRebuildsThePageWithItsBlocks)
{
    const auto restoreFontSize = restoreStoredFontSize();
    ASSERT_TRUE(AdjustFontViewController::storeFontSize(18));
    routeSideBlocks();
    openA();
    // The reward block comes with a page from the kept copy: refresh with the same date.
    pane->feed()->isReward = true;
    const QUrl first = pane->webPage()->articleUrl();
    pane->pane()->refreshNews(true);
    // The refreshed page is the one on screen before the font is touched.
    ASSERT_TRUE(waitUntil([&] { return pane->webPage()->articleUrl() != first && pane->webPage()->showsArticlePage(); }, 30000));
    ASSERT_TRUE(waitUntil([&] { return shownBlocks() == QStringLiteral("5"); }, 30000)) << shownBlocks().toStdString();
    EXPECT_TRUE(waitUntil([&] { return contentFontSize() == QStringLiteral("18px"); }, 30000)) << contentFontSize().toStdString();

    pane->adjustFont();
    auto* font = pane->toolBarPopover()->findChild<AdjustFontViewController*>();
    ASSERT_NE(font, nullptr);
    const quint64 generation = pane->pane()->pageGeneration();
    font->addFontSize();
    EXPECT_EQ(font->fontSize()->text(), QStringLiteral("19"));
    EXPECT_EQ(AdjustFontViewController::storedFontSize(), 19);
    ASSERT_GT(pane->pane()->pageGeneration(), generation);
    ASSERT_TRUE(waitUntil([&] { return pane->webPage()->showsArticlePage(); }, 30000));
    ASSERT_TRUE(waitUntil([&] { return contentFontSize() == QStringLiteral("19px") && shownBlocks() == QStringLiteral("5"); }, 30000))
        << contentFontSize().toStdString() << " " << shownBlocks().toStdString();

    // Tried, not kept: the page at 20, the setting still 19.
    const QUrl nineteen = pane->webPage()->articleUrl();
    pane->setFontSizeEndChange(20, false);
    ASSERT_NE(pane->webPage()->articleUrl(), nineteen);
    ASSERT_TRUE(waitUntil([&] { return pane->webPage()->showsArticlePage(); }, 30000));
    EXPECT_TRUE(waitUntil([&] { return contentFontSize() == QStringLiteral("20px") && shownBlocks() == QStringLiteral("5"); }, 30000))
        << contentFontSize().toStdString();
    EXPECT_EQ(AdjustFontViewController::storedFontSize(), 19);

    // Quick clicks: each rebuild replaces the one still loading; the last size shows, with blocks.
    for (int round = 0; round < 3; ++round) {
        pane->setFontSizeEndChange(21, false);
        pane->setFontSizeEndChange(22, false);
        EXPECT_TRUE(waitUntil([&] {
            return pane->webPage()->showsArticlePage() && contentFontSize() == QStringLiteral("22px") && shownBlocks() == QStringLiteral("5");
        }, 30000)) << round << " " << contentFontSize().toStdString() << " " << shownBlocks().toStdString();
        pane->setFontSizeEndChange(20, false);
        EXPECT_TRUE(waitUntil([&] { return pane->webPage()->showsArticlePage() && shownBlocks() == QStringLiteral("5"); }, 30000));
    }
}

TEST_F(PaneToolbarTest, AFontStepDuringARefreshKeepsTheNewSize)
{
    const auto restoreFontSize = restoreStoredFontSize();
    ASSERT_TRUE(AdjustFontViewController::storeFontSize(18));
    routeSideBlocks();
    openA();
    pane->feed()->isReward = true;
    // The refresh is still downloading when the size changes: the page it builds must not bring
    // the old size back.
    pane->pane()->refreshNews(true);
    pane->setFontSizeEndChange(19, true);
    EXPECT_TRUE(waitUntil([&] {
        return pane->webPage()->showsArticlePage() && contentFontSize() == QStringLiteral("19px") && shownBlocks() == QStringLiteral("5");
    }, 30000)) << contentFontSize().toStdString() << " " << shownBlocks().toStdString();
}

// A refresh of the article on screen builds its page again; a font step while that page is still
// loading builds another. The second load must end with the page's blocks, not without them.
TEST_F(PaneToolbarTest, AFontStepWhileARefreshedPageLoadsKeepsItsBlocks)
{
    const auto restoreFontSize = restoreStoredFontSize();
    ASSERT_TRUE(AdjustFontViewController::storeFontSize(18));
    routeSideBlocks();
    openA();
    ASSERT_TRUE(waitUntil([&] { return shownBlocks() == QStringLiteral("4"); })) << "the four side blocks, got " << shownBlocks().toStdString();
    for (const int size : {19, 18, 19}) {
        // The step comes when the refreshed page is in the view and still loading.
        const quint64 generation = pane->pane()->pageGeneration();
        bool stepped = false;
        const QMetaObject::Connection watch = QObject::connect(pane->webPage(), &QWebEnginePage::urlChanged, pane.get(), [&](const QUrl& url) {
            if (stepped || pane->pane()->pageGeneration() == generation || url != pane->webPage()->articleUrl())
                return;
            stepped = true;
            QMetaObject::invokeMethod(pane.get(), [&, size] { pane->setFontSizeEndChange(size, true); }, Qt::QueuedConnection);
        });
        pane->pane()->refreshNews(false);
        const bool refreshed = waitUntil([&] { return stepped; });
        QObject::disconnect(watch);
        ASSERT_TRUE(refreshed) << "the refreshed page in the view";
        const QString want = QString::number(size) + QStringLiteral("px");
        EXPECT_TRUE(waitUntil([&] {
            return pane->webPage()->showsArticlePage() && contentFontSize() == want && shownBlocks() == QStringLiteral("4");
        })) << "the page at " << want.toStdString() << " with its four blocks; it shows " << contentFontSize().toStdString() << " and "
            << shownBlocks().toStdString() << " blocks";
    }
}

// One byte that is not UTF-8 in the reply costs that character, not the article.
TEST_F(RightViewControllerTest, AnArticleWithOneBadByteShowsItsTitleAndText)
{
    QByteArray reply = articleXml(QStringLiteral("123456"), QStringLiteral("坏字节"), QStringLiteral("<p id=\"p\">前BAD后</p>"));
    reply.replace("BAD", "\xff");
    server.route("GET", kArticlePath, LoopbackReply::text(200, reply, "text/xml; charset=utf-8"));
    view->show(item(QStringLiteral("123456")));
    ASSERT_TRUE(waitUntil([&] { return view->pane()->bSucLoad() || (view->errorView() && view->errorView()->isVisible()); }, 30000));
    EXPECT_FALSE(view->errorView() && view->errorView()->isVisible()) << "the error view instead of the article";
    EXPECT_EQ(text(QStringLiteral("h1")), QStringLiteral("坏字节"));
    EXPECT_EQ(text(QStringLiteral("#p")), QStringLiteral("前\uFFFD后"));
}
