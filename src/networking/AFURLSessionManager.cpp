#include "networking/AFURLSessionManager.h"

#include "platform/Dispatch.h"

#include <QFile>

#include <algorithm>
#include <typeinfo>

namespace {

constexpr qint64 kMaxReservedBodyBytes = 16 * 1024 * 1024;

// Completions of managers without a group of their own join this one.
std::shared_ptr<dispatch::Group> sharedCompletionGroup()
{
    static const auto group = std::make_shared<dispatch::Group>();
    return group;
}

void postOnMainQueue(const char* name, const std::shared_ptr<URLSessionTask>& task, const QVariantMap& userInfo = {})
{
    dispatch::asyncMain([name, task, userInfo] {
        NotificationCenter::defaultCenter().post(QLatin1String(name), NotificationObject::from(task), userInfo);
    });
}

// Moves the finished download; on failure posts the file-manager-error notification with the
// failure's user info.
void moveDownload(const QUrl& location, const QUrl& destination, URLSessionDownloadTask& task)
{
    QFile file(location.toLocalFile());
    if (file.rename(destination.toLocalFile()))
        return;
    const QVariantMap userInfo{
        {QLatin1String(Error::kLocalizedDescriptionKey), file.errorString()},
        {QStringLiteral("NSSourceFilePathErrorKey"), location.toLocalFile()},
        {QStringLiteral("NSDestinationFilePath"), destination.toLocalFile()},
    };
    NotificationCenter::defaultCenter().post(QLatin1String(AFURLSessionManager::kDownloadTaskDidFailToMoveFileNotification),
                                             NotificationObject::from(task.shared_from_this()), userInfo);
}

}  // namespace

// --- task delegate ---------------------------------------------------------------------------

AFURLSessionManagerTaskDelegate::AFURLSessionManagerTaskDelegate(std::weak_ptr<AFURLSessionManager> manager_)
    : manager(std::move(manager_)),
      uploadProgress(std::make_shared<Progress>(NSURLSessionTransferSizeUnknown)),
      downloadProgress(std::make_shared<Progress>(NSURLSessionTransferSizeUnknown))
{
}

void AFURLSessionManagerTaskDelegate::setupProgressForTask(const std::shared_ptr<URLSessionTask>& task)
{
    const std::weak_ptr<URLSessionTask> weakTask = task;
    for (const std::shared_ptr<Progress>& progress : {uploadProgress, downloadProgress}) {
        progress->setCancellable(true);
        progress->setCancellationHandler([weakTask] {
            if (const auto t = weakTask.lock())
                t->cancel();
        });
        progress->setPausable(true);
        progress->setPausingHandler([weakTask] {
            if (const auto t = weakTask.lock())
                t->suspend();
        });
        progress->setResumingHandler([weakTask] {
            if (const auto t = weakTask.lock())
                t->resume();
        });
    }
    uploadProgress->setTotalUnitCount(task->countOfBytesExpectedToSend());
    downloadProgress->setTotalUnitCount(task->countOfBytesExpectedToReceive());

    // The blocks see the progress object; they do not keep it (or this delegate) alive.
    const std::pair<std::shared_ptr<Progress>, AFURLSessionProgressBlock> watched[] = {
        {uploadProgress, uploadProgressBlock}, {downloadProgress, downloadProgressBlock}};
    for (const auto& [progress, block] : watched) {
        if (!block)
            continue;
        progress->setFractionCompletedHandler([weakProgress = std::weak_ptr<Progress>(progress), block = block] {
            if (const auto p = weakProgress.lock())
                block(p);
        });
    }
}

void AFURLSessionManagerTaskDelegate::cleanUpProgressForTask()
{
    uploadProgress->setFractionCompletedHandler({});
    downloadProgress->setFractionCompletedHandler({});
}

void AFURLSessionManagerTaskDelegate::updateProgressForTask(const URLSessionTask& task)
{
    downloadProgress->setTotalUnitCount(task.countOfBytesExpectedToReceive());
    downloadProgress->setCompletedUnitCount(task.countOfBytesReceived());
    uploadProgress->setTotalUnitCount(task.countOfBytesExpectedToSend());
    uploadProgress->setCompletedUnitCount(task.countOfBytesSent());
}

