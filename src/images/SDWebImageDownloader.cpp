#include "images/SDWebImageDownloader.h"

#include <algorithm>

const std::shared_ptr<SDWebImageDownloader>& SDWebImageDownloader::sharedDownloader()
{
    // Never destroyed: its session may still be delivering while the process ends.
    static auto* instance = new std::shared_ptr<SDWebImageDownloader>(create());
    return *instance;
}

std::shared_ptr<SDWebImageDownloader> SDWebImageDownloader::create()
{
    std::shared_ptr<SDWebImageDownloader> downloader(new SDWebImageDownloader());
    URLSessionConfiguration configuration = URLSessionConfiguration::defaultSessionConfiguration();
    configuration.timeoutIntervalForRequest = kDefaultTimeout;
    downloader->m_session = URLSession::create(configuration);
    downloader->m_session->setDelegate(downloader);
    return downloader;
}

SDWebImageDownloader::SDWebImageDownloader()
{
    m_HTTPHeaders.setValue(QStringLiteral("image/*;q=0.8"), QStringLiteral("Accept"));
}

SDWebImageDownloader::~SDWebImageDownloader()
{
    if (m_session)
        m_session->invalidateAndCancel();
    for (const auto& operation : allOperations()) {
        operation->setCompletionBlock(nullptr);
        operation->cancel();
    }
}

QList<std::shared_ptr<SDWebImageDownloaderOperation>> SDWebImageDownloader::allOperations() const
{
    std::lock_guard lock(m_mutex);
    QList<std::shared_ptr<SDWebImageDownloaderOperation>> operations;
    operations.reserve(m_waiting.size() + m_running.size());
    for (const Queued& queued : m_waiting)
        operations.append(queued.operation);
    operations.append(m_running);
    return operations;
}

std::shared_ptr<SDWebImageDownloaderOperation> SDWebImageDownloader::makeOperation(const QUrl& url,
                                                                                   ImageDownloadOptions options)
{
    const double timeout = m_downloadTimeout > 0 ? m_downloadTimeout.load() : kDefaultTimeout;
    URLRequest request;
    request.URL = url;
    request.settings.cachePolicy = (options & SDDownloadUseURLCache) ? URLRequestCachePolicy::UseProtocolCachePolicy
                                                                     : URLRequestCachePolicy::ReloadIgnoringLocalCacheData;
    request.settings.timeoutInterval = timeout;
    request.settings.HTTPShouldHandleCookies = (options & SDDownloadHandleCookies) != 0;
    // Never pipelined: behind a request its server never answers, the requests queued on the
    // same connection would wait out the timeout too, though the server would answer them.
    request.settings.HTTPShouldUsePipelining = false;
    request.allHTTPHeaderFields = m_headersFilter ? m_headersFilter(url, m_HTTPHeaders) : m_HTTPHeaders;

    std::shared_ptr<SDWebImageDownloaderOperation> operation =
        m_operationFactory ? m_operationFactory(request, m_session, options)
                           : std::make_shared<SDWebImageDownloaderOperation>(request, m_session, options);
    operation->setShouldDecompressImages(m_shouldDecompressImages);
    operation->setLimits(m_downloadSizeLimit, m_downloadTimeLimit);
    if (m_urlCredential) {
        operation->setCredential(m_urlCredential);
    } else if (!m_username.isNull() && !m_password.isNull()) {
        URLCredential credential;
        credential.user = m_username;
        credential.password = m_password;
        operation->setCredential(credential);
    }
    if (options & SDDownloadHighPriority)
        operation->setQueuePriority(4);
    else if (options & SDDownloadLowPriority)
        operation->setQueuePriority(-4);
    return operation;
}

