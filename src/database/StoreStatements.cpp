#include "database/StoreStatements.h"

#include "Library/FMDB/FMDatabase.h"
#include "Library/FMDB/FMResultSet.h"
#include "database/StoreConnection.h"

#include <QStringList>

namespace {

bool changesSchema(const QString& sql)
{
    const QStringView text = QStringView(sql).trimmed();
    for (const QLatin1StringView keyword : {QLatin1StringView("create"), QLatin1StringView("drop"),
                                           QLatin1StringView("alter")}) {
        if (text.startsWith(keyword, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

}  // namespace

namespace StoreStatements {

void forgetCachedStatements(FMDatabase& db)
{
    if (!db.shouldCacheStatements())
        return;
    // Turning the cache off drops the connection's references without finalizing statements a
    // result set may still be reading from.
    db.setShouldCacheStatements(false);
    db.setShouldCacheStatements(true);
}

bool run(FMDatabase& db, const BoundStatement& statement)
{
    const bool done = db.executeUpdate(statement.sql, statement.arguments);
    if (!done)
        StoreConnection::noteFailure(db.lastErrorCode());
    if (!statement.reusable || changesSchema(statement.sql))
        forgetCachedStatements(db);
    return done;
}

bool eachRow(FMDatabase& db, const BoundStatement& query, const std::function<bool(FMResultSet& row)>& row)
{
    const std::shared_ptr<FMResultSet> rs = db.executeQuery(query.sql, query.arguments);
    if (!rs) {
        StoreConnection::noteFailure(db.lastErrorCode(), false);
        return false;
    }
    bool stopped = false;
    while (!stopped && rs->next())
        stopped = !row(*rs);
    // The rows ended early when stepping failed (a damaged page, a lock).
    const bool failed = !stopped && db.hadError();
    StoreConnection::noteFailure(db.lastErrorCode(), false);
    rs->close();
    if (!query.reusable)
        forgetCachedStatements(db);
    return !failed;
}

QString firstString(FMDatabase& db, const BoundStatement& query, const QString& column)
{
    QString value;
    eachRow(db, query, [&](FMResultSet& rs) {
        value = rs.stringForColumn(column);
        return false;
    });
    return value;
}

std::optional<int64_t> firstInteger(FMDatabase& db, const BoundStatement& query, const QString& column)
{
    std::optional<int64_t> value;
    eachRow(db, query, [&](FMResultSet& rs) {
        value = rs.longLongIntForColumn(column);
        return false;
    });
    return value;
}

bool hasRow(FMDatabase& db, const BoundStatement& query)
{
    bool found = false;
    eachRow(db, query, [&](FMResultSet&) {
        found = true;
        return false;
    });
    return found;
}

QString parameterList(qsizetype count)
{
    QStringList marks;
    marks.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        marks.append(QStringLiteral("?"));
    return QLatin1Char('(') + marks.join(QLatin1Char(',')) + QLatin1Char(')');
}

bool updateConfirmInsert(FMDatabase& db, const BoundStatement& update, const BoundStatement& insert,
                         const std::function<bool()>& confirm)
{
    if (run(db, update) && confirm())
        return true;
    return run(db, insert) && confirm();
}

bool selectThenWrite(FMDatabase& db, const BoundStatement& select, const BoundStatement& update,
                     const BoundStatement& insert)
{
    return hasRow(db, select) ? run(db, update) : run(db, insert);
}

bool insertElseUpdate(FMDatabase& db, const BoundStatement& insert, const BoundStatement& update)
{
    return run(db, insert) || run(db, update);
}

bool deleteThenInsert(FMDatabase& db, const BoundStatement& remove, const BoundStatement& insert)
{
    run(db, remove);
    return run(db, insert);
}

}  // namespace StoreStatements

bool StoreStatements::commit(FMDatabase& db)
{
    const bool done = db.commit();
    if (!done)
        StoreConnection::noteFailure(db.lastErrorCode());
    return done;
}

bool StoreStatements::inTransaction(FMDatabase& db, const std::function<bool()>& statements)
{
    if (!db.beginTransaction())
        return false;
    if (!statements() || !commit(db)) {
        db.rollback();
        return false;
    }
    return true;
}
