#pragma once

#include "foundation/URLErrorCodes.h"
#include "networking/HTTPURLResponse.h"
#include "networking/ServerTrust.h"
#include "networking/URLRequest.h"
#include "platform/Error.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QAbstractNetworkCache;
class QAuthenticator;
class QNetworkAccessManager;
class QNetworkReply;
class URLSession;

// What has no counterpart here (background sessions, resume data) answers with this error of
// Error::kCocoaErrorDomain.
inline constexpr qint64 NSFeatureUnsupportedError = 3328;
Error FeatureUnsupportedError(const QString& what);

// A URL-loading code (Error::kURLErrorDomain): a reply longer than its reader accepts.
inline constexpr qint64 NSURLErrorDataLengthExceedsMaximum = -1103;

// -1: a byte count that is not known.
inline constexpr qint64 NSURLSessionTransferSizeUnknown = -1;

struct URLSessionConfiguration
{
    // Set only for background sessions, which this platform does not have.
    QString identifier;
    // Seconds a request may go without any traffic before it ends with -1001; a request's own
    // timeoutInterval takes precedence.
    double timeoutIntervalForRequest = 60;

    static URLSessionConfiguration defaultSessionConfiguration() { return {}; }
    static URLSessionConfiguration backgroundSessionConfigurationWithIdentifier(const QString& identifier);

    bool operator==(const URLSessionConfiguration& other) const = default;
    // The configuration as an archive keeps it, and back.
    QVariantMap encodeWithCoder() const;
    static URLSessionConfiguration initWithCoder(const QVariantMap& coder);
};

enum class URLSessionTaskState : int { Running = 0, Suspended = 1, Canceling = 2, Completed = 3 };

// One request of a session. Made suspended; resume() starts it. Every member may be called from
// any thread: the transfer itself runs on the main thread, and resume, suspend and cancel take
// effect there shortly after the call.
class URLSessionTask : public std::enable_shared_from_this<URLSessionTask>
{
public:
    enum class Kind { Data, Upload, Download };

    virtual ~URLSessionTask() = default;
    URLSessionTask(const URLSessionTask&) = delete;
    URLSessionTask& operator=(const URLSessionTask&) = delete;

    Kind kind() const { return m_kind; }
    // Unique within the session, from 1.
    quint64 taskIdentifier() const { return m_taskIdentifier; }
    const URLRequest& originalRequest() const { return m_originalRequest; }
    // The request now being loaded (another URL after a redirection).
    URLRequest currentRequest() const;
    // The reply's status and headers once they have arrived.
    std::optional<HTTPURLResponse> response() const;
    URLSessionTaskState state() const;
    // The error the task ended with; empty while it runs and after a success.
    std::optional<Error> error() const;
    QString taskDescription() const;
    void setTaskDescription(const QString& description);

    qint64 countOfBytesReceived() const { return m_bytesReceived; }
    qint64 countOfBytesSent() const { return m_bytesSent; }
    qint64 countOfBytesExpectedToSend() const { return m_bytesExpectedToSend; }
    qint64 countOfBytesExpectedToReceive() const { return m_bytesExpectedToReceive; }

    // Each posts its "com.alamofire.networking.nsurlsessiontask." notification on the calling
    // thread when the state before was not already the one asked for.
    void resume();
    void suspend();
    // A running or suspended task ends with -999.
    void cancel();

    static constexpr auto kTaskResumeNotification = "com.alamofire.networking.nsurlsessiontask.resume";
    static constexpr auto kTaskSuspendNotification = "com.alamofire.networking.nsurlsessiontask.suspend";

protected:
    URLSessionTask(Kind kind, quint64 identifier, URLRequest request, std::weak_ptr<URLSession> session);

private:
    friend class URLSession;

    const Kind m_kind;
    const quint64 m_taskIdentifier;
    const URLRequest m_originalRequest;
    const std::weak_ptr<URLSession> m_session;