void AFURLSessionManagerTaskDelegate::didReceiveData(URLSession&, URLSessionDataTask& task, const QByteArray& data)
{
    // A body of announced length grows in one allocation; the announcement is only the server's
    // word, so a large one is not taken up front.
    if (mutableData.isEmpty()) {
        const qint64 expected = task.countOfBytesExpectedToReceive();
        // A body that came in one piece is shared, not copied.
        if (expected <= data.size()) {
            mutableData = data;
            return;
        }
        if (expected <= kMaxReservedBodyBytes)
            mutableData.reserve(expected);
    }
    mutableData.append(data);
}

void AFURLSessionManagerTaskDelegate::didFinishDownloadingToURL(URLSession& session, URLSessionDownloadTask& task,
                                                                const QUrl& location)
{
    downloadFileURL = QUrl();
    if (!downloadTaskDidFinishDownloading)
        return;
    const QUrl destination = downloadTaskDidFinishDownloading(session, task, location);
    if (!destination.isValid())
        return;
    downloadFileURL = destination;
    moveDownload(location, destination, task);
}

void AFURLSessionManagerTaskDelegate::didCompleteWithError(URLSession&, URLSessionTask& taskRef,
                                                           const std::optional<Error>& error)
{
    // The manager stays until the completion has run, whoever else lets it go meanwhile.
    std::shared_ptr<AFURLSessionManager> strongManager = manager.lock();
    const std::shared_ptr<URLSessionTask> task = taskRef.shared_from_this();
    const std::shared_ptr<AFURLResponseSerialization> serializer =
        strongManager ? strongManager->responseSerializer() : nullptr;

    QVariantMap userInfo;
    userInfo.insert(QLatin1String(AFURLSessionManager::kTaskDidCompleteResponseSerializerKey),
                    QVariant::fromValue(serializer));
    // The body changes hands without a copy, and the delegate lets go of it at once.
    const QByteArray data = std::move(mutableData);
    mutableData = QByteArray();
    if (downloadFileURL.isValid())
        userInfo.insert(QLatin1String(AFURLSessionManager::kTaskDidCompleteAssetPathKey), downloadFileURL);
    else
        userInfo.insert(QLatin1String(AFURLSessionManager::kTaskDidCompleteResponseDataKey), data);

    const std::optional<HTTPURLResponse> response = task->response();
    AFURLSessionCompletionHandler completion = completionHandler;
    if (!strongManager) {
        // Only a manager that was never shared can be gone here; its task still completes.
        dispatch::asyncMain([completion, response, error] {
            if (completion)
                completion(response, QVariant(), error);
        });
        return;
    }
    AFURLSessionManager* const m = strongManager.get();

    if (error) {
        userInfo.insert(QLatin1String(AFURLSessionManager::kTaskDidCompleteErrorKey), QVariant::fromValue(*error));
        m->dispatchCompletion([keep = std::move(strongManager), completion, response, error, task, userInfo] {
            if (completion)
                completion(response, QVariant(), error);
            postOnMainQueue(AFURLSessionManager::kTaskDidCompleteNotification, task, userInfo);
        });
        return;
    }

    const QUrl fileURL = downloadFileURL;
    auto serializeAndComplete = [keep = std::move(strongManager), serializer, completion, response, data, fileURL,
                                 task, userInfo]() mutable {
        std::optional<Error> serializationError;
        QVariant responseObject;
        if (serializer)
            responseObject = serializer->responseObjectForResponse(response ? &*response : nullptr, data, &serializationError);
        else
            responseObject = data;
        if (fileURL.isValid())
            responseObject = fileURL;
        if (responseObject.isValid())
            userInfo.insert(QLatin1String(AFURLSessionManager::kTaskDidCompleteSerializedResponseKey), responseObject);
        if (serializationError)
            userInfo.insert(QLatin1String(AFURLSessionManager::kTaskDidCompleteErrorKey),
                            QVariant::fromValue(*serializationError));
        AFURLSessionManager* const owner = keep.get();
        // The last reference travels on with the completion, so the manager goes on the
        // completion queue, not on this worker.
        owner->dispatchCompletion([keep = std::move(keep), completion, response, responseObject, serializationError,
                                   task, userInfo] {
            if (completion)
                completion(response, responseObject, serializationError);
            postOnMainQueue(AFURLSessionManager::kTaskDidCompleteNotification, task, userInfo);
        });
    };
    // Raw bodies (no serializer, or the plain HTTP one, which only checks the status and the
    // content type) are not parsed: a trip through the processing pool and back would cost more
    // than the work. The completion still runs later, on the completion queue.
    if (!serializer || typeid(*serializer) == typeid(AFHTTPResponseSerializer))
        serializeAndComplete();
    else
        dispatch::asyncGlobal(std::move(serializeAndComplete));
}

