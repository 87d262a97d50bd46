#include "Library/FMDB/FMDatabase.h"

#include "Library/FMDB/FMBusyRetry.h"
#include "Library/FMDB/FMDBLog.h"
#include "Library/FMDB/FMResultSet.h"
#include "Library/FMDB/FMStatement.h"
#include "Library/FMDB/FMTransactionBlocks.h"

#include <QFile>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr auto kUpdatePlace = "-[FMDatabase executeUpdate:error:withArgumentsInArray:orDictionary:orVAList:]";
constexpr int kUpdateLine = 704;

// The text an argument stands for in the log and, for kinds without a binding of their own, in
// the database.
QString describe(const QVariant& value)
{
    if (value.isNull())
        return value.isValid() ? QStringLiteral("<null>") : QStringLiteral("(null)");
    return value.toString();
}

// The value of a variant whose type id was checked to be T's.
template <typename T>
const T& held(const QVariant& object)
{
    return *static_cast<const T*>(object.constData());
}

void bindObject(sqlite3_stmt* statement, int index, const QVariant& object)
{
    if (object.isNull()) {
        sqlite3_bind_null(statement, index);
        return;
    }
    switch (object.typeId()) {
    case QMetaType::QByteArray: {
        const auto& data = held<QByteArray>(object);
        // constData() of an empty array is "" rather than null, so it binds a zero-length blob.
        sqlite3_bind_blob64(statement, index, data.constData(), sqlite3_uint64(data.size()), SQLITE_TRANSIENT);
        return;
    }
    case QMetaType::QDateTime: {
        const auto& date = held<QDateTime>(object);
        if (date.isValid())
            sqlite3_bind_double(statement, index, double(date.toMSecsSinceEpoch()) / 1000.0);
        else
            sqlite3_bind_null(statement, index);
        return;
    }
    // The numbers are read in place: QVariant's own conversions cost more than the binding.
    case QMetaType::Bool:
        sqlite3_bind_int(statement, index, held<bool>(object) ? 1 : 0);
        return;
    case QMetaType::Int:
        sqlite3_bind_int64(statement, index, held<int>(object));
        return;
    case QMetaType::Long:
        sqlite3_bind_int64(statement, index, held<long>(object));
        return;
    case QMetaType::LongLong:
        sqlite3_bind_int64(statement, index, held<qlonglong>(object));
        return;
    case QMetaType::ULong:
        sqlite3_bind_int64(statement, index, sqlite3_int64(held<unsigned long>(object)));
        return;
    case QMetaType::ULongLong:
        sqlite3_bind_int64(statement, index, sqlite3_int64(held<qulonglong>(object)));
        return;
    case QMetaType::Float:
        sqlite3_bind_double(statement, index, double(held<float>(object)));
        return;
    case QMetaType::Double:
        sqlite3_bind_double(statement, index, held<double>(object));
        return;
    case QMetaType::QString: {
        const QByteArray text = held<QString>(object).toUtf8();
        sqlite3_bind_text(statement, index, text.constData(), -1, SQLITE_TRANSIENT);
        return;
    }
    default: {
        const QByteArray text = describe(object).toUtf8();
        sqlite3_bind_text(statement, index, text.constData(), -1, SQLITE_TRANSIENT);
        return;
    }
    }
}

