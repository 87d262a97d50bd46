#include "Library/FMDB/FMResultSet.h"

#include "Library/FMDB/FMBusyRetry.h"
#include "Library/FMDB/FMDBLog.h"
#include "Library/FMDB/FMDatabase.h"
#include "Library/FMDB/FMStatement.h"
#include "platform/Clock.h"
#include "platform/DateTimeText.h"

#include <QObject>

#include <cmath>

namespace {

constexpr auto kNextPlace = "-[FMResultSet next]";
constexpr int kNextLine = 184;

}  // namespace

FMResultSet::FMResultSet(PrivateTag, std::shared_ptr<FMStatement> statement, std::shared_ptr<FMDatabase> parentDB)
    : m_parentDB(std::move(parentDB)), m_statement(std::move(statement))
{
    if (m_statement)
        m_statement->setInUse(true);
}

FMResultSet::~FMResultSet()
{
    close();
}

std::shared_ptr<FMResultSet> FMResultSet::resultSetWithStatement(std::shared_ptr<FMStatement> statement,
                                                                 std::shared_ptr<FMDatabase> parentDB)
{
    return std::make_shared<FMResultSet>(PrivateTag{}, std::move(statement), std::move(parentDB));
}

void FMResultSet::setStatement(std::shared_ptr<FMStatement> statement)
{
    if (m_statement)
        m_statement->setInUse(false);
    m_statement = std::move(statement);
    if (m_statement)
        m_statement->setInUse(true);
}

sqlite3_stmt* FMResultSet::handle() const
{
    return m_statement ? m_statement->statement() : nullptr;
}

bool FMResultSet::next()
{
    sqlite3_stmt* statement = handle();
    if (!statement)
        return false;

    FMBusyRetry retry(m_parentDB ? &m_parentDB->m_busyRetryTimeout : nullptr);
    int rc = SQLITE_OK;
    for (;;) {
        rc = sqlite3_step(statement);
        if (!FMBusyRetry::isBusy(rc))
            break;
        if (rc == SQLITE_LOCKED) {
            const int resetResult = sqlite3_reset(statement);
            if (resetResult != SQLITE_LOCKED)
                FMDBLog::write(QStringLiteral("Unexpected result from sqlite3_reset (%1) rs").arg(resetResult));
        }
        if (!retry.waitAndRetry()) {
            FMBusyRetry::logGaveUp(kNextPlace, kNextLine, m_parentDB ? m_parentDB->databasePath() : QString());
            close();
            return false;
        }
    }

    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(statement)));
        const QString form = rc == SQLITE_ERROR || rc == SQLITE_MISUSE
                                 ? QStringLiteral("Error calling sqlite3_step (%1: %2) rs")
                                 : QStringLiteral("Unknown error calling sqlite3_step (%1: %2) rs");
        FMDBLog::write(form.arg(rc).arg(message));
    }
    close();
    return false;
}

bool FMResultSet::hasAnotherRow() const
{
    return m_parentDB && sqlite3_errcode(m_parentDB->sqliteHandle()) == SQLITE_ROW;
}

void FMResultSet::close()
{
    if (m_statement) {
        m_statement->reset();
        m_statement->setInUse(false);
    }
    // Held until the end: the statement reports its finalization to the connection.
    const std::shared_ptr<FMDatabase> parent = std::move(m_parentDB);
    m_parentDB.reset();
    if (parent)
        parent->resultSetDidClose(this);
    m_statement.reset();
}

int FMResultSet::columnCount() const
{
    sqlite3_stmt* statement = handle();
    return statement ? sqlite3_column_count(statement) : 0;
}

void FMResultSet::setupColumnNames()
{
    // Of two columns with the same name the later index wins, as the map is filled in order.
    if (m_statement)
        m_columnNameToIndexMap = m_statement->columnNameToIndexMap();  // shared, not copied
    m_columnNamesSetup = true;
}

int FMResultSet::columnIndexForName(const QString& columnName)
{
    if (!m_columnNamesSetup)
        setupColumnNames();
    // Callers mostly spell the names in lower case already, which finds them without a copy.
    const auto exact = m_columnNameToIndexMap.constFind(columnName);
    if (exact != m_columnNameToIndexMap.cend())
        return *exact;
    const QString lowered = columnName.toLower();
    const auto found = m_columnNameToIndexMap.constFind(lowered);
    if (found != m_columnNameToIndexMap.cend())
        return *found;
    FMDBLog::write(QStringLiteral("Warning: I could not find the column named '%1'.").arg(lowered));
    return -1;
}