// --- manager ---------------------------------------------------------------------------------

AFURLSessionManager::AFURLSessionManager(const std::optional<URLSessionConfiguration>& configuration)
    : m_sessionConfiguration(configuration.value_or(URLSessionConfiguration::defaultSessionConfiguration())),
      m_session(URLSession::create(m_sessionConfiguration)),
      // The object's address as "%p" writes it, without a trip through printf.
      m_taskDescriptionForSessionTasks(QStringLiteral("0x") + QString::number(quintptr(this), 16)),
      m_responseSerializer(AFJSONResponseSerializer::serializer()),
      m_securityPolicy(AFSecurityPolicy::defaultPolicy()),
      m_reachabilityManager(AFNetworkReachabilityManager::sharedManager())
{
}

AFURLSessionManager::~AFURLSessionManager()
{
    for (const Registration& registration : std::as_const(m_mutableTaskDelegatesKeyedByTaskIdentifier)) {
        NotificationCenter::defaultCenter().removeObserver(registration.resumeObserver);
        NotificationCenter::defaultCenter().removeObserver(registration.suspendObserver);
    }
}

std::shared_ptr<AFURLResponseSerialization> AFURLSessionManager::responseSerializer() const
{
    return guarded(m_responseSerializer);
}

void AFURLSessionManager::setResponseSerializer(std::shared_ptr<AFURLResponseSerialization> serializer)
{
    setGuarded(m_responseSerializer, std::move(serializer));
}

AFSecurityPolicy AFURLSessionManager::securityPolicy() const
{
    return guarded(m_securityPolicy);
}

void AFURLSessionManager::setSecurityPolicy(const AFSecurityPolicy& policy)
{
    setGuarded(m_securityPolicy, policy);
}

std::shared_ptr<AFNetworkReachabilityManager> AFURLSessionManager::reachabilityManager() const
{
    return guarded(m_reachabilityManager);
}

void AFURLSessionManager::setReachabilityManager(std::shared_ptr<AFNetworkReachabilityManager> manager)
{
    setGuarded(m_reachabilityManager, std::move(manager));
}

std::shared_ptr<dispatch::SerialQueue> AFURLSessionManager::completionQueue() const
{
    return guarded(m_completionQueue);
}

void AFURLSessionManager::setCompletionQueue(std::shared_ptr<dispatch::SerialQueue> queue)
{
    setGuarded(m_completionQueue, std::move(queue));
}

std::shared_ptr<dispatch::Group> AFURLSessionManager::completionGroup() const
{
    return guarded(m_completionGroup);
}

void AFURLSessionManager::setCompletionGroup(std::shared_ptr<dispatch::Group> group)
{
    setGuarded(m_completionGroup, std::move(group));
}

QVariantMap AFURLSessionManager::encodeWithCoder() const
{
    return {{QLatin1String(kSessionConfigurationKey), m_session->configuration().encodeWithCoder()}};
}

std::shared_ptr<AFURLSessionManager> AFURLSessionManager::initWithCoder(const QVariantMap& coder)
{
    const QVariant configuration = coder.value(QLatin1String(kSessionConfigurationKey));
    if (!configuration.isValid())
        return std::make_shared<AFURLSessionManager>();
    return std::make_shared<AFURLSessionManager>(URLSessionConfiguration::initWithCoder(configuration.toMap()));
}

std::shared_ptr<AFURLSessionManager> AFURLSessionManager::copy() const
{
    return std::make_shared<AFURLSessionManager>(m_session->configuration());
}

bool AFURLSessionManager::attemptsToRecreateUploadTasksForBackgroundSessions() const
{
    return guarded(m_attemptsToRecreateUploadTasksForBackgroundSessions);
}

