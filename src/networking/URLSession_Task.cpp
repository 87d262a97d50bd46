#include "networking/URLSession.h"

#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"

Error FeatureUnsupportedError(const QString& what)
{
    return Error(QLatin1String(Error::kCocoaErrorDomain), NSFeatureUnsupportedError,
                 {{QLatin1String(Error::kLocalizedDescriptionKey), QStringLiteral("%1 is not supported.").arg(what)}});
}

URLSessionConfiguration URLSessionConfiguration::backgroundSessionConfigurationWithIdentifier(const QString& identifier)
{
    URLSessionConfiguration configuration;
    configuration.identifier = identifier;
    return configuration;
}

QVariantMap URLSessionConfiguration::encodeWithCoder() const
{
    return {{QStringLiteral("identifier"), identifier},
            {QStringLiteral("timeoutIntervalForRequest"), timeoutIntervalForRequest}};
}

URLSessionConfiguration URLSessionConfiguration::initWithCoder(const QVariantMap& coder)
{
    URLSessionConfiguration configuration;
    configuration.identifier = coder.value(QStringLiteral("identifier")).toString();
    configuration.timeoutIntervalForRequest =
        coder.value(QStringLiteral("timeoutIntervalForRequest"), configuration.timeoutIntervalForRequest).toDouble();
    return configuration;
}

URLCredential URLCredential::credentialForTrust(const ServerTrust& trust)
{
    URLCredential credential;
    credential.serverTrust = trust;
    return credential;
}

// --- tasks -----------------------------------------------------------------------------------

URLSessionTask::URLSessionTask(Kind kind, quint64 identifier, URLRequest request, std::weak_ptr<URLSession> session)
    : m_kind(kind), m_taskIdentifier(identifier), m_originalRequest(std::move(request)), m_session(std::move(session)),
      m_currentRequest(m_originalRequest)
{
}

URLRequest URLSessionTask::currentRequest() const
{
    std::lock_guard lock(m_mutex);
    return m_currentRequest;
}

std::optional<HTTPURLResponse> URLSessionTask::response() const
{
    std::lock_guard lock(m_mutex);
    return m_response;
}

URLSessionTaskState URLSessionTask::state() const
{
    std::lock_guard lock(m_mutex);
    return m_state;
}

std::optional<Error> URLSessionTask::error() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}

QString URLSessionTask::taskDescription() const
{
    std::lock_guard lock(m_mutex);
    return m_taskDescription;
}

void URLSessionTask::setTaskDescription(const QString& description)
{
    std::lock_guard lock(m_mutex);
    m_taskDescription = description;
}

void URLSessionTask::resume()
{
    URLSessionTaskState before;
    {
        std::lock_guard lock(m_mutex);
        before = m_state;
        if (before == URLSessionTaskState::Suspended)
            m_state = URLSessionTaskState::Running;
    }
    std::shared_ptr<URLSessionTask> self = shared_from_this();
    if (before == URLSessionTaskState::Suspended) {
        const std::shared_ptr<URLSession> session = m_session.lock();
        // On the main thread a task's first start sends at once: queued, it would wait behind
        // whatever the main thread has to do first (at start-up, the window's first frame).
        if (!session || !dispatch::isMainThread() || !session->startIfNew(self)) {
            dispatch::asyncMain([session = m_session, self] {
                if (std::shared_ptr<URLSession> s = session.lock())
                    s->startOrContinue(self);
            });
        }
    }
    if (before != URLSessionTaskState::Running)
        NotificationCenter::defaultCenter().post(QLatin1String(kTaskResumeNotification), NotificationObject::from(self));
}

void URLSessionTask::suspend()
{
    URLSessionTaskState before;
    {
        std::lock_guard lock(m_mutex);
        before = m_state;
        if (before == URLSessionTaskState::Running)
            m_state = URLSessionTaskState::Suspended;
    }
    std::shared_ptr<URLSessionTask> self = shared_from_this();
    if (before == URLSessionTaskState::Running) {
        dispatch::asyncMain([session = m_session, self] {
            if (std::shared_ptr<URLSession> s = session.lock())
                s->pause(self);
        });
    }
    if (before != URLSessionTaskState::Suspended)
        NotificationCenter::defaultCenter().post(QLatin1String(kTaskSuspendNotification), NotificationObject::from(self));
}

void URLSessionTask::cancel()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_state != URLSessionTaskState::Running && m_state != URLSessionTaskState::Suspended)
            return;
        m_state = URLSessionTaskState::Canceling;
    }
    dispatch::asyncMain([session = m_session, self = shared_from_this()] {
        if (std::shared_ptr<URLSession> s = session.lock())
            s->cancelTask(self);
    });
}

// --- delegate defaults -----------------------------------------------------------------------

void URLSessionDelegate::didBecomeInvalidWithError(URLSession&, const std::optional<Error>&) {}

URLSessionChallengeAnswer URLSessionDelegate::didReceiveChallenge(URLSession&, const URLAuthenticationChallenge&)
{
    return {};
}

URLSessionChallengeAnswer URLSessionDelegate::taskDidReceiveChallenge(URLSession&, URLSessionTask&,
                                                                      const URLAuthenticationChallenge&)
{
    return {};
}

std::optional<URLRequest> URLSessionDelegate::willPerformHTTPRedirection(URLSession&, URLSessionTask&,
                                                                         const HTTPURLResponse&, const URLRequest& newRequest)
{
    return newRequest;
}

void URLSessionDelegate::didSendBodyData(URLSession&, URLSessionTask&, qint64, qint64, qint64) {}

void URLSessionDelegate::didCompleteWithError(URLSession&, URLSessionTask&, const std::optional<Error>&) {}

URLSessionResponseDisposition URLSessionDelegate::didReceiveResponse(URLSession&, URLSessionDataTask&,
                                                                     const HTTPURLResponse&)
{
    return URLSessionResponseDisposition::Allow;
}

void URLSessionDelegate::didReceiveData(URLSession&, URLSessionDataTask&, const QByteArray&) {}

std::shared_ptr<QIODevice> URLSessionDelegate::needNewBodyStream(URLSession&, URLSessionTask&)
{
    return nullptr;
}

void URLSessionDelegate::didBecomeDownloadTask(URLSession&, URLSessionDataTask&, URLSessionDownloadTask&) {}

void URLSessionDelegate::didResumeAtOffset(URLSession&, URLSessionDownloadTask&, qint64, qint64) {}

void URLSessionDelegate::didFinishEventsForBackgroundURLSession(URLSession&) {}

bool URLSessionDelegate::respondsToWillCacheResponse() const
{
    return false;
}

std::optional<CachedURLResponse> URLSessionDelegate::willCacheResponse(URLSession&, URLSessionDataTask&,
                                                                       const CachedURLResponse& proposedResponse)
{
    return proposedResponse;
}

bool URLSessionDelegate::mayCacheResponse(URLSessionDataTask&)
{
    return true;
}

void URLSessionDelegate::didFinishDownloadingToURL(URLSession&, URLSessionDownloadTask&, const QUrl&) {}

void URLSessionDelegate::didWriteData(URLSession&, URLSessionDownloadTask&, qint64, qint64, qint64) {}

