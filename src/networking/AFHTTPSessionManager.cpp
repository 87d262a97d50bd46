#include "networking/AFHTTPSessionManager.h"

#include "platform/Dispatch.h"

#include <utility>

namespace {

QUrl withTrailingSlash(const QUrl& url)
{
    if (url.path().isEmpty() || url.toString(QUrl::FullyEncoded).endsWith(u'/') || url.path().endsWith(u'/'))
        return url;
    QUrl copy = url;
    copy.setPath(url.path(QUrl::FullyEncoded) + u'/', QUrl::TolerantMode);
    return copy;
}

// One completion for both outcomes. The task is not known when the completion is made, so it
// is looked up through the holder, which the maker fills before the task can start.
AFURLSessionCompletionHandler splitCompletion(const std::shared_ptr<std::shared_ptr<URLSessionDataTask>>& holder,
                                              AFHTTPSessionManager::SuccessBlock success,
                                              AFHTTPSessionManager::FailureBlock failure)
{
    return [holder, success = std::move(success), failure = std::move(failure)](
               const std::optional<HTTPURLResponse>&, const QVariant& responseObject, const std::optional<Error>& error) {
        // A task ends once; the holder lets go of it so the completion keeps no task alive.
        const std::shared_ptr<URLSessionDataTask> task = std::exchange(*holder, nullptr);
        if (error.has_value()) {
            if (failure)
                failure(task, *error);
        } else if (success) {
            success(task, responseObject);
        }
    };
}

}  // namespace

std::shared_ptr<AFHTTPSessionManager> AFHTTPSessionManager::manager()
{
    return std::make_shared<AFHTTPSessionManager>();
}

AFHTTPSessionManager::AFHTTPSessionManager(const QUrl& baseURL, const std::optional<URLSessionConfiguration>& configuration)
    : AFURLSessionManager(configuration),
      m_baseURL(withTrailingSlash(baseURL)),
      m_requestSerializer(AFHTTPRequestSerializer::serializer())
{
}

QVariantMap AFHTTPSessionManager::encodeWithCoder() const
{
    QVariantMap coder = AFURLSessionManager::encodeWithCoder();
    coder.insert(QLatin1String(kBaseURLKey), m_baseURL);
    coder.insert(QLatin1String(kRequestSerializerKey), requestSerializer()->encodeWithCoder());
    if (const auto response = responseSerializer())
        coder.insert(QLatin1String(kResponseSerializerKey), response->encodeWithCoder());
    coder.insert(QLatin1String(kSecurityPolicyKey), securityPolicy().encodeWithCoder());
    return coder;
}

std::shared_ptr<AFHTTPSessionManager> AFHTTPSessionManager::initWithCoder(const QVariantMap& coder)
{
    std::optional<URLSessionConfiguration> configuration;
    if (const QVariant archived = coder.value(QLatin1String(kSessionConfigurationKey)); archived.isValid())
        configuration = URLSessionConfiguration::initWithCoder(archived.toMap());
    else if (const QVariant identifier = coder.value(QLatin1String(kIdentifierKey)); identifier.isValid())
        configuration = URLSessionConfiguration::backgroundSessionConfigurationWithIdentifier(identifier.toString());
    auto manager = std::make_shared<AFHTTPSessionManager>(coder.value(QLatin1String(kBaseURLKey)).toUrl(), configuration);
    manager->setRequestSerializer(
        AFHTTPRequestSerializer::initWithCoder(coder.value(QLatin1String(kRequestSerializerKey)).toMap()));
    if (auto response = AFHTTPResponseSerializer::initWithCoder(coder.value(QLatin1String(kResponseSerializerKey)).toMap()))
        manager->setResponseSerializer(std::move(response));
    if (const QVariant policy = coder.value(QLatin1String(kSecurityPolicyKey)); policy.isValid())
        manager->setSecurityPolicy(AFSecurityPolicy::initWithCoder(policy.toMap()));
    return manager;
}