void AFURLSessionManager::setAttemptsToRecreateUploadTasksForBackgroundSessions(bool attempts)
{
    setGuarded(m_attemptsToRecreateUploadTasksForBackgroundSessions, attempts);
}

QString AFURLSessionManager::taskDescriptionForSessionTasks() const
{
    return m_taskDescriptionForSessionTasks;
}

QString AFURLSessionManager::description() const
{
    return QString::asprintf("<AFURLSessionManager: %p, session: <URLSession: %p>, operationQueue: <main thread>>",
                             static_cast<const void*>(this), static_cast<const void*>(m_session.get()));
}

void AFURLSessionManager::dispatchCompletion(std::function<void()> block) const
{
    std::shared_ptr<dispatch::Group> group = completionGroup();
    if (!group)
        group = sharedCompletionGroup();
    const std::shared_ptr<dispatch::SerialQueue> queue = completionQueue();
    group->enter();
    auto run = [group, block = std::move(block)] {
        block();
        group->leave();
    };
    if (queue)
        queue->async(std::move(run));
    else
        dispatch::asyncMain(std::move(run));
}

void AFURLSessionManager::reportUnsupported(const QString& what, AFURLSessionCompletionHandler completionHandler) const
{
    qWarning("AFURLSessionManager: %s", qPrintable(FeatureUnsupportedError(what).localizedDescription()));
    if (!completionHandler)
        return;
    dispatchCompletion([completionHandler = std::move(completionHandler), what] {
        completionHandler(std::nullopt, QVariant(), FeatureUnsupportedError(what));
    });
}

// --- registry --------------------------------------------------------------------------------

void AFURLSessionManager::attachToSession()
{
    m_session->setDelegate(weak_from_this());
}

template <typename Task>
std::shared_ptr<Task> AFURLSessionManager::adoptTask(std::shared_ptr<Task> task,
                                                     AFURLSessionCompletionHandler completionHandler,
                                                     const std::function<void(AFURLSessionManagerTaskDelegate&)>& configure)
{
    if (!task) {
        reportUnsupported(QStringLiteral("A background session"), std::move(completionHandler));
        return nullptr;
    }
    auto delegate = std::make_shared<AFURLSessionManagerTaskDelegate>(weak_from_this());
    delegate->completionHandler = std::move(completionHandler);
    configure(*delegate);
    setDelegate(delegate, task);
    return task;
}

void AFURLSessionManager::setDelegate(const std::shared_ptr<AFURLSessionManagerTaskDelegate>& delegate,
                                      const std::shared_ptr<URLSessionTask>& task)
{
    task->setTaskDescription(taskDescriptionForSessionTasks());
    const std::weak_ptr<AFURLSessionManager> weakSelf = weak_from_this();
    const void* const object = static_cast<const void*>(task.get());

    std::lock_guard lock(m_lock);
    Registration registration;
    registration.task = task;
    registration.delegate = delegate;
    delegate->setupProgressForTask(task);
    registration.resumeObserver = NotificationCenter::defaultCenter().addObserver(
        QLatin1String(URLSessionTask::kTaskResumeNotification), object, [weakSelf](const Notification& n) {
            if (const auto self = weakSelf.lock())
                self->taskDidResume(n);
        });
    registration.suspendObserver = NotificationCenter::defaultCenter().addObserver(
        QLatin1String(URLSessionTask::kTaskSuspendNotification), object, [weakSelf](const Notification& n) {
            if (const auto self = weakSelf.lock())
                self->taskDidSuspend(n);
        });
    if (m_mutableTaskDelegatesKeyedByTaskIdentifier.isEmpty())
        m_selfWhileTasksRun = weakSelf.lock();
    m_mutableTaskDelegatesKeyedByTaskIdentifier.insert(task->taskIdentifier(), registration);
}

std::shared_ptr<AFURLSessionManagerTaskDelegate> AFURLSessionManager::delegateForTask(const URLSessionTask& task) const
{
    std::lock_guard lock(m_lock);
    const auto it = m_mutableTaskDelegatesKeyedByTaskIdentifier.constFind(task.taskIdentifier());
    if (it == m_mutableTaskDelegatesKeyedByTaskIdentifier.constEnd() || it->task.get() != &task)
        return nullptr;
    return it->delegate;
}

