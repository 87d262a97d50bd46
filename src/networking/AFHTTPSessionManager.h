#pragma once

#include "networking/AFURLRequestSerialization.h"
#include "networking/AFURLSessionManager.h"

#include <QString>
#include <QUrl>
#include <QVariant>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// A session manager that speaks HTTP: URL strings are resolved against an optional base URL,
// requests are built by the request serializer, and each method operation starts a task whose
// end goes either to the success block or to the failure block, on the completion queue (the
// main thread unless one is set).
//
// Create it with std::make_shared (or manager()); it may be created on any thread.
class AFHTTPSessionManager : public AFURLSessionManager
{
public:
    // The task and the response serializer's object (the body bytes with AFHTTPResponseSerializer).
    using SuccessBlock = std::function<void(const std::shared_ptr<URLSessionDataTask>& task, const QVariant& responseObject)>;
    // A HEAD reply has no body to hand on.
    using HEADSuccessBlock = std::function<void(const std::shared_ptr<URLSessionDataTask>& task)>;
    // The task is null when the request could not be built.
    using FailureBlock = std::function<void(const std::shared_ptr<URLSessionDataTask>& task, const Error& error)>;
    using ConstructingBodyBlock = AFHTTPRequestSerializer::ConstructingBodyBlock;

    // No base URL, the default configuration.
    static std::shared_ptr<AFHTTPSessionManager> manager();

    // A base URL with a path gains a final "/" so that relative strings resolve below it. No
    // configuration: the default one.
    explicit AFHTTPSessionManager(const QUrl& baseURL = QUrl(),
                                  const std::optional<URLSessionConfiguration>& configuration = std::nullopt);

    const QUrl& baseURL() const { return m_baseURL; }

    // Archiving: after the base class's, the base URL under "baseURL", the request serializer,
    // the response serializer and the security policy under "requestSerializer",
    // "responseSerializer" and "securityPolicy". Reading takes the base URL and the configuration
    // ("sessionConfiguration", or a background one for a lone "identifier") and then sets what
    // the archive holds of the rest.
    static constexpr auto kBaseURLKey = "baseURL";
    static constexpr auto kIdentifierKey = "identifier";
    static constexpr auto kRequestSerializerKey = "requestSerializer";
    static constexpr auto kResponseSerializerKey = "responseSerializer";
    static constexpr auto kSecurityPolicyKey = "securityPolicy";
    QVariantMap encodeWithCoder() const override;
    static std::shared_ptr<AFHTTPSessionManager> initWithCoder(const QVariantMap& coder);
    // A new manager with the base URL and the configuration, copies of both serializers and the
    // security policy.
    std::shared_ptr<AFURLSessionManager> copy() const override;

    // A new AFHTTPRequestSerializer at first. A null serializer is refused (the old one stays).
    std::shared_ptr<AFHTTPRequestSerializer> requestSerializer() const;
    void setRequestSerializer(std::shared_ptr<AFHTTPRequestSerializer> serializer);

    // Each returns the task already resumed, or null when the request cannot be built; then the
    // failure block receives (null, the serializer's error) later on the completion queue.
    std::shared_ptr<URLSessionDataTask> GET(const QString& URLString, const QVariant& parameters, SuccessBlock success,
                                            FailureBlock failure);
    std::shared_ptr<URLSessionDataTask> GET(const QString& URLString, const QVariant& parameters,
                                            AFURLSessionProgressBlock downloadProgress, SuccessBlock success,
                                            FailureBlock failure);
    std::shared_ptr<URLSessionDataTask> HEAD(const QString& URLString, const QVariant& parameters,
                                             HEADSuccessBlock success, FailureBlock failure);
    std::shared_ptr<URLSessionDataTask> POST(const QString& URLString, const QVariant& parameters, SuccessBlock success,
                                             FailureBlock failure);
    std::shared_ptr<URLSessionDataTask> POST(const QString& URLString, const QVariant& parameters,
                                             AFURLSessionProgressBlock uploadProgress, SuccessBlock success,
                                             FailureBlock failure);
    // A multipart/form-data POST: the parameters become form fields, then the block appends parts.
    std::shared_ptr<URLSessionDataTask> POSTConstructingBodyWithBlock(const QString& URLString,
                                                                      const QVariant& parameters,
                                                                      const ConstructingBodyBlock& block,
                                                                      SuccessBlock success, FailureBlock failure);
    std::shared_ptr<URLSessionDataTask> POSTConstructingBodyWithBlock(const QString& URLString,
                                                                      const QVariant& parameters,
                                                                      const ConstructingBodyBlock& block,
                                                                      AFURLSessionProgressBlock uploadProgress,
                                                                      SuccessBlock success, FailureBlock failure);
    std::shared_ptr<URLSessionDataTask> PUT(const QString& URLString, const QVariant& parameters, SuccessBlock success,
                                            FailureBlock failure);
    std::shared_ptr<URLSessionDataTask> PATCH(const QString& URLString, const QVariant& parameters,
                                              SuccessBlock success, FailureBlock failure);
    std::shared_ptr<URLSessionDataTask> DELETE(const QString& URLString, const QVariant& parameters,
                                               SuccessBlock success, FailureBlock failure);

    // Builds the task for any method without resuming it; null when the request cannot be built.
    std::shared_ptr<URLSessionDataTask> dataTaskWithHTTPMethod(const QString& method, const QString& URLString,
                                                               const QVariant& parameters,
                                                               AFURLSessionProgressBlock uploadProgress,
                                                               AFURLSessionProgressBlock downloadProgress,
                                                               SuccessBlock success, FailureBlock failure);

    QString description() const override;

private:
    // The URL string resolved against the base URL; a string that does not parse is passed on
    // as it is, for the serializer to refuse.
    QString resolvedURLString(const QString& URLString) const;
    // Runs failure(null, error) later on the completion queue, never inside the caller's call.
    void reportBuildFailure(FailureBlock failure, const Error& error) const;
    using TaskMaker = std::function<std::shared_ptr<URLSessionDataTask>(const URLRequest& request,
                                                                        AFURLSessionCompletionHandler completion)>;
    // The task made for the built request, its end split into success and failure; without a
    // request, the serializer's error goes to the failure block and there is no task.
    std::shared_ptr<URLSessionDataTask> taskForRequest(const std::optional<URLRequest>& request,
                                                       const std::optional<Error>& serializationError,
                                                       SuccessBlock success, FailureBlock failure,
                                                       const TaskMaker& makeTask);
    static std::shared_ptr<URLSessionDataTask> resumed(std::shared_ptr<URLSessionDataTask> task);

    const QUrl m_baseURL;
    mutable std::mutex m_serializerMutex;
    std::shared_ptr<AFHTTPRequestSerializer> m_requestSerializer;  // guarded by m_serializerMutex
};
