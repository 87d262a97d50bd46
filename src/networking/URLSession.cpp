#include "networking/URLSession.h"
#include "networking/URLSession_Internal.h"

#include "foundation/CredentialTexts.h"

#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"

#include <QAbstractNetworkCache>
#include <QAuthenticator>
#include <QBuffer>
#include <QChildEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QPointer>
#include <QScopedValueRollback>
#include <QSslConfiguration>
#include <QSslError>
#include <QThread>
#include <QTemporaryFile>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

using urlsession::isRedirectionResendingBody;
using urlsession::methodSendsNoBodyByDefault;
using urlsession::urlError;

namespace {

// A paused transfer stops reading from the network once this much is buffered.
constexpr qint64 kPausedReadBufferBytes = 64 * 1024;
// A running one reads at most this far ahead of its delegate: Qt's network thread would
// otherwise take in whatever the server sends while the main thread is busy, without end.
constexpr qint64 kReadAheadBytes = 4 * 1024 * 1024;
QString descriptionForCode(qint64 code)
{
    switch (code) {
    case NSURLErrorCancelled: return QStringLiteral("cancelled");
    case NSURLErrorTimedOut: return QStringLiteral("The request timed out.");
    case NSURLErrorUnsupportedURL: return QStringLiteral("unsupported URL");
    case NSURLErrorCannotFindHost: return QStringLiteral("A server with the specified hostname could not be found.");
    case NSURLErrorCannotConnectToHost: return QStringLiteral("Could not connect to the server.");
    case NSURLErrorNetworkConnectionLost: return QStringLiteral("The network connection was lost.");
    case NSURLErrorHTTPTooManyRedirects: return QStringLiteral("too many HTTP redirects");
    case NSURLErrorNotConnectedToInternet: return QStringLiteral("The Internet connection appears to be offline.");
    case NSURLErrorCannotParseResponse: return QStringLiteral("cannot parse response");
    case NSURLErrorRequestBodyStreamExhausted: return QStringLiteral("request body stream exhausted");
    case NSURLErrorSecureConnectionFailed:
        return QStringLiteral("An SSL error has occurred and a secure connection to the server cannot be made.");
    case NSURLErrorServerCertificateUntrusted: return QStringLiteral("The certificate for this server is invalid.");
    default: return QStringLiteral("unknown error");
    }
}


// True when the reply is a whole HTTP answer: no error, or only Qt's judgement of the status
// (4xx and 5xx), which belongs to the response serializer. A reply cut off after its status line
// (timeout, lost connection) is a transport failure even though it has a status.
bool isCompleteHTTPAnswer(const QNetworkReply& reply)
{
    const QNetworkReply::NetworkError error = reply.error();
    if (error == QNetworkReply::NoError)
        return true;
    if (!reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return false;
    const int code = static_cast<int>(error);
    return (code >= QNetworkReply::ContentAccessDenied && code <= QNetworkReply::UnknownContentError) ||
           (code >= QNetworkReply::InternalServerError && code <= QNetworkReply::UnknownServerError) ||
           error == QNetworkReply::ProtocolInvalidOperationError;
}

// Qt answers a server error (5xx) to a request it checked against its cache with its cached copy,
// and writes the copy's status over the server's. The copy's body becomes the reply's child just
// before, while the reply still holds the server's status: the one moment it can be read. The
// error Qt reports as well comes from the network thread and may arrive after the copy has been
// read to its end, so the status is not left to it.
class CacheOfferWatch : public QObject
{
public:
    CacheOfferWatch(QNetworkReply* reply, std::function<void(int)> offered)
        : QObject(reply)
        , m_offered(std::move(offered))
    {
        reply->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ChildAdded
            && qobject_cast<QIODevice*>(static_cast<QChildEvent*>(event)->child()) != nullptr) {
            const int status =
                static_cast<QNetworkReply*>(watched)->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            if (status >= 500 && status < 600)
                m_offered(status);
        }
        return false;
    }

private:
    std::function<void(int)> m_offered;
};

// The process's cookies. Qt's jar keeps its list to itself; this one can be emptied.
class SharedCookieJar : public QNetworkCookieJar
{
public:
    using QNetworkCookieJar::QNetworkCookieJar;
    void clear() { setAllCookies({}); }
};

// What the program does with each access manager made for sessions (puts its URL cache on it).
// Main thread only.
std::function<void(QNetworkAccessManager*)>& accessManagerHook()
{
    static std::function<void(QNetworkAccessManager*)> hook;
    return hook;
}

// Every access manager made for sessions and still alive. Main thread only.
QList<QPointer<QNetworkAccessManager>>& sessionAccessManagers()
{
    static QList<QPointer<QNetworkAccessManager>> managers;
    return managers;
}

void prepareAccessManager(QNetworkAccessManager* manager)
{
    QList<QPointer<QNetworkAccessManager>>& managers = sessionAccessManagers();
    managers.removeAll(nullptr);
    managers.append(manager);
    if (accessManagerHook())
        accessManagerHook()(manager);
}

// Every access manager runs its HTTP on a thread of its own, which delivers events through the
// application object. Qt reads that object twice while delivering one, so a thread still busy
// (say, with connections a server is closing) as the application object unsets itself can read
// it as null and crash the process. So the managers, and with them their threads, end from the
// application's clean-up routines, which run while it still exists: the sessions' own first,
// since they hold the shared manager's cookie jar, then the shared one. (A manager made later,
// from another clean-up routine, registers a routine of its own, which Qt still runs.)
void endAccessManagers()
{
    QList<QPointer<QNetworkAccessManager>> managers;
    managers.swap(sessionAccessManagers());
    for (const QPointer<QNetworkAccessManager>& manager : std::as_const(managers)) {
        if (manager && manager->parent() != QCoreApplication::instance())
            delete manager.data();
    }
    for (const QPointer<QNetworkAccessManager>& manager : std::as_const(managers))
        delete manager.data();
}

// The access manager of the main thread, which every session's plain requests share. Made on
// first use, it belongs to the application object and ends just before it; from then on there is
// none. Its cookie jar is every session's. Main thread only.
QNetworkAccessManager* sharedAccessManager()
{
    static QPointer<QNetworkAccessManager> shared;
    QCoreApplication* const app = QCoreApplication::instance();
    if (app == nullptr)
        return nullptr;
    if (shared.isNull()) {
        shared = new QNetworkAccessManager(app);
        shared->setCookieJar(new SharedCookieJar(shared));
        prepareAccessManager(shared);
        qAddPostRoutine(&endAccessManagers);
    }
    return shared.data();
}

}  // namespace