void AFURLSessionManager::removeDelegateForTask(const URLSessionTask& task)
{
    const std::shared_ptr<AFURLSessionManagerTaskDelegate> delegate = delegateForTask(task);
    if (!delegate)
        return;
    std::shared_ptr<AFURLSessionManager> lastHold;
    {
        std::lock_guard lock(m_lock);
        const Registration registration = m_mutableTaskDelegatesKeyedByTaskIdentifier.take(task.taskIdentifier());
        delegate->cleanUpProgressForTask();
        NotificationCenter::defaultCenter().removeObserver(registration.resumeObserver);
        NotificationCenter::defaultCenter().removeObserver(registration.suspendObserver);
        if (m_mutableTaskDelegatesKeyedByTaskIdentifier.isEmpty())
            lastHold = std::move(m_selfWhileTasksRun);
    }
    // Let go outside the lock. That never ends the manager inside this call: the session holds
    // its delegate while it reports the completion, and the task's completion, already on its way
    // to the completion queue, holds the manager until it has run.
}

QList<std::shared_ptr<URLSessionTask>> AFURLSessionManager::tasksOfKind(std::optional<URLSessionTask::Kind> kind) const
{
    QList<std::shared_ptr<URLSessionTask>> tasks;
    {
        std::lock_guard lock(m_lock);
        for (const Registration& registration : m_mutableTaskDelegatesKeyedByTaskIdentifier) {
            if (!kind || registration.task->kind() == *kind)
                tasks.append(registration.task);
        }
    }
    std::sort(tasks.begin(), tasks.end(),
              [](const auto& a, const auto& b) { return a->taskIdentifier() < b->taskIdentifier(); });
    return tasks;
}

QList<std::shared_ptr<URLSessionTask>> AFURLSessionManager::tasks() const
{
    return tasksOfKind(std::nullopt);
}

QList<std::shared_ptr<URLSessionTask>> AFURLSessionManager::dataTasks() const
{
    return tasksOfKind(URLSessionTask::Kind::Data);
}

QList<std::shared_ptr<URLSessionTask>> AFURLSessionManager::uploadTasks() const
{
    return tasksOfKind(URLSessionTask::Kind::Upload);
}

QList<std::shared_ptr<URLSessionTask>> AFURLSessionManager::downloadTasks() const
{
    return tasksOfKind(URLSessionTask::Kind::Download);
}

std::shared_ptr<Progress> AFURLSessionManager::uploadProgressForTask(const URLSessionTask& task) const
{
    const auto delegate = delegateForTask(task);
    return delegate ? delegate->uploadProgress : nullptr;
}

std::shared_ptr<Progress> AFURLSessionManager::downloadProgressForTask(const URLSessionTask& task) const
{
    const auto delegate = delegateForTask(task);
    return delegate ? delegate->downloadProgress : nullptr;
}

void AFURLSessionManager::taskDidResume(const Notification& notification)
{
    const auto task = notification.object.sharedPtr<URLSessionTask>();
    if (task && task->taskDescription() == taskDescriptionForSessionTasks())
        postOnMainQueue(kTaskDidResumeNotification, task);
}

void AFURLSessionManager::taskDidSuspend(const Notification& notification)
{
    const auto task = notification.object.sharedPtr<URLSessionTask>();
    if (task && task->taskDescription() == taskDescriptionForSessionTasks())
        postOnMainQueue(kTaskDidSuspendNotification, task);
}

// --- making tasks ----------------------------------------------------------------------------

std::shared_ptr<URLSessionDataTask> AFURLSessionManager::dataTaskWithRequest(const URLRequest& request,
                                                                             AFURLSessionCompletionHandler completionHandler)
{
    return dataTaskWithRequest(request, nullptr, nullptr, std::move(completionHandler));
}

std::shared_ptr<URLSessionDataTask> AFURLSessionManager::dataTaskWithRequest(const URLRequest& request,
                                                                             AFURLSessionProgressBlock uploadProgress,
                                                                             AFURLSessionProgressBlock downloadProgress,
                                                                             AFURLSessionCompletionHandler completionHandler)
{
    attachToSession();
    return adoptTask(m_session->dataTaskWithRequest(request), std::move(completionHandler),
                     [&](AFURLSessionManagerTaskDelegate& delegate) {
                         delegate.uploadProgressBlock = std::move(uploadProgress);
                         delegate.downloadProgressBlock = std::move(downloadProgress);
                     });
}

