#include "comments/views/CommontView.h"

#include "comments/CommentPageLoader.h"
#include "ui/web/BrowserLinksPage.h"

#include <QJsonArray>
#include <QJsonDocument>

CommontView::CommontView(QWidget* parent) : QWebEngineView(parent), m_loader(new CommentPageLoader(this))
{
    // The title links to the article on the web site in a new window: that is the browser.
    setPage(new BrowserLinksPage(this));
    connect(m_loader, &CommentPageLoader::pageReady, this, [this](const QString& html) { setHtml(html); });
    connect(this, &QWebEngineView::loadFinished, this, &CommontView::commentPageShown);
}

CommontView::~CommontView() = default;

void CommontView::openNewsComment(const QString& newsId, const QString& newsTitle, const QString& newsLink)
{
    m_loader->openNewsComment(newsId, newsTitle, newsLink);
}

void CommontView::refreshComment(bool userAsked)
{
    m_loader->refreshComment(userAsked);
}

void CommontView::SetFontFamily(const QString& family)
{
    // The name travels as a JSON string literal, so quotes in it cannot end the call.
    const QByteArray argument = QJsonDocument(QJsonArray{family}).toJson(QJsonDocument::Compact);
    page()->runJavaScript(QStringLiteral("SetFontFamily.apply(null, %1);").arg(QString::fromUtf8(argument)));
}