Error urlsession::urlError(qint64 code, const QUrl& url, const QString& detail)
{
    QVariantMap info{{QLatin1String(Error::kLocalizedDescriptionKey), descriptionForCode(code)},
                     {QLatin1String(Error::kURLErrorFailingURLErrorKey), url},
                     {QStringLiteral("NSErrorFailingURLStringKey"), url.toString()}};
    if (!detail.isEmpty())
        info.insert(QLatin1String(Error::kLocalizedFailureReasonKey), detail);
    return Error(QLatin1String(Error::kURLErrorDomain), code, info);
}

// --- session ---------------------------------------------------------------------------------

std::shared_ptr<URLSession> URLSession::create(const URLSessionConfiguration& configuration)
{
    auto* const raw = new URLSession(configuration);
    // Transfers run on the main thread's event loop. A session made on another thread (which may
    // never run an event loop, or may end first) is handed to the main thread at once, so that
    // its replies' signals and its own deletion are handled there.
    QCoreApplication* const app = QCoreApplication::instance();
    if (app != nullptr && raw->thread() != app->thread())
        raw->moveToThread(app->thread());
    // Whoever lets it go last, wherever, it is deleted on the main thread once the current event
    // is done (a session may be let go from inside its own event). Without an application object
    // (it is being destroyed, or there never was one) no event will come: on its own thread the
    // session goes at once, since posting its deletion there may even wait on Qt's posted-event
    // lock held by the application's clean-up.
    std::shared_ptr<URLSession> session(raw, [](URLSession* s) {
        if (QCoreApplication::instance() == nullptr && QThread::currentThread() == s->thread())
            delete s;
        else
            s->deleteLater();
    });
    session->m_self = session;
    return session;
}

URLSession::URLSession(const URLSessionConfiguration& configuration) : m_configuration(configuration) {}

URLSession::~URLSession()
{
    // The shared access manager outlives the session, so the replies still running are stopped
    // here; none of their last signals may reach this half-gone session, and tasks still waiting
    // end as cancelled without a word to anyone. (Replies whose access manager went with the
    // application are gone already.)
    for (const std::shared_ptr<Transfer>& transfer : std::as_const(m_transfers)) {
        if (QNetworkReply* const reply = transfer->reply) {
            disconnect(reply, nullptr, this, nullptr);
            reply->abort();
            // Without an application object no deferred deletion would ever run.
            if (QCoreApplication::instance() != nullptr)
                reply->deleteLater();
            else
                delete reply;
        }
    }
    if (m_secureAccessManager != nullptr) {
        disconnect(m_secureAccessManager, nullptr, this, nullptr);
        delete m_secureAccessManager;
    }
    std::lock_guard lock(m_mutex);
    for (const std::shared_ptr<URLSessionTask>& task : std::as_const(m_tasks)) {
        std::lock_guard taskLock(task->m_mutex);
        task->m_state = URLSessionTaskState::Completed;
        task->m_error = urlError(NSURLErrorCancelled, task->m_currentRequest.URL);
    }
}

void URLSession::clearSharedCookies()
{
    dispatch::syncMain([] {
        if (QNetworkAccessManager* const shared = sharedAccessManager())
            if (auto* const jar = dynamic_cast<SharedCookieJar*>(shared->cookieJar()))
                jar->clear();
    });
}

void URLSession::clearSharedCache()
{
    dispatch::syncMain([] {
        // The application's URL cache sits on the managers that belong to the application object,
        // the shared one among them.
        if (QCoreApplication* const app = QCoreApplication::instance())
            for (QNetworkAccessManager* const manager : app->findChildren<QNetworkAccessManager*>())
                if (QAbstractNetworkCache* const cache = manager->cache())
                    cache->clear();
    });
}

void URLSession::setSharedCacheCapacities(qint64 memoryCapacity, qint64 diskCapacity)
{
    dispatch::syncMain([memoryCapacity, diskCapacity] {
        if (QCoreApplication* const app = QCoreApplication::instance())
            for (QNetworkAccessManager* const manager : app->findChildren<QNetworkAccessManager*>())
                if (auto* const cache = dynamic_cast<SizableURLCache*>(manager->cache()))
                    cache->setCapacities(memoryCapacity, diskCapacity);
    });
}