    mutable std::mutex m_mutex;
    URLRequest m_currentRequest;                // guarded by m_mutex
    std::optional<HTTPURLResponse> m_response;  // guarded by m_mutex
    URLSessionTaskState m_state = URLSessionTaskState::Suspended;  // guarded by m_mutex
    std::optional<Error> m_error;               // guarded by m_mutex
    QString m_taskDescription;                  // guarded by m_mutex

    std::atomic<qint64> m_bytesReceived{0};
    std::atomic<qint64> m_bytesSent{0};
    std::atomic<qint64> m_bytesExpectedToSend{0};
    std::atomic<qint64> m_bytesExpectedToReceive{NSURLSessionTransferSizeUnknown};

    // What an upload sends in place of the request's own body; set before the task is handed out.
    std::optional<QByteArray> m_uploadData;
    QString m_uploadFilePath;
};

class URLSessionDataTask : public URLSessionTask
{
protected:
    friend class URLSession;
    using URLSessionTask::URLSessionTask;
};

class URLSessionUploadTask : public URLSessionDataTask
{
protected:
    friend class URLSession;
    using URLSessionDataTask::URLSessionDataTask;
};

// The body goes to a temporary file, which the delegate must move away when told the download
// has finished; the file is deleted after that.
class URLSessionDownloadTask : public URLSessionTask
{
protected:
    friend class URLSession;
    using URLSessionTask::URLSessionTask;
};

inline constexpr auto NSURLAuthenticationMethodServerTrust = "NSURLAuthenticationMethodServerTrust";
inline constexpr auto NSURLAuthenticationMethodDefault = "NSURLAuthenticationMethodDefault";

struct URLAuthenticationChallenge
{
    QString authenticationMethod;
    QString host;
    int port = -1;
    // For server-trust challenges: what the server presented.
    ServerTrust serverTrust;
    // How many answers to this challenge have failed before.
    int previousFailureCount = 0;
};

// The answer to a challenge: a user and password for an HTTP challenge, or the accepted trust for
// a server-trust challenge.
struct URLCredential
{
    QString user;
    QString password;
    std::optional<ServerTrust> serverTrust;

    static URLCredential credentialForTrust(const ServerTrust& trust);
};

enum class URLSessionAuthChallengeDisposition : int {
    UseCredential = 0,
    PerformDefaultHandling = 1,
    CancelAuthenticationChallenge = 2,
    RejectProtectionSpace = 3,
};

struct URLSessionChallengeAnswer
{
    URLSessionAuthChallengeDisposition disposition = URLSessionAuthChallengeDisposition::PerformDefaultHandling;
    std::optional<URLCredential> credential;
};

enum class URLSessionResponseDisposition : int { Cancel = 0, Allow = 1, BecomeDownload = 2, BecomeStream = 3 };

enum class URLCacheStoragePolicy : int { Allowed = 0, AllowedInMemoryOnly = 1, NotAllowed = 2 };

// A reply as the URL cache keeps it.
struct CachedURLResponse
{
    HTTPURLResponse response;
    QByteArray data;
    URLCacheStoragePolicy storagePolicy = URLCacheStoragePolicy::Allowed;
};

// What a session tells its delegate, always on the main thread, one call at a time. Each default
// is what the session does without a delegate.
class URLSessionDelegate
{
public:
    virtual ~URLSessionDelegate() = default;

