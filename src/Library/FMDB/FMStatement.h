#pragma once

#include <QHash>
#include <QString>

#include <sqlite3.h>

class FMDatabase;

// A prepared statement with the number of times it was run. The handle is finalized by close()
// or destruction, never twice: the connection that made the statement finalizes it through
// close() when the connection itself closes, so a statement that outlives its connection holds
// no dangling handle.
class FMStatement
{
public:
    FMStatement() = default;
    FMStatement(const FMStatement&) = delete;
    FMStatement& operator=(const FMStatement&) = delete;
    ~FMStatement();

    // Finalizes the handle, if any.
    void close();
    // Resets the handle, if any, so it can run again.
    void reset();

    sqlite3_stmt* statement() const { return m_statement; }
    void setStatement(sqlite3_stmt* statement) { m_statement = statement; }

    const QString& query() const { return m_query; }
    void setQuery(const QString& query) { m_query = query; }

    qint64 useCount() const { return m_useCount; }
    void setUseCount(qint64 useCount) { m_useCount = useCount; }

    // "<FMStatement: 0x...> N hit(s) for query SQL"
    QString description() const;

    // Whether a result set is reading through this statement; a busy statement is not handed out
    // again from the cache.
    bool inUse() const { return m_inUse; }
    void setInUse(bool inUse) { m_inUse = inUse; }

    // Lower-cased column name -> index, as the statement's result columns stand now. Made once
    // and shared by every result set of the statement; made again when SQLite prepared the
    // statement anew (after a schema change its columns may differ).
    const QHash<QString, int>& columnNameToIndexMap();

private:
    friend class FMDatabase;

    sqlite3_stmt* m_statement = nullptr;
    QString m_query;
    qint64 m_useCount = 0;
    bool m_inUse = false;
    QHash<QString, int> m_columnNameToIndexMap;
    int m_columnMapPreparation = -1;  // SQLITE_STMTSTATUS_REPREPARE when the map was made
    FMDatabase* m_owner = nullptr;  // the connection that prepared it, until it is finalized
};
