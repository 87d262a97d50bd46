#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>

#include <cstdint>
#include <functional>
#include <optional>

class FMDatabase;
class FMResultSet;

// One SQL statement with its values. Values are always bound to "?" parameters, never put into
// the text, so a value holding a quote is stored as it is and cannot change the statement.
//
// The stores keep their connection's statement cache on, so a statement text runs from one
// prepared statement however often it is used. A text made for one call (its number of values
// varies with a list) is not reusable: it leaves the cache after it ran, which would otherwise
// keep one statement for every length ever seen.
struct BoundStatement
{
    QString sql;
    QVariantList arguments;
    bool reusable = true;
};

// The statement helpers and write shapes shared by the stores' table operations.
namespace StoreStatements {

// An integer argument (int64_t is long here, which QVariant has no constructor for).
inline QVariant integer(int64_t value)
{
    return QVariant(qint64(value));
}

// Runs the update. A statement that changes the schema (CREATE, DROP, ALTER) or is not reusable
// empties the statement cache afterwards.
bool run(FMDatabase& db, const BoundStatement& statement);

// Drops every statement of the connection's cache; one still read by an open result set lives on
// until that set closes, then goes.
void forgetCachedStatements(FMDatabase& db);

// Commits the connection's transaction; a commit the file refused is noted as a failed statement.
bool commit(FMDatabase& db);

// Runs statements inside one transaction: commits when they answer true, rolls back otherwise
// (and when the commit fails). True only when the commit went through.
bool inTransaction(FMDatabase& db, const std::function<bool()>& statements);

// Calls row for every row of the query (until it returns false); the result set is closed
// before this returns. False when the query could not run, or its rows could not all be read.
bool eachRow(FMDatabase& db, const BoundStatement& query, const std::function<bool(FMResultSet& row)>& row);

// The first row's text in column; null when no row came back (or the column holds NULL).
QString firstString(FMDatabase& db, const BoundStatement& query, const QString& column);
// The first row's integer in column, or nothing when no row came back.
std::optional<int64_t> firstInteger(FMDatabase& db, const BoundStatement& query, const QString& column);
// True when the query returns a row.
bool hasRow(FMDatabase& db, const BoundStatement& query);

// "(?,?,?)" for three values; "()" for none.
QString parameterList(qsizetype count);

// update-confirm-insert: UPDATE; when it ran and confirm() holds, true. Otherwise INSERT and,
// when that ran, confirm() again.
bool updateConfirmInsert(FMDatabase& db, const BoundStatement& update, const BoundStatement& insert,
                         const std::function<bool()>& confirm);
// select-then-write: UPDATE when the select returns a row, else INSERT; the write's result.
bool selectThenWrite(FMDatabase& db, const BoundStatement& select, const BoundStatement& update,
                     const BoundStatement& insert);
// insert-else-update: INSERT; when it fails (the key is stored), UPDATE. The last result.
bool insertElseUpdate(FMDatabase& db, const BoundStatement& insert, const BoundStatement& update);
// delete-then-insert: DELETE by the key (result ignored), then INSERT; the INSERT's result.
bool deleteThenInsert(FMDatabase& db, const BoundStatement& remove, const BoundStatement& insert);

}  // namespace StoreStatements
