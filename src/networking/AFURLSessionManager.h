#pragma once

#include "networking/AFNetworkReachabilityManager.h"
#include "networking/AFSecurityPolicy.h"
#include "networking/AFURLResponseSerialization.h"
#include "networking/Progress.h"
#include "networking/URLSession.h"
#include "platform/NotificationCenter.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace dispatch {
class Group;
class SerialQueue;
}  // namespace dispatch

class AFURLSessionManager;

// The task's reply (when one came), the response serializer's object, and the error.
using AFURLSessionCompletionHandler = std::function<void(const std::optional<HTTPURLResponse>& response,
                                                         const QVariant& responseObject, const std::optional<Error>& error)>;
using AFURLSessionProgressBlock = std::function<void(const std::shared_ptr<Progress>& progress)>;
// Where a finished download goes, from the temporary file and the reply.
using AFURLSessionDestinationBlock =
    std::function<QUrl(const QUrl& targetPath, const std::optional<HTTPURLResponse>& response)>;

// Follows one task of a manager: collects its body, keeps its progress, and when it ends turns
// the reply into a response object and calls the completion handler.
class AFURLSessionManagerTaskDelegate
{
public:
    using DownloadTaskDidFinishDownloading =
        std::function<QUrl(URLSession& session, URLSessionDownloadTask& task, const QUrl& location)>;

    explicit AFURLSessionManagerTaskDelegate(std::weak_ptr<AFURLSessionManager> manager);

    std::weak_ptr<AFURLSessionManager> manager;
    // Main thread only.
    QByteArray mutableData;
    const std::shared_ptr<Progress> uploadProgress;
    const std::shared_ptr<Progress> downloadProgress;
    QUrl downloadFileURL;
    DownloadTaskDidFinishDownloading downloadTaskDidFinishDownloading;
    AFURLSessionProgressBlock uploadProgressBlock;
    AFURLSessionProgressBlock downloadProgressBlock;
    AFURLSessionCompletionHandler completionHandler;

    // Sets the totals, lets the progress objects cancel, pause and resume the task, and has the
    // progress blocks called whenever a fraction moves.
    void setupProgressForTask(const std::shared_ptr<URLSessionTask>& task);
    void cleanUpProgressForTask();
    // Copies the task's byte counters into the progress objects.
    void updateProgressForTask(const URLSessionTask& task);

    void didCompleteWithError(URLSession& session, URLSessionTask& task, const std::optional<Error>& error);
    void didReceiveData(URLSession& session, URLSessionDataTask& task, const QByteArray& data);
    void didFinishDownloadingToURL(URLSession& session, URLSessionDownloadTask& task, const QUrl& location);
};

// Runs requests on its own URL session and hands each task's result, parsed by the response
// serializer off the main thread (raw bodies, which need no parsing, are only checked, on the
// main thread), to the task's completion handler on the main thread.
//
// Managers live in std::shared_ptr (std::make_shared) and may be created on any thread; their
// session belongs to the main thread either way. While a task of the manager has not ended, the
// manager keeps itself alive, so a caller may let it go after starting its requests; it is
// released once the last task has ended and its completion has run.
class AFURLSessionManager : public URLSessionDelegate, public std::enable_shared_from_this<AFURLSessionManager>
{
public:
    // Notifications (default centre) and the keys of the completion notification's user info.
    static constexpr auto kTaskDidResumeNotification = "com.alamofire.networking.task.resume";
    static constexpr auto kTaskDidSuspendNotification = "com.alamofire.networking.task.suspend";
    static constexpr auto kTaskDidCompleteNotification = "com.alamofire.networking.task.complete";
    static constexpr auto kSessionDidInvalidateNotification = "com.alamofire.networking.session.invalidate";
    static constexpr auto kDownloadTaskDidFailToMoveFileNotification =
        "com.alamofire.networking.session.download.file-manager-error";
    static constexpr auto kTaskDidCompleteResponseSerializerKey = "com.alamofire.networking.task.complete.responseserializer";
    static constexpr auto kTaskDidCompleteResponseDataKey = "com.alamofire.networking.complete.finish.responsedata";
    static constexpr auto kTaskDidCompleteAssetPathKey = "com.alamofire.networking.task.complete.assetpath";
    static constexpr auto kTaskDidCompleteSerializedResponseKey = "com.alamofire.networking.task.complete.serializedresponse";
    static constexpr auto kTaskDidCompleteErrorKey = "com.alamofire.networking.task.complete.error";