std::shared_ptr<AFURLSessionManager> AFHTTPSessionManager::copy() const
{
    auto manager = std::make_shared<AFHTTPSessionManager>(m_baseURL, sessionConfiguration());
    manager->setRequestSerializer(std::dynamic_pointer_cast<AFHTTPRequestSerializer>(requestSerializer()->copy()));
    // A serializer that cannot be copied is shared.
    if (const auto response = responseSerializer()) {
        const auto copied = response->copy();
        manager->setResponseSerializer(copied ? copied : response);
    }
    manager->setSecurityPolicy(securityPolicy());
    return manager;
}

std::shared_ptr<AFHTTPRequestSerializer> AFHTTPSessionManager::requestSerializer() const
{
    std::lock_guard lock(m_serializerMutex);
    return m_requestSerializer;
}

void AFHTTPSessionManager::setRequestSerializer(std::shared_ptr<AFHTTPRequestSerializer> serializer)
{
    if (!serializer)
        return;
    std::lock_guard lock(m_serializerMutex);
    m_requestSerializer = std::move(serializer);
}

QString AFHTTPSessionManager::resolvedURLString(const QString& URLString) const
{
    if (m_baseURL.isEmpty())
        return URLString;
    const QUrl relative(URLString, QUrl::StrictMode);
    if (!relative.isValid())
        return URLString;
    return m_baseURL.resolved(relative).toString(QUrl::FullyEncoded);
}

void AFHTTPSessionManager::reportBuildFailure(FailureBlock failure, const Error& error) const
{
    if (!failure)
        return;
    const std::shared_ptr<dispatch::Group> group = completionGroup();
    if (group)
        group->enter();
    auto run = [failure = std::move(failure), error, group] {
        failure(nullptr, error);
        if (group)
            group->leave();
    };
    if (const std::shared_ptr<dispatch::SerialQueue> queue = completionQueue())
        queue->async(std::move(run));
    else
        dispatch::asyncMain(std::move(run));
}

std::shared_ptr<URLSessionDataTask> AFHTTPSessionManager::resumed(std::shared_ptr<URLSessionDataTask> task)
{
    if (task)
        task->resume();
    return task;
}

std::shared_ptr<URLSessionDataTask> AFHTTPSessionManager::taskForRequest(const std::optional<URLRequest>& request,
                                                                         const std::optional<Error>& serializationError,
                                                                         SuccessBlock success, FailureBlock failure,
                                                                         const TaskMaker& makeTask)
{
    if (!request.has_value()) {
        reportBuildFailure(std::move(failure),
                           serializationError.value_or(Error(QLatin1String(Error::kURLErrorDomain), NSURLErrorUnknown)));
        return nullptr;
    }
    auto holder = std::make_shared<std::shared_ptr<URLSessionDataTask>>();
    std::shared_ptr<URLSessionDataTask> task =
        makeTask(*request, splitCompletion(holder, std::move(success), std::move(failure)));
    *holder = task;
    return task;
}

std::shared_ptr<URLSessionDataTask> AFHTTPSessionManager::dataTaskWithHTTPMethod(
    const QString& method, const QString& URLString, const QVariant& parameters,
    AFURLSessionProgressBlock uploadProgress, AFURLSessionProgressBlock downloadProgress, SuccessBlock success,
    FailureBlock failure)
{
    std::optional<Error> serializationError;
    const std::optional<URLRequest> request =
        requestSerializer()->requestWithMethod(method, resolvedURLString(URLString), parameters, &serializationError);
    return taskForRequest(request, serializationError, std::move(success), std::move(failure),
                          [&](const URLRequest& r, AFURLSessionCompletionHandler completion) {
                              return dataTaskWithRequest(r, std::move(uploadProgress), std::move(downloadProgress),
                                                         std::move(completion));
                          });
}

std::shared_ptr<URLSessionDataTask> AFHTTPSessionManager::GET(const QString& URLString, const QVariant& parameters,
                                                              SuccessBlock success, FailureBlock failure)
{
    return GET(URLString, parameters, nullptr, std::move(success), std::move(failure));
}

std::shared_ptr<URLSessionDataTask> AFHTTPSessionManager::GET(const QString& URLString, const QVariant& parameters,
                                                              AFURLSessionProgressBlock downloadProgress,
                                                              SuccessBlock success, FailureBlock failure)
{
    return resumed(dataTaskWithHTTPMethod(QStringLiteral("GET"), URLString, parameters, nullptr,
                                          std::move(downloadProgress), std::move(success), std::move(failure)));
}

