#include "article/views/ArticleWebPage.h"

#include "article/ArticlePane.h"
#include "article/HtmlText.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QShortcut>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>

using ExternalShim::textOf;

ArticleBridge::ArticleBridge(ArticlePane* pane, std::function<QString()> articleOfCaller, QObject* parent)
    : QObject(parent), m_pane(pane), m_articleOfCaller(std::move(articleOfCaller))
{
}

bool ArticleBridge::answering() const
{
    return m_pane && m_articleOfCaller && !m_articleOfCaller().isEmpty();
}

void ArticleBridge::clickNewScore(const QVariant& grade)
{
    // The score is the calling page's article's, never the one the pane moved on to meanwhile.
    if (answering())
        m_pane->postScore(static_cast<long>(grade.toDouble()), m_articleOfCaller());
}

void ArticleBridge::showpagecomment(const QVariant&)
{
    if (answering())
        m_pane->showpagecomment();
}

void ArticleBridge::clickRelateNews(const QVariant& newsId)
{
    if (answering())
        m_pane->showRelatedNews(textOf(newsId));
}

void ArticleBridge::opennewsinnews(const QVariant& newsId)
{
    if (answering())
        m_pane->openNewsInNews(textOf(newsId));
}

void ArticleBridge::clickDouZaiMai(const QVariant& dealId)
{
    if (answering())
        m_pane->openHot(textOf(dealId));
}

void ArticleBridge::votesucess(const QVariant& voteId, const QVariant& items)
{
    if (answering())
        m_pane->postVote(textOf(voteId), textOf(items));
}

void ArticleBridge::voteempty(const QVariant&)
{
    if (answering())
        m_pane->postVoteempty();
}

ArticleWebPage::ArticleWebPage(ArticlePane* pane, QObject* parent) : BrowserLinksPage(parent)
{
    settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
    settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
    // A call is answered only for a document at the article page's address while the view shows
    // that page; the article it acts on is the one that page was built for, set with its address.
    ExternalShim::install(this,
                          new ArticleBridge(pane, [this] { return showsArticlePage() ? m_articleNewsId : QString(); }, this),
                          bridgeNames(), [this](const QUrl& document) {
                              ++m_bridgeCallsArrived;
                              return isArticleAddress(document);
                          });
}

QStringList ArticleWebPage::bridgeNames()
{
    return {QStringLiteral("clickNewScore"), QStringLiteral("showpagecomment"), QStringLiteral("clickRelateNews"),
            QStringLiteral("opennewsinnews"), QStringLiteral("clickDouZaiMai"), QStringLiteral("votesucess"),
            QStringLiteral("voteempty")};
}

bool ArticleWebPage::showsArticlePage() const
{
    return isArticleAddress(url());
}

bool ArticleWebPage::isArticleAddress(const QUrl& address) const
{
    // An in-page anchor adds a fragment to the address; the page is the same.
    return m_articleUrl.isValid() && address.adjusted(QUrl::RemoveFragment) == m_articleUrl.adjusted(QUrl::RemoveFragment);
}

void ArticleWebPage::runArticleScript(const QString& script, const std::function<void(const QVariant&)>& answer)
{
    if (!showsArticlePage())
        return;
    // The page can change between here and the script's run: the script checks the address too,
    // without its fragment, with the document's own location and no function a page script could
    // replace. A link to "#" leaves the address ending in "#" with an empty hash.
    const QString guarded = QStringLiteral("if (location.href === %1 + location.hash || location.href === %1 + '#') {\n%2\n}")
                                .arg(HtmlText::scriptLiteral(m_articleUrl.adjusted(QUrl::RemoveFragment).toString(QUrl::FullyEncoded)),
                                     script);
    if (answer)
        runJavaScript(guarded, QWebEngineScript::MainWorld, answer);
    else
        runJavaScript(guarded, QWebEngineScript::MainWorld);
}

ArticleWebView::ArticleWebView(QWidget* parent) : ProgramWebView(parent)
{
    auto* copy = new QShortcut(QKeySequence::Copy, this);
    copy->setContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QShortcut::activated, this, &ArticleWebView::copySelection);
}

void ArticleWebView::copySelection()
{
    auto* article = qobject_cast<ArticleWebPage*>(page());
    if (!article || !article->showsArticlePage()) {
        // Another page knows nothing of getSelectedContents(): the engine copies its selection.
        ProgramWebView::copySelection();
        return;
    }
    article->runArticleScript(QStringLiteral("getSelectedContents()"), [](const QVariant& result) {
        // No answer: the article page went away before the script ran.
        if (!result.isValid())
            return;
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(result.toString());
    });
}