std::shared_ptr<URLSessionUploadTask> AFURLSessionManager::uploadTaskWithRequestFromFile(
    const URLRequest& request, const QUrl& fileURL, AFURLSessionProgressBlock uploadProgress,
    AFURLSessionCompletionHandler completionHandler)
{
    attachToSession();
    std::shared_ptr<URLSessionUploadTask> task = makeUploadTaskFromFile(request, fileURL);
    if (!task && attemptsToRecreateUploadTasksForBackgroundSessions() && m_session->isBackgroundSession()) {
        for (int attempt = 0; attempt < 3 && !task; ++attempt)
            task = makeUploadTaskFromFile(request, fileURL);
    }
    if (!task) {
        // The null result is the whole answer: the completion is never called.
        qWarning("AFURLSessionManager: no upload task could be made for %s", qPrintable(request.URL.toDisplayString()));
        return nullptr;
    }
    return adoptTask(std::move(task), std::move(completionHandler), [&](AFURLSessionManagerTaskDelegate& delegate) {
        delegate.uploadProgressBlock = std::move(uploadProgress);
    });
}

std::shared_ptr<URLSessionUploadTask> AFURLSessionManager::makeUploadTaskFromFile(const URLRequest& request,
                                                                                 const QUrl& fileURL)
{
    return m_session->uploadTaskWithRequest(request, fileURL);
}

std::shared_ptr<URLSessionUploadTask> AFURLSessionManager::uploadTaskWithRequestFromData(
    const URLRequest& request, const QByteArray& bodyData, AFURLSessionProgressBlock uploadProgress,
    AFURLSessionCompletionHandler completionHandler)
{
    attachToSession();
    return adoptTask(m_session->uploadTaskWithRequest(request, bodyData), std::move(completionHandler), [&](AFURLSessionManagerTaskDelegate& delegate) {
        delegate.uploadProgressBlock = std::move(uploadProgress);
    });
}

std::shared_ptr<URLSessionUploadTask> AFURLSessionManager::uploadTaskWithStreamedRequest(
    const URLRequest& request, AFURLSessionProgressBlock uploadProgress, AFURLSessionCompletionHandler completionHandler)
{
    attachToSession();
    return adoptTask(m_session->uploadTaskWithStreamedRequest(request), std::move(completionHandler), [&](AFURLSessionManagerTaskDelegate& delegate) {
        delegate.uploadProgressBlock = std::move(uploadProgress);
    });
}

std::shared_ptr<URLSessionDownloadTask> AFURLSessionManager::downloadTaskWithRequest(
    const URLRequest& request, AFURLSessionProgressBlock downloadProgress, AFURLSessionDestinationBlock destination,
    AFURLSessionCompletionHandler completionHandler)
{
    attachToSession();
    return adoptTask(m_session->downloadTaskWithRequest(request), std::move(completionHandler),
                     [&](AFURLSessionManagerTaskDelegate& delegate) {
                         delegate.downloadProgressBlock = std::move(downloadProgress);
                         if (!destination)
                             return;
                         delegate.downloadTaskDidFinishDownloading =
                             [destination = std::move(destination)](URLSession&, URLSessionDownloadTask& t,
                                                                    const QUrl& location) {
                                 return destination(location, t.response());
                             };
                     });
}

std::shared_ptr<URLSessionDownloadTask> AFURLSessionManager::downloadTaskWithResumeData(
    const QByteArray&, AFURLSessionProgressBlock, AFURLSessionDestinationBlock, AFURLSessionCompletionHandler completionHandler)
{
    reportUnsupported(QStringLiteral("Resuming a download from resume data"), std::move(completionHandler));
    return nullptr;
}

void AFURLSessionManager::invalidateSessionCancelingTasks(bool cancelPendingTasks)
{
    attachToSession();
    // Held until it has run: a caller commonly lets the manager go right after this call.
    dispatch::asyncMain([self = shared_from_this(), cancelPendingTasks] {
        if (cancelPendingTasks)
            self->m_session->invalidateAndCancel();
        else
            self->m_session->finishTasksAndInvalidate();
    });
}