std::shared_ptr<URLSessionDataTask> AFHTTPSessionManager::HEAD(const QString& URLString, const QVariant& parameters,
                                                               HEADSuccessBlock success, FailureBlock failure)
{
    SuccessBlock withoutObject;
    if (success)
        withoutObject = [success = std::move(success)](const std::shared_ptr<URLSessionDataTask>& task, const QVariant&) {
            success(task);
        };
    return resumed(dataTaskWithHTTPMethod(QStringLiteral("HEAD"), URLString, parameters, nullptr, nullptr,
                                          std::move(withoutObject), std::move(failure)));
}

std::shared_ptr<URLSessionDataTask> AFHTTPSessionManager::POST(const QString& URLString, const QVariant& parameters,
                                                               SuccessBlock success, FailureBlock failure)
{
    return POST(URLString, parameters, nullptr, std::move(success), std::move(failure));
}

std::shared_ptr<URLSessionDataTask> AFHTTPSessionManager::POST(const QString& URLString, const QVariant& parameters,
                                                               AFURLSessionProgressBlock uploadProgress,
                                                               SuccessBlock success, FailureBlock failure)
{
    return resumed(dataTaskWithHTTPMethod(QStringLiteral("POST"), URLString, parameters, std::move(uploadProgress),
                                          nullptr, std::move(success), std::move(failure)));
}

std::shared_ptr<URLSessionDataTask> AFHTTPSessionManager::POSTConstructingBodyWithBlock(
    const QString& URLString, const QVariant& parameters, const ConstructingBodyBlock& block, SuccessBlock success,
    FailureBlock failure)
{
    return POSTConstructingBodyWithBlock(URLString, parameters, block, nullptr, std::move(success), std::move(failure));
}

std::shared_ptr<URLSessionDataTask> AFHTTPSessionManager::POSTConstructingBodyWithBlock(
    const QString& URLString, const QVariant& parameters, const ConstructingBodyBlock& block,
    AFURLSessionProgressBlock uploadProgress, SuccessBlock success, FailureBlock failure)
{
    std::optional<Error> serializationError;
    const std::optional<URLRequest> request = requestSerializer()->multipartFormRequestWithMethod(
        QStringLiteral("POST"), resolvedURLString(URLString), parameters, block, &serializationError);
    return resumed(taskForRequest(request, serializationError, std::move(success), std::move(failure),
                                  [&](const URLRequest& r, AFURLSessionCompletionHandler completion) {
                                      return uploadTaskWithStreamedRequest(r, std::move(uploadProgress),
                                                                           std::move(completion));
                                  }));
}

std::shared_ptr<URLSessionDataTask> AFHTTPSessionManager::PUT(const QString& URLString, const QVariant& parameters,
                                                              SuccessBlock success, FailureBlock failure)
{
    return resumed(dataTaskWithHTTPMethod(QStringLiteral("PUT"), URLString, parameters, nullptr, nullptr,
                                          std::move(success), std::move(failure)));
}

std::shared_ptr<URLSessionDataTask> AFHTTPSessionManager::PATCH(const QString& URLString, const QVariant& parameters,
                                                                SuccessBlock success, FailureBlock failure)
{
    return resumed(dataTaskWithHTTPMethod(QStringLiteral("PATCH"), URLString, parameters, nullptr, nullptr,
                                          std::move(success), std::move(failure)));
}

std::shared_ptr<URLSessionDataTask> AFHTTPSessionManager::DELETE(const QString& URLString, const QVariant& parameters,
                                                                 SuccessBlock success, FailureBlock failure)
{
    return resumed(dataTaskWithHTTPMethod(QStringLiteral("DELETE"), URLString, parameters, nullptr, nullptr,
                                          std::move(success), std::move(failure)));
}

QString AFHTTPSessionManager::description() const
{
    const QString base = m_baseURL.isEmpty() ? QStringLiteral("(null)") : m_baseURL.toString(QUrl::FullyEncoded);
    return QString::asprintf("<AFHTTPSessionManager: %p, baseURL: %s, session: <URLSession: %p>, operationQueue: <main thread>>",
                             static_cast<const void*>(this), qUtf8Printable(base), static_cast<const void*>(session().get()));
}