    // After invalidation, once the last task has ended.
    virtual void didBecomeInvalidWithError(URLSession& session, const std::optional<Error>& error);
    // Server-trust challenges. The default accepts exactly the chains Qt's own verification
    // accepts; refusing ends the request with -1202.
    virtual URLSessionChallengeAnswer didReceiveChallenge(URLSession& session, const URLAuthenticationChallenge& challenge);
    // HTTP authentication challenges (401). Without a credential the 401 reply is delivered.
    virtual URLSessionChallengeAnswer taskDidReceiveChallenge(URLSession& session, URLSessionTask& task,
                                                              const URLAuthenticationChallenge& challenge);
    // The request to follow, or none to end the task with the redirection reply itself.
    virtual std::optional<URLRequest> willPerformHTTPRedirection(URLSession& session, URLSessionTask& task,
                                                                 const HTTPURLResponse& response,
                                                                 const URLRequest& newRequest);
    virtual void didSendBodyData(URLSession& session, URLSessionTask& task, qint64 bytesSent, qint64 totalBytesSent,
                                 qint64 totalBytesExpectedToSend);
    virtual void didCompleteWithError(URLSession& session, URLSessionTask& task, const std::optional<Error>& error);
    // Before the first body bytes of a data or upload task. Cancel ends the task with -999;
    // BecomeDownload has a data task become a download task (didBecomeDownloadTask); the other
    // dispositions let it go on.
    virtual URLSessionResponseDisposition didReceiveResponse(URLSession& session, URLSessionDataTask& task,
                                                             const HTTPURLResponse& response);
    virtual void didReceiveData(URLSession& session, URLSessionDataTask& task, const QByteArray& data);
    // A task's body has to be sent again (a 307 or 308 redirection) and its stream has been
    // read: a fresh stream with the same bytes, or null to end the task with -1021.
    virtual std::shared_ptr<QIODevice> needNewBodyStream(URLSession& session, URLSessionTask& task);
    // The response was answered with BecomeDownload: from here on the download task carries the
    // transfer, to its didFinishDownloadingToURL and completion; the data task ends unreported.
    virtual void didBecomeDownloadTask(URLSession& session, URLSessionDataTask& dataTask,
                                       URLSessionDownloadTask& downloadTask);
    // A download resumed from resume data. This platform has none, so no session calls it.
    virtual void didResumeAtOffset(URLSession& session, URLSessionDownloadTask& task, qint64 fileOffset,
                                   qint64 expectedTotalBytes);
    // A background session's events are all delivered. This platform has no background
    // sessions, so no session calls it.
    virtual void didFinishEventsForBackgroundURLSession(URLSession& session);
    // Whether the delegate answers willCacheResponse. When it does not, the URL cache keeps
    // replies as Qt decides.
    virtual bool respondsToWillCacheResponse() const;
    // The reply the URL cache is to keep, or none. Asked for the reply of a data task's GET that
    // came from the network with a 2xx status (not 206) while a URL cache is installed, once it is
    // whole and before the task completes: the proposed reply carries its response and body, and
    // the cache keeps the answer's response and data as they are. Nothing is kept for no answer
    // or for NotAllowed.
    virtual std::optional<CachedURLResponse> willCacheResponse(URLSession& session, URLSessionDataTask& task,
                                                               const CachedURLResponse& proposedResponse);
    // False when willCacheResponse keeps nothing of this task's reply whatever it is: it is still
    // asked at the same moment, but with a proposal without the body, which the session gathers
    // only for a delegate that may keep it, and its answer is not kept.
    virtual bool mayCacheResponse(URLSessionDataTask& task);
    // location is the temporary file holding the body; it is deleted when this returns.
    virtual void didFinishDownloadingToURL(URLSession& session, URLSessionDownloadTask& task, const QUrl& location);
    virtual void didWriteData(URLSession& session, URLSessionDownloadTask& task, qint64 bytesWritten,
                              qint64 totalBytesWritten, qint64 totalBytesExpectedToWrite);
};

// A URL cache whose capacities can be set: the one the program installs on its access managers
// implements it beside QAbstractNetworkCache, which has no such setter.
class SizableURLCache
{
public:
    virtual ~SizableURLCache() = default;
    virtual void setCapacities(qint64 memoryCapacity, qint64 diskCapacity) = 0;
};