// Turns a printf-like format into SQL with "?" for every conversion and the arguments made into
// the conversions' kinds. A conversion whose argument is missing still becomes "?", so the
// statement then lacks an argument and fails its bind count.
void extractSQL(const QString& format, const QVariantList& arguments, QString& sql, QVariantList& objects)
{
    qsizetype nextArgument = 0;
    const auto take = [&]() -> std::optional<QVariant> {
        if (nextArgument < arguments.size())
            return arguments.at(nextArgument++);
        return std::nullopt;
    };
    // Applies convert to the next argument, if there is one.
    const auto convert = [&](auto&& make) -> std::optional<QVariant> {
        const std::optional<QVariant> argument = take();
        if (!argument)
            return std::nullopt;
        return make(*argument);
    };

    const qsizetype length = format.size();
    sql.reserve(length);
    QChar last;
    for (qsizetype i = 0; i < length; ++i) {
        const QChar current = format.at(i);
        if (last != u'%') {
            if (current != u'%')
                sql += current;
            last = current;
            continue;
        }

        const QChar following = i + 1 < length ? format.at(i + 1) : QChar();
        const QChar afterFollowing = i + 2 < length ? format.at(i + 2) : QChar();
        bool recognised = true;
        QChar consumed = current;
        std::optional<QVariant> object;
        switch (current.unicode()) {
        case '@': {
            object = take();
            // An absent object (as opposed to FMDatabase::null()) makes no conversion.
            if (object && !object->isValid())
                recognised = false;
            break;
        }
        case 'c':
            object = convert([](const QVariant& a) {
                return QVariant(QString(QChar(ushort(uchar(a.toLongLong())))));
            });
            break;
        case 's':
            object = convert([](const QVariant& a) {
                return QVariant(a.typeId() == QMetaType::QByteArray ? QString::fromUtf8(a.toByteArray())
                                                                    : a.toString());
            });
            break;
        case 'd':
        case 'D':
        case 'i':
            object = convert([](const QVariant& a) { return QVariant(int(a.toLongLong())); });
            break;
        case 'u':
        case 'U':
            object = convert([](const QVariant& a) { return QVariant(uint(a.toULongLong())); });
            break;
        case 'f':
            object = convert([](const QVariant& a) { return QVariant(a.toDouble()); });
            break;
        case 'g':
            object = convert([](const QVariant& a) { return QVariant(float(a.toDouble())); });
            break;
        case 'h':
            if (following == u'i')
                object = convert([](const QVariant& a) { return QVariant::fromValue(short(a.toLongLong())); });
            else if (following == u'u')
                object = convert([](const QVariant& a) { return QVariant::fromValue(ushort(a.toULongLong())); });
            else
                recognised = false;
            break;
        case 'q':
            if (following == u'i')
                object = convert([](const QVariant& a) { return QVariant(qint64(a.toLongLong())); });
            else if (following == u'u')
                object = convert([](const QVariant& a) { return QVariant(quint64(a.toULongLong())); });
            else
                recognised = false;
            break;
        case 'l':
            if (following == u'd')
                object = convert([](const QVariant& a) { return QVariant::fromValue(long(a.toLongLong())); });
            else if (following == u'u')
                object = convert([](const QVariant& a) {
                    return QVariant::fromValue(static_cast<unsigned long>(a.toULongLong()));
                });
            else if (following == u'l' && afterFollowing == u'd')
                object = convert([](const QVariant& a) { return QVariant(qint64(a.toLongLong())); });
            else if (following == u'l' && afterFollowing == u'u')
                object = convert([](const QVariant& a) { return QVariant(quint64(a.toULongLong())); });
            else
                recognised = false;
            break;
        default:
            recognised = false;
            break;
        }

        if (!recognised) {
            sql += current;
            last = current;
            continue;
        }
        // The letters of a two- or three-letter conversion are used up with it.
        if (current == u'h' || current == u'q' || current == u'l') {
            ++i;
            consumed = following;
            if (current == u'l' && following == u'l') {
                ++i;
                consumed = afterFollowing;
            }
        }
        sql += u'?';
        if (object)
            objects.append(*object);
        last = consumed;
    }
}

void callFunctionBlock(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    auto* block = static_cast<FMDatabase::FunctionBlock*>(sqlite3_user_data(context));
    try {
        (*block)(context, argc, argv);
    } catch (...) {
        // Nothing may unwind through SQLite's C frames.
        sqlite3_result_error(context, "function failed", -1);
    }
}

std::atomic<long> gDatabaseSavePointCounter{0};

}  // namespace

FMDatabase::FMDatabase(PrivateTag, const QString& path) : m_databasePath(path)
{
    if (!sqlite3_threadsafe()) {
        std::fprintf(stderr, "The SQLite library was built without thread safety\n");
        std::abort();
    }
}

FMDatabase::~FMDatabase()
{
    close();
    // Statements that outlive the connection must not report back to it.
    for (FMStatement* statement : std::as_const(m_statements))
        statement->m_owner = nullptr;
}

std::shared_ptr<FMDatabase> FMDatabase::databaseWithPath(const QString& path)
{
    return std::make_shared<FMDatabase>(PrivateTag{}, path);
}

