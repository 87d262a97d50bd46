#include "article/views/ArticleSchemeHandler.h"

#include "article/ArticlePageBuilder.h"

#include <QBuffer>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

namespace {

constexpr int kPagesKept = 4;

QByteArray mimeTypeOf(const QString& path)
{
    if (path.endsWith(QStringLiteral(".html")))
        return "text/html; charset=utf-8";
    if (path.endsWith(QStringLiteral(".js")))
        return "text/javascript";
    if (path.endsWith(QStringLiteral(".css")))
        return "text/css";
    if (path.endsWith(QStringLiteral(".png")))
        return "image/png";
    return "application/octet-stream";
}

}  // namespace

ArticleSchemeHandler::ArticleSchemeHandler(QObject* parent) : QWebEngineUrlSchemeHandler(parent) {}

void ArticleSchemeHandler::registerScheme()
{
    if (QWebEngineUrlScheme::schemeByName(ArticleBundle::kScheme).name() == ArticleBundle::kScheme)
        return;
    QWebEngineUrlScheme scheme(ArticleBundle::kScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setFlags(QWebEngineUrlScheme::ContentSecurityPolicyIgnored);
    QWebEngineUrlScheme::registerScheme(scheme);
}

ArticleSchemeHandler* ArticleSchemeHandler::forProfile(QWebEngineProfile* profile)
{
    auto* existing = const_cast<QWebEngineUrlSchemeHandler*>(profile->urlSchemeHandler(ArticleBundle::kScheme));
    if (auto* handler = qobject_cast<ArticleSchemeHandler*>(existing))
        return handler;
    auto* handler = new ArticleSchemeHandler(profile);
    profile->installUrlSchemeHandler(ArticleBundle::kScheme, handler);
    return handler;
}

QUrl ArticleSchemeHandler::publishPage(quint64 generation, const QString& html)
{
    const QString path = QStringLiteral("/article-%1.html").arg(generation);
    QMutexLocker lock(&m_mutex);
    m_pages.insert(path, html.toUtf8());
    m_order.removeAll(path);
    m_order.append(path);
    while (m_order.size() > kPagesKept)
        m_pages.remove(m_order.takeFirst());
    return QUrl(QLatin1String(ArticleBundle::kBaseUrl) + path.mid(1));
}

QUrl ArticleSchemeHandler::keepPage(const QString& name, const QString& html)
{
    QMutexLocker lock(&m_mutex);
    m_pages.insert(QLatin1Char('/') + name, html.toUtf8());
    return QUrl(QLatin1String(ArticleBundle::kBaseUrl) + name);
}

void ArticleSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job)
{
    const QUrl url = job->requestUrl();
    if (url.host() != QStringLiteral("bundle")) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    const QString path = url.path();
    QByteArray bytes;
    bool found = false;
    {
        QMutexLocker lock(&m_mutex);
        const auto page = m_pages.constFind(path);
        if (page != m_pages.constEnd()) {
            bytes = *page;
            found = true;
        }
    }
    if (!found) {
        // Bundle files: plain names only, nothing outside the bundle.
        const QString name = path.mid(1);
        if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QStringLiteral(".."))) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        const std::optional<QByteArray> file = ArticleBundle::bytes(name);
        if (!file) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        bytes = *file;
    }
    auto* buffer = new QBuffer(job);
    buffer->setData(bytes);
    buffer->open(QIODevice::ReadOnly);
    job->reply(mimeTypeOf(path), buffer);
}