std::shared_ptr<SDWebImageDownloadToken> SDWebImageDownloader::downloadImageWithURL(
    const QUrl& url, ImageDownloadOptions options, SDWebImageDownloaderProgressBlock progressBlock,
    SDWebImageDownloaderCompletedBlock completedBlock)
{
    if (url.isEmpty()) {
        if (completedBlock)
            completedBlock(QImage(), QByteArray(), std::nullopt, false);
        return nullptr;
    }
    auto token = std::make_shared<SDWebImageDownloadToken>();
    token->url = url;
    bool created = false;
    {
        std::lock_guard lock(m_mutex);
        std::shared_ptr<SDWebImageDownloaderOperation> operation = m_URLOperations.value(url);
        // Only a transfer still running takes newcomers; an ended one would never answer them.
        SDCallbacksDictionary handlers = operation ? operation->addHandlersForProgress(progressBlock, completedBlock) : nullptr;
        if (!handlers) {
            operation = makeOperation(url, options);
            handlers = operation->addHandlersForProgress(std::move(progressBlock), std::move(completedBlock));
            m_URLOperations.insert(url, operation);
            std::weak_ptr<SDWebImageDownloader> weakSelf = weak_from_this();
            const SDWebImageDownloaderOperation* raw = operation.get();
            operation->setCompletionBlock([weakSelf, url, raw] {
                if (const auto self = weakSelf.lock())
                    self->operationEnded(url, raw);
            });
            m_waiting.append(Queued{operation, m_nextSequence++});
            created = true;
        }
        token->downloadOperationCancelToken = handlers;
        token->operation = operation;
    }
    if (created)
        startReadyOperations();
    return token;
}

void SDWebImageDownloader::cancel(const std::shared_ptr<SDWebImageDownloadToken>& token)
{
    if (!token)
        return;
    if (const auto operation = token->operation.lock())
        operation->cancel(token->downloadOperationCancelToken);
    else if (token->downloadOperationCancelToken)
        token->downloadOperationCancelToken->withdrawn = true;
}

void SDWebImageDownloader::operationEnded(const QUrl& url, const SDWebImageDownloaderOperation* operation)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_URLOperations.value(url).get() == operation)
            m_URLOperations.remove(url);
        m_running.removeIf([operation](const auto& o) { return o.get() == operation; });
        m_waiting.removeIf([operation](const Queued& q) { return q.operation.get() == operation; });
    }
    startReadyOperations();
}

void SDWebImageDownloader::startReadyOperations()
{
    for (;;) {
        std::shared_ptr<SDWebImageDownloaderOperation> next;
        {
            std::lock_guard lock(m_mutex);
            if (m_suspended || m_waiting.isEmpty() || m_running.size() >= m_maxConcurrentDownloads)
                return;
            const bool lifo = m_executionOrder == SDWebImageDownloaderLIFOExecutionOrder;
            qsizetype best = 0;
            for (qsizetype i = 1; i < m_waiting.size(); ++i) {
                const int p = m_waiting[i].operation->queuePriority();
                const int bestP = m_waiting[best].operation->queuePriority();
                if (p > bestP || (p == bestP && lifo && m_waiting[i].sequence > m_waiting[best].sequence))
                    best = i;
            }
            next = m_waiting.takeAt(best).operation;
            m_running.append(next);
        }
        next->start();
    }
}

void SDWebImageDownloader::setValueForHTTPHeaderField(const QString& value, const QString& field)
{
    std::lock_guard lock(m_mutex);
    m_HTTPHeaders.setValue(value, field);
}

QString SDWebImageDownloader::valueForHTTPHeaderField(const QString& field) const
{
    std::lock_guard lock(m_mutex);
    return m_HTTPHeaders.value(field);
}

HTTPHeaderFields SDWebImageDownloader::HTTPHeaders() const
{
    std::lock_guard lock(m_mutex);
    return m_HTTPHeaders;
}

void SDWebImageDownloader::setOperationClass(OperationFactory factory)
{
    std::lock_guard lock(m_mutex);
    m_operationFactory = std::move(factory);
}

void SDWebImageDownloader::setSuspended(bool suspended)
{
    {
        std::lock_guard lock(m_mutex);
        m_suspended = suspended;
    }
    startReadyOperations();
}

void SDWebImageDownloader::cancelAllDownloads()
{
    for (const auto& operation : allOperations())
        operation->cancel();
}