    using SessionDidBecomeInvalidBlock = std::function<void(URLSession& session, const std::optional<Error>& error)>;
    using SessionDidReceiveAuthenticationChallengeBlock = std::function<URLSessionAuthChallengeDisposition(
        URLSession& session, const URLAuthenticationChallenge& challenge, std::optional<URLCredential>& credential)>;
    using TaskWillPerformHTTPRedirectionBlock = std::function<std::optional<URLRequest>(
        URLSession& session, URLSessionTask& task, const HTTPURLResponse& response, const URLRequest& request)>;
    using TaskDidReceiveAuthenticationChallengeBlock = std::function<URLSessionAuthChallengeDisposition(
        URLSession& session, URLSessionTask& task, const URLAuthenticationChallenge& challenge,
        std::optional<URLCredential>& credential)>;
    using TaskDidSendBodyDataBlock = std::function<void(URLSession& session, URLSessionTask& task, qint64 bytesSent,
                                                        qint64 totalBytesSent, qint64 totalBytesExpectedToSend)>;
    using TaskDidCompleteBlock =
        std::function<void(URLSession& session, URLSessionTask& task, const std::optional<Error>& error)>;
    using DataTaskDidReceiveResponseBlock = std::function<URLSessionResponseDisposition(
        URLSession& session, URLSessionDataTask& task, const HTTPURLResponse& response)>;
    using DataTaskDidReceiveDataBlock =
        std::function<void(URLSession& session, URLSessionDataTask& task, const QByteArray& data)>;
    using DownloadTaskDidFinishDownloadingBlock =
        std::function<QUrl(URLSession& session, URLSessionDownloadTask& task, const QUrl& location)>;
    using DownloadTaskDidWriteDataBlock = std::function<void(URLSession& session, URLSessionDownloadTask& task,
                                                             qint64 bytesWritten, qint64 totalBytesWritten,
                                                             qint64 totalBytesExpectedToWrite)>;
    using DidFinishEventsForBackgroundURLSessionBlock = std::function<void(URLSession& session)>;
    using TaskNeedNewBodyStreamBlock = std::function<std::shared_ptr<QIODevice>(URLSession& session, URLSessionTask& task)>;
    using DataTaskDidBecomeDownloadTaskBlock =
        std::function<void(URLSession& session, URLSessionDataTask& dataTask, URLSessionDownloadTask& downloadTask)>;
    using DataTaskWillCacheResponseBlock = std::function<std::optional<CachedURLResponse>(
        URLSession& session, URLSessionDataTask& task, const CachedURLResponse& proposedResponse)>;
    using DownloadTaskDidResumeBlock = std::function<void(URLSession& session, URLSessionDownloadTask& task,
                                                          qint64 fileOffset, qint64 expectedTotalBytes)>;

    // No configuration: the default one.
    explicit AFURLSessionManager(const std::optional<URLSessionConfiguration>& configuration = std::nullopt);
    ~AFURLSessionManager() override;
    AFURLSessionManager(const AFURLSessionManager&) = delete;
    AFURLSessionManager& operator=(const AFURLSessionManager&) = delete;

    const std::shared_ptr<URLSession>& session() const { return m_session; }
    const URLSessionConfiguration& sessionConfiguration() const { return m_sessionConfiguration; }

    // Archiving and copying carry the session configuration, under "sessionConfiguration".
    static constexpr auto kSessionConfigurationKey = "sessionConfiguration";
    static bool supportsSecureCoding() { return true; }
    virtual QVariantMap encodeWithCoder() const;
    static std::shared_ptr<AFURLSessionManager> initWithCoder(const QVariantMap& coder);
    // A new manager with the session's configuration.
    virtual std::shared_ptr<AFURLSessionManager> copy() const;

    // NO at first. When set, an upload from a file that a background session could not make is
    // asked for up to 3 more times. (This platform makes no task in a background session, so
    // every try fails: uploadTaskWithRequestFromFile returns null and never calls the completion.)
    bool attemptsToRecreateUploadTasksForBackgroundSessions() const;
    void setAttemptsToRecreateUploadTasksForBackgroundSessions(bool attempts);