QString FMDatabase::sqliteLibVersion()
{
    return QString::fromUtf8(sqlite3_libversion());
}

bool FMDatabase::isSQLiteThreadSafe()
{
    return sqlite3_threadsafe() != 0;
}

QString FMDatabase::description() const
{
    return QStringLiteral("<FMDatabase: 0x%1>").arg(quintptr(this), 0, 16);
}

QString FMDatabase::escapedForQuotes(const QString& name)
{
    QString escaped = name;
    escaped.replace(u'\'', QStringLiteral("''"));
    return escaped;
}

// --- connection

bool FMDatabase::open()
{
    // A handle left by a failed open only describes that failure; opening again tries again.
    if (m_db && m_openSucceeded)
        return true;
    if (m_db) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
    const QByteArray path = m_databasePath.isNull() ? QByteArray(":memory:") : QFile::encodeName(m_databasePath);
    const int rc = sqlite3_open(path.constData(), &m_db);
    m_openSucceeded = rc == SQLITE_OK;
    return m_openSucceeded;
}

bool FMDatabase::openWithFlags(int flags)
{
    if (m_db && m_openSucceeded)
        return true;
    if (m_db) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
    const QByteArray path = m_databasePath.isNull() ? QByteArray(":memory:") : QFile::encodeName(m_databasePath);
    const int rc = sqlite3_open_v2(path.constData(), &m_db, flags, nullptr);
    m_openSucceeded = rc == SQLITE_OK;
    return m_openSucceeded;
}

bool FMDatabase::close()
{
    clearCachedStatements();
    closeOpenResultSets();
    if (!m_db)
        return true;

    FMBusyRetry retry(&m_busyRetryTimeout);
    bool finalizedStatements = false;
    for (;;) {
        const int rc = sqlite3_close(m_db);
        if (!FMBusyRetry::isBusy(rc))
            break;
        if (!retry.waitAndRetry())
            return false;
        if (!finalizedStatements) {
            finalizedStatements = true;
            finalizeEveryStatement();
        }
    }
    m_db = nullptr;
    m_openSucceeded = false;
    // SQLite rolled back whatever was open.
    m_inTransaction = false;
    return true;
}

void FMDatabase::finalizeEveryStatement()
{
    // Our own statements first, through their wrappers, so none keeps a finalized handle.
    const QSet<FMStatement*> statements = m_statements;
    for (FMStatement* statement : statements)
        statement->close();
    while (sqlite3_stmt* statement = sqlite3_next_stmt(m_db, nullptr))
        sqlite3_finalize(statement);
}

bool FMDatabase::goodConnection()
{
    if (!isOpen())
        return false;
    const std::shared_ptr<FMResultSet> rs = executeQuery(QStringLiteral("select name from sqlite_master where type='table'"));
    if (!rs)
        return false;
    rs->close();
    return true;
}

void FMDatabase::clearCachedStatements()
{
    if (!m_cachedStatements)
        return;
    for (const std::shared_ptr<FMStatement>& statement : std::as_const(*m_cachedStatements))
        statement->close();
    m_cachedStatements->clear();
    forgetLastCachedLookup();
}

void FMDatabase::closeOpenResultSets()
{
    // A result set may hold the last reference to this connection.
    const std::shared_ptr<FMDatabase> keepAlive = weak_from_this().lock();
    const std::vector<FMResultSet*> sets = m_openResultSets;
    for (FMResultSet* rs : sets) {
        rs->setParentDB(nullptr);
        rs->close();
        resultSetDidClose(rs);
    }
}

void FMDatabase::resultSetDidClose(FMResultSet* resultSet)
{
    // The newest set is the one usually closed first.
    const auto found = std::find(m_openResultSets.rbegin(), m_openResultSets.rend(), resultSet);
    if (found == m_openResultSets.rend())
        return;
    *found = m_openResultSets.back();
    m_openResultSets.pop_back();
}

std::shared_ptr<FMStatement> FMDatabase::cachedStatementForQuery(const QString& query) const
{
    if (!m_cachedStatements)
        return nullptr;
    return m_cachedStatements->value(query);
}