QString FMResultSet::columnNameForIndex(int columnIdx) const
{
    sqlite3_stmt* statement = handle();
    return statement ? QString::fromUtf8(sqlite3_column_name(statement, columnIdx)) : QString();
}

int FMResultSet::intForColumnIndex(int columnIdx) const
{
    sqlite3_stmt* statement = handle();
    return statement && columnIdx >= 0 ? sqlite3_column_int(statement, columnIdx) : 0;
}

qint64 FMResultSet::longForColumnIndex(int columnIdx) const
{
    return longLongIntForColumnIndex(columnIdx);
}

qint64 FMResultSet::longLongIntForColumnIndex(int columnIdx) const
{
    sqlite3_stmt* statement = handle();
    return statement && columnIdx >= 0 ? sqlite3_column_int64(statement, columnIdx) : 0;
}

quint64 FMResultSet::unsignedLongLongIntForColumnIndex(int columnIdx) const
{
    return quint64(longLongIntForColumnIndex(columnIdx));
}

bool FMResultSet::boolForColumnIndex(int columnIdx) const
{
    return intForColumnIndex(columnIdx) != 0;
}

double FMResultSet::doubleForColumnIndex(int columnIdx) const
{
    sqlite3_stmt* statement = handle();
    return statement && columnIdx >= 0 ? sqlite3_column_double(statement, columnIdx) : 0.0;
}

bool FMResultSet::columnIndexIsNull(int columnIdx) const
{
    sqlite3_stmt* statement = handle();
    return !statement || columnIdx < 0 || sqlite3_column_type(statement, columnIdx) == SQLITE_NULL;
}

QString FMResultSet::stringForColumnIndex(int columnIdx) const
{
    if (columnIndexIsNull(columnIdx))
        return QString();
    sqlite3_stmt* statement = handle();
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, columnIdx));
    if (!text)
        return QString();
    return QString::fromUtf8(text, sqlite3_column_bytes(statement, columnIdx));
}

const unsigned char* FMResultSet::UTF8StringForColumnIndex(int columnIdx) const
{
    if (columnIndexIsNull(columnIdx))
        return nullptr;
    return sqlite3_column_text(handle(), columnIdx);
}

QDateTime FMResultSet::dateForColumnIndex(int columnIdx) const
{
    if (columnIndexIsNull(columnIdx))
        return QDateTime();
    const double milliseconds = std::round(doubleForColumnIndex(columnIdx) * 1000.0);
    // Far beyond any calendar Qt keeps.
    if (!std::isfinite(milliseconds) || std::fabs(milliseconds) > 9.0e18)
        return QDateTime();
    return QDateTime::fromMSecsSinceEpoch(qint64(milliseconds), Qt::UTC);
}

QDateTime FMResultSet::dateFromText(int columnIdx, const QTimeZone& zone) const
{
    if (columnIndexIsNull(columnIdx))
        return QDateTime();
    return DateTimeText::parseLenient(stringForColumnIndex(columnIdx), zone);
}

QDateTime FMResultSet::dateForColumnIndexFromDateTime(int columnIdx) const
{
    return dateFromText(columnIdx, Clock::localZone());
}

QDateTime FMResultSet::dateForColumnIndexFromCSTDateTime(int columnIdx) const
{
    return dateFromText(columnIdx, Clock::beijingZone());
}

QByteArray FMResultSet::dataForColumnIndex(int columnIdx) const
{
    if (columnIndexIsNull(columnIdx))
        return QByteArray();
    sqlite3_stmt* statement = handle();
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, columnIdx));
    const int length = sqlite3_column_bytes(statement, columnIdx);
    // SQLite gives no pointer for a zero-length blob; it is still an (empty) value, not NULL.
    return QByteArray(bytes ? bytes : "", length);
}

QByteArray FMResultSet::dataNoCopyForColumnIndex(int columnIdx) const
{
    if (columnIndexIsNull(columnIdx))
        return QByteArray();
    sqlite3_stmt* statement = handle();
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, columnIdx));
    const int length = sqlite3_column_bytes(statement, columnIdx);
    return QByteArray::fromRawData(bytes ? bytes : "", length);
}

