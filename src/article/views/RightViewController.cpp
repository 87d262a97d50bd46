#include "article/views/RightViewController.h"

#include "article/ArticleCacheFile.h"
#include "article/ArticlePageBuilder.h"
#include "article/views/ArticleNeighbours.h"
#include "article/views/ArticleSchemeHandler.h"
#include "article/views/ArticleWebPage.h"
#include "article/views/popovers/AdjustFontViewController.h"
#include "article/views/popovers/ArticleShare.h"
#include "article/views/popovers/ShareViewController.h"
#include "article/ArticleServices.h"
#include "database/SettingsDatabaseOperate.h"
#include "foundation/CommonFunction.h"
#include "foundation/GlobalValues.h"
#include "foundation/PageFont.h"
#include "platform/MemoryRelease.h"
#include "platform/NotificationCenter.h"
#include "platform/UrlOpener.h"
#include "ui/controls/CustomButton.h"
#include "ui/controls/DDErrorView.h"
#include "ui/controls/KeysHandOver.h"
#include "ui/hud/DJActivityIndicator.h"
#include "ui/hud/DJProgressHUD.h"
#include "ui/layout/LayoutConstraint.h"
#include "ui/layout/MASAdditions.h"

#include <QEvent>
#include <algorithm>
#include <QLabel>
#include <QMessageBox>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>
#include <QWebEngineScript>

using namespace MASAdditions;

namespace {

QString fontFamilyScript()
{
    return QStringLiteral("SetFontFamily('%1')").arg(PageFont::family(gbThinFont.load()));
}

class NoNeighbours : public ArticleNeighbours
{
public:
    std::unique_ptr<ArticleDealPage> makeDealPage(QWidget*) override { return nullptr; }
    std::unique_ptr<ArticleCommentPage> makeCommentPage(QWidget*) override { return nullptr; }
    void showLoginWindow(QWidget*) override {}
    void showWriteComment(const QString&, const QString&, const QString&, const QString&, const QString&) override {}
};

}  // namespace

std::shared_ptr<ArticleNeighbours> ArticleNeighbours::makeDefault()
{
    return std::make_shared<NoNeighbours>();
}

QString RightViewController::blankPage()
{
    return QStringLiteral("<style type=\"text/css\">html,body{-webkit-touch-callout: none;}body{margin: 0;padding: 0; "
                          "color:#f8f8f8; background:#f8f8f8;}</style><html><body></body></html>");
}

RightViewController::RightViewController(QWidget* parent) : QWidget(parent)
{
    m_pane = new ArticlePane(this, this);
    viewDidLoad();
}

RightViewController::~RightViewController()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    // The pane's requests end before the view they report to.
    delete m_pane;
    m_pane = nullptr;
}