bool URLSession::hasCachedResponseForRequest(const URLRequest& request)
{
    sharedAccessManager();
    const QList<QPointer<QNetworkAccessManager>> managers = sessionAccessManagers();
    return std::any_of(managers.cbegin(), managers.cend(), [&request](const QPointer<QNetworkAccessManager>& manager) {
        return manager && manager->cache() != nullptr && manager->cache()->metaData(request.URL).isValid();
    });
}

void URLSession::setAccessManagerHook(std::function<void(QNetworkAccessManager*)> hook)
{
    accessManagerHook() = std::move(hook);
    if (!accessManagerHook())
        return;
    QList<QPointer<QNetworkAccessManager>>& managers = sessionAccessManagers();
    managers.removeAll(nullptr);
    for (const QPointer<QNetworkAccessManager>& manager : std::as_const(managers))
        accessManagerHook()(manager.data());
}

QNetworkAccessManager* URLSession::accessManagerFor(const QUrl& url)
{
    QNetworkAccessManager* const shared = sharedAccessManager();
    if (shared == nullptr)
        return nullptr;
    if (url.scheme() != QLatin1String("https")) {  // QUrl keeps schemes in lower case
        if (!m_listensToSharedAccessManager) {
            connect(shared, &QNetworkAccessManager::authenticationRequired, this,
                    [this](QNetworkReply* reply, QAuthenticator* authenticator) {
                        onAuthenticationRequired(reply, authenticator);
                    });
            m_listensToSharedAccessManager = true;
        }
        return shared;
    }
    if (m_secureAccessManager == nullptr) {
        m_secureAccessManager = new QNetworkAccessManager(this);
        prepareAccessManager(m_secureAccessManager);
        // Connections stay this session's; the cookies are everyone's.
        QNetworkCookieJar* const jar = shared->cookieJar();
        m_secureAccessManager->setCookieJar(jar);
        jar->setParent(shared);
        m_cookieJarOwner = shared;
        connect(m_secureAccessManager, &QNetworkAccessManager::authenticationRequired, this,
                [this](QNetworkReply* reply, QAuthenticator* authenticator) {
                    onAuthenticationRequired(reply, authenticator);
                });
    } else if (m_cookieJarOwner != shared) {
        return nullptr;  // its cookie jar went with an earlier application object
    }
    return m_secureAccessManager;
}

void URLSession::onAuthenticationRequired(QNetworkReply* reply, QAuthenticator* authenticator)
{
    // Every session hears the shared access manager; only the reply's own session answers.
    quint64 identifier = 0;
    std::shared_ptr<Transfer> transfer;
    for (auto it = m_transfers.cbegin(); it != m_transfers.cend() && !transfer; ++it) {
        if (it.value()->reply == reply) {
            identifier = it.key();
            transfer = it.value();
        }
    }
    if (!transfer)
        return;
    std::shared_ptr<URLSessionTask> task;
    {
        std::lock_guard lock(m_mutex);
        task = m_tasks.value(identifier);
    }
    if (!task)
        return;
    URLAuthenticationChallenge challenge;
    challenge.authenticationMethod = QLatin1String(NSURLAuthenticationMethodDefault);
    challenge.host = reply->url().host();
    challenge.port = reply->url().port(reply->url().scheme() == QLatin1String("https") ? 443 : 80);
    challenge.previousFailureCount = transfer->authenticationFailures++;
    const std::shared_ptr<URLSessionDelegate> d = delegate();
    const URLSessionChallengeAnswer answer =
        d ? d->taskDidReceiveChallenge(*this, *task, challenge) : URLSessionChallengeAnswer();
    if (answer.disposition == URLSessionAuthChallengeDisposition::UseCredential && answer.credential) {
        if (transfer->sentOnce)
            transfer->sentOnce->allowOneRewind();  // Qt sends it again with the credentials
        authenticator->setUser(answer.credential->user);
        authenticator->setPassword(answer.credential->password);
    } else if (answer.disposition == URLSessionAuthChallengeDisposition::CancelAuthenticationChallenge) {
        stop(identifier, StopReason::Cancelled);
    }
    // Otherwise the authenticator stays empty and the 401 reply is delivered.
}

void URLSession::setDelegate(std::weak_ptr<URLSessionDelegate> delegate)
{
    std::lock_guard lock(m_mutex);
    m_delegate = std::move(delegate);
}

std::shared_ptr<URLSessionDelegate> URLSession::delegate() const
{
    std::lock_guard lock(m_mutex);
    return m_delegate.lock();
}

template <typename Task>
std::shared_ptr<Task> URLSession::makeTask(URLSessionTask::Kind kind, const URLRequest& request)
{
    if (isBackgroundSession())
        return nullptr;
    quint64 identifier;
    {
        std::lock_guard lock(m_mutex);
        identifier = ++m_lastIdentifier;
    }
    // The constructors are for the session alone.
    std::shared_ptr<Task> task(new Task(kind, identifier, request, m_self));
    return task;
}

// The redirection code, in a file of its own, makes download tasks too; an optimised build inlines
// the uses here and would leave it nothing to link against.
template std::shared_ptr<URLSessionDataTask> URLSession::makeTask<URLSessionDataTask>(URLSessionTask::Kind,
                                                                                       const URLRequest&);
