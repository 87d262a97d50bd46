#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <sqlite3.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class FMResultSet;
class FMStatement;

// One SQLite connection. Not safe for concurrent use: whoever shares one serializes its use.
//
// Arguments are QVariants, bound by kind:
//   null            QVariant() or FMDatabase::null()         -> NULL
//   blob            QByteArray                               -> blob (an empty array is a zero-length blob)
//   date            QDateTime (invalid -> NULL)              -> seconds since 1970 as a double
//   bool            bool                                     -> 1 or 0
//   integers        int, qint64, long                        -> 64-bit integer
//                   quint64, unsigned long                   -> the same 64 bits
//   floating point  float, double                            -> double
//   anything else   QString and every other type             -> its text form
// Every argument is copied into SQLite, so temporaries may be passed.
//
// A connection is shared: result sets keep their connection alive until they close, so a
// connection only ever exists as a std::shared_ptr made by databaseWithPath().
class FMDatabase : public std::enable_shared_from_this<FMDatabase>
{
    struct PrivateTag {};

public:
    using FunctionBlock = std::function<void(sqlite3_context* context, int argc, sqlite3_value** argv)>;

    explicit FMDatabase(PrivateTag, const QString& path);
    FMDatabase(const FMDatabase&) = delete;
    FMDatabase& operator=(const FMDatabase&) = delete;
    ~FMDatabase();

    // A closed connection on the file at path; a null path means an in-memory database.
    static std::shared_ptr<FMDatabase> databaseWithPath(const QString& path);
    static QString sqliteLibVersion();
    static bool isSQLiteThreadSafe();

    // The "null object": binds NULL and, unlike an invalid QVariant, counts as an argument of a
    // %@ conversion in the format forms.
    static QVariant null() { return QVariant::fromValue(nullptr); }

    // --- connection

    bool open();
    bool openWithFlags(int flags);
    bool close();
    bool goodConnection();
    bool databaseExists() const { return m_db != nullptr; }
    sqlite3* sqliteHandle() const { return m_db; }
    const QString& databasePath() const { return m_databasePath; }

    void clearCachedStatements();
    void closeOpenResultSets();
    bool hasOpenResultSets() const { return !m_openResultSets.empty(); }
    std::shared_ptr<FMStatement> cachedStatementForQuery(const QString& query) const;
    void setCachedStatement(const std::shared_ptr<FMStatement>& statement, const QString& query);
    bool shouldCacheStatements() const { return m_cachedStatements.has_value(); }
    void setShouldCacheStatements(bool value);

    qint64 lastInsertRowId() const;
    int changes() const;

    int lastErrorCode() const;
    QString lastErrorMessage() const;
    bool hadError() const;
    Error lastError() const;

    void warnInUse() const {}

    void makeFunctionNamed(const QString& name, int maximumArguments, FunctionBlock block);

    // The connection has no encryption.
    bool rekey(const QString& key) { return false; }
    bool setKey(const QString& key) { return false; }

    // Called by a result set that closed.
    void resultSetDidClose(FMResultSet* resultSet);

    // --- statements

    std::shared_ptr<FMResultSet> executeQuery(const QString& sql, const QVariantList& arguments = {});
    std::shared_ptr<FMResultSet> executeQuery(const QString& sql, const QVariantMap& parameters);
    // Each recognised conversion (%@ %c %s %d %D %i %u %U %hi %hu %qi %qu %ld %lu %lld %llu %f %g)
    // takes the next element of arguments, becomes "?" and binds that element made into the
    // conversion's kind. A list that runs out leaves parameters without arguments, which fails.
    std::shared_ptr<FMResultSet> executeQueryWithFormat(const QString& format, const QVariantList& arguments);

    bool executeUpdate(const QString& sql, const QVariantList& arguments = {});
    bool executeUpdate(const QString& sql, const QVariantMap& parameters);
    bool executeUpdateWithFormat(const QString& format, const QVariantList& arguments);
    bool update(const QString& sql, Error* error, const QVariantList& arguments = {});

    // --- transactions and savepoints

    bool beginTransaction();
    bool beginDeferredTransaction();
    bool commit();
    bool rollback();
    bool inTransaction() const { return m_inTransaction; }

    bool startSavePointWithName(const QString& name, Error* error);
    bool releaseSavePointWithName(const QString& name, Error* error);
    bool rollbackToSavePointWithName(const QString& name, Error* error);
    // Runs block inside a savepoint; the block sets *rollback to undo its work. Returns the error
    // of the first savepoint statement that failed.
    std::optional<Error> inSavePoint(const std::function<void(bool* rollback)>& block);