void RightViewController::viewDidLoad()
{
    setAutoFillBackground(true);
    m_toolBar = new ToolBarView(this);
    m_toolBar->setDelegate(this);
    mas_makeConstraints(m_toolBar, [this](MASConstraintMaker& make) {
        make.left().equalTo(mas_left(this));
        make.bottom().equalTo(mas_bottom(this));
        make.right().equalTo(mas_right(this));
        make.height().equalTo(50);
    });

    m_topWhiteBar = new QWidget(this);
    mas_makeConstraints(m_topWhiteBar, [this](MASConstraintMaker& make) {
        make.left().equalTo(mas_left(this));
        make.right().equalTo(mas_right(this));
        make.top().equalTo(mas_top(this));
        make.height().equalTo(28);
    });

    m_webView = new ArticleWebView(this);
    m_page = new ArticleWebPage(m_pane, m_webView);
    m_webView->setPage(m_page);
    m_blankPageUrl = ArticleSchemeHandler::forProfile(m_page->profile())->keepPage(QStringLiteral("blank.html"), blankPage());
    connect(m_page, &QWebEnginePage::loadFinished, this, &RightViewController::pageLoadFinished);
    connect(m_page, &QWebEnginePage::loadStarted, this, &RightViewController::pageLoadStarted);
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this, &RightViewController::webViewEnded);
    // The word over the view when its renderer ended is the view's own; its reload builds the
    // article page anew.
    m_webView->setRendererEndedReload([this] { m_pane->openNews(); });
    mas_makeConstraints(m_webView, [this](MASConstraintMaker& make) {
        make.left().equalTo(mas_left(this));
        make.right().equalTo(mas_right(this));
        make.top().equalTo(mas_bottom(m_topWhiteBar));
        make.bottom().equalTo(mas_top(m_toolBar));
    });

    auto* topBar = new QLabel(m_webView);
    topBar->setPixmap(QPixmap(QStringLiteral(":/article/webViewTopBar.png")));
    topBar->setScaledContents(true);
    topBar->setAttribute(Qt::WA_TransparentForMouseEvents);
    mas_makeConstraints(topBar, [this](MASConstraintMaker& make) {
        make.left().equalTo(mas_left(m_webView));
        make.right().equalTo(mas_right(m_webView));
        make.top().equalTo(mas_top(m_webView));
        make.height().equalTo(12);
    });

    m_logoView = new DJActivityIndicator(this);
    m_logoView->setGeometry(0, 0, 50, 50);
    m_logoView->hide();
    mas_makeConstraints(m_logoView, [this](MASConstraintMaker& make) {
        make.centerX().equalTo(mas_centerX(this));
        make.centerY().equalTo(mas_centerY(this));
        make.width().equalTo(50);
        make.height().equalTo(50);
    });

    m_tipsView = new QWidget(this);
    m_tipsView->hide();
    mas_makeConstraints(m_tipsView, [this](MASConstraintMaker& make) {
        make.centerX().equalTo(mas_centerX(this)).offset(-20);
        make.centerY().equalTo(mas_centerY(this)).offset(40);
        make.width().equalTo(200);
        make.height().equalTo(20);
    });

    // Keys of a page put aside (the article while the next one loads, the comment page, the deal
    // page, the error view) go to the page on show in its place.
    KeysHandOver::addArea(this, [this] { return pageTakingKeys(); });

    if (CommonFunction::isEICapitanLater()) {
        NotificationCenter::defaultCenter().addObserver(this, QStringLiteral("fontChanged"), nullptr,
                                                        [this](const Notification&) { fontChanged(); });
    }
    NotificationCenter::defaultCenter().addObserver(this, QStringLiteral("sentCommentSuc"), nullptr,
                                                    [this](const Notification&) { sentCommentSuc(); });
}

// The spinner and the tips stand above whatever the pane shows: a page made later comes above
// everything before it, and a page may bring itself to the front at any time.
void RightViewController::childEvent(QChildEvent* event)
{
    QWidget::childEvent(event);
    if (event->added() && event->child()->isWidgetType()) {
        event->child()->installEventFilter(this);
        keepOverlaysOnTop();
    }
}

void RightViewController::keepOverlaysOnTop()
{
    if (m_logoView)
        m_logoView->raise();
    if (m_tipsView)
        m_tipsView->raise();
}

bool RightViewController::isOverlay(const QObject* widget) const
{
    return widget == m_logoView || widget == m_tipsView;
}

QWidget* RightViewController::pageTakingKeys() const
{
    if (m_errorView && m_errorView->isVisible())
        return m_errorView->reloadButton();
    for (QWidget* page : {m_commentView ? m_commentView->widget() : nullptr,
                          m_hotProductView ? m_hotProductView->widget() : nullptr, static_cast<QWidget*>(m_webView)}) {
        if (page && page->isVisible())
            return page;
    }
    return nullptr;
}

void RightViewController::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_errorView)
        m_errorView->setGeometry(rect());
}

void RightViewController::pageLoadStarted()
{
    if (!m_loadRunning)
        return;
    m_loadStarted = true;
    // A newer page asked for before this load had begun: stopped now that stopping it is heard.
    if (m_waitingLoad)
        QMetaObject::invokeMethod(this, &RightViewController::stopRunningLoad, Qt::QueuedConnection);
}

void RightViewController::stopRunningLoad()
{
    // Stopping a load the engine has not begun ends it without a word: no load end would start
    // the waiting page. Begun, it ends with its load end, which starts the waiting page.
    if (m_loadRunning && m_loadStarted && m_waitingLoad)
        m_page->triggerAction(QWebEnginePage::Stop);
}

void RightViewController::pageLoadFinished(bool)
{
    m_loadRunning = false;
    m_loadStarted = false;
    if (m_waitingLoad) {
        // The page that ended is already replaced: the newest page loads now, and its end counts.
        const WaitingLoad next = *m_waitingLoad;
        m_waitingLoad.reset();
        startLoad(next.url, next.newsId);
        return;
    }
    // Only the article page on screen counts: the blank page's end must not let a block in.
    if (m_page->showsArticlePage()) {
        // A diagnostic line per article page: start-up and memory are timed by it.
        qInfo("tidwen: article page loaded");
        m_isClearingContent = false;
        m_pane->pageLoadFinished();
        // Building and loading the page freed much more than it keeps.
        memory::releaseFreedSoon();
    }
}