void FMDatabase::setCachedStatement(const std::shared_ptr<FMStatement>& statement, const QString& query)
{
    statement->setQuery(query);
    if (m_cachedStatements) {
        m_cachedStatements->insert(query, statement);
        forgetLastCachedLookup();
    }
}

void FMDatabase::setShouldCacheStatements(bool value)
{
    if (value) {
        if (!m_cachedStatements)
            m_cachedStatements.emplace();
    } else {
        m_cachedStatements.reset();
        forgetLastCachedLookup();
    }
}

qint64 FMDatabase::lastInsertRowId() const
{
    if (m_isExecutingStatement || !m_db)
        return 0;
    return sqlite3_last_insert_rowid(m_db);
}

int FMDatabase::changes() const
{
    if (m_isExecutingStatement || !m_db)
        return 0;
    return sqlite3_changes(m_db);
}

int FMDatabase::lastErrorCode() const
{
    return sqlite3_errcode(m_db);
}

QString FMDatabase::lastErrorMessage() const
{
    return QString::fromUtf8(sqlite3_errmsg(m_db));
}

bool FMDatabase::hadError() const
{
    const int code = lastErrorCode();
    return code > SQLITE_OK && code < SQLITE_ROW;
}

Error FMDatabase::lastError() const
{
    return Error(QStringLiteral("FMDatabase"), lastErrorCode(),
                 {{QLatin1String(Error::kLocalizedDescriptionKey), lastErrorMessage()}});
}

void FMDatabase::makeFunctionNamed(const QString& name, int maximumArguments, FunctionBlock block)
{
    auto kept = std::make_unique<FunctionBlock>(std::move(block));
    if (isOpen()) {
        sqlite3_create_function(m_db, name.toUtf8().constData(), maximumArguments, SQLITE_UTF8, kept.get(),
                                &callFunctionBlock, nullptr, nullptr);
    }
    m_openFunctions.push_back(std::move(kept));
}

// --- statements

std::shared_ptr<FMResultSet> FMDatabase::executeQuery(const QString& sql, const QVariantList& arguments)
{
    return executeQueryImpl(sql, &arguments, nullptr);
}

std::shared_ptr<FMResultSet> FMDatabase::executeQuery(const QString& sql, const QVariantMap& parameters)
{
    return executeQueryImpl(sql, nullptr, &parameters);
}

std::shared_ptr<FMResultSet> FMDatabase::executeQueryWithFormat(const QString& format, const QVariantList& arguments)
{
    QString sql;
    QVariantList objects;
    extractSQL(format, arguments, sql, objects);
    return executeQueryImpl(sql, &objects, nullptr);
}

bool FMDatabase::executeUpdate(const QString& sql, const QVariantList& arguments)
{
    return executeUpdateImpl(sql, nullptr, &arguments, nullptr);
}

bool FMDatabase::executeUpdate(const QString& sql, const QVariantMap& parameters)
{
    return executeUpdateImpl(sql, nullptr, nullptr, &parameters);
}

bool FMDatabase::executeUpdateWithFormat(const QString& format, const QVariantList& arguments)
{
    QString sql;
    QVariantList objects;
    extractSQL(format, arguments, sql, objects);
    return executeUpdateImpl(sql, nullptr, &objects, nullptr);
}

bool FMDatabase::update(const QString& sql, Error* error, const QVariantList& arguments)
{
    return executeUpdateImpl(sql, error, &arguments, nullptr);
}

std::shared_ptr<FMStatement> FMDatabase::reusableCachedStatement(const QString& sql) const
{
    if (!m_cachedStatements)
        return nullptr;
    // Loops run one text again and again. A text that shares its characters with the last one
    // looked up is that text (shared characters are never changed in place), so it needs no hash.
    const bool sameAsLast = m_lastCachedStatement && sql.constData() == m_lastCachedQuery.constData() &&
                            sql.size() == m_lastCachedQuery.size();
    if (!sameAsLast) {
        const auto found = m_cachedStatements->constFind(sql);
        if (found == m_cachedStatements->cend())
            return nullptr;
        m_lastCachedQuery = found.key();
        m_lastCachedStatement = *found;
    }
    const std::shared_ptr<FMStatement>& statement = m_lastCachedStatement;
    // A statement that a result set still reads from is not handed out a second time.
    if (!statement->statement() || statement->inUse())
        return nullptr;
    return statement;
}

