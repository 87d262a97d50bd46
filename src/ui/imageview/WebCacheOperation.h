#pragma once

#include "images/ImageLoadTypes.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

// The loads running for an object, by key: starting a new one under a key cancels the old, so a
// recycled row never gets the picture of the row it showed before. Use on the main thread.
namespace WebCacheOperation {

using Operations = QList<std::shared_ptr<SDWebImageOperation>>;

// A null key does nothing. Cancels what the key held, then keeps the operation (a null one
// leaves the key empty).
void sd_setImageLoadOperation(QObject* object, std::shared_ptr<SDWebImageOperation> operation, const QString& key);
// Keeps several operations under one key; cancelling the key cancels each.
void sd_setImageLoadOperations(QObject* object, const Operations& operations, const QString& key);
// Cancels what the key holds and empties the key; a key with nothing stored is left alone.
void sd_cancelImageLoadOperationWithKey(QObject* object, const QString& key);
// Empties the key without cancelling.
void sd_removeImageLoadOperationWithKey(QObject* object, const QString& key);

// What the object holds now.
QHash<QString, Operations> operationDictionary(const QObject* object);

}  // namespace WebCacheOperation
