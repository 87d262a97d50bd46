#include "comments/CommentPageLoader.h"

#include "comments/CommentFeedJsonp.h"
#include "comments/CommentPageBuilder.h"
#include "database/ServerUrls.h"
#include "foundation/GlobalValues.h"
#include "foundation/URLErrorCodes.h"
#include "networking/AFNetManager.h"
#include "networking/TaskResponseHeader.h"

#include <QPointer>

CommentPageLoader::CommentPageLoader(QObject* parent) : QObject(parent) {}

CommentPageLoader::~CommentPageLoader()
{
    if (m_session)
        m_session->invalidateSessionCancelingTasks(true);
}

void CommentPageLoader::openNewsComment(const QString& newsId, const QString& title, const QString& link)
{
    if (m_session)
        m_session->invalidateSessionCancelingTasks(true);
    m_session.reset();
    m_newsId = newsId;
    m_title = title;
    m_link = link;
    m_lastModified.clear();
    m_comments.clear();
    const QString url = CommentUrls::commentListUrl(kUrlCommentList, newsId);
    if (url.isEmpty()) {
        m_loading = false;
        render();
        return;
    }
    get(url, QString());
}

void CommentPageLoader::refreshComment(bool userAsked)
{
    const QString url = CommentUrls::commentListUrl(kUrlCommentList, m_newsId);
    if (url.isEmpty() || m_loading)
        return;
    if (userAsked) {
        get(url, QString());
        return;
    }
    m_loading = true;
    QPointer<CommentPageLoader> self(this);
    const QString newsId = m_newsId;
    m_session = AFNetManager::requestWithUrlString(
        url, false, QVariant(), 1, nullptr, std::shared_ptr<AFHTTPSessionManager>(),
        [self, url, newsId](const std::shared_ptr<URLSessionDataTask>& task, const QVariant&) {
            if (!self || self->m_newsId != newsId)
                return;
            const QString lastModified = responseHeaderField(task, QStringLiteral("Last-Modified"));
            if (!lastModified.isEmpty() && lastModified == self->m_lastModified) {
                self->m_loading = false;
                return;
            }
            self->get(url, lastModified);
        },
        [self](const std::shared_ptr<URLSessionDataTask>&, const Error& error) {
            if (self && error.code != NSURLErrorCancelled)
                self->m_loading = false;
        });
}

void CommentPageLoader::get(const QString& url, const QString& lastModified)
{
    m_loading = true;
    QPointer<CommentPageLoader> self(this);
    const QString newsId = m_newsId;
    m_session = AFNetManager::requestWithUrlString(
        url, true, QVariant(), 1, nullptr, m_session,
        [self, newsId, lastModified](const std::shared_ptr<URLSessionDataTask>& task, const QVariant& body) {
            if (!self || self->m_newsId != newsId)
                return;
            self->m_loading = false;
            const auto comments = CommentFeedJsonp::parse(body.toByteArray());
            if (!comments) {
                self->render();  // a broken reply keeps the list on screen
                return;
            }
            self->m_comments = *comments;
            const QString modified = responseHeaderField(task, QStringLiteral("Last-Modified"));
            self->m_lastModified = modified.isEmpty() ? lastModified : modified;
            self->render();
        },
        [self, newsId](const std::shared_ptr<URLSessionDataTask>&, const Error& error) {
            if (!self || self->m_newsId != newsId || error.code == NSURLErrorCancelled)
                return;
            self->m_loading = false;
            self->render();
        });
}

void CommentPageLoader::render()
{
    m_html = CommentPageBuilder::pageHtml(m_title, m_link, m_comments, gThemeMode);
    emit pageReady(m_html);
}