    // A new AFJSONResponseSerializer at first.
    std::shared_ptr<AFURLResponseSerialization> responseSerializer() const;
    void setResponseSerializer(std::shared_ptr<AFURLResponseSerialization> serializer);
    // AFSecurityPolicy::defaultPolicy() at first.
    AFSecurityPolicy securityPolicy() const;
    void setSecurityPolicy(const AFSecurityPolicy& policy);
    // The shared monitor at first; held for callers, never started or read here.
    std::shared_ptr<AFNetworkReachabilityManager> reachabilityManager() const;
    void setReachabilityManager(std::shared_ptr<AFNetworkReachabilityManager> manager);
    // Unset: completions run on the main queue, in the process-wide completion group.
    std::shared_ptr<dispatch::SerialQueue> completionQueue() const;
    void setCompletionQueue(std::shared_ptr<dispatch::SerialQueue> queue);
    std::shared_ptr<dispatch::Group> completionGroup() const;
    void setCompletionGroup(std::shared_ptr<dispatch::Group> group);

    // The manager's address ("%p"), written into the description of every task it makes.
    QString taskDescriptionForSessionTasks() const;

    // The manager's tasks that have not ended, oldest first. Never blocks on the main thread.
    QList<std::shared_ptr<URLSessionTask>> tasks() const;
    QList<std::shared_ptr<URLSessionTask>> dataTasks() const;
    QList<std::shared_ptr<URLSessionTask>> uploadTasks() const;
    QList<std::shared_ptr<URLSessionTask>> downloadTasks() const;

    // Tasks are made suspended; the caller resumes them. In a background session (which this
    // platform does not have) none is made: the result is null and the completion handler
    // receives an NSFeatureUnsupportedError on the completion queue.
    std::shared_ptr<URLSessionDataTask> dataTaskWithRequest(const URLRequest& request,
                                                            AFURLSessionCompletionHandler completionHandler);
    std::shared_ptr<URLSessionDataTask> dataTaskWithRequest(const URLRequest& request,
                                                            AFURLSessionProgressBlock uploadProgress,
                                                            AFURLSessionProgressBlock downloadProgress,
                                                            AFURLSessionCompletionHandler completionHandler);
    // The exception: an upload from a file whose task cannot be made (tried four times in a
    // background session when attemptsToRecreateUploadTasksForBackgroundSessions is on) returns
    // null and never calls its completion handler.
    std::shared_ptr<URLSessionUploadTask> uploadTaskWithRequestFromFile(const URLRequest& request, const QUrl& fileURL,
                                                                        AFURLSessionProgressBlock uploadProgress,
                                                                        AFURLSessionCompletionHandler completionHandler);
    std::shared_ptr<URLSessionUploadTask> uploadTaskWithRequestFromData(const URLRequest& request,
                                                                        const QByteArray& bodyData,
                                                                        AFURLSessionProgressBlock uploadProgress,
                                                                        AFURLSessionCompletionHandler completionHandler);
    std::shared_ptr<URLSessionUploadTask> uploadTaskWithStreamedRequest(const URLRequest& request,
                                                                        AFURLSessionProgressBlock uploadProgress,
                                                                        AFURLSessionCompletionHandler completionHandler);
    std::shared_ptr<URLSessionDownloadTask> downloadTaskWithRequest(const URLRequest& request,
                                                                    AFURLSessionProgressBlock downloadProgress,
                                                                    AFURLSessionDestinationBlock destination,
                                                                    AFURLSessionCompletionHandler completionHandler);
    // Resume data has no counterpart here: always null, with NSFeatureUnsupportedError.
    std::shared_ptr<URLSessionDownloadTask> downloadTaskWithResumeData(const QByteArray& resumeData,
                                                                       AFURLSessionProgressBlock downloadProgress,
                                                                       AFURLSessionDestinationBlock destination,
                                                                       AFURLSessionCompletionHandler completionHandler);

    // The task's progress objects; null for a task that is not this manager's or has ended.
    std::shared_ptr<Progress> uploadProgressForTask(const URLSessionTask& task) const;
    std::shared_ptr<Progress> downloadProgressForTask(const URLSessionTask& task) const;

    // Asynchronously on the main queue. YES: every task not yet ended ends with -999. NO: running
    // tasks finish first. No task starts afterwards; the invalidation notification follows once
    // the last task has ended.
    void invalidateSessionCancelingTasks(bool cancelPendingTasks);