int FMDatabase::prepare(const QString& sql, sqlite3_stmt** statement, bool* gaveUp)
{
    const QByteArray text = sql.toUtf8();
    FMBusyRetry retry(&m_busyRetryTimeout);
    for (;;) {
        *statement = nullptr;
        const int rc = sqlite3_prepare_v2(m_db, text.constData(), -1, statement, nullptr);
        if (!FMBusyRetry::isBusy(rc))
            return rc;
        sqlite3_finalize(*statement);
        *statement = nullptr;
        if (!retry.waitAndRetry()) {
            *gaveUp = true;
            return rc;
        }
    }
}

bool FMDatabase::bindArguments(sqlite3_stmt* statement, const QVariantList* array, const QVariantMap* dictionary,
                               bool fromQuery)
{
    const int queryCount = sqlite3_bind_parameter_count(statement);
    if (dictionary) {
        for (auto it = dictionary->cbegin(); it != dictionary->cend(); ++it) {
            const QByteArray name = ':' + it.key().toUtf8();
            const int index = sqlite3_bind_parameter_index(statement, name.constData());
            if (index > 0)
                bindObject(statement, index, it.value());
            else if (fromQuery)
                FMDBLog::write(QStringLiteral("Could not find index for %1").arg(it.key()));
        }
        // The keys are counted, not the parameters bound: an unmatched key leaves a parameter NULL.
        return dictionary->size() == queryCount;
    }

    // A list shorter than the statement's parameters is refused before anything is read from it.
    const qsizetype supplied = array ? array->size() : 0;
    if (supplied < queryCount)
        return false;
    for (int i = 0; i < queryCount; ++i) {
        const QVariant& object = array->at(i);
        if (fromQuery && m_traceExecution)
            FMDBLog::write(QStringLiteral("obj: %1").arg(describe(object)));
        bindObject(statement, i + 1, object);
    }
    return true;
}

std::shared_ptr<FMStatement> FMDatabase::wrapStatement(sqlite3_stmt* handle, const QString& sql)
{
    auto statement = std::make_shared<FMStatement>();
    statement->setStatement(handle);
    statement->m_owner = this;
    m_statements.insert(statement.get());
    if (m_cachedStatements)
        setCachedStatement(statement, sql);
    return statement;
}

void FMDatabase::dropFailedStatement(const std::shared_ptr<FMStatement>& cached, sqlite3_stmt* handle,
                                     const QString& sql)
{
    if (!cached) {
        sqlite3_finalize(handle);
        return;
    }
    cached->close();
    if (m_cachedStatements && m_cachedStatements->value(sql) == cached)
        m_cachedStatements->remove(sql);
    forgetLastCachedLookup();
}

std::shared_ptr<FMResultSet> FMDatabase::executeQueryImpl(const QString& sql, const QVariantList* array,
                                                          const QVariantMap* dictionary)
{
    if (!isOpen())
        return nullptr;
    if (m_isExecutingStatement) {
        warnInUse();
        return nullptr;
    }
    m_isExecutingStatement = true;

    const std::shared_ptr<FMStatement> cached = reusableCachedStatement(sql);
    sqlite3_stmt* handle = cached ? cached->statement() : nullptr;
    if (handle) {
        if (dictionary)
            sqlite3_clear_bindings(handle);  // a parameter no key names must read NULL, not the last run's value
    } else {
        bool gaveUp = false;
        if (prepare(sql, &handle, &gaveUp) != SQLITE_OK) {
            sqlite3_finalize(handle);
            m_isExecutingStatement = false;
            return nullptr;
        }
    }

    if (!bindArguments(handle, array, dictionary, true)) {
        FMDBLog::write(QStringLiteral("Error: the bind count is not correct for the # of variables (executeQuery)"));
        dropFailedStatement(cached, handle, sql);
        m_isExecutingStatement = false;
        return nullptr;
    }

    const std::shared_ptr<FMStatement> statement = cached ? cached : wrapStatement(handle, sql);
    std::shared_ptr<FMResultSet> rs = FMResultSet::resultSetWithStatement(statement, shared_from_this());
    rs->setQuery(sql);
    m_openResultSets.push_back(rs.get());
    statement->setUseCount(statement->useCount() + 1);
    m_isExecutingStatement = false;
    return rs;
}

