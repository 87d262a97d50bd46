#include "networking/AFNetManager.h"

#include "networking/NSString_URL.h"

#include <QStringList>

namespace {

bool isCustomQueryType(int32_t type)
{
    // 2, 3, 4 and 5: the difference from 2, taken unsigned, is at most 3.
    return static_cast<uint32_t>(type) - 2u <= 3u;
}

using Encoder = QString (*)(const QString&);

Encoder encoderFor(int32_t type)
{
    switch (type) {
    case 2: return &NSString_URL::URLUTF8EncodedString;
    case 3: return &NSString_URL::URLGB2312EncodedString;
    case 4: return &NSString_URL::URLUnicodeEncodedString;
    case 5: return &NSString_URL::URLNoEncodedString;
    default: return nullptr;
    }
}

bool isNullValue(const QVariant& value)
{
    return !value.isValid() || value.metaType().id() == QMetaType::Nullptr;
}

qsizetype entryCount(const QVariant& parameters)
{
    switch (parameters.metaType().id()) {
    case QMetaType::QVariantMap: return parameters.toMap().size();
    case QMetaType::QVariantHash: return parameters.toHash().size();
    default: return 0;
    }
}

// The request's query encoding and response serializer, as one call of the entry sets them on
// the manager it uses.
void prepare(AFHTTPSessionManager& manager, int32_t parmsEncodedType,
             std::shared_ptr<AFURLResponseSerialization> responseType)
{
    const std::shared_ptr<AFHTTPRequestSerializer> serializer = manager.requestSerializer();
    if (isCustomQueryType(parmsEncodedType)) {
        serializer->setQueryStringSerializationWithBlock(
            [parmsEncodedType](const URLRequest&, const QVariant& parameters, ErrorSlot) -> QString {
                if (entryCount(parameters) == 0)
                    return QStringLiteral("");
                return AFNetManager::SerializerType(parmsEncodedType, parameters);
            });
    } else {
        serializer->setQueryStringSerializationWithBlock(nullptr);
    }
    manager.setResponseSerializer(responseType ? std::move(responseType) : AFHTTPResponseSerializer::serializer());
}

}  // namespace

std::shared_ptr<AFHTTPSessionManager> AFNetManager::requestWithUrlString(
    const QString& urlString, bool get, const QVariant& parms, int32_t parmsEncodedType,
    std::shared_ptr<AFURLResponseSerialization> responseType, FinishedBlock finishedBlock, FailedBlock failedBlock)
{
    return requestWithUrlString(urlString, get, parms, parmsEncodedType, std::move(responseType), ProgressBlock(),
                                std::move(finishedBlock), std::move(failedBlock));
}

std::shared_ptr<AFHTTPSessionManager> AFNetManager::requestWithUrlString(
    const QString& urlString, bool get, const QVariant& parms, int32_t parmsEncodedType,
    std::shared_ptr<AFURLResponseSerialization> responseType, ProgressBlock progressBlock, FinishedBlock finishedBlock,
    FailedBlock failedBlock)
{
    auto manager = AFHTTPSessionManager::manager();
    prepare(*manager, parmsEncodedType, std::move(responseType));
    if (get)
        manager->GET(urlString, parms, std::move(progressBlock), std::move(finishedBlock), std::move(failedBlock));
    else
        manager->POST(urlString, parms, std::move(progressBlock), std::move(finishedBlock), std::move(failedBlock));
    return manager;
}

std::shared_ptr<AFHTTPSessionManager> AFNetManager::requestWithUrlString(
    const QString& urlString, bool get, const QVariant& parms, int32_t parmsEncodedType,
    std::shared_ptr<AFURLResponseSerialization> responseType, std::shared_ptr<AFHTTPSessionManager> sessionManager,
    FinishedBlock finishedBlock, FailedBlock failedBlock)
{
    return requestWithUrlString(urlString, get, parms, parmsEncodedType, std::move(responseType),
                                std::move(sessionManager), ProgressBlock(), std::move(finishedBlock),
                                std::move(failedBlock));
}

std::shared_ptr<AFHTTPSessionManager> AFNetManager::requestWithUrlString(
    const QString& urlString, bool get, const QVariant& parms, int32_t parmsEncodedType,
    std::shared_ptr<AFURLResponseSerialization> responseType, std::shared_ptr<AFHTTPSessionManager> sessionManager,
    ProgressBlock progressBlock, FinishedBlock finishedBlock, FailedBlock failedBlock)
{
    std::shared_ptr<AFHTTPSessionManager> manager =
        sessionManager ? std::move(sessionManager) : AFHTTPSessionManager::manager();
    prepare(*manager, parmsEncodedType, std::move(responseType));
    if (get) {
        manager->GET(urlString, parms, std::move(progressBlock), std::move(finishedBlock), std::move(failedBlock));
    } else {
        AFHTTPSessionManager::HEADSuccessBlock headFinished;
        if (finishedBlock)
            headFinished = [finishedBlock = std::move(finishedBlock)](const std::shared_ptr<URLSessionDataTask>& task) {
                finishedBlock(task, QVariant());
            };
        manager->HEAD(urlString, parms, std::move(headFinished), std::move(failedBlock));
    }
    return manager;
}

std::shared_ptr<AFHTTPSessionManager> AFNetManager::requestWithUrlString(
    const QString& urlString, const QVariant& parms, std::shared_ptr<AFURLResponseSerialization> responseType,
    const ConstructingBodyBlock& constructingBodyWithBlock, FinishedBlock finishedBlock, FailedBlock failedBlock)
{
    auto manager = AFHTTPSessionManager::manager();
    manager->setResponseSerializer(responseType ? std::move(responseType) : AFHTTPResponseSerializer::serializer());
    manager->POSTConstructingBodyWithBlock(urlString, parms, constructingBodyWithBlock, std::move(finishedBlock),
                                           std::move(failedBlock));
    return manager;
}

QString AFNetManager::SerializerType(int32_t type, const QVariant& par)
{
    const Encoder encode = encoderFor(type);
    QStringList items;
    const auto addItem = [&](const QString& key, const QVariant& value) {
        if (encode == nullptr)
            items.append(QString());
        else if (isNullValue(value))
            items.append(encode(key));
        else
            items.append(encode(key) + u'=' + encode(QueryValueDescription(value)));
    };
    if (par.metaType().id() == QMetaType::QVariantHash) {
        const QVariantHash hash = par.toHash();
        for (auto it = hash.cbegin(); it != hash.cend(); ++it)
            addItem(it.key(), it.value());
    } else {
        const QVariantMap map = par.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            addItem(it.key(), it.value());
    }
    return items.join(u'&');
}

AFNetManager& AFNetManager::shareMannager()
{
    static AFNetManager shared;
    return shared;
}
