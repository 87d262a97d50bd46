#include "Library/FMDB/FMTransactionBlocks.h"

#include "Library/FMDB/FMDatabase.h"

namespace FMTransactionBlocks {

void runInTransaction(FMDatabase* db, bool deferred, const std::function<void(bool* rollback)>& body)
{
    if (db) {
        if (deferred)
            db->beginDeferredTransaction();
        else
            db->beginTransaction();
    }
    bool shouldRollback = false;
    try {
        body(&shouldRollback);
    } catch (...) {
        if (db)
            db->rollback();
        throw;
    }
    if (!db)
        return;
    if (shouldRollback || !db->commit())
        db->rollback();
}

std::optional<Error> runInSavePoint(FMDatabase* db, const QString& name,
                                    const std::function<void(bool* rollback)>& body)
{
    if (!db)
        return std::nullopt;
    Error error;
    if (!db->startSavePointWithName(name, &error))
        return error;

    std::optional<Error> firstFailure;
    const auto end = [&](bool rollback) {
        if (rollback && !db->rollbackToSavePointWithName(name, &error))
            firstFailure = error;
        if (!db->releaseSavePointWithName(name, &error) && !firstFailure)
            firstFailure = error;
    };
    bool shouldRollback = false;
    try {
        body(&shouldRollback);
    } catch (...) {
        end(true);
        throw;
    }
    end(shouldRollback);
    return firstFailure;
}

}  // namespace FMTransactionBlocks
