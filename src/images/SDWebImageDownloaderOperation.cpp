#include "images/SDWebImageDownloaderOperation.h"

#include "images/ImageDecoding.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <limits>

namespace {

bool isWebURL(const QUrl& url)
{
    return url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
}

Error httpStatusError(int status)
{
    return Error(QLatin1String(Error::kURLErrorDomain), status);
}

Error limitError(qint64 code, const QString& description, const QUrl& url)
{
    return Error(QLatin1String(Error::kURLErrorDomain), code,
                 {{QLatin1String(Error::kLocalizedDescriptionKey), description},
                  {QLatin1String(Error::kURLErrorFailingURLErrorKey), url},
                  {QStringLiteral("NSErrorFailingURLStringKey"), url.toString()}});
}

}  // namespace

SDWebImageDownloaderOperation::SDWebImageDownloaderOperation(const URLRequest& request, std::weak_ptr<URLSession> session,
                                                             ImageDownloadOptions options)
    : m_request(request), m_options(options), m_unownedSession(std::move(session))
{
}

SDWebImageDownloaderOperation::~SDWebImageDownloaderOperation()
{
    if (m_ownedSession)
        m_ownedSession->invalidateAndCancel();
}

SDCallbacksDictionary SDWebImageDownloaderOperation::addHandlersForProgress(SDWebImageDownloaderProgressBlock progressBlock,
                                                                           SDWebImageDownloaderCompletedBlock completedBlock)
{
    auto handlers = std::make_shared<SDWebImageDownloaderHandlers>();
    handlers->progress = std::move(progressBlock);
    handlers->completed = std::move(completedBlock);
    std::lock_guard lock(m_mutex);
    // An ended operation would never call a newcomer back.
    if (m_finished || m_cancelled)
        return nullptr;
    m_callbackBlocks.append(handlers);
    return handlers;
}

bool SDWebImageDownloaderOperation::cancel(const SDCallbacksDictionary& token)
{
    if (!token)
        return false;
    // Withdrawn at once: a delivery already under way checks this flag before each call.
    token->withdrawn = true;
    bool last = false;
    {
        std::lock_guard lock(m_mutex);
        m_callbackBlocks.removeIf([&token](const SDCallbacksDictionary& h) { return h == token; });
        last = m_callbackBlocks.isEmpty();
    }
    if (last)
        cancel();
    return last;
}

void SDWebImageDownloaderOperation::start()
{
    std::shared_ptr<URLSessionDataTask> task;
    std::function<void()> ended;
    {
        std::lock_guard lock(m_mutex);
        if (m_finished)
            return;
        if (m_cancelled) {
            m_finished = true;
            ended = std::move(m_completionBlock);
        } else {
            std::shared_ptr<URLSession> session = m_unownedSession.lock();
            if (!session) {
                URLSessionConfiguration configuration = URLSessionConfiguration::defaultSessionConfiguration();
                configuration.timeoutIntervalForRequest = 15;
                m_ownedSession = URLSession::create(configuration);
                m_ownedSession->setDelegate(weak_from_this());
                session = m_ownedSession;
            }
            // Pictures come from web servers only: an address from a feed must not make the
            // program read local files (file:///dev/zero would never end).
            if (isWebURL(m_request.URL))
                task = session->dataTaskWithRequest(m_request);
            m_dataTask = task;
            m_executing = true;
        }
    }
    if (ended) {
        reset();
        ended();
        return;
    }
    if (task) {
        task->resume();
        progressAll(0, NSURLSessionTransferSizeUnknown);
        post(SDWebImageDownloadStartNotification);
        // The session's timeout only ends a transfer that goes silent; one whose bytes trickle
        // in would hold its place among the running transfers for good.
        const double ms = std::min(m_timeLimit.load() * 1000.0, double(std::numeric_limits<int>::max()));
        dispatch::after(static_cast<int>(std::max(1.0, ms)),
                        [weak = weak_from_this(), weakTask = std::weak_ptr<URLSessionDataTask>(task)] {
                            const auto self = weak.lock();
                            const auto running = weakTask.lock();
                            if (self && running)
                                self->timeLimitReached(running);
                        });
        return;
    }
    const QList<SDCallbacksDictionary> handlers = activeHandlers();
    const Error error = isWebURL(m_request.URL)
        ? Error(QLatin1String(Error::kURLErrorDomain), 0,
                {{QLatin1String(Error::kLocalizedDescriptionKey), QStringLiteral("Connection can't be initialized")}})
        : Error(QLatin1String(Error::kURLErrorDomain), NSURLErrorUnsupportedURL,
                {{QLatin1String(Error::kLocalizedDescriptionKey), QStringLiteral("unsupported URL")}});
    markFinished(false);
    dispatch::asyncMain([self = shared_from_this(), handlers, error] {
        self->deliverToAll(handlers, QImage(), QByteArray(), error, true);
    });
    reset();
}

