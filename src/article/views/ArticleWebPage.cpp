#include "article/views/ArticleWebPage.h"

#include "article/ArticlePane.h"
#include "article/HtmlText.h"
#include "platform/UrlOpener.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QFile>
#include <QGuiApplication>
#include <QMenu>
#include <QShortcut>
#include <QWebChannel>
#include <QWebEngineContextMenuRequest>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>

namespace {

QString textOf(const QVariant& value)
{
    if (value.typeId() == QMetaType::Double) {
        // A script number arrives as a double: integral values are written as integers.
        const double number = value.toDouble();
        if (number == static_cast<double>(static_cast<long long>(number)))
            return QString::number(static_cast<long long>(number));
    }
    return value.toString();
}

}  // namespace

ArticleBridge::ArticleBridge(ArticlePane* pane, std::function<bool()> isArticlePage, QObject* parent)
    : QObject(parent), m_pane(pane), m_isArticlePage(std::move(isArticlePage))
{
}

bool ArticleBridge::answering() const
{
    return m_pane && m_isArticlePage && m_isArticlePage();
}

void ArticleBridge::clickNewScore(const QVariant& grade)
{
    if (answering())
        m_pane->postScore(static_cast<long>(grade.toDouble()));
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

ArticleWebPage::ArticleWebPage(ArticlePane* pane, QObject* parent) : QWebEnginePage(parent)
{
    settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
    settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);

    m_channel = new QWebChannel(this);
    m_channel->registerObject(QStringLiteral("external"),
                              new ArticleBridge(pane, [this] { return showsArticlePage(); }, this));
    setWebChannel(m_channel, QWebEngineScript::MainWorld);
    // Window requests still reach us (a script's too), so that each is answered here.
    connect(this, &QWebEnginePage::newWindowRequested, this, &ArticleWebPage::openInBrowser);

    QWebEngineScript shim;
    shim.setName(QStringLiteral("tidwen-external"));
    shim.setSourceCode(shimSource());
    shim.setInjectionPoint(QWebEngineScript::DocumentCreation);
    shim.setWorldId(QWebEngineScript::MainWorld);
    shim.setRunsOnSubFrames(false);
    scripts().insert(shim);
}

QString ArticleWebPage::shimSource()
{
    static const QString source = [] {
        QFile channel(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
        QString text = channel.open(QIODevice::ReadOnly) ? QString::fromUtf8(channel.readAll()) : QString();
        text += QStringLiteral(R"JS(
;(function () {
  var names = ["clickNewScore", "showpagecomment", "clickRelateNews", "opennewsinnews", "clickDouZaiMai",
               "votesucess", "voteempty"];
  var bridge = null;
  var waiting = [];
  var external = {};
  names.forEach(function (name) {
    external[name] = function () {
      var args = Array.prototype.slice.call(arguments);
      if (bridge) bridge[name].apply(bridge, args);
      else waiting.push([name, args]);
    };
  });
  try {
    Object.defineProperty(window, "external", { value: Object.freeze(external), configurable: false, writable: false });
  } catch (e) {
    window.external = external;
  }
  if (typeof qt !== "undefined" && qt.webChannelTransport && typeof QWebChannel !== "undefined") {
    new QWebChannel(qt.webChannelTransport, function (channel) {
      bridge = channel.objects.external;
      var calls = waiting;
      waiting = [];
      calls.forEach(function (call) { bridge[call[0]].apply(bridge, call[1]); });
    });
  }
})();
)JS");
        return text;
    }();
    return source;
}

bool ArticleWebPage::showsArticlePage() const
{
    // An in-page anchor adds a fragment to the address; the page is the same.
    return m_articleUrl.isValid() && url().adjusted(QUrl::RemoveFragment) == m_articleUrl.adjusted(QUrl::RemoveFragment);
}

void ArticleWebPage::runArticleScript(const QString& script, const std::function<void(const QVariant&)>& answer)
{
    if (!showsArticlePage())
        return;
    // The page can change between here and the script's run: the script checks the address too,
    // with the document's own location, which no page script can replace.
    const QString guarded = QStringLiteral("if (location.href === %1 + location.hash) {\n%2\n}")
                                .arg(HtmlText::scriptLiteral(m_articleUrl.adjusted(QUrl::RemoveFragment).toString(QUrl::FullyEncoded)),
                                     script);
    if (answer)
        runJavaScript(guarded, QWebEngineScript::MainWorld, answer);
    else
        runJavaScript(guarded, QWebEngineScript::MainWorld);
}

void ArticleWebPage::openInBrowser(QWebEngineNewWindowRequest& request)
{
    // Only a reader's click opens a window: a script of the page or of an advert in one of its
    // frames sends the browser nowhere. A window without an address has nothing to show.
    const QUrl url = request.requestedUrl();
    if (!request.isUserInitiated() || url.isEmpty())
        return;
    qInfo().noquote() << "new window:" << url.toString();
    UrlOpener::open(url);
}

QWebEnginePage* ArticleWebPage::createWindow(WebWindowType)
{
    return nullptr;
}

ArticleWebView::ArticleWebView(QWidget* parent) : QWebEngineView(parent)
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
        triggerPageAction(QWebEnginePage::Copy);
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

void ArticleWebView::contextMenuEvent(QContextMenuEvent* event)
{
    QWebEngineContextMenuRequest* request = lastContextMenuRequest();
    // The bare page (no link, picture, selection or field) shows no menu.
    if (!request || (request->linkUrl().isEmpty() && request->mediaUrl().isEmpty() && request->selectedText().isEmpty()
                     && !request->isContentEditable())) {
        event->accept();
        return;
    }
    QMenu* menu = createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose, true);
    menu->popup(event->globalPos());
}
