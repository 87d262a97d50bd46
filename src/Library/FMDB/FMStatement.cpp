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
