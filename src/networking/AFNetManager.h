#pragma once

#include "networking/AFHTTPSessionManager.h"
#include "networking/AFURLResponseSerialization.h"

#include <QString>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <memory>

// The one way the program's features send HTTP. Every request runs on an AFHTTPSessionManager,
// which is returned: a caller that may need to stop its request keeps the manager and calls
// invalidateSessionCancelingTasks(true) on it before its next request of the same kind (the old
// request's failed block then receives -999, later, on the main thread). Others may drop it: a
// manager stays alive until its requests have ended.
//
// Every operation may be called from any thread; finished and failed blocks run on the main
// thread, a progress block on the thread that counts the bytes.
//
// Arguments shared by the request operations:
// - urlString: an absolute URL, query included where the caller builds it. One that does not
//   parse reaches the failed block (NSURLErrorDomain, -1002) with a null task.
// - parms: a QVariantMap of parameters, or an invalid QVariant for none.
// - parmsEncodedType: how parms become the query: 2 UTF-8, 3 GB 18030, 4 UTF-16, 5 no character
//   conversion (each through SerializerType, in the map's key order); any other value (1 is the
//   usual) uses the request serializer's default, sorted query.
// - responseType: the response serializer; null for the raw body bytes (a QByteArray).
//
// The plain and the session-manager operations of eight arguments differ in their sixth; pass a
// typed null (AFURLSessionProgressBlock() or std::shared_ptr<AFHTTPSessionManager>()) there.
class AFNetManager
{
public:
    // The task and the response object (the body bytes unless responseType says otherwise).
    using FinishedBlock = AFHTTPSessionManager::SuccessBlock;
    // The task (null when the request could not be built) and the error.
    using FailedBlock = AFHTTPSessionManager::FailureBlock;
    using ProgressBlock = AFURLSessionProgressBlock;
    using ConstructingBodyBlock = AFHTTPSessionManager::ConstructingBodyBlock;

    // On a new manager: get sends GET, otherwise POST (parameters as a form body).
    static std::shared_ptr<AFHTTPSessionManager> requestWithUrlString(
        const QString& urlString, bool get, const QVariant& parms, int32_t parmsEncodedType,
        std::shared_ptr<AFURLResponseSerialization> responseType, FinishedBlock finishedBlock, FailedBlock failedBlock);
    // The same with download progress (GET) or upload progress (POST).
    static std::shared_ptr<AFHTTPSessionManager> requestWithUrlString(
        const QString& urlString, bool get, const QVariant& parms, int32_t parmsEncodedType,
        std::shared_ptr<AFURLResponseSerialization> responseType, ProgressBlock progressBlock,
        FinishedBlock finishedBlock, FailedBlock failedBlock);

    // On sessionManager (a new one when null), whose query encoding and response serializer
    // become this call's: get sends GET, otherwise HEAD, whose finished block receives an
    // invalid response object and whose headers are read from task->response().
    static std::shared_ptr<AFHTTPSessionManager> requestWithUrlString(
        const QString& urlString, bool get, const QVariant& parms, int32_t parmsEncodedType,
        std::shared_ptr<AFURLResponseSerialization> responseType, std::shared_ptr<AFHTTPSessionManager> sessionManager,
        FinishedBlock finishedBlock, FailedBlock failedBlock);
    // The same; the progress block serves GET only.
    static std::shared_ptr<AFHTTPSessionManager> requestWithUrlString(
        const QString& urlString, bool get, const QVariant& parms, int32_t parmsEncodedType,
        std::shared_ptr<AFURLResponseSerialization> responseType, std::shared_ptr<AFHTTPSessionManager> sessionManager,
        ProgressBlock progressBlock, FinishedBlock finishedBlock, FailedBlock failedBlock);

    // A multipart/form-data POST on a new manager; the block appends the parts after the
    // parameters' form fields.
    static std::shared_ptr<AFHTTPSessionManager> requestWithUrlString(
        const QString& urlString, const QVariant& parms, std::shared_ptr<AFURLResponseSerialization> responseType,
        const ConstructingBodyBlock& constructingBodyWithBlock, FinishedBlock finishedBlock, FailedBlock failedBlock);

    // The query of types 2 to 5: "key=value" items in the map's key order joined with "&", key
    // and value through the type's encoder; a null value (QVariant::fromValue(nullptr)) gives the
    // key alone. Any other type gives empty items.
    static QString SerializerType(int32_t type, const QVariant& par);

    // Kept for completeness; the entry holds no state.
    static AFNetManager& shareMannager();

private:
    AFNetManager() = default;
};
