#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QTimeZone>
#include <QVariant>
#include <QVariantMap>

#include <sqlite3.h>

#include <memory>
#include <optional>

class FMDatabase;
class FMStatement;
class QObject;

// A forward cursor over the rows of one query. It keeps its connection alive until it is closed;
// the next() that finds no more rows closes it. Absent values are null: a null QString, an empty
// null QByteArray, an invalid QDateTime.
class FMResultSet
{
    struct PrivateTag {};

public:
    FMResultSet(PrivateTag, std::shared_ptr<FMStatement> statement, std::shared_ptr<FMDatabase> parentDB);
    FMResultSet(const FMResultSet&) = delete;
    FMResultSet& operator=(const FMResultSet&) = delete;
    ~FMResultSet();

    static std::shared_ptr<FMResultSet> resultSetWithStatement(std::shared_ptr<FMStatement> statement,
                                                               std::shared_ptr<FMDatabase> parentDB);

    bool next();
    bool hasAnotherRow() const;
    void close();

    int columnCount() const;
    // The index of a column by its name in any case; -1 when the set has no such column.
    int columnIndexForName(const QString& columnName);
    QString columnNameForIndex(int columnIdx) const;

    int intForColumn(const QString& columnName);
    int intForColumnIndex(int columnIdx) const;
    qint64 longForColumn(const QString& columnName);
    qint64 longForColumnIndex(int columnIdx) const;
    qint64 longLongIntForColumn(const QString& columnName);
    qint64 longLongIntForColumnIndex(int columnIdx) const;
    quint64 unsignedLongLongIntForColumn(const QString& columnName);
    quint64 unsignedLongLongIntForColumnIndex(int columnIdx) const;
    bool boolForColumn(const QString& columnName);
    bool boolForColumnIndex(int columnIdx) const;
    double doubleForColumn(const QString& columnName);
    double doubleForColumnIndex(int columnIdx) const;
    QString stringForColumn(const QString& columnName);
    QString stringForColumnIndex(int columnIdx) const;
    const unsigned char* UTF8StringForColumnName(const QString& columnName);
    const unsigned char* UTF8StringForColumnIndex(int columnIdx) const;
    // Seconds since 1970 (UTC).
    QDateTime dateForColumn(const QString& columnName);
    QDateTime dateForColumnIndex(int columnIdx) const;
    // "yyyy-MM-dd HH:mm:ss" in the process's time zone (Clock::localZone()).
    QDateTime dateForColumnFromDateTime(const QString& columnName);
    QDateTime dateForColumnIndexFromDateTime(int columnIdx) const;
    // "yyyy-MM-dd HH:mm:ss" in Beijing time, a fixed UTC+8.
    QDateTime dateForColumnFromCSTDateTime(const QString& columnName);
    QDateTime dateForColumnIndexFromCSTDateTime(int columnIdx) const;
    QByteArray dataForColumn(const QString& columnName);
    QByteArray dataForColumnIndex(int columnIdx) const;
    // The blob's bytes without a copy: valid until the cursor moves or closes.
    QByteArray dataNoCopyForColumn(const QString& columnName);
    QByteArray dataNoCopyForColumnIndex(int columnIdx) const;
    bool columnIsNull(const QString& columnName);
    bool columnIndexIsNull(int columnIdx) const;
    // qint64, double, QByteArray or QString by the column's type; FMDatabase::null() for NULL.
    QVariant objectForColumnName(const QString& columnName);
    QVariant objectForColumnIndex(int columnIdx) const;

    // Column name as SQLite spells it -> value; null when the row has no columns.
    std::optional<QVariantMap> resultDictionary() const;
    // Lower-cased column name -> value; null when the row has no columns.
    std::optional<QVariantMap> resultDict();
    // Sets the property named after each column whose text is not NULL to that text.
    void kvcMagic(QObject* object) const;

    const QString& query() const { return m_query; }
    void setQuery(const QString& query) { m_query = query; }
    const std::shared_ptr<FMStatement>& statement() const { return m_statement; }
    void setStatement(std::shared_ptr<FMStatement> statement);
    const QHash<QString, int>& columnNameToIndexMap() const { return m_columnNameToIndexMap; }
    std::shared_ptr<FMDatabase> parentDB() const { return m_parentDB; }
    void setParentDB(std::shared_ptr<FMDatabase> parentDB) { m_parentDB = std::move(parentDB); }

private:
    sqlite3_stmt* handle() const;
    void setupColumnNames();
    QDateTime dateFromText(int columnIdx, const QTimeZone& zone) const;

    std::shared_ptr<FMDatabase> m_parentDB;
    std::shared_ptr<FMStatement> m_statement;
    QString m_query;
    QHash<QString, int> m_columnNameToIndexMap;
    bool m_columnNamesSetup = false;
};