QVariant FMResultSet::objectForColumnIndex(int columnIdx) const
{
    sqlite3_stmt* statement = handle();
    const int type = statement && columnIdx >= 0 ? sqlite3_column_type(statement, columnIdx) : SQLITE_NULL;
    switch (type) {
    case SQLITE_INTEGER:
        return QVariant(longLongIntForColumnIndex(columnIdx));
    case SQLITE_FLOAT:
        return QVariant(doubleForColumnIndex(columnIdx));
    case SQLITE_BLOB:
        return QVariant(dataForColumnIndex(columnIdx));
    default: {
        const QString text = stringForColumnIndex(columnIdx);
        return text.isNull() ? FMDatabase::null() : QVariant(text);
    }
    }
}

int FMResultSet::intForColumn(const QString& columnName)
{
    return intForColumnIndex(columnIndexForName(columnName));
}

qint64 FMResultSet::longForColumn(const QString& columnName)
{
    return longForColumnIndex(columnIndexForName(columnName));
}

qint64 FMResultSet::longLongIntForColumn(const QString& columnName)
{
    return longLongIntForColumnIndex(columnIndexForName(columnName));
}

quint64 FMResultSet::unsignedLongLongIntForColumn(const QString& columnName)
{
    return unsignedLongLongIntForColumnIndex(columnIndexForName(columnName));
}

bool FMResultSet::boolForColumn(const QString& columnName)
{
    return boolForColumnIndex(columnIndexForName(columnName));
}

double FMResultSet::doubleForColumn(const QString& columnName)
{
    return doubleForColumnIndex(columnIndexForName(columnName));
}

QString FMResultSet::stringForColumn(const QString& columnName)
{
    return stringForColumnIndex(columnIndexForName(columnName));
}

const unsigned char* FMResultSet::UTF8StringForColumnName(const QString& columnName)
{
    return UTF8StringForColumnIndex(columnIndexForName(columnName));
}

QDateTime FMResultSet::dateForColumn(const QString& columnName)
{
    return dateForColumnIndex(columnIndexForName(columnName));
}

QDateTime FMResultSet::dateForColumnFromDateTime(const QString& columnName)
{
    return dateForColumnIndexFromDateTime(columnIndexForName(columnName));
}

QDateTime FMResultSet::dateForColumnFromCSTDateTime(const QString& columnName)
{
    return dateForColumnIndexFromCSTDateTime(columnIndexForName(columnName));
}

QByteArray FMResultSet::dataForColumn(const QString& columnName)
{
    return dataForColumnIndex(columnIndexForName(columnName));
}

QByteArray FMResultSet::dataNoCopyForColumn(const QString& columnName)
{
    return dataNoCopyForColumnIndex(columnIndexForName(columnName));
}

bool FMResultSet::columnIsNull(const QString& columnName)
{
    return columnIndexIsNull(columnIndexForName(columnName));
}

QVariant FMResultSet::objectForColumnName(const QString& columnName)
{
    return objectForColumnIndex(columnIndexForName(columnName));
}

std::optional<QVariantMap> FMResultSet::resultDictionary() const
{
    sqlite3_stmt* statement = handle();
    if (!statement || sqlite3_data_count(statement) < 1) {
        FMDBLog::write(QStringLiteral("Warning: There seem to be no columns in this set."));
        return std::nullopt;
    }
    QVariantMap row;
    const int count = columnCount();
    for (int i = 0; i < count; ++i)
        row.insert(columnNameForIndex(i), objectForColumnIndex(i));
    return row;
}

std::optional<QVariantMap> FMResultSet::resultDict()
{
    sqlite3_stmt* statement = handle();
    if (!statement || sqlite3_data_count(statement) < 1) {
        FMDBLog::write(QStringLiteral("Warning: There seem to be no columns in this set."));
        return std::nullopt;
    }
    if (!m_columnNamesSetup)
        setupColumnNames();
    QVariantMap row;
    for (auto it = m_columnNameToIndexMap.cbegin(); it != m_columnNameToIndexMap.cend(); ++it)
        row.insert(it.key(), objectForColumnIndex(it.value()));
    return row;
}

void FMResultSet::kvcMagic(QObject* object) const
{
    if (!object)
        return;
    const int count = columnCount();
    for (int i = 0; i < count; ++i) {
        const unsigned char* text = UTF8StringForColumnIndex(i);
        if (text)
            object->setProperty(columnNameForIndex(i).toUtf8().constData(),
                                QString::fromUtf8(reinterpret_cast<const char*>(text)));
    }
}
