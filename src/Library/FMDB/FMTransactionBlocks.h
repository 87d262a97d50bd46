#pragma once

#include "platform/Error.h"

#include <QString>

#include <functional>
#include <optional>

class FMDatabase;

// The block forms shared by the connection, the pool and the queue. Both end what they begin on
// every path: a body that throws is rolled back before the exception goes on.
namespace FMTransactionBlocks {

// Begins a transaction (deferred or exclusive) on db, runs body, then rolls back when body set
// its flag, else commits; a commit that fails is followed by a rollback so the transaction never
// stays open. With a null db only body runs.
void runInTransaction(FMDatabase* db, bool deferred, const std::function<void(bool* rollback)>& body);

// Starts the savepoint name and, when it started, runs body, then rolls back to the savepoint
// when body set its flag; the savepoint is released either way, so a savepoint that opened the
// transaction also ends it. Returns the error of the first savepoint statement that failed.
std::optional<Error> runInSavePoint(FMDatabase* db, const QString& name,
                                    const std::function<void(bool* rollback)>& body);

}  // namespace FMTransactionBlocks