template std::shared_ptr<URLSessionUploadTask> URLSession::makeTask<URLSessionUploadTask>(URLSessionTask::Kind,
                                                                                           const URLRequest&);
template std::shared_ptr<URLSessionDownloadTask> URLSession::makeTask<URLSessionDownloadTask>(URLSessionTask::Kind,
                                                                                               const URLRequest&);

std::shared_ptr<URLSessionDataTask> URLSession::dataTaskWithRequest(const URLRequest& request)
{
    std::shared_ptr<URLSessionDataTask> task = makeTask<URLSessionDataTask>(URLSessionTask::Kind::Data, request);
    if (task) {
        task->m_bytesExpectedToSend = request.HTTPBodyStream ? NSURLSessionTransferSizeUnknown : request.HTTPBody.size();
        std::lock_guard lock(m_mutex);
        m_tasks.insert(task->taskIdentifier(), task);
    }
    return task;
}

std::shared_ptr<URLSessionUploadTask> URLSession::uploadTaskWithRequest(const URLRequest& request, const QByteArray& bodyData)
{
    std::shared_ptr<URLSessionUploadTask> task = makeTask<URLSessionUploadTask>(URLSessionTask::Kind::Upload, request);
    if (task) {
        task->m_uploadData = bodyData;
        task->m_bytesExpectedToSend = bodyData.size();
        std::lock_guard lock(m_mutex);
        m_tasks.insert(task->taskIdentifier(), task);
    }
    return task;
}

std::shared_ptr<URLSessionUploadTask> URLSession::uploadTaskWithRequest(const URLRequest& request, const QUrl& fileURL)
{
    std::shared_ptr<URLSessionUploadTask> task = makeTask<URLSessionUploadTask>(URLSessionTask::Kind::Upload, request);
    if (task) {
        task->m_uploadFilePath = fileURL.toLocalFile();
        task->m_bytesExpectedToSend = QFileInfo(task->m_uploadFilePath).size();
        std::lock_guard lock(m_mutex);
        m_tasks.insert(task->taskIdentifier(), task);
    }
    return task;
}

std::shared_ptr<URLSessionUploadTask> URLSession::uploadTaskWithStreamedRequest(const URLRequest& request)
{
    std::shared_ptr<URLSessionUploadTask> task = makeTask<URLSessionUploadTask>(URLSessionTask::Kind::Upload, request);
    if (task) {
        task->m_bytesExpectedToSend = NSURLSessionTransferSizeUnknown;
        std::lock_guard lock(m_mutex);
        m_tasks.insert(task->taskIdentifier(), task);
    }
    return task;
}

std::shared_ptr<URLSessionDownloadTask> URLSession::downloadTaskWithRequest(const URLRequest& request)
{
    std::shared_ptr<URLSessionDownloadTask> task =
        makeTask<URLSessionDownloadTask>(URLSessionTask::Kind::Download, request);
    if (task) {
        std::lock_guard lock(m_mutex);
        m_tasks.insert(task->taskIdentifier(), task);
    }
    return task;
}

QList<std::shared_ptr<URLSessionTask>> URLSession::allTasks() const
{
    std::lock_guard lock(m_mutex);
    QList<std::shared_ptr<URLSessionTask>> tasks = m_tasks.values();
    std::sort(tasks.begin(), tasks.end(),
              [](const auto& a, const auto& b) { return a->taskIdentifier() < b->taskIdentifier(); });
    return tasks;
}

void URLSession::finishTasksAndInvalidate()
{
    dispatch::asyncMain([self = m_self.lock()] {
        if (self)
            self->invalidate(false);
    });
}

void URLSession::invalidateAndCancel()
{
    dispatch::asyncMain([self = m_self.lock()] {
        if (self)
            self->invalidate(true);
    });
}

void URLSession::invalidate(bool cancelTasks)
{
    QList<std::shared_ptr<URLSessionTask>> tasks;
    {
        std::lock_guard lock(m_mutex);
        if (!m_invalidated)
            m_delegateUntilInvalid = m_delegate.lock();
        m_invalidated = true;
        if (cancelTasks)
            tasks = m_tasks.values();
    }
    for (const std::shared_ptr<URLSessionTask>& task : std::as_const(tasks)) {
        {
            std::lock_guard lock(task->m_mutex);
            if (task->m_state == URLSessionTaskState::Completed)
                continue;
            task->m_state = URLSessionTaskState::Canceling;
        }
        stop(task->taskIdentifier(), StopReason::Cancelled);
    }
    finishInvalidationIfDone();
}

void URLSession::finishInvalidationIfDone()
{
    std::shared_ptr<URLSessionDelegate> d;
    {
        std::lock_guard lock(m_mutex);
        if (!m_invalidated || m_invalidationReported || !m_tasks.isEmpty())
            return;
        m_invalidationReported = true;
        d = std::move(m_delegateUntilInvalid);
    }
    if (d)
        d->didBecomeInvalidWithError(*this, std::nullopt);
}

bool URLSession::startIfNew(const std::shared_ptr<URLSessionTask>& task)
{
    if (m_transfers.contains(task->taskIdentifier()))
        return false;
    // A failure to start is still reported from the main queue, never from inside resume().
    const QScopedValueRollback<bool> later(m_startFailuresLater, true);
    startOrContinue(task);
    return true;
}