bool FMDatabase::executeUpdateImpl(const QString& sql, Error* error, const QVariantList* array,
                                   const QVariantMap* dictionary)
{
    if (!isOpen())
        return false;
    if (m_isExecutingStatement) {
        warnInUse();
        return false;
    }
    m_isExecutingStatement = true;
    if (m_traceExecution)
        FMDBLog::write(QStringLiteral("%1 executeUpdate: %2").arg(description(), sql));

    const std::shared_ptr<FMStatement> cached = reusableCachedStatement(sql);
    sqlite3_stmt* handle = cached ? cached->statement() : nullptr;
    if (handle) {
        if (dictionary)
            sqlite3_clear_bindings(handle);
    } else {
        bool gaveUp = false;
        const int rc = prepare(sql, &handle, &gaveUp);
        if (rc != SQLITE_OK) {
            if (gaveUp)
                FMBusyRetry::logGaveUp(kUpdatePlace, kUpdateLine, m_databasePath);
            else if (error)
                *error = Error(QString::fromUtf8(sqlite3_errmsg(m_db)), rc);
            sqlite3_finalize(handle);
            m_isExecutingStatement = false;
            return false;
        }
    }

    if (!bindArguments(handle, array, dictionary, false)) {
        dropFailedStatement(cached, handle, sql);
        m_isExecutingStatement = false;
        return false;
    }

    int rc = SQLITE_OK;
    FMBusyRetry retry(&m_busyRetryTimeout);
    for (;;) {
        rc = sqlite3_step(handle);
        if (!FMBusyRetry::isBusy(rc))
            break;
        int resetResult = SQLITE_BUSY;
        if (rc == SQLITE_LOCKED)
            resetResult = sqlite3_reset(handle);
        if (!retry.waitAndRetry()) {
            rc = resetResult;
            break;
        }
    }

    if (cached || m_cachedStatements) {
        const std::shared_ptr<FMStatement> statement = cached ? cached : wrapStatement(handle, sql);
        statement->setUseCount(statement->useCount() + 1);
        statement->reset();
    } else {
        sqlite3_finalize(handle);
    }
    m_isExecutingStatement = false;
    return rc == SQLITE_DONE || rc == SQLITE_OK;
}

// --- transactions and savepoints

bool FMDatabase::transactionStatement(const QString& sql, bool inTransactionAfter)
{
    const bool ok = executeUpdate(sql);
    if (ok)
        m_inTransaction = inTransactionAfter;
    return ok;
}

bool FMDatabase::beginTransaction()
{
    return transactionStatement(QStringLiteral("begin exclusive transaction"), true);
}

bool FMDatabase::beginDeferredTransaction()
{
    return transactionStatement(QStringLiteral("begin deferred transaction"), true);
}

bool FMDatabase::commit()
{
    return transactionStatement(QStringLiteral("commit transaction"), false);
}

bool FMDatabase::rollback()
{
    return transactionStatement(QStringLiteral("rollback transaction"), false);
}

bool FMDatabase::savePointStatement(const QString& form, const QString& name, Error* error)
{
    const bool ok = executeUpdate(form.arg(escapedForQuotes(name)));
    if (!ok && error)
        *error = lastError();
    return ok;
}

bool FMDatabase::startSavePointWithName(const QString& name, Error* error)
{
    return savePointStatement(QStringLiteral("savepoint '%1';"), name, error);
}

bool FMDatabase::releaseSavePointWithName(const QString& name, Error* error)
{
    return savePointStatement(QStringLiteral("release savepoint '%1';"), name, error);
}

bool FMDatabase::rollbackToSavePointWithName(const QString& name, Error* error)
{
    return savePointStatement(QStringLiteral("rollback transaction to savepoint '%1';"), name, error);
}

std::optional<Error> FMDatabase::inSavePoint(const std::function<void(bool* rollback)>& block)
{
    const QString name = QStringLiteral("dbSavePoint%1").arg(gDatabaseSavePointCounter.fetch_add(1));
    return FMTransactionBlocks::runInSavePoint(this, name, block);
}