// Runs tasks on the main thread and reports them to its delegate (held weakly). Plain requests
// go through the process's one shared QNetworkAccessManager, so that sessions share its network
// thread and its kept-alive connections; "https" requests go through an access manager of the
// session's own, because Qt asks about a server's trust only when a connection is made, and a
// connection that another session's policy accepted must not carry this session's requests.
// Cookies are the process's, as with the platform's default session, and so are the HTTP
// credentials Qt remembers for plain requests.
//
// Hold it in the std::shared_ptr made by create(), which may be called on any thread (the session
// belongs to the main thread from then on) and may drop its last reference on any thread.
class URLSession : public QObject
{
public:
    static std::shared_ptr<URLSession> create(const URLSessionConfiguration& configuration);
    ~URLSession() override;

    const URLSessionConfiguration& configuration() const { return m_configuration; }
    bool isBackgroundSession() const { return !m_configuration.identifier.isEmpty(); }

    void setDelegate(std::weak_ptr<URLSessionDelegate> delegate);

    // New suspended tasks; none for a background session. A body stream is opened for reading
    // when the task starts.
    std::shared_ptr<URLSessionDataTask> dataTaskWithRequest(const URLRequest& request);
    std::shared_ptr<URLSessionUploadTask> uploadTaskWithRequest(const URLRequest& request, const QByteArray& bodyData);
    std::shared_ptr<URLSessionUploadTask> uploadTaskWithRequest(const URLRequest& request, const QUrl& fileURL);
    std::shared_ptr<URLSessionUploadTask> uploadTaskWithStreamedRequest(const URLRequest& request);
    std::shared_ptr<URLSessionDownloadTask> downloadTaskWithRequest(const URLRequest& request);

    // Tasks made and not yet ended, by identifier.
    QList<std::shared_ptr<URLSessionTask>> allTasks() const;

    // The process's cookies, which every session sends and stores: all of them are deleted.
    // Runs on the main thread (waiting for it when called elsewhere).
    static void clearSharedCookies();
    // Every response kept by the URL cache installed on the process's access managers is removed.
    // Runs on the main thread (waiting for it when called elsewhere).
    static void clearSharedCache();
    // The capacities of the URL cache installed on the process's access managers (0: nothing is
    // kept from then on). Runs on the main thread (waiting for it when called elsewhere).
    static void setSharedCacheCapacities(qint64 memoryCapacity, qint64 diskCapacity);
    // Whether the URL cache of the process's access managers holds a reply for the request's URL.
    // Main thread only.
    static bool hasCachedResponseForRequest(const URLRequest& request);
    // Called with the shared access manager and with every access manager a session makes for
    // itself (those made already, at once), so that the program's one URL cache serves them all.
    // Main thread only; an empty hook stops the calls.
    static void setAccessManagerHook(std::function<void(QNetworkAccessManager*)> hook);

    // Asynchronous, on the main thread. No task starts afterwards (a later resume ends the task
    // with -999); once no task is left the delegate hears didBecomeInvalidWithError.
    void finishTasksAndInvalidate();
    // The same, cancelling every task that has not ended (each ends with -999).
    void invalidateAndCancel();

private:
    friend class URLSessionTask;
    struct Transfer;
    enum class StopReason { None, Cancelled, TrustRefused, RedirectRefused };

    explicit URLSession(const URLSessionConfiguration& configuration);

    template <typename Task>
    std::shared_ptr<Task> makeTask(URLSessionTask::Kind kind, const URLRequest& request);

    // Main-thread side of resume, suspend and cancel.
    void startOrContinue(const std::shared_ptr<URLSessionTask>& task);
    // Starts a task that has no transfer yet, from resume() on the main thread; false (nothing
    // done) when it has one.
    bool startIfNew(const std::shared_ptr<URLSessionTask>& task);
    // Ends a task that could not be sent: at once, or from the main queue while in resume().
    void endUnstarted(const std::shared_ptr<URLSessionTask>& task, const Error& error);
    void pause(const std::shared_ptr<URLSessionTask>& task);
    void cancelTask(const std::shared_ptr<URLSessionTask>& task);
    void invalidate(bool cancelTasks);

