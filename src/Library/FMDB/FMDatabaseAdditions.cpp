// Single-value queries and schema questions of FMDatabase.
#include "Library/FMDB/FMBusyRetry.h"
#include "Library/FMDB/FMDatabase.h"
#include "Library/FMDB/FMResultSet.h"

namespace {

constexpr auto kValidatePlace = "-[FMDatabase(FMDatabaseAdditions) validateSQL:error:]";
constexpr int kValidateLine = 135;

// Column 0 of the query's first row read by read, or fallback when there is no row.
template <typename T, typename Read>
T firstValue(FMDatabase& db, const QString& sql, const QVariantList& arguments, T fallback, Read read)
{
    const std::shared_ptr<FMResultSet> rs = db.executeQuery(sql, arguments);
    if (!rs)
        return fallback;
    T value = fallback;
    if (rs->next())
        value = read(*rs);
    rs->close();
    return value;
}

}  // namespace

QString FMDatabase::stringForQuery(const QString& sql, const QVariantList& arguments)
{
    return firstValue<QString>(*this, sql, arguments, QString(),
                               [](const FMResultSet& rs) { return rs.stringForColumnIndex(0); });
}

int FMDatabase::intForQuery(const QString& sql, const QVariantList& arguments)
{
    return firstValue<int>(*this, sql, arguments, 0, [](const FMResultSet& rs) { return rs.intForColumnIndex(0); });
}

qint64 FMDatabase::longForQuery(const QString& sql, const QVariantList& arguments)
{
    return firstValue<qint64>(*this, sql, arguments, 0,
                              [](const FMResultSet& rs) { return rs.longForColumnIndex(0); });
}

bool FMDatabase::boolForQuery(const QString& sql, const QVariantList& arguments)
{
    return firstValue<bool>(*this, sql, arguments, false,
                            [](const FMResultSet& rs) { return rs.boolForColumnIndex(0); });
}

double FMDatabase::doubleForQuery(const QString& sql, const QVariantList& arguments)
{
    return firstValue<double>(*this, sql, arguments, 0.0,
                              [](const FMResultSet& rs) { return rs.doubleForColumnIndex(0); });
}

QByteArray FMDatabase::dataForQuery(const QString& sql, const QVariantList& arguments)
{
    return firstValue<QByteArray>(*this, sql, arguments, QByteArray(),
                                  [](const FMResultSet& rs) { return rs.dataForColumnIndex(0); });
}

QDateTime FMDatabase::dateForQuery(const QString& sql, const QVariantList& arguments)
{
    return firstValue<QDateTime>(*this, sql, arguments, QDateTime(),
                                 [](const FMResultSet& rs) { return rs.dateForColumnIndex(0); });
}

bool FMDatabase::tableExists(const QString& tableName)
{
    const std::shared_ptr<FMResultSet> rs =
        executeQuery(QStringLiteral("select [sql] from sqlite_master where [type] = 'table' and lower(name) = ?"),
                     {tableName.toLower()});
    if (!rs)
        return false;
    const bool found = rs->next();
    rs->close();
    return found;
}

std::shared_ptr<FMResultSet> FMDatabase::getSchema()
{
    return executeQuery(QStringLiteral(
        "SELECT type, name, tbl_name, rootpage, sql FROM (SELECT * FROM sqlite_master UNION ALL SELECT * FROM "
        "sqlite_temp_master) WHERE type != 'meta' AND name NOT LIKE 'sqlite_%' ORDER BY tbl_name, type DESC, name"));
}

std::shared_ptr<FMResultSet> FMDatabase::getTableSchema(const QString& tableName)
{
    return executeQuery(QStringLiteral("PRAGMA table_info('%1')").arg(escapedForQuotes(tableName)));
}

bool FMDatabase::columnExists(const QString& tableName, const QString& columnName)
{
    const QString column = columnName.toLower();
    const std::shared_ptr<FMResultSet> rs = getTableSchema(tableName.toLower());
    if (!rs)
        return false;
    bool found = false;
    while (rs->next()) {
        if (rs->stringForColumn(QStringLiteral("name")).toLower() == column) {
            found = true;
            break;
        }
    }
    rs->close();
    return found;
}

bool FMDatabase::validateSQL(const QString& sql, Error* error)
{
    sqlite3_stmt* statement = nullptr;
    bool gaveUp = false;
    const int rc = prepare(sql, &statement, &gaveUp);
    sqlite3_finalize(statement);
    if (rc == SQLITE_OK)
        return true;
    if (gaveUp) {
        FMBusyRetry::logGaveUp(kValidatePlace, kValidateLine, m_databasePath);
        return false;
    }
    if (error)
        *error = Error(QLatin1String(Error::kCocoaErrorDomain), lastErrorCode(),
                       {{QLatin1String(Error::kLocalizedDescriptionKey), lastErrorMessage()}});
    return false;
}
