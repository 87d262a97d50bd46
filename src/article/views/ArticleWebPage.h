#pragma once

#include "ui/web/BrowserLinksPage.h"
#include "ui/web/ProgramWebView.h"

#include <QPointer>
#include <QUrl>
#include <QVariant>
#include <QWebEnginePage>

#include <functional>

class ArticlePane;

// The object behind the page's window.external. It answers only calls the current article page
// makes while the view shows it; calls from any other page (an outside page loaded in the view, the
// page the view is leaving, or a script talking to the channel directly) are dropped.
class ArticleBridge : public QObject
{
    Q_OBJECT

public:
    // articleOfCaller: the article of the page making the call, empty when that is no article page
    // on screen (the bridge then answers nothing).
    ArticleBridge(ArticlePane* pane, std::function<QString()> articleOfCaller, QObject* parent = nullptr);

public slots:
    void clickNewScore(const QVariant& grade);
    void showpagecomment(const QVariant& ignored);
    void clickRelateNews(const QVariant& newsId);
    void opennewsinnews(const QVariant& newsId);
    void clickDouZaiMai(const QVariant& dealId);
    void votesucess(const QVariant& voteId, const QVariant& items);
    void voteempty(const QVariant& ignored);

private:
    bool answering() const;

    QPointer<ArticlePane> m_pane;
    std::function<QString()> m_articleOfCaller;
};

// The article page: the bridge shim in the main frame, new windows sent to the browser, no
// unknown schemes.
class ArticleWebPage : public BrowserLinksPage
{
    Q_OBJECT

public:
    ArticleWebPage(ArticlePane* pane, QObject* parent = nullptr);

    // The address of the article page on screen and the article it shows; the bridge answers
    // only there, for that article. An empty address: no article page counts.
    void setArticlePage(const QUrl& url, const QString& newsId)
    {
        m_articleUrl = url;
        m_articleNewsId = url.isEmpty() ? QString() : newsId;
    }
    const QUrl& articleUrl() const { return m_articleUrl; }
    const QString& articleNewsId() const { return m_articleNewsId; }
    // The view shows the article page, scrolled to an anchor of its own or not.
    bool showsArticlePage() const;
    // Runs a script of the pane in the article page and nowhere else: a page reached from the
    // article by a link gets none. The answer (when asked for) comes only from the article page.
    void runArticleScript(const QString& script, const std::function<void(const QVariant&)>& answer = {});

    // The names window.external answers on the article page.
    static QStringList bridgeNames();
    // The calls of those names that have reached the program from any document of the view,
    // answered or not.
    int bridgeCallsArrived() const { return m_bridgeCallsArrived; }

private:
    // The address is the article page's, scrolled to an anchor of its own or not.
    bool isArticleAddress(const QUrl& address) const;

    QUrl m_articleUrl;
    QString m_articleNewsId;
    int m_bridgeCallsArrived = 0;
};

// The view: Copy (the key and the menu's) asks the page for its selection.
class ArticleWebView : public ProgramWebView
{
    Q_OBJECT

public:
    explicit ArticleWebView(QWidget* parent = nullptr);

    // Evaluates getSelectedContents() and puts the answer on the clipboard.
    void copySelection() override;
};