// --- session events --------------------------------------------------------------------------

void AFURLSessionManager::didBecomeInvalidWithError(URLSession& session, const std::optional<Error>& error)
{
    const SessionDidBecomeInvalidBlock block = guarded(m_sessionDidBecomeInvalid);
    if (block)
        block(session, error);
    NotificationCenter::defaultCenter().post(QLatin1String(kSessionDidInvalidateNotification),
                                             NotificationObject::from(m_session));
}

URLSessionChallengeAnswer AFURLSessionManager::answerChallenge(const URLAuthenticationChallenge& challenge) const
{
    if (challenge.authenticationMethod != QLatin1String(NSURLAuthenticationMethodServerTrust))
        return {URLSessionAuthChallengeDisposition::PerformDefaultHandling, std::nullopt};
    if (securityPolicy().evaluateServerTrust(challenge.serverTrust, challenge.host))
        return {URLSessionAuthChallengeDisposition::UseCredential, URLCredential::credentialForTrust(challenge.serverTrust)};
    return {URLSessionAuthChallengeDisposition::RejectProtectionSpace, std::nullopt};
}

URLSessionChallengeAnswer AFURLSessionManager::didReceiveChallenge(URLSession& session,
                                                                   const URLAuthenticationChallenge& challenge)
{
    const SessionDidReceiveAuthenticationChallengeBlock block = guarded(m_sessionDidReceiveAuthenticationChallenge);
    if (block) {
        URLSessionChallengeAnswer answer;
        answer.disposition = block(session, challenge, answer.credential);
        return answer;
    }
    return answerChallenge(challenge);
}

URLSessionChallengeAnswer AFURLSessionManager::taskDidReceiveChallenge(URLSession& session, URLSessionTask& task,
                                                                       const URLAuthenticationChallenge& challenge)
{
    const TaskDidReceiveAuthenticationChallengeBlock block = guarded(m_taskDidReceiveAuthenticationChallenge);
    if (block) {
        URLSessionChallengeAnswer answer;
        answer.disposition = block(session, task, challenge, answer.credential);
        return answer;
    }
    return answerChallenge(challenge);
}

std::optional<URLRequest> AFURLSessionManager::willPerformHTTPRedirection(URLSession& session, URLSessionTask& task,
                                                                          const HTTPURLResponse& response,
                                                                          const URLRequest& newRequest)
{
    const TaskWillPerformHTTPRedirectionBlock block = guarded(m_taskWillPerformHTTPRedirection);
    return block ? block(session, task, response, newRequest) : std::optional<URLRequest>(newRequest);
}

void AFURLSessionManager::didSendBodyData(URLSession& session, URLSessionTask& task, qint64 bytesSent,
                                          qint64 totalBytesSent, qint64 totalBytesExpectedToSend)
{
    qint64 expected = totalBytesExpectedToSend;
    if (expected == NSURLSessionTransferSizeUnknown) {
        bool ok = false;
        const qint64 length = task.originalRequest().valueForHTTPHeaderField(QStringLiteral("Content-Length")).toLongLong(&ok);
        if (ok)
            expected = length;
    }
    if (const auto delegate = delegateForTask(task)) {
        delegate->updateProgressForTask(task);
        if (expected != totalBytesExpectedToSend)
            delegate->uploadProgress->setTotalUnitCount(expected);
    }
    const TaskDidSendBodyDataBlock block = guarded(m_taskDidSendBodyData);
    if (block)
        block(session, task, bytesSent, totalBytesSent, expected);
}

void AFURLSessionManager::didCompleteWithError(URLSession& session, URLSessionTask& task, const std::optional<Error>& error)
{
    if (const auto delegate = delegateForTask(task)) {
        delegate->didCompleteWithError(session, task, error);
        removeDelegateForTask(task);
    }
    const TaskDidCompleteBlock block = guarded(m_taskDidComplete);
    if (block)
        block(session, task, error);
}

URLSessionResponseDisposition AFURLSessionManager::didReceiveResponse(URLSession& session, URLSessionDataTask& task,
                                                                      const HTTPURLResponse& response)
{
    if (const auto delegate = delegateForTask(task))
        delegate->updateProgressForTask(task);
    const DataTaskDidReceiveResponseBlock block = guarded(m_dataTaskDidReceiveResponse);
    return block ? block(session, task, response) : URLSessionResponseDisposition::Allow;
}