void SDWebImageDownloaderOperation::cancel()
{
    std::shared_ptr<URLSessionDataTask> task;
    bool wasExecuting = false;
    {
        std::lock_guard lock(m_mutex);
        if (m_finished || m_cancelled)
            return;
        m_cancelled = true;
        for (const SDCallbacksDictionary& handlers : std::as_const(m_callbackBlocks))
            handlers->withdrawn = true;
        task = m_dataTask;
        wasExecuting = m_executing;
    }
    if (!wasExecuting) {
        // Still waiting in the queue: it ends now and frees nothing but its place in the line.
        markFinished(true);
        reset();
        return;
    }
    if (task)
        task->cancel();
    post(SDWebImageDownloadStopNotification);
    markFinished(true);
    reset();
}

bool SDWebImageDownloaderOperation::markFinished(bool cancelled)
{
    std::function<void()> ended;
    {
        std::lock_guard lock(m_mutex);
        if (m_finished)
            return false;
        m_finished = true;
        m_executing = false;
        m_cancelled = m_cancelled || cancelled;
        ended = std::move(m_completionBlock);
    }
    if (ended)
        ended();
    return true;
}

void SDWebImageDownloaderOperation::reset()
{
    std::shared_ptr<URLSession> owned;
    {
        std::lock_guard lock(m_mutex);
        m_callbackBlocks.clear();
        m_dataTask.reset();
        owned = std::move(m_ownedSession);
    }
    if (owned)
        owned->invalidateAndCancel();
}

bool SDWebImageDownloaderOperation::isExecuting() const
{
    std::lock_guard lock(m_mutex);
    return m_executing;
}

bool SDWebImageDownloaderOperation::isFinished() const
{
    std::lock_guard lock(m_mutex);
    return m_finished;
}

bool SDWebImageDownloaderOperation::isCancelled() const
{
    std::lock_guard lock(m_mutex);
    return m_cancelled;
}

std::shared_ptr<URLSessionDataTask> SDWebImageDownloaderOperation::dataTask() const
{
    std::lock_guard lock(m_mutex);
    return m_dataTask;
}

std::optional<HTTPURLResponse> SDWebImageDownloaderOperation::response() const
{
    std::lock_guard lock(m_mutex);
    return m_response;
}

qint64 SDWebImageDownloaderOperation::expectedSize() const
{
    return m_expectedSize;
}

std::optional<URLCredential> SDWebImageDownloaderOperation::credential() const
{
    std::lock_guard lock(m_mutex);
    return m_credential;
}

void SDWebImageDownloaderOperation::setCredential(const std::optional<URLCredential>& credential)
{
    std::lock_guard lock(m_mutex);
    m_credential = credential;
}

void SDWebImageDownloaderOperation::setLimits(qint64 sizeLimit, double timeLimit)
{
    m_sizeLimit = sizeLimit;
    m_timeLimit = timeLimit;
}

void SDWebImageDownloaderOperation::setCompletionBlock(std::function<void()> block)
{
    std::lock_guard lock(m_mutex);
    m_completionBlock = std::move(block);
}

QImage SDWebImageDownloaderOperation::scaledImageForKey(const QString& key, const QImage& image) const
{
    return SDScaledImageForKey(key, image);
}

QString SDWebImageDownloaderOperation::cacheKey() const
{
    return m_request.URL.toString(QUrl::FullyEncoded);
}

QList<SDCallbacksDictionary> SDWebImageDownloaderOperation::activeHandlers() const
{
    std::lock_guard lock(m_mutex);
    return m_callbackBlocks;
}