    // --- additions: single values and schema

    QString stringForQuery(const QString& sql, const QVariantList& arguments = {});
    int intForQuery(const QString& sql, const QVariantList& arguments = {});
    qint64 longForQuery(const QString& sql, const QVariantList& arguments = {});
    bool boolForQuery(const QString& sql, const QVariantList& arguments = {});
    double doubleForQuery(const QString& sql, const QVariantList& arguments = {});
    QByteArray dataForQuery(const QString& sql, const QVariantList& arguments = {});
    QDateTime dateForQuery(const QString& sql, const QVariantList& arguments = {});

    bool tableExists(const QString& tableName);
    std::shared_ptr<FMResultSet> getSchema();
    std::shared_ptr<FMResultSet> getTableSchema(const QString& tableName);
    bool columnExists(const QString& tableName, const QString& columnName);
    bool validateSQL(const QString& sql, Error* error);

    // --- settings

    bool logsErrors() const { return m_logsErrors; }
    void setLogsErrors(bool value) { m_logsErrors = value; }
    bool crashOnErrors() const { return m_crashOnErrors; }
    void setCrashOnErrors(bool value) { m_crashOnErrors = value; }
    bool traceExecution() const { return m_traceExecution; }
    void setTraceExecution(bool value) { m_traceExecution = value; }
    bool checkedOut() const { return m_checkedOut; }
    void setCheckedOut(bool value) { m_checkedOut = value; }
    // May be changed from another thread while a statement waits on a busy database.
    int busyRetryTimeout() const { return m_busyRetryTimeout.load(); }
    void setBusyRetryTimeout(int value) { m_busyRetryTimeout.store(value); }

    // "<FMDatabase: 0x...>"
    QString description() const;

private:
    friend class FMResultSet;
    friend class FMStatement;

    // A handle kept from a failed open only describes that failure.
    bool isOpen() const { return m_db && m_openSucceeded; }
    std::shared_ptr<FMResultSet> executeQueryImpl(const QString& sql, const QVariantList* array,
                                                  const QVariantMap* dictionary);
    bool executeUpdateImpl(const QString& sql, Error* error, const QVariantList* array,
                           const QVariantMap* dictionary);
    // A cached statement that may run now, or null.
    std::shared_ptr<FMStatement> reusableCachedStatement(const QString& sql) const;
    // sqlite3_prepare_v2 under the busy rule; *gaveUp tells a busy give-up from other failures.
    int prepare(const QString& sql, sqlite3_stmt** statement, bool* gaveUp);
    bool bindArguments(sqlite3_stmt* statement, const QVariantList* array, const QVariantMap* dictionary,
                       bool fromQuery);
    std::shared_ptr<FMStatement> wrapStatement(sqlite3_stmt* statement, const QString& sql);
    void dropFailedStatement(const std::shared_ptr<FMStatement>& cached, sqlite3_stmt* statement,
                             const QString& sql);
    // A name put between single quotes in SQL text; a quote inside it is doubled so it cannot end
    // the literal early.
    static QString escapedForQuotes(const QString& name);
    void statementDidClose(FMStatement* statement) { m_statements.remove(statement); }
    void finalizeEveryStatement();
    // Runs a transaction statement; on success the connection is in a transaction or not.
    bool transactionStatement(const QString& sql, bool inTransactionAfter);
    // Runs form with the savepoint's name put in; a failure stores lastError() in *error.
    bool savePointStatement(const QString& form, const QString& name, Error* error);
    void forgetLastCachedLookup() const
    {
        m_lastCachedQuery = QString();
        m_lastCachedStatement.reset();
    }

    sqlite3* m_db = nullptr;
    QString m_databasePath;
    bool m_logsErrors = false;
    bool m_crashOnErrors = false;
    bool m_traceExecution = false;
    bool m_checkedOut = false;
    bool m_isExecutingStatement = false;
    bool m_inTransaction = false;
    bool m_openSucceeded = false;
    std::atomic<int> m_busyRetryTimeout{0};
    std::optional<QHash<QString, std::shared_ptr<FMStatement>>> m_cachedStatements;
    mutable QString m_lastCachedQuery;                         // the cache's last hit, looked up again cheaply
    mutable std::shared_ptr<FMStatement> m_lastCachedStatement;
    // Not owned. Seldom more than one or two at a time, so a plain list beats a hash set.
    std::vector<FMResultSet*> m_openResultSets;
    QSet<FMStatement*> m_statements;                           // every unfinalized statement made here
    std::vector<std::unique_ptr<FunctionBlock>> m_openFunctions;  // user data of registered functions
};