void URLSession::endUnstarted(const std::shared_ptr<URLSessionTask>& task, const Error& error)
{
    if (!m_startFailuresLater) {
        complete(task, error);
        return;
    }
    dispatch::asyncMain([session = QPointer<URLSession>(this), task, error] {
        if (session)
            session->complete(task, error);
    });
}

void URLSession::startOrContinue(const std::shared_ptr<URLSessionTask>& task)
{
    if (task->state() != URLSessionTaskState::Running)
        return;  // suspended or cancelled again before this ran
    const quint64 identifier = task->taskIdentifier();
    if (const std::shared_ptr<Transfer> transfer = m_transfers.value(identifier)) {
        if (!transfer->paused)
            return;
        transfer->paused = false;
        if (transfer->reply)
            transfer->reply->setReadBufferSize(kReadAheadBytes);
        onReadyRead(task);
        if (transfer->finishPending && m_transfers.contains(identifier))
            onFinished(task, transfer->reply);
        return;
    }
    bool invalidated;
    {
        std::lock_guard lock(m_mutex);
        invalidated = m_invalidated;
    }
    if (invalidated) {
        qWarning("URLSession: a task was resumed after its session was invalidated");
        endUnstarted(task, urlError(NSURLErrorCancelled, task->originalRequest().URL));
        return;
    }

    auto transfer = std::make_shared<Transfer>();
    const URLRequest& request = task->originalRequest();
    transfer->body = uploadBody(*task);
    if (task->kind() == URLSessionTask::Kind::Download) {
        transfer->downloadFile = std::make_unique<QTemporaryFile>(QDir::temp().filePath(QStringLiteral("URLSessionDownload-XXXXXX")));
        if (!transfer->downloadFile->open()) {
            endUnstarted(task, urlError(NSURLErrorUnknown, request.URL, transfer->downloadFile->errorString()));
            return;
        }
    }
    m_transfers.insert(identifier, transfer);
    send(task, *transfer, request);
}

std::shared_ptr<QIODevice> URLSession::uploadBody(const URLSessionTask& task)
{
    if (task.m_uploadData) {
        auto buffer = std::make_shared<QBuffer>();
        buffer->setData(*task.m_uploadData);
        return buffer;
    }
    if (!task.m_uploadFilePath.isEmpty())
        return std::make_shared<QFile>(task.m_uploadFilePath);
    return nullptr;
}

void URLSession::send(const std::shared_ptr<URLSessionTask>& task, Transfer& transfer, const URLRequest& request)
{
    const QString method = request.HTTPMethod.isEmpty() ? QStringLiteral("GET") : request.HTTPMethod;
    // An upload's own body wins; otherwise the request's stream, then its bytes.
    if (!transfer.body) {
        if (request.HTTPBodyStream) {
            transfer.body = request.HTTPBodyStream;
        } else if (!request.HTTPBody.isEmpty() || !methodSendsNoBodyByDefault(method)) {
            auto buffer = std::make_shared<QBuffer>();
            buffer->setData(request.HTTPBody);
            transfer.body = buffer;
        }
    }
    if (transfer.body && !transfer.body->isOpen() && !transfer.body->open(QIODevice::ReadOnly)) {
        endUnstarted(task, urlError(NSURLErrorUnknown, request.URL,
                                    QStringLiteral("The body cannot be read: %1").arg(transfer.body->errorString())));
        return;
    }

    QNetworkRequest networkRequest = request.networkRequest();
    if (networkRequest.transferTimeout() == 0) {
        const double ms = std::ceil(m_configuration.timeoutIntervalForRequest * 1000.0);
        networkRequest.setTransferTimeout(ms >= std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                                                : std::max(1, static_cast<int>(ms)));
    }
    // An address carrying the reader's credentials is kept nowhere, whoever asks: Qt's disk cache
    // keeps the address of what it saves. Nor is its answer taken from the cache.
    const bool carriesCredentials = CredentialTexts::appearIn(QUrl::fromPercentEncoding(request.URL.toEncoded()));
    // A delegate that has its say on caching gets it before anything is kept.
    const std::shared_ptr<URLSessionDelegate> d = delegate();
    transfer.delegateDecidesCaching =
        !carriesCredentials && task->kind() == URLSessionTask::Kind::Data && d && d->respondsToWillCacheResponse();
    if (transfer.delegateDecidesCaching || carriesCredentials)
        networkRequest.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    if (carriesCredentials)
        networkRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    // Every redirection is put to the delegate first and counted here, across requests (see
    // onRedirected); Qt's own count starts again with each request, so it is left above ours.
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    networkRequest.setMaximumRedirectsAllowed(urlsession::kMaximumRedirects + 1);

    QNetworkAccessManager* const manager = accessManagerFor(request.URL);
    if (manager == nullptr) {
        endUnstarted(task, urlError(NSURLErrorUnknown, request.URL, QStringLiteral("The application has ended.")));
        return;
    }
    // A request that is not safe to repeat goes with a body Qt cannot rewind, an empty one
    // included: without a body Qt would send it again as freely as a GET. A GET carrying the
    // reader's credentials goes the same way: it may record an action for them (a score), and
    // their password goes out no more often than asked; a HEAD only asks.
    OneShotBody* sentOnce = nullptr;
    if (!urlsession::methodIsSafeToRepeat(method) || (carriesCredentials && method != QLatin1String("HEAD"))) {
        if (!transfer.body) {
            auto empty = std::make_shared<QBuffer>();
            empty->open(QIODevice::ReadOnly);
            transfer.body = std::move(empty);
        }
        // A stream of known length goes out unbuffered and cannot be rewound already.
        if (!transfer.body->isSequential())
            sentOnce = new OneShotBody(transfer.body);
    }
    QNetworkReply* reply = nullptr;
    if (method == QLatin1String("HEAD"))
        reply = manager->head(networkRequest);  // a custom "HEAD" would wait for a body
    else if (transfer.body)
        reply = manager->sendCustomRequest(networkRequest, method.toLatin1(),
                                           sentOnce ? static_cast<QIODevice*>(sentOnce) : transfer.body.get());
    else if (method == QLatin1String("GET"))
        reply = manager->get(networkRequest);
    else
        reply = manager->sendCustomRequest(networkRequest, method.toLatin1());
    // Qt reads the body as long as the reply lives, which may be longer than the task.
    if (sentOnce)
        sentOnce->setParent(reply);
    transfer.sentOnce = sentOnce;
    reply->setReadBufferSize(kReadAheadBytes);
    transfer.reply = reply;
    // A new reply: its headers and its server's certificate are still to be seen.
    transfer.metaDataSeen = false;
    transfer.trustAnswered = false;
    transfer.trustAccepted = false;
    connectReply(task, reply, transfer.body != nullptr);
}