void SDWebImageDownloaderOperation::deliverToAll(const QList<SDCallbacksDictionary>& handlers, const QImage& image,
                                                 const QByteArray& data, const std::optional<Error>& error, bool finished)
{
    for (const SDCallbacksDictionary& h : handlers) {
        if (!h->withdrawn && h->completed)
            h->completed(image, data, error, finished);
    }
}

void SDWebImageDownloaderOperation::progressAll(qint64 received, qint64 expected)
{
    for (const SDCallbacksDictionary& h : activeHandlers()) {
        if (!h->withdrawn && h->progress)
            h->progress(received, expected);
    }
}

void SDWebImageDownloaderOperation::post(const char* name)
{
    dispatch::asyncMain([name, self = shared_from_this()] {
        NotificationCenter::defaultCenter().post(QLatin1String(name), NotificationObject::from(self));
    });
}

URLSessionResponseDisposition SDWebImageDownloaderOperation::didReceiveResponse(URLSession&, URLSessionDataTask& task,
                                                                               const HTTPURLResponse& response)
{
    if (isFinished())
        return URLSessionResponseDisposition::Cancel;
    {
        std::lock_guard lock(m_mutex);
        m_response = response;
    }
    const int status = response.statusCode;
    if (status == 0 || (status < 400 && status != 304)) {
        const qint64 stated = task.countOfBytesExpectedToReceive();
        m_expectedSize = stated > 0 ? stated : 0;
        progressAll(0, m_expectedSize);
        m_imageData = QByteArray();
        // A stated length may lie (9 TB for a 1 KB body): reserve a bounded amount and grow.
        m_imageData.reserve(static_cast<qsizetype>(std::min(m_expectedSize, kMaxReservedBytes)));
        post(SDWebImageDownloadReceiveResponseNotification);
        return URLSessionResponseDisposition::Allow;
    }
    // Refused: every requester hears the status, 304 included, before the transfer is dropped.
    const QList<SDCallbacksDictionary> handlers = activeHandlers();
    markFinished(false);
    post(SDWebImageDownloadStopNotification);
    deliverToAll(handlers, QImage(), QByteArray(), httpStatusError(status), true);
    reset();
    return URLSessionResponseDisposition::Cancel;
}

void SDWebImageDownloaderOperation::didReceiveData(URLSession&, URLSessionDataTask&, const QByteArray& data)
{
    if (isFinished())
        return;
    if (m_imageData.size() + data.size() > m_sizeLimit) {
        failTransfer(limitError(NSURLErrorDataLengthExceedsMaximum, QStringLiteral("resource exceeds maximum size"),
                                m_request.URL));
        return;
    }
    m_imageData.append(data);
    if ((m_options & SDDownloadProgressive) && m_expectedSize > 0)
        makePartialImage();
    progressAll(m_imageData.size(), m_expectedSize);
}

void SDWebImageDownloaderOperation::makePartialImage()
{
    QBuffer buffer(&m_imageData);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    if (m_width + m_height == 0) {
        const QSize size = reader.size();
        if (size.isValid()) {
            m_width = size.width();
            m_height = size.height();
        }
    }
    if (m_width + m_height == 0 || m_imageData.size() >= m_expectedSize)
        return;
    // Best effort: most readers give nothing for cut-off bytes, and then nobody is called.
    QImage partial;
    if (!reader.read(&partial) || partial.isNull())
        return;
    partial = scaledImageForKey(cacheKey(), partial);
    if (m_shouldDecompressImages)
        partial = NSImage_ForceDecode::decodedImageWithImage(partial);
    deliverToAll(activeHandlers(), partial, QByteArray(), std::nullopt, false);
}

void SDWebImageDownloaderOperation::failTransfer(const Error& error)
{
    const QList<SDCallbacksDictionary> handlers = activeHandlers();
    const std::shared_ptr<URLSessionDataTask> task = dataTask();
    if (!markFinished(false))
        return;
    m_imageData = QByteArray();
    // The task's own end (-999) then finds the operation finished and says nothing more.
    if (task)
        task->cancel();
    post(SDWebImageDownloadStopNotification);
    deliverToAll(handlers, QImage(), QByteArray(), error, true);
    reset();
}

