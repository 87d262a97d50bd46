#include "Library/FMDB/FMStatement.h"

#include "Library/FMDB/FMDatabase.h"

FMStatement::~FMStatement()
{
    close();
}

void FMStatement::close()
{
    if (m_statement) {
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
    }
    if (m_owner) {
        m_owner->statementDidClose(this);
        m_owner = nullptr;
    }
}

const QHash<QString, int>& FMStatement::columnNameToIndexMap()
{
    if (!m_statement) {
        m_columnNameToIndexMap.clear();
        m_columnMapPreparation = -1;
        return m_columnNameToIndexMap;
    }
    const int preparation = sqlite3_stmt_status(m_statement, SQLITE_STMTSTATUS_REPREPARE, 0);
    if (preparation != m_columnMapPreparation) {
        QHash<QString, int> map;
        const int count = sqlite3_column_count(m_statement);
        for (int i = 0; i < count; ++i)
            map.insert(QString::fromUtf8(sqlite3_column_name(m_statement, i)).toLower(), i);
        m_columnNameToIndexMap = std::move(map);
        m_columnMapPreparation = preparation;
    }
    return m_columnNameToIndexMap;
}

void FMStatement::reset()
{
    if (m_statement)
        sqlite3_reset(m_statement);
}

QString FMStatement::description() const
{
    return QStringLiteral("<FMStatement: 0x%1> %2 hit(s) for query %3")
        .arg(quintptr(this), 0, 16)
        .arg(m_useCount)
        .arg(m_query);
}