void RightViewController::webViewEnded(QWebEnginePage::RenderProcessTerminationStatus status)
{
    // No load of the ended process will report its end.
    m_loadRunning = false;
    m_loadStarted = false;
    m_waitingLoad.reset();
    if (status != QWebEnginePage::NormalTerminationStatus)
        hideLogo();
}

void RightViewController::clearContent()
{
    m_isClearingContent = true;
    startLoad(QUrl(), QString());
}

void RightViewController::startLoad(const QUrl& url, const QString& newsId)
{
    // A load started over one whose page is in the view but still loading can end without any
    // load signal: the first page's end stands for both, and the newest page would never get its
    // blocks. So one load runs at a time: a newer one stops the running load and starts at its
    // end; only the newest waiting one is kept. Stopped, not waited for: a resource of the old
    // page that answers late or never (the hit counter's frame) must not hold the reader's click.
    if (m_loadRunning) {
        m_waitingLoad = WaitingLoad{url, newsId};
        // The page being left is no article page of the pane any more: its calls and the pane's
        // scripts stop counting now, not when the next page is in.
        m_page->setArticlePage(QUrl(), QString());
        stopRunningLoad();
        return;
    }
    m_loadRunning = true;
    m_loadStarted = false;
    m_page->setArticlePage(url, newsId);
    m_page->load(url.isEmpty() ? m_blankPageUrl : url);
}

void RightViewController::loadArticlePage(const QString& html, const QString& newsId)
{
    // Every pane of the process publishes into the profile's one page store: the page's name is
    // numbered across panes, so that one pane's page never takes the name (or the engine's cached
    // copy) of another's.
    static quint64 published = 0;
    const QUrl url = ArticleSchemeHandler::forProfile(m_page->profile())->publishPage(++published, html);
    startLoad(url, newsId);
}

void RightViewController::evaluateScript(const QString& script)
{
    m_page->runArticleScript(script);
}

void RightViewController::showLogo()
{
    m_logoView->show();
    m_logoView->startAnimation(this);
    m_webView->hide();
}

void RightViewController::hideLogo()
{
    m_webView->show();
    m_logoView->hide();
    m_logoView->stopAnimation(this);
}

void RightViewController::showErrorView()
{
    if (!m_errorView) {
        m_errorView = new DDErrorView(m_webView->geometry(), this);
        m_errorView->setSubtitle(QStringLiteral("点击刷新按钮重新加载"));
        m_errorView->addReloadButton();
        m_errorView->reloadButton()->addTarget(m_pane, &ArticlePane::openNews);
        m_errorView->fitColor(gThemeMode.load());
    }
    m_errorView->setTitle(QStringLiteral("新闻加载失败"));
    m_errorView->setGeometry(m_webView->parentWidget()->rect());
    m_errorView->show();
    m_errorView->raise();
}

void RightViewController::removeErrorView()
{
    if (m_errorView) {
        m_errorView->hide();
        m_errorView->deleteLater();
        m_errorView = nullptr;
    }
}

void RightViewController::setCommentCount(const QString& count)
{
    m_toolBar->setCommentCount(count);
}

void RightViewController::setBackButtonVisible(bool visible)
{
    m_toolBar->backBtn->setVisible(visible);
}

void RightViewController::changeForNews()
{
    m_toolBar->changeForNews();
}

void RightViewController::showArticlePage()
{
    m_webView->show();
    if (m_commentView && m_commentView->widget())
        m_commentView->widget()->hide();
    if (m_hotProductView && m_hotProductView->widget())
        m_hotProductView->widget()->hide();
}

// A page made later (deals, comments) takes the article's place between the top bar and the
// toolbar, hidden until it is shown.
void RightViewController::placeHiddenInArticleArea(QWidget* page)
{
    page->hide();
    mas_makeConstraints(page, [this](MASConstraintMaker& make) {
        make.left().equalTo(mas_left(this));
        make.right().equalTo(mas_right(this));
        make.top().equalTo(mas_bottom(m_topWhiteBar));
        make.bottom().equalTo(mas_top(m_toolBar));
    });
}

// The deal page is a web view of its own: it is made when a deal is first shown, not with the
// pane, so that start-up makes only the article's view.
ArticleDealPage* RightViewController::dealPage()
{
    if (!m_hotProductView) {
        m_hotProductView = ArticleNeighbours::instance()->makeDealPage(this);
        if (m_hotProductView && m_hotProductView->widget()) {
            QWidget* deal = m_hotProductView->widget();
            placeHiddenInArticleArea(deal);
        }
    }
    return m_hotProductView.get();
}