void SDWebImageDownloaderOperation::timeLimitReached(const std::shared_ptr<URLSessionDataTask>& task)
{
    if (dataTask() != task || isFinished())
        return;
    failTransfer(limitError(NSURLErrorTimedOut, QStringLiteral("The request timed out."), m_request.URL));
}

std::optional<CachedURLResponse> SDWebImageDownloaderOperation::willCacheResponse(URLSession&, URLSessionDataTask& task,
                                                                                 const CachedURLResponse& proposedResponse)
{
    m_responseFromCached = false;
    return mayCacheResponse(task) ? std::optional<CachedURLResponse>(proposedResponse) : std::nullopt;
}

bool SDWebImageDownloaderOperation::mayCacheResponse(URLSessionDataTask&)
{
    return m_request.settings.cachePolicy != URLRequestCachePolicy::ReloadIgnoringLocalCacheData;
}

void SDWebImageDownloaderOperation::didCompleteWithError(URLSession&, URLSessionTask&, const std::optional<Error>& error)
{
    const QList<SDCallbacksDictionary> handlers = activeHandlers();
    const QByteArray data = std::exchange(m_imageData, QByteArray());
    // Ended first, so that a request made from a completion starts a transfer of its own.
    if (!markFinished(false))
        return;
    post(SDWebImageDownloadStopNotification);
    if (!error)
        post(SDWebImageDownloadFinishNotification);
    reset();
    if (error) {
        deliverToAll(handlers, QImage(), QByteArray(), error, true);
        return;
    }
    if (handlers.isEmpty())
        return;
    if ((m_options & SDDownloadIgnoreCachedResponse) && m_responseFromCached && URLSession::hasCachedResponseForRequest(m_request)) {
        deliverToAll(handlers, QImage(), QByteArray(), std::nullopt, true);
        return;
    }
    if (data.isEmpty()) {
        deliverToAll(handlers, QImage(), QByteArray(), SDWebImageError(0, QStringLiteral("Image data is nil")), true);
        return;
    }
    const QString key = cacheKey();
    const bool decompress = m_shouldDecompressImages;
    auto self = shared_from_this();
    dispatch::asyncGlobal([self, handlers, data, key, decompress] {
        QImage image = self->scaledImageForKey(key, NSImage_MultiFormat::sd_imageWithData(data));
        if (decompress && !NSImage_GIF::isGIF(image))
            image = NSImage_ForceDecode::decodedImageWithImage(image);
        const bool noReader = image.isNull() && NSData_ImageContentType::sd_decoderMissingForImageData(data);
        dispatch::asyncMain([self, handlers, data, image, noReader] {
            if (image.isNull() || image.width() == 0 || image.height() == 0)
                self->deliverToAll(handlers, QImage(), QByteArray(),
                                   SDWebImageError(noReader ? SDWebImageErrorDecoderMissing : 0,
                                                   QStringLiteral("Downloaded image has 0 pixels")),
                                   true);
            else
                self->deliverToAll(handlers, image, data, std::nullopt, true);
        });
    });
}

URLSessionChallengeAnswer SDWebImageDownloaderOperation::didReceiveChallenge(URLSession&,
                                                                            const URLAuthenticationChallenge& challenge)
{
    URLSessionChallengeAnswer answer;
    if (m_options & SDDownloadAllowInvalidCertificates) {
        answer.disposition = URLSessionAuthChallengeDisposition::UseCredential;
        answer.credential = URLCredential::credentialForTrust(challenge.serverTrust);
    }
    return answer;
}

URLSessionChallengeAnswer SDWebImageDownloaderOperation::taskDidReceiveChallenge(URLSession&, URLSessionTask&,
                                                                                const URLAuthenticationChallenge& challenge)
{
    URLSessionChallengeAnswer answer;
    const std::optional<URLCredential> known = credential();
    if (challenge.previousFailureCount == 0 && known) {
        answer.disposition = URLSessionAuthChallengeDisposition::UseCredential;
        answer.credential = known;
    } else {
        answer.disposition = URLSessionAuthChallengeDisposition::CancelAuthenticationChallenge;
    }
    return answer;
}
