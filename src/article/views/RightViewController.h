#pragma once

#include "article/ArticlePane.h"
#include "article/views/ToolBarView.h"
#include "article/views/popovers/AdjustFontTarget.h"

#include <QPointer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWidget>

#include <atomic>
#include <memory>
#include <optional>

class ArticleCommentPage;
class ArticleDealPage;
class ArticleWebPage;
class ArticleWebView;
#include "ui/controls/DDErrorView.h"
class DJActivityIndicator;

// The detail pane of the main window: the article page in a web view, the comment page or a
// deal page, with the toolbar below. The logic lives in ArticlePane; this widget is its view.
class RightViewController : public QWidget, public ArticlePaneHost, public ToolBarDelegate, public AdjustFontTarget
{
    Q_OBJECT

public:
    explicit RightViewController(QWidget* parent = nullptr);
    ~RightViewController() override;

    // Shows a news item: records it in the back history, marks it read and opens it.
    void show(const FeedPtr& f) { m_pane->show(f); }
    using QWidget::show;
    QList<ArticleHistoryEntry>& recordNewsAndHot() { return m_pane->recordNewsAndHot(); }
    const FeedPtr& feed() const { return m_pane->feed(); }
    ArticlePane* pane() const { return m_pane; }

    void fontChanged();
    void sentCommentSuc();
    // Deletes the program's and the web view's cookies and empties their caches; the program's
    // shared URL cache keeps nothing afterwards (its capacities are 0).
    void cleanCacheAndCookie();
    void updateCommentCount() { m_pane->updateCommentCount(); }
    void showHotProductAndhideSelf();
    // Loads a deal into the deal page and shows that page (deal links of the lists and slides).
    void showDealByClick(const QString& productId, bool byClick);

    ArticleWebView* webView() const { return m_webView; }
    ArticleWebPage* webPage() const { return m_page; }
    ToolBarView* toolBar() const { return m_toolBar; }
    DDErrorView* errorView() const { return m_errorView; }
    DJActivityIndicator* logoView() const { return m_logoView; }
    bool isClearingContent() const { return m_isClearingContent.load(); }

    // ArticlePaneHost
    void clearContent() override;
    void loadArticlePage(const QString& html, const QString& newsId) override;
    void evaluateScript(const QString& script) override;
    void showLogo() override;
    void hideLogo() override;
    void showErrorView() override;
    void removeErrorView() override;
    void setCommentCount(const QString& count) override;
    void setBackButtonVisible(bool visible) override;
    void changeForNews() override;
    void showArticlePage() override;
    void showDealPage(const QString& dealId) override;
    void alert(const QString& buttonTitle, const QString& informative) override;
    void showLoginPrompt() override;

    // ToolBarDelegate
    void openComment() override;
    void refresh() override;
    void adjustFont() override;
    void collect() override;
    void share() override;
    void writeComment() override;
    void back() override;
    void instantGO() override;

    // AdjustFontTarget: the size at once in the page, stored when asked, then the page built again.
    void setFontSizeEndChange(int size, bool store) override;
    // The short tip over the pane ("评论成功", ...): one second.
    void tips(const QString& text);
    // The one popover of the font and share panels, made on first use and kept.
    QWidget* toolBarPopover() const { return m_toolBarPopover; }
    // The popover closes: its panel is dropped, the popover stays for the next one.
    void popoverWillClose();

    // The exact page of clearContent.
    static QString blankPage();

signals:
    // A deal is loaded into the deal page, from wherever: a list, a slide, a page, the back button.
    void dealShown(const QString& productId);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void childEvent(QChildEvent* event) override;

private:
    void viewDidLoad();
    // The spinner, then the tips, over every other child of the pane.
    void keepOverlaysOnTop();
    bool isOverlay(const QObject* widget) const;
    // The page on show that takes the pane's keys: the error view's reload button over the page,
    // else the comment, deal or article page; none while the next page loads.
    QWidget* pageTakingKeys() const;
    ArticleDealPage* dealPage();
    // Every deal the deal page shows comes through here.
    void loadDeal(ArticleDealPage& deal, const QString& productId, bool byClick);
    void placeHiddenInArticleArea(QWidget* page);
    bool commentPageShowing() const;
    bool dealPageShowing() const;
    void pageLoadStarted();
    void pageLoadFinished(bool ok);
    // Stops the running load for the waiting one, once the engine has begun it.
    void stopRunningLoad();
    // Loads the article page of newsId at the address (empty: the blank page, no article page).
    // A load still running is stopped first and this one starts at its end.
    void startLoad(const QUrl& url, const QString& newsId);
    // The article page's render process ended (or never started): its loads end with it.
    void webViewEnded(QWebEnginePage::RenderProcessTerminationStatus status);
    // Shows the content in a popup above the toolbar button (it replaces an open one).
    void showPopover(QWidget* content, QWidget* anchor);

    ArticlePane* m_pane = nullptr;
    ToolBarView* m_toolBar = nullptr;
    QWidget* m_topWhiteBar = nullptr;
    ArticleWebView* m_webView = nullptr;
    ArticleWebPage* m_page = nullptr;
    DJActivityIndicator* m_logoView = nullptr;
    QWidget* m_tipsView = nullptr;
    QPointer<DDErrorView> m_errorView;
    std::unique_ptr<ArticleDealPage> m_hotProductView;
    std::unique_ptr<ArticleCommentPage> m_commentView;
    std::atomic<bool> m_isClearingContent = false;
    QPointer<QWidget> m_toolBarPopover;
    QPointer<QWidget> m_popoverContent;
    // From a load's start here to the page's load end; the newest load asked meanwhile waits for
    // the stopped one's end.
    struct WaitingLoad
    {
        QUrl url;
        QString newsId;
    };
    bool m_loadRunning = false;
    bool m_loadStarted = false;  // the engine has reported the running load's start
    QUrl m_blankPageUrl;  // shown between articles; of the articles' own site
    std::optional<WaitingLoad> m_waitingLoad;
};
