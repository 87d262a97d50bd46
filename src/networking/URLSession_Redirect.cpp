#include "networking/URLSession.h"
#include "networking/URLSession_Internal.h"

#include <QDir>

using urlsession::urlError;

namespace {

// The request a redirection proposes: a 303, and a 301 or 302 after a POST, become a GET without
// a body, as browsers do.
URLRequest redirectedRequest(const URLRequest& current, const QUrl& url, int status)
{
    URLRequest next = current;
    next.URL = url;
    const bool toGet = status == 303 || ((status == 301 || status == 302) && current.HTTPMethod == QLatin1String("POST"));
    if (toGet && current.HTTPMethod != QLatin1String("HEAD")) {
        next.HTTPMethod = QStringLiteral("GET");
        next.HTTPBody.clear();
        next.HTTPBodyStream.reset();
        next.allHTTPHeaderFields.remove(QStringLiteral("Content-Type"));
        next.allHTTPHeaderFields.remove(QStringLiteral("Content-Length"));
    }
    return next;
}

}  // namespace

void URLSession::onRedirected(const std::shared_ptr<URLSessionTask>& task, QNetworkReply* reply, const QUrl& url)
{
    const std::shared_ptr<Transfer> transfer = m_transfers.value(task->taskIdentifier());
    if (!transfer || transfer->reply != reply)
        return;
    const HTTPURLResponse response = HTTPURLResponse::fromNetworkReply(*reply);
    if (++transfer->redirects > urlsession::kMaximumRedirects) {
        fail(task, *transfer, urlError(NSURLErrorHTTPTooManyRedirects, url));
        return;
    }
    const URLRequest proposed = redirectedRequest(task->currentRequest(), url, response.statusCode);
    const std::shared_ptr<URLSessionDelegate> d = delegate();
    const std::optional<URLRequest> next = d ? d->willPerformHTTPRedirection(*this, *task, response, proposed) : proposed;
    if (!next) {
        // The task ends with the redirection reply as its response.
        {
            std::lock_guard lock(task->m_mutex);
            task->m_response = response;
        }
        stop(task->taskIdentifier(), StopReason::RedirectRefused);
        return;
    }
    {
        std::lock_guard lock(task->m_mutex);
        task->m_currentRequest = *next;
    }
    // Every redirection is sent as a request of its own, never followed by Qt: a redirection
    // between "http" and "https" changes access managers, which Qt cannot follow, and a loop Qt
    // follows on one connection ends as a success with a stale status instead of reaching the
    // limit. The new reply's server is judged on its own.
    // The new request carries the body again from its first byte, or the task fails: the part
    // already sent must not go missing from what the new server receives.
    std::shared_ptr<QIODevice> body;
    const QString method = next->HTTPMethod.isEmpty() ? QStringLiteral("GET") : next->HTTPMethod;
    if (!urlsession::methodSendsNoBodyByDefault(method)) {
        body = uploadBody(*task);
        if (!body && next->HTTPBodyStream) {
            QIODevice& stream = *next->HTTPBodyStream;
            if (stream.isOpen() && (stream.isSequential() || !stream.reset())) {
                body = d ? d->needNewBodyStream(*this, *task) : nullptr;
                if (!body) {
                    fail(task, *transfer, urlError(NSURLErrorRequestBodyStreamExhausted, next->URL));
                    return;
                }
            }
        }
    }
    disconnect(reply, nullptr, this, nullptr);
    reply->abort();
    reply->deleteLater();
    transfer->body = std::move(body);
    transfer->responseDelivered = false;
    send(task, *transfer, *next);
}

bool URLSession::becomeDownload(std::shared_ptr<URLSessionTask>& task, Transfer& transfer)
{
    const quint64 identifier = task->taskIdentifier();
    const std::shared_ptr<Transfer> moving = m_transfers.value(identifier);
    std::shared_ptr<URLSessionDownloadTask> download =
        makeTask<URLSessionDownloadTask>(URLSessionTask::Kind::Download, task->originalRequest());
    if (!download || moving.get() != &transfer || transfer.reply == nullptr)
        return true;  // goes on as a data task
    auto file = std::make_unique<QTemporaryFile>(QDir::temp().filePath(QStringLiteral("URLSessionDownload-XXXXXX")));
    if (!file->open()) {
        qWarning("URLSession: cannot make a download file: %s", qPrintable(file->errorString()));
        return true;
    }
    transfer.downloadFile = std::move(file);
    transfer.becameTask = download;
    download->m_bytesExpectedToReceive = task->countOfBytesExpectedToReceive();
    {
        std::scoped_lock lock(task->m_mutex, download->m_mutex);
        download->m_currentRequest = task->m_currentRequest;
        download->m_response = task->m_response;
        download->m_state = URLSessionTaskState::Running;
        // The data task ends here without a word: the download task carries the transfer on.
        task->m_state = URLSessionTaskState::Completed;
    }
    {
        std::lock_guard lock(m_mutex);
        m_tasks.remove(identifier);
        m_tasks.insert(download->taskIdentifier(), download);
    }
    m_transfers.remove(identifier);
    m_transfers.insert(download->taskIdentifier(), moving);
    QNetworkReply* const reply = transfer.reply;
    disconnect(reply, nullptr, this, nullptr);
    connectReply(download, reply, transfer.body != nullptr);
    if (const std::shared_ptr<URLSessionDelegate> d = delegate())
        d->didBecomeDownloadTask(*this, static_cast<URLSessionDataTask&>(*task), *download);
    task = download;
    return m_transfers.contains(task->taskIdentifier());
}