    void setSessionDidBecomeInvalidBlock(SessionDidBecomeInvalidBlock block);
    void setSessionDidReceiveAuthenticationChallengeBlock(SessionDidReceiveAuthenticationChallengeBlock block);
    void setTaskWillPerformHTTPRedirectionBlock(TaskWillPerformHTTPRedirectionBlock block);
    void setTaskDidReceiveAuthenticationChallengeBlock(TaskDidReceiveAuthenticationChallengeBlock block);
    void setTaskDidSendBodyDataBlock(TaskDidSendBodyDataBlock block);
    void setTaskDidCompleteBlock(TaskDidCompleteBlock block);
    void setDataTaskDidReceiveResponseBlock(DataTaskDidReceiveResponseBlock block);
    void setDataTaskDidReceiveDataBlock(DataTaskDidReceiveDataBlock block);
    void setDownloadTaskDidFinishDownloadingBlock(DownloadTaskDidFinishDownloadingBlock block);
    void setDownloadTaskDidWriteDataBlock(DownloadTaskDidWriteDataBlock block);
    void setDidFinishEventsForBackgroundURLSessionBlock(DidFinishEventsForBackgroundURLSessionBlock block);
    // Unset: a copy of the body stream of the task's original request when that stream can be
    // copied, else none.
    void setTaskNeedNewBodyStreamBlock(TaskNeedNewBodyStreamBlock block);
    void setDataTaskDidBecomeDownloadTaskBlock(DataTaskDidBecomeDownloadTaskBlock block);
    // Unset: the URL cache keeps replies as the platform decides.
    void setDataTaskWillCacheResponseBlock(DataTaskWillCacheResponseBlock block);
    void setDownloadTaskDidResumeBlock(DownloadTaskDidResumeBlock block);

    virtual QString description() const;

    // Session events (main thread).
    void didBecomeInvalidWithError(URLSession& session, const std::optional<Error>& error) override;
    URLSessionChallengeAnswer didReceiveChallenge(URLSession& session, const URLAuthenticationChallenge& challenge) override;
    URLSessionChallengeAnswer taskDidReceiveChallenge(URLSession& session, URLSessionTask& task,
                                                      const URLAuthenticationChallenge& challenge) override;
    std::optional<URLRequest> willPerformHTTPRedirection(URLSession& session, URLSessionTask& task,
                                                         const HTTPURLResponse& response,
                                                         const URLRequest& newRequest) override;
    void didSendBodyData(URLSession& session, URLSessionTask& task, qint64 bytesSent, qint64 totalBytesSent,
                         qint64 totalBytesExpectedToSend) override;
    void didCompleteWithError(URLSession& session, URLSessionTask& task, const std::optional<Error>& error) override;
    URLSessionResponseDisposition didReceiveResponse(URLSession& session, URLSessionDataTask& task,
                                                     const HTTPURLResponse& response) override;
    void didReceiveData(URLSession& session, URLSessionDataTask& task, const QByteArray& data) override;
    void didFinishDownloadingToURL(URLSession& session, URLSessionDownloadTask& task, const QUrl& location) override;
    void didWriteData(URLSession& session, URLSessionDownloadTask& task, qint64 bytesWritten, qint64 totalBytesWritten,
                      qint64 totalBytesExpectedToWrite) override;
    std::shared_ptr<QIODevice> needNewBodyStream(URLSession& session, URLSessionTask& task) override;
    void didBecomeDownloadTask(URLSession& session, URLSessionDataTask& dataTask,
                               URLSessionDownloadTask& downloadTask) override;
    bool respondsToWillCacheResponse() const override;
    std::optional<CachedURLResponse> willCacheResponse(URLSession& session, URLSessionDataTask& task,
                                                       const CachedURLResponse& proposedResponse) override;
    void didResumeAtOffset(URLSession& session, URLSessionDownloadTask& task, qint64 fileOffset,
                           qint64 expectedTotalBytes) override;
    // Calls its block, when set, later on the main queue.
    void didFinishEventsForBackgroundURLSession(URLSession& session) override;

protected:
    // One try at making the task of uploadTaskWithRequestFromFile: null when the session makes none.
    virtual std::shared_ptr<URLSessionUploadTask> makeUploadTaskFromFile(const URLRequest& request, const QUrl& fileURL);

private:
    friend class AFURLSessionManagerTaskDelegate;

    struct Registration
    {
        std::shared_ptr<URLSessionTask> task;
        std::shared_ptr<AFURLSessionManagerTaskDelegate> delegate;
        NotificationCenter::Token resumeObserver = 0;
        NotificationCenter::Token suspendObserver = 0;
    };