void URLSession::connectReply(const std::shared_ptr<URLSessionTask>& task, QNetworkReply* reply, bool sendsBody)
{
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, task, reply] {
        const std::shared_ptr<Transfer> transfer = m_transfers.value(task->taskIdentifier());
        if (transfer)
            transfer->metaDataSeen = true;
        // The headers of a cached copy offered for a server error are not the answer.
        if (!transfer || !transfer->networkAnswerTaken)
            onMetaData(task, reply);
    });
    new CacheOfferWatch(reply, [this, task, reply](int status) {
        const std::shared_ptr<Transfer> transfer = m_transfers.value(task->taskIdentifier());
        if (!transfer || transfer->reply != reply || transfer->stopReason != StopReason::None)
            return;
        {
            std::lock_guard lock(task->m_mutex);
            task->m_response = HTTPURLResponse(reply->url(), status, {});
        }
        transfer->networkAnswerTaken = true;
    });
    // A server error (5xx) to a request Qt checked against its cache makes Qt 6.4 offer the cached
    // copy in its place and still report the error; then the reply never finishes. The task ends
    // at once with the server's answer.
    connect(reply, &QNetworkReply::errorOccurred, this, [this, task, reply](QNetworkReply::NetworkError code) {
        if (code < QNetworkReply::InternalServerError || code > QNetworkReply::UnknownServerError
            || !reply->attribute(QNetworkRequest::SourceIsFromCacheAttribute).toBool())
            return;
        const std::shared_ptr<Transfer> transfer = m_transfers.value(task->taskIdentifier());
        if (!transfer || transfer->reply != reply || transfer->stopReason != StopReason::None)
            return;
        // The watch has read the server's status; without it, the class of every server error.
        if (!transfer->networkAnswerTaken) {
            std::lock_guard lock(task->m_mutex);
            task->m_response = HTTPURLResponse(reply->url(), 500, {});
        }
        transfer->networkAnswerTaken = true;
        onFinished(task, reply);
    });
    connect(reply, &QNetworkReply::readyRead, this, [this, task] { onReadyRead(task); });
    connect(reply, &QNetworkReply::redirected, this, [this, task, reply](const QUrl& url) { onRedirected(task, reply, url); });
    connect(reply, &QNetworkReply::finished, this, [this, task, reply] { onFinished(task, reply); });
    // Only what a request can report is listened to: connections cost on every request.
    if (sendsBody) {
        connect(reply, &QNetworkReply::uploadProgress, this,
                [this, task](qint64 sent, qint64 total) { onUploadProgress(task, sent, total); });
    }
    if (reply->url().scheme() != QLatin1String("https"))
        return;
    connect(reply, &QNetworkReply::sslErrors, this, [this, task, reply](const QList<QSslError>& errors) {
        // The chain is taken from the errors when the reply does not carry it yet.
        if (reply->sslConfiguration().peerCertificateChain().isEmpty()) {
            QList<QSslCertificate> chain;
            for (const QSslError& error : errors) {
                if (!error.certificate().isNull() && !chain.contains(error.certificate()))
                    chain.append(error.certificate());
            }
            reply->setProperty("URLSessionErrorChain", QVariant::fromValue(chain));
        }
        answerServerTrust(task, reply, true);
    });
    connect(reply, &QNetworkReply::encrypted, this, [this, task, reply] { answerServerTrust(task, reply, false); });
}

