#include "ui/imageview/WebCacheOperation.h"

#include "platform/AssociatedObjects.h"

namespace WebCacheOperation {

namespace {

char kOperationsKey;

struct OperationDictionary
{
    QHash<QString, Operations> operations;
};

}  // namespace

void sd_setImageLoadOperation(QObject* object, std::shared_ptr<SDWebImageOperation> operation, const QString& key)
{
    sd_setImageLoadOperations(object, operation ? Operations{std::move(operation)} : Operations{}, key);
}

void sd_setImageLoadOperations(QObject* object, const Operations& operations, const QString& key)
{
    if (!object || key.isNull())
        return;
    sd_cancelImageLoadOperationWithKey(object, key);
    if (operations.isEmpty())
        return;
    AssociatedObjects::getOrCreate<OperationDictionary>(object, &kOperationsKey)->operations.insert(key, operations);
}

void sd_cancelImageLoadOperationWithKey(QObject* object, const QString& key)
{
    if (!object || key.isNull())
        return;
    const auto dictionary = AssociatedObjects::value<OperationDictionary>(object, &kOperationsKey);
    if (!dictionary || !dictionary->operations.contains(key))
        return;
    // Taken out first: a cancel may start another load on the same object.
    const Operations operations = dictionary->operations.take(key);
    for (const auto& operation : operations) {
        if (operation)
            operation->cancel();
    }
}

void sd_removeImageLoadOperationWithKey(QObject* object, const QString& key)
{
    if (!object || key.isNull())
        return;
    if (const auto dictionary = AssociatedObjects::value<OperationDictionary>(object, &kOperationsKey))
        dictionary->operations.remove(key);
}

QHash<QString, Operations> operationDictionary(const QObject* object)
{
    if (const auto dictionary = AssociatedObjects::value<OperationDictionary>(object, &kOperationsKey))
        return dictionary->operations;
    return {};
}

}  // namespace WebCacheOperation
