#include "database/DatabaseOperate.h"

#include "Library/FMDB/FMDatabase.h"
#include "Library/FMDB/FMResultSet.h"
#include "database/ServerUrls.h"
#include "database/StoreStatements.h"
#include "platform/UserDefaults.h"

#include <array>

namespace {

const QString kInsertUrl = QStringLiteral("INSERT INTO UrlList1 (UrlName, ListUrl) VALUES (?,?)");

BoundStatement insertBuiltInRow(int number)
{
    return {kInsertUrl, {ServerUrls::keyName(number), ServerUrls::builtInValue(number)}};
}

}  // namespace

bool DatabaseOperate::UrlList_check()
{
    if (!m_connection.connect())
        return false;
    // Every key's built-in row comes with the table, in its transaction.
    QList<BoundStatement> builtIn;
    for (int number = 1; number <= ServerUrls::kKeyCount; ++number)
        builtIn.append(insertBuiltInRow(number));
    bool created = false;
    if (!m_connection.ensureTable(QStringLiteral("UrlList1"),
                                  QStringLiteral("CREATE TABLE UrlList1 (UrlName text PRIMARY KEY, ListUrl text)"),
                                  &created, builtIn))
        return false;
    if (!created) {
        // A table from an older version may lack the last key; a stored row stays as it is
        // (the insert fails on the key).
        StoreStatements::run(*m_connection.db(), insertBuiltInRow(ServerUrls::kKeyCount));
        return true;
    }
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    defaults.setString(QStringLiteral("1"), QStringLiteral("UrlsVersion1"));
    defaults.synchronize();
    return true;
}

bool DatabaseOperate::UrlList_get()
{
    for (int number = 1; number <= ServerUrls::kKeyCount; ++number) {
        if (QString* global = ServerUrls::global(number))
            *global = ServerUrls::builtInValue(number);
    }
    if (!m_connection.connect())
        return false;
    std::array<QString, ServerUrls::kKeyCount> stored;
    bool ran = false;
    bool complete = true;
    bool checked = false;  // UrlList_check ran, and with it the insert of the last key
    const auto check = [&] {
        checked = true;
        return UrlList_check();
    };
    const bool read = m_connection.readTable(QStringLiteral("UrlList1"), check, [&](FMDatabase& db) {
        stored.fill(QString());
        complete = true;
        ran = StoreStatements::eachRow(db, {QStringLiteral("SELECT UrlName, ListUrl FROM UrlList1"), {}},
                                       [&](FMResultSet& row) {
                                           const QString value = row.stringForColumnIndex(1);
                                           if (value.isEmpty()) {
                                               complete = false;  // one empty address: the whole table is
                                               return false;      // set aside for this run
                                           }
                                           if (const int number = ServerUrls::keyNumber(row.stringForColumnIndex(0)))
                                               stored[std::size_t(number - 1)] = value;
                                           return true;
                                       });
        return ran;
    });
    if (!read)
        return false;
    if (!checked && (!complete || stored.back().isNull())) {
        // Read without the check: a table from an older version may lack the last key, which the
        // check adds (a stored row stays as it is); its global already holds the built-in value.
        StoreStatements::run(*m_connection.db(), insertBuiltInRow(ServerUrls::kKeyCount));
    }
    if (!ran || !complete)
        return false;

    // A key without a row keeps its built-in value.
    for (int number = 1; number <= ServerUrls::kKeyCount; ++number) {
        QString* global = ServerUrls::global(number);
        const QString& value = stored[std::size_t(number - 1)];
        if (global && !value.isNull())
            *global = value;
    }
    return true;
}

bool DatabaseOperate::UrlList_update(const QStringList& urls)
{
    if (!UrlList_check())
        return false;
    // Item i goes to key u(i+1); item 0 (key u1) is not written.
    if (urls.size() < ServerUrls::kKeyCount)
        return false;
    FMDatabase& db = *m_connection.db();
    return StoreStatements::inTransaction(db, [&] {
        for (int i = 1; i < ServerUrls::kKeyCount; ++i) {
            const BoundStatement update{QStringLiteral("UPDATE UrlList1 SET ListUrl = ? where UrlName = ?"),
                                        {urls.at(i), ServerUrls::keyName(i + 1)}};
            if (!StoreStatements::run(db, update))
                return false;
        }
        return true;
    });
}