    void send(const std::shared_ptr<URLSessionTask>& task, Transfer& transfer, const URLRequest& request);
    // A fresh device over an upload task's own body; null for other tasks.
    static std::shared_ptr<QIODevice> uploadBody(const URLSessionTask& task);
    // Ends the task with the error, dropping its reply unheard.
    void fail(const std::shared_ptr<URLSessionTask>& task, Transfer& transfer, const Error& error);
    // The access manager for the URL (main thread); null once the application has ended.
    QNetworkAccessManager* accessManagerFor(const QUrl& url);
    void onAuthenticationRequired(QNetworkReply* reply, QAuthenticator* authenticator);
    void connectReply(const std::shared_ptr<URLSessionTask>& task, QNetworkReply* reply, bool sendsBody);
    void stop(quint64 identifier, StopReason reason);
    void onMetaData(const std::shared_ptr<URLSessionTask>& task, QNetworkReply* reply);
    void onReadyRead(std::shared_ptr<URLSessionTask> task);
    void onUploadProgress(const std::shared_ptr<URLSessionTask>& task, qint64 sent, qint64 total);
    void onRedirected(const std::shared_ptr<URLSessionTask>& task, QNetworkReply* reply, const QUrl& url);
    void onFinished(const std::shared_ptr<URLSessionTask>& task, QNetworkReply* reply);
    // False when the trust was refused and the transfer stopped.
    bool answerServerTrust(const std::shared_ptr<URLSessionTask>& task, QNetworkReply* reply, bool qtFoundErrors);
    // False when the delegate cancelled the task on seeing the response. When it had the data
    // task become a download task, task is that download task afterwards.
    bool deliverResponse(std::shared_ptr<URLSessionTask>& task, Transfer& transfer);
    // Hands the transfer over to a new download task; false when the delegate then cancelled it.
    bool becomeDownload(std::shared_ptr<URLSessionTask>& task, Transfer& transfer);
    void complete(const std::shared_ptr<URLSessionTask>& task, const std::optional<Error>& error);
    // Whether the reply, once its headers are in, is one the cache could keep and the delegate
    // is to be asked about when it is whole.
    static bool mayOfferToCache(const Transfer& transfer);
    // Asks the delegate, with the whole reply, what the cache is to keep, and keeps that.
    void offerToCache(const std::shared_ptr<URLSessionTask>& task, Transfer& transfer);
    // Puts a reply and its data into the cache, keyed and dated as Qt keys and dates the replies
    // it keeps itself.
    static void storeInCache(QAbstractNetworkCache& cache, const QUrl& url, const CachedURLResponse& entry);
    void finishInvalidationIfDone();

    std::shared_ptr<URLSessionDelegate> delegate() const;

    const URLSessionConfiguration m_configuration;
    std::weak_ptr<URLSession> m_self;

    mutable std::mutex m_mutex;
    std::weak_ptr<URLSessionDelegate> m_delegate;                 // guarded by m_mutex
    QHash<quint64, std::shared_ptr<URLSessionTask>> m_tasks;    // guarded by m_mutex
    quint64 m_lastIdentifier = 0;                                 // guarded by m_mutex
    bool m_invalidated = false;                                   // guarded by m_mutex
    // From invalidation until it is reported the session keeps its delegate alive, so the
    // report reaches it even when everyone else has let it go.
    std::shared_ptr<URLSessionDelegate> m_delegateUntilInvalid;   // guarded by m_mutex

    // Main thread only.
    QHash<quint64, std::shared_ptr<Transfer>> m_transfers;
    bool m_startFailuresLater = false;  // inside startIfNew
    bool m_invalidationReported = false;
    QPointer<QNetworkAccessManager> m_secureAccessManager;    // child of this session, made on first use
    QPointer<QNetworkAccessManager> m_cookieJarOwner;         // the shared manager it took its cookies from
    bool m_listensToSharedAccessManager = false;
};