    // Points the session at this manager (it needs the shared owner, which the constructor lacks).
    void attachToSession();
    // Gives a new task its task delegate (configured by the caller) and registers it; a null task
    // (background session) is reported as unsupported.
    template <typename Task>
    std::shared_ptr<Task> adoptTask(std::shared_ptr<Task> task, AFURLSessionCompletionHandler completionHandler,
                                    const std::function<void(AFURLSessionManagerTaskDelegate&)>& configure);
    template <typename T>
    T guarded(const T& field) const
    {
        std::lock_guard lock(m_settingsMutex);
        return field;
    }
    template <typename T>
    void setGuarded(T& field, T value)
    {
        std::lock_guard lock(m_settingsMutex);
        field = std::move(value);
    }
    void setDelegate(const std::shared_ptr<AFURLSessionManagerTaskDelegate>& delegate,
                     const std::shared_ptr<URLSessionTask>& task);
    std::shared_ptr<AFURLSessionManagerTaskDelegate> delegateForTask(const URLSessionTask& task) const;
    void removeDelegateForTask(const URLSessionTask& task);
    QList<std::shared_ptr<URLSessionTask>> tasksOfKind(std::optional<URLSessionTask::Kind> kind) const;
    void taskDidResume(const Notification& notification);
    void taskDidSuspend(const Notification& notification);
    URLSessionChallengeAnswer answerChallenge(const URLAuthenticationChallenge& challenge) const;
    // Runs the block on the completion queue (or the main queue) inside the completion group.
    void dispatchCompletion(std::function<void()> block) const;
    void reportUnsupported(const QString& what, AFURLSessionCompletionHandler completionHandler) const;

    const URLSessionConfiguration m_sessionConfiguration;
    const std::shared_ptr<URLSession> m_session;
    const QString m_taskDescriptionForSessionTasks;

    mutable std::mutex m_lock;
    QHash<quint64, Registration> m_mutableTaskDelegatesKeyedByTaskIdentifier;  // guarded by m_lock
    // Held while a task has not ended.
    std::shared_ptr<AFURLSessionManager> m_selfWhileTasksRun;  // guarded by m_lock

    mutable std::mutex m_settingsMutex;
    std::shared_ptr<AFURLResponseSerialization> m_responseSerializer;  // guarded by m_settingsMutex
    AFSecurityPolicy m_securityPolicy;                                 // guarded by m_settingsMutex
    std::shared_ptr<AFNetworkReachabilityManager> m_reachabilityManager;  // guarded by m_settingsMutex
    std::shared_ptr<dispatch::SerialQueue> m_completionQueue;          // guarded by m_settingsMutex
    std::shared_ptr<dispatch::Group> m_completionGroup;                // guarded by m_settingsMutex
    SessionDidBecomeInvalidBlock m_sessionDidBecomeInvalid;            // the blocks: guarded by m_settingsMutex
    SessionDidReceiveAuthenticationChallengeBlock m_sessionDidReceiveAuthenticationChallenge;
    TaskWillPerformHTTPRedirectionBlock m_taskWillPerformHTTPRedirection;
    TaskDidReceiveAuthenticationChallengeBlock m_taskDidReceiveAuthenticationChallenge;
    TaskDidSendBodyDataBlock m_taskDidSendBodyData;
    TaskDidCompleteBlock m_taskDidComplete;
    DataTaskDidReceiveResponseBlock m_dataTaskDidReceiveResponse;
    DataTaskDidReceiveDataBlock m_dataTaskDidReceiveData;
    DownloadTaskDidFinishDownloadingBlock m_downloadTaskDidFinishDownloading;
    DownloadTaskDidWriteDataBlock m_downloadTaskDidWriteData;
    DidFinishEventsForBackgroundURLSessionBlock m_didFinishEventsForBackgroundURLSession;
    TaskNeedNewBodyStreamBlock m_taskNeedNewBodyStream;
    DataTaskDidBecomeDownloadTaskBlock m_dataTaskDidBecomeDownloadTask;
    DataTaskWillCacheResponseBlock m_dataTaskWillCacheResponse;
    DownloadTaskDidResumeBlock m_downloadTaskDidResume;
    bool m_attemptsToRecreateUploadTasksForBackgroundSessions = false;  // guarded by m_settingsMutex
};

// The completion notification carries the serializer in its user info.
Q_DECLARE_METATYPE(std::shared_ptr<AFURLResponseSerialization>)