bool URLSession::answerServerTrust(const std::shared_ptr<URLSessionTask>& task, QNetworkReply* reply, bool qtFoundErrors)
{
    const std::shared_ptr<Transfer> transfer = m_transfers.value(task->taskIdentifier());
    if (!transfer || transfer->reply != reply)
        return false;
    if (transfer->trustAnswered) {
        if (transfer->trustAccepted && qtFoundErrors)
            reply->ignoreSslErrors();
        return transfer->trustAccepted;
    }
    transfer->trustAnswered = true;

    URLAuthenticationChallenge challenge;
    challenge.authenticationMethod = QLatin1String(NSURLAuthenticationMethodServerTrust);
    challenge.host = reply->url().host();
    challenge.port = reply->url().port(443);
    challenge.serverTrust.chain = reply->sslConfiguration().peerCertificateChain();
    if (challenge.serverTrust.chain.isEmpty())
        challenge.serverTrust.chain = reply->property("URLSessionErrorChain").value<QList<QSslCertificate>>();

    const std::shared_ptr<URLSessionDelegate> d = delegate();
    const URLSessionChallengeAnswer answer = d ? d->didReceiveChallenge(*this, challenge) : URLSessionChallengeAnswer();
    bool accepted = false;
    switch (answer.disposition) {
    case URLSessionAuthChallengeDisposition::UseCredential:
        accepted = (answer.credential && answer.credential->serverTrust) || !qtFoundErrors;
        break;
    case URLSessionAuthChallengeDisposition::PerformDefaultHandling:
        accepted = !qtFoundErrors;
        break;
    case URLSessionAuthChallengeDisposition::CancelAuthenticationChallenge:
        stop(task->taskIdentifier(), StopReason::Cancelled);
        return false;
    case URLSessionAuthChallengeDisposition::RejectProtectionSpace:
        break;
    }
    transfer->trustAccepted = accepted;
    if (!accepted) {
        stop(task->taskIdentifier(), StopReason::TrustRefused);
        return false;
    }
    if (qtFoundErrors)
        reply->ignoreSslErrors();
    return true;
}