void AFURLSessionManager::didReceiveData(URLSession& session, URLSessionDataTask& task, const QByteArray& data)
{
    if (const auto delegate = delegateForTask(task)) {
        delegate->didReceiveData(session, task, data);
        delegate->updateProgressForTask(task);
    }
    const DataTaskDidReceiveDataBlock block = guarded(m_dataTaskDidReceiveData);
    if (block)
        block(session, task, data);
}

void AFURLSessionManager::didFinishDownloadingToURL(URLSession& session, URLSessionDownloadTask& task, const QUrl& location)
{
    const auto delegate = delegateForTask(task);
    const DownloadTaskDidFinishDownloadingBlock block = guarded(m_downloadTaskDidFinishDownloading);
    if (block) {
        const QUrl destination = block(session, task, location);
        if (destination.isValid()) {
            if (delegate)
                delegate->downloadFileURL = destination;
            moveDownload(location, destination, task);
            return;
        }
    }
    if (delegate)
        delegate->didFinishDownloadingToURL(session, task, location);
}

void AFURLSessionManager::didWriteData(URLSession& session, URLSessionDownloadTask& task, qint64 bytesWritten,
                                       qint64 totalBytesWritten, qint64 totalBytesExpectedToWrite)
{
    if (const auto delegate = delegateForTask(task))
        delegate->updateProgressForTask(task);
    const DownloadTaskDidWriteDataBlock block = guarded(m_downloadTaskDidWriteData);
    if (block)
        block(session, task, bytesWritten, totalBytesWritten, totalBytesExpectedToWrite);
}

std::shared_ptr<QIODevice> AFURLSessionManager::needNewBodyStream(URLSession& session, URLSessionTask& task)
{
    const TaskNeedNewBodyStreamBlock block = guarded(m_taskNeedNewBodyStream);
    if (block)
        return block(session, task);
    const auto* const copyable = dynamic_cast<const CopyableBodyStream*>(task.originalRequest().HTTPBodyStream.get());
    return copyable ? copyable->copyBodyStream() : nullptr;
}

void AFURLSessionManager::didBecomeDownloadTask(URLSession& session, URLSessionDataTask& dataTask,
                                                URLSessionDownloadTask& downloadTask)
{
    if (const auto delegate = delegateForTask(dataTask)) {
        // Held across the move: the manager keeps itself only while it has a task.
        const std::shared_ptr<AFURLSessionManager> keep = shared_from_this();
        removeDelegateForTask(dataTask);
        setDelegate(delegate, std::static_pointer_cast<URLSessionTask>(downloadTask.shared_from_this()));
    }
    const DataTaskDidBecomeDownloadTaskBlock block = guarded(m_dataTaskDidBecomeDownloadTask);
    if (block)
        block(session, dataTask, downloadTask);
}

bool AFURLSessionManager::respondsToWillCacheResponse() const
{
    return static_cast<bool>(guarded(m_dataTaskWillCacheResponse));
}

std::optional<CachedURLResponse> AFURLSessionManager::willCacheResponse(URLSession& session, URLSessionDataTask& task,
                                                                        const CachedURLResponse& proposedResponse)
{
    const DataTaskWillCacheResponseBlock block = guarded(m_dataTaskWillCacheResponse);
    return block ? block(session, task, proposedResponse) : std::optional<CachedURLResponse>(proposedResponse);
}

void AFURLSessionManager::didResumeAtOffset(URLSession& session, URLSessionDownloadTask& task, qint64 fileOffset,
                                            qint64 expectedTotalBytes)
{
    const DownloadTaskDidResumeBlock block = guarded(m_downloadTaskDidResume);
    if (block)
        block(session, task, fileOffset, expectedTotalBytes);
}

void AFURLSessionManager::didFinishEventsForBackgroundURLSession(URLSession&)
{
    const DidFinishEventsForBackgroundURLSessionBlock block = guarded(m_didFinishEventsForBackgroundURLSession);
    if (!block)
        return;
    dispatch::asyncMain([block, session = m_session] { block(*session); });
}