int SDWebImageDownloader::maxConcurrentDownloads() const
{
    std::lock_guard lock(m_mutex);
    return m_maxConcurrentDownloads;
}

void SDWebImageDownloader::setMaxConcurrentDownloads(int count)
{
    {
        std::lock_guard lock(m_mutex);
        m_maxConcurrentDownloads = std::max(1, count);
    }
    startReadyOperations();
}

int SDWebImageDownloader::currentDownloadCount() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_waiting.size() + m_running.size());
}

void SDWebImageDownloader::setUrlCredential(const std::optional<URLCredential>& credential)
{
    std::lock_guard lock(m_mutex);
    m_urlCredential = credential;
}

void SDWebImageDownloader::setUsername(const QString& username)
{
    std::lock_guard lock(m_mutex);
    m_username = username;
}

void SDWebImageDownloader::setPassword(const QString& password)
{
    std::lock_guard lock(m_mutex);
    m_password = password;
}

void SDWebImageDownloader::setHeadersFilter(HeadersFilter filter)
{
    std::lock_guard lock(m_mutex);
    m_headersFilter = std::move(filter);
}

std::shared_ptr<SDWebImageDownloaderOperation> SDWebImageDownloader::operationWithTask(const URLSessionTask& task) const
{
    std::lock_guard lock(m_mutex);
    for (const auto& operation : m_running) {
        const auto dataTask = operation->dataTask();
        if (dataTask && dataTask->taskIdentifier() == task.taskIdentifier())
            return operation;
    }
    return nullptr;
}

URLSessionResponseDisposition SDWebImageDownloader::didReceiveResponse(URLSession& session, URLSessionDataTask& task,
                                                                      const HTTPURLResponse& response)
{
    if (const auto operation = operationWithTask(task))
        return operation->didReceiveResponse(session, task, response);
    return URLSessionResponseDisposition::Allow;
}

void SDWebImageDownloader::didReceiveData(URLSession& session, URLSessionDataTask& task, const QByteArray& data)
{
    if (const auto operation = operationWithTask(task))
        operation->didReceiveData(session, task, data);
}

std::optional<CachedURLResponse> SDWebImageDownloader::willCacheResponse(URLSession& session, URLSessionDataTask& task,
                                                                        const CachedURLResponse& proposedResponse)
{
    if (const auto operation = operationWithTask(task))
        return operation->willCacheResponse(session, task, proposedResponse);
    return proposedResponse;
}

bool SDWebImageDownloader::mayCacheResponse(URLSessionDataTask& task)
{
    const auto operation = operationWithTask(task);
    return !operation || operation->mayCacheResponse(task);
}

void SDWebImageDownloader::didCompleteWithError(URLSession& session, URLSessionTask& task, const std::optional<Error>& error)
{
    if (const auto operation = operationWithTask(task))
        operation->didCompleteWithError(session, task, error);
}

URLSessionChallengeAnswer SDWebImageDownloader::didReceiveChallenge(URLSession& session,
                                                                    const URLAuthenticationChallenge& challenge)
{
    // Trust is judged per connection, not per task: a running transfer to that server which
    // accepts any certificate decides for it.
    std::shared_ptr<SDWebImageDownloaderOperation> lenient;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& operation : m_running) {
            const QUrl& url = operation->request().URL;
            if ((operation->options() & SDDownloadAllowInvalidCertificates) && url.host() == challenge.host
                && url.port(443) == challenge.port) {
                lenient = operation;
                break;
            }
        }
    }
    if (lenient)
        return lenient->didReceiveChallenge(session, challenge);
    return URLSessionDelegate::didReceiveChallenge(session, challenge);
}

URLSessionChallengeAnswer SDWebImageDownloader::taskDidReceiveChallenge(URLSession& session, URLSessionTask& task,
                                                                        const URLAuthenticationChallenge& challenge)
{
    if (const auto operation = operationWithTask(task))
        return operation->taskDidReceiveChallenge(session, task, challenge);
    return URLSessionDelegate::taskDidReceiveChallenge(session, task, challenge);
}