void RightViewController::showDealPage(const QString& dealId)
{
    ArticleDealPage* deal = dealPage();
    if (deal && !dealId.isEmpty())
        loadDeal(*deal, dealId, true);
    m_webView->hide();
    if (m_commentView && m_commentView->widget())
        m_commentView->widget()->hide();
    if (deal && deal->widget())
        deal->widget()->show();
    m_toolBar->changForHotProduct();
}

void RightViewController::showHotProductAndhideSelf()
{
    showDealPage(QString());
}

void RightViewController::showDealByClick(const QString& productId, bool byClick)
{
    if (!ArticleIds::isDealId(productId))
        return;
    if (ArticleDealPage* deal = dealPage())
        loadDeal(*deal, productId, byClick);
    showHotProductAndhideSelf();
}

void RightViewController::loadDeal(ArticleDealPage& deal, const QString& productId, bool byClick)
{
    deal.show(productId, byClick);
    emit dealShown(productId);
}

void RightViewController::alert(const QString& buttonTitle, const QString& informative)
{
    CommonFunction::alert(buttonTitle, informative, window());
}

void RightViewController::showLoginPrompt()
{
    auto* box = new QMessageBox(QMessageBox::Information, QString(), QStringLiteral("文章打分"), QMessageBox::NoButton, window());
    box->setInformativeText(QStringLiteral("登录Korvask通行证后才可以进行此操作"));
    box->setObjectName(QStringLiteral("loginPrompt"));
    box->addButton(QStringLiteral("我要去登录"), QMessageBox::AcceptRole);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QPointer<RightViewController> self(this);
    connect(box, &QMessageBox::finished, this, [self] {
        if (self)
            ArticleNeighbours::instance()->showLoginWindow(self->window());
    });
    box->open();
}

void RightViewController::fontChanged()
{
    const QString script = fontFamilyScript();
    m_page->runArticleScript(script);
    if (m_commentView)
        m_commentView->runScript(script);
    if (m_hotProductView)
        m_hotProductView->runScript(script);
}

void RightViewController::tips(const QString& text)
{
    // The toast is drawn inside the tips area, which would cut a longer tip to its middle.
    const int width = std::max(200, DJProgressHUD::messageSize(text).width());
    mas_updateConstraints(m_tipsView, [width](MASConstraintMaker& make) { make.width().equalTo(width); });
    Layout::layoutSubtreeIfNeeded(this);
    m_tipsView->show();
    QPointer<RightViewController> self(this);
    DJProgressHUD::showToast(text, m_tipsView, [self] {
        if (self)
            self->m_tipsView->hide();
    });
}

void RightViewController::sentCommentSuc()
{
    tips(QStringLiteral("评论成功"));
}

void RightViewController::cleanCacheAndCookie()
{
    // The program's own requests and the web page keep separate cookies and caches.
    ArticlePane::cleanSharedCacheAndCookie();
    QWebEngineProfile* profile = m_page->profile();
    profile->cookieStore()->deleteAllCookies();
    profile->clearHttpCache();
}

// ---- Toolbar ----

bool RightViewController::commentPageShowing() const
{
    return m_commentView && m_commentView->widget() && !m_commentView->widget()->isHidden() && m_webView->isHidden();
}

bool RightViewController::dealPageShowing() const
{
    return m_hotProductView && m_hotProductView->widget() && !m_hotProductView->widget()->isHidden();
}

void RightViewController::openComment()
{
    const FeedPtr& f = m_pane->feed();
    if (!m_commentView) {
        m_commentView = ArticleNeighbours::instance()->makeCommentPage(this);
        if (m_commentView && m_commentView->widget()) {
            placeHiddenInArticleArea(m_commentView->widget());
        }
    }
    if (!m_commentView || !m_commentView->widget() || !f || f->guid.isEmpty())
        return;
    if (commentPageShowing()) {
        back();
        return;
    }
    m_webView->hide();
    m_commentView->widget()->show();
    m_commentView->widget()->raise();
    if (m_hotProductView && m_hotProductView->widget())
        m_hotProductView->widget()->hide();
    m_commentView->openNewsComment(f->guid, f->title, f->link);
    m_toolBar->backBtn->show();
}

void RightViewController::refresh()
{
    if (commentPageShowing())
        m_commentView->refreshComment(true);
    else if (!m_webView->isHidden())
        m_pane->refreshNews(true);
}