void URLSession::onMetaData(const std::shared_ptr<URLSessionTask>& task, QNetworkReply* reply)
{
    if (!reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return;
    HTTPURLResponse response = HTTPURLResponse::fromNetworkReply(*reply);
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    task->m_bytesExpectedToReceive = length.isValid() ? length.toLongLong() : NSURLSessionTransferSizeUnknown;
    std::lock_guard lock(task->m_mutex);
    task->m_response = std::move(response);
}

bool URLSession::deliverResponse(std::shared_ptr<URLSessionTask>& task, Transfer& transfer)
{
    if (transfer.responseDelivered)
        return true;
    transfer.responseDelivered = true;
    const std::optional<HTTPURLResponse> response = task->response();
    if (!response || task->kind() == URLSessionTask::Kind::Download)
        return true;
    const std::shared_ptr<URLSessionDelegate> d = delegate();
    if (!d)
        return true;
    auto& dataTask = static_cast<URLSessionDataTask&>(*task);
    const URLSessionResponseDisposition disposition = d->didReceiveResponse(*this, dataTask, *response);
    if (disposition == URLSessionResponseDisposition::Cancel) {
        stop(task->taskIdentifier(), StopReason::Cancelled);
        return false;
    }
    if (disposition == URLSessionResponseDisposition::BecomeDownload && task->kind() == URLSessionTask::Kind::Data)
        return becomeDownload(task, transfer);
    transfer.gathersForCache = mayOfferToCache(transfer);
    transfer.keepsCacheBody = transfer.gathersForCache && d->mayCacheResponse(dataTask);
    return m_transfers.contains(task->taskIdentifier());
}

void URLSession::onReadyRead(std::shared_ptr<URLSessionTask> task)
{
    const std::shared_ptr<Transfer> transfer = m_transfers.value(task->taskIdentifier());
    if (!transfer || transfer->paused || !transfer->reply || transfer->stopReason != StopReason::None
        || transfer->networkAnswerTaken)
        return;
    // What has arrived, taken whole when it is one block (readAll would grow and trim a copy).
    const QByteArray data = transfer->reply->read(transfer->reply->bytesAvailable());
    if (data.isEmpty() || isRedirectionResendingBody(*transfer->reply, transfer->body != nullptr))
        return;
    if (!deliverResponse(task, *transfer))
        return;
    const qint64 total = task->m_bytesReceived += data.size();
    const std::shared_ptr<URLSessionDelegate> d = delegate();
    if (task->kind() == URLSessionTask::Kind::Download) {
        if (transfer->downloadFile->write(data) != data.size()) {
            qWarning("URLSession: cannot write the download file: %s", qPrintable(transfer->downloadFile->errorString()));
            stop(task->taskIdentifier(), StopReason::Cancelled);
            return;
        }
        if (d)
            d->didWriteData(*this, static_cast<URLSessionDownloadTask&>(*task), data.size(), total,
                            task->countOfBytesExpectedToReceive());
    } else {
        if (transfer->keepsCacheBody)
            transfer->cacheBody.append(data);
        if (d)
            d->didReceiveData(*this, static_cast<URLSessionDataTask&>(*task), data);
    }
}

void URLSession::onUploadProgress(const std::shared_ptr<URLSessionTask>& task, qint64 sent, qint64 total)
{
    const qint64 before = task->m_bytesSent;
    if (sent <= before)
        return;  // Qt also reports (0, 0) for requests without a body
    task->m_bytesSent = sent;
    if (total > 0)
        task->m_bytesExpectedToSend = total;
    if (const std::shared_ptr<URLSessionDelegate> d = delegate())
        d->didSendBodyData(*this, *task, sent - before, sent, task->countOfBytesExpectedToSend());
}

void URLSession::fail(const std::shared_ptr<URLSessionTask>& task, Transfer& transfer, const Error& error)
{
    if (QNetworkReply* const reply = transfer.reply) {
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        reply->deleteLater();
    }
    transfer.reply = nullptr;
    complete(task, error);
}

void URLSession::stop(quint64 identifier, StopReason reason)
{
    std::shared_ptr<URLSessionTask> task;
    {
        std::lock_guard lock(m_mutex);
        task = m_tasks.value(identifier);
    }
    if (!task)
        return;
    const std::shared_ptr<Transfer> transfer = m_transfers.value(identifier);
    if (!transfer || !transfer->reply) {
        complete(task, urlError(NSURLErrorCancelled, task->currentRequest().URL));
        return;
    }
    if (transfer->stopReason != StopReason::None)
        return;
    transfer->stopReason = reason;
    transfer->paused = false;
    QNetworkReply* reply = transfer->reply;
    if (!reply->isFinished())
        reply->abort();
    // abort() normally finishes the reply at once; a reply that was already done ends here.
    if (m_transfers.contains(identifier))
        onFinished(task, reply);
}

void URLSession::onFinished(const std::shared_ptr<URLSessionTask>& task, QNetworkReply* reply)
{
    const quint64 identifier = task->taskIdentifier();
    const std::shared_ptr<Transfer> transfer = m_transfers.value(identifier);
    if (!transfer || transfer->reply != reply)
        return;
    if (transfer->paused && transfer->stopReason == StopReason::None) {
        transfer->finishPending = true;
        return;
    }
    const QUrl url = task->currentRequest().URL;
    std::optional<Error> error;
    switch (transfer->stopReason) {
    case StopReason::Cancelled:
        error = urlError(NSURLErrorCancelled, url);
        break;
    case StopReason::TrustRefused:
        error = urlError(NSURLErrorServerCertificateUntrusted, url);
        break;
    case StopReason::RedirectRefused:
        break;
    case StopReason::None:
        // Every set of headers Qt announces has been read already; a reply that ends without
        // announcing any (a failure) is read here.
        if (!transfer->metaDataSeen && !transfer->networkAnswerTaken)
            onMetaData(task, reply);
        if (isRedirectionResendingBody(*reply, transfer->body != nullptr)) {
            onRedirected(task, reply, reply->url().resolved(QUrl::fromEncoded(reply->rawHeader("Location"))));
            return;
        }
        if (transfer->networkAnswerTaken || isCompleteHTTPAnswer(*reply)) {
            onReadyRead(task);
            if (!m_transfers.contains(identifier)) {
                // The delegate cancelled it meanwhile, or had it become a download task, which
                // ends it now.
                if (const std::shared_ptr<URLSessionTask> download = transfer->becameTask.lock();
                    download && m_transfers.value(download->taskIdentifier()) == transfer)
                    onFinished(download, reply);
                return;
            }
            std::shared_ptr<URLSessionTask> current = task;
            if (!deliverResponse(current, *transfer))
                return;
            if (current != task) {
                onFinished(current, reply);
                return;
            }
        } else {
            // Qt could not send the request again without a rewind the body refused: the
            // connection was lost.
            const qint64 code = reply->error() == QNetworkReply::ContentReSendError
                                    ? NSURLErrorNetworkConnectionLost
                                    : URLErrorCodeForNetworkError(reply->error());
            error = urlError(code, url, reply->errorString());
        }
        break;
    }

    if (!error && transfer->stopReason == StopReason::None && transfer->gathersForCache)
        offerToCache(task, *transfer);
    if (!error && transfer->stopReason == StopReason::None && task->kind() == URLSessionTask::Kind::Download) {
        transfer->downloadFile->close();
        if (const std::shared_ptr<URLSessionDelegate> d = delegate())
            d->didFinishDownloadingToURL(*this, static_cast<URLSessionDownloadTask&>(*task),
                                         QUrl::fromLocalFile(transfer->downloadFile->fileName()));
    }
    complete(task, error);
}

void URLSession::complete(const std::shared_ptr<URLSessionTask>& task, const std::optional<Error>& error)
{
    const quint64 identifier = task->taskIdentifier();
    {
        std::lock_guard lock(task->m_mutex);
        if (task->m_state == URLSessionTaskState::Completed)
            return;
        task->m_state = URLSessionTaskState::Completed;
        task->m_error = error;
    }
    {
        std::lock_guard lock(m_mutex);
        m_tasks.remove(identifier);
    }
    // The transfer (its reply, body and temporary file) goes once the delegate has heard.
    const std::shared_ptr<Transfer> transfer = m_transfers.take(identifier);
    if (transfer && transfer->reply) {
        disconnect(transfer->reply, nullptr, this, nullptr);
        transfer->reply->deleteLater();
    }
    if (const std::shared_ptr<URLSessionDelegate> d = delegate())
        d->didCompleteWithError(*this, *task, error);
    finishInvalidationIfDone();
}

void URLSession::pause(const std::shared_ptr<URLSessionTask>& task)
{
    if (task->state() != URLSessionTaskState::Suspended)
        return;
    const std::shared_ptr<Transfer> transfer = m_transfers.value(task->taskIdentifier());
    if (!transfer || !transfer->reply)
        return;  // not started: nothing to hold back
    transfer->paused = true;
    transfer->reply->setReadBufferSize(kPausedReadBufferBytes);
}

void URLSession::cancelTask(const std::shared_ptr<URLSessionTask>& task)
{
    if (task->state() == URLSessionTaskState::Completed)
        return;
    stop(task->taskIdentifier(), StopReason::Cancelled);
}