void RightViewController::back()
{
    QList<ArticleHistoryEntry>& history = m_pane->recordNewsAndHot();
    if (commentPageShowing()) {
        m_webView->show();
        m_commentView->widget()->hide();
    } else if (dealPageShowing() && history.size() <= 1) {
        const QStringList deals = m_hotProductView->recordHot();
        if (deals.size() < 2) {
            m_toolBar->backBtn->hide();
        } else {
            loadDeal(*m_hotProductView, deals.at(deals.size() - 2), true);
            m_hotProductView->removeRecordHot(deals.last());
        }
    } else if (history.size() < 2) {
        m_toolBar->backBtn->hide();
    } else {
        const ArticleHistoryEntry previous = history.at(history.size() - 2);
        if (previous.kind == QStringLiteral("news")) {
            // show() appends the item unless the history already ends with it: going back from a
            // deal to the article still held, it appends the article after the deal.
            const qsizetype before = history.size();
            m_pane->show(previous.feed);
            if (history.size() > before)
                history.removeLast();
            if (!history.isEmpty())
                history.removeLast();
        } else {
            // The deal is loaded and its page shown: a hidden deal page would show nothing.
            showDealPage(previous.dealId);
            history.removeLast();
        }
    }
    if (history.size() <= 1)
        m_toolBar->backBtn->hide();
}

void RightViewController::writeComment()
{
    const FeedPtr& f = m_pane->feed();
    if (f && !f->guid.isEmpty())
        ArticleNeighbours::instance()->showWriteComment(f->guid, QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"),
                                                        QStringLiteral(""));
}

bool RightViewController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_toolBarPopover && event->type() == QEvent::Hide)
        popoverWillClose();
    if (event->type() == QEvent::ZOrderChange && !isOverlay(watched))
        keepOverlaysOnTop();
    return QWidget::eventFilter(watched, event);
}

void RightViewController::popoverWillClose()
{
    // Out of the popover at once, deleted later: the panel may be closing it from one of its buttons.
    if (m_popoverContent) {
        m_popoverContent->hide();
        m_popoverContent->setParent(nullptr);
        m_popoverContent->deleteLater();
    }
    m_popoverContent = nullptr;
}

void RightViewController::showPopover(QWidget* content, QWidget* anchor)
{
    if (!m_toolBarPopover) {
        m_toolBarPopover = new QWidget(this, Qt::Popup);
        m_toolBarPopover->installEventFilter(this);
    }
    QWidget* popover = m_toolBarPopover;
    // An open popover closes first, so that its content goes as on any close.
    popover->hide();
    popoverWillClose();
    m_popoverContent = content;
    content->setParent(popover);
    content->move(0, 0);
    content->show();
    const QSize size = content->sizeHint().isValid() ? content->sizeHint() : QSize(200, 100);
    popover->resize(size);
    content->resize(size);
    // Above the button, centred on it: the toolbar runs along the pane's bottom edge.
    const QPoint top = anchor->mapToGlobal(QPoint(anchor->width() / 2, 0));
    popover->move(top.x() - size.width() / 2, top.y() - size.height());
    popover->show();
}

void RightViewController::adjustFont()
{
    showPopover(new AdjustFontViewController(this), m_toolBar->fontBtn);
}

void RightViewController::setFontSizeEndChange(int size, bool store)
{
    m_page->runArticleScript(QStringLiteral("SetFont(%1)").arg(size));
    if (store) {
        SettingsDatabaseOperate::Lease settings;
        if (settings)
            settings->setContentFontSize(QString::number(size));
    }
    // The page carries its size from when it was built: build it again with the new one.
    m_pane->rebuildPage(QString::number(size));
}

void RightViewController::collect() {}

void RightViewController::share()
{
    if (m_webView->isHidden() && dealPageShowing()) {
        const HotProductModelPtr deal = m_hotProductView->productModel();
        if (!deal)
            return;
        showPopover(new ShareViewController(deal->pro_shareUrl, deal->pro_productName, deal->pro_detail), m_toolBar->shareLPBtn);
        return;
    }
    const FeedPtr& f = m_pane->feed();
    if (!f)
        return;
    showPopover(new ShareViewController(ArticleShare::articleAddress(f->link), f->title, f->description), m_toolBar->shareBtn);
}

void RightViewController::instantGO()
{
    const HotProductModelPtr deal = m_hotProductView ? m_hotProductView->productModel() : nullptr;
    if (deal && !deal->pro_buyUrl.isEmpty() && UrlOpener::open(QUrl(deal->pro_buyUrl)))
        return;
    tips(QStringLiteral("获取链接失败，无法打开网页"));
}
