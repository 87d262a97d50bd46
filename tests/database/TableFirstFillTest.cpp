#include "SettingsTestSupport.h"
#include "database/StoreConnection.h"

#include <QTemporaryDir>

#include <sqlite3.h>

namespace {

// Stands for a process that ended at a bad moment while a table was made: its connection
// refuses either every row written into the table or the commit that would keep them.
class Interruption
{
public:
    enum class At { Rows, Commit };

    Interruption(FMDatabase& db, const QString& table, At at) : m_db(db), m_table(table.toUtf8()), m_at(at)
    {
        sqlite3_set_authorizer(m_db.sqliteHandle(), &Interruption::judge, this);
    }
    ~Interruption() { lift(); }
    // The connection may have been closed by the store meanwhile.
    void lift()
    {
        if (m_db.sqliteHandle())
            sqlite3_set_authorizer(m_db.sqliteHandle(), nullptr, nullptr);
    }

private:
    static int judge(void* context, int action, const char* first, const char*, const char*, const char*)
    {
        const auto* self = static_cast<Interruption*>(context);
        if (self->m_at == At::Rows && action == SQLITE_INSERT && first && qstricmp(first, self->m_table.constData()) == 0)
            return SQLITE_DENY;
        if (self->m_at == At::Commit && action == SQLITE_TRANSACTION && first && qstricmp(first, "COMMIT") == 0)
            return SQLITE_DENY;
        return SQLITE_OK;
    }

    FMDatabase& m_db;
    QByteArray m_table;
    At m_at;
};

int rowsIn(const QString& databasePath, const QString& table)
{
    const std::shared_ptr<FMDatabase> db = FMDatabase::databaseWithPath(databasePath);
    if (!db->open())
        return -1;
    const int rows = db->tableExists(table) ? db->intForQuery(QStringLiteral("SELECT count(*) FROM ") + table, {}) : -1;
    db->close();
    return rows;
}

struct Case
{
    const char* table;
    bool settingsStore;  // else the content store
    std::function<void()> makeTable;
};

void runOnContentStore(const std::function<void(DatabaseOperate&)>& operation)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    operation(*store);
}

const Case kTablesWithDefaultRows[] = {
    {"Settings", true, [] { SettingsDatabaseOperate::Lease()->isShowNewsViewTiShi(); }},
    {"CategoryList", false, [] { runOnContentStore([](DatabaseOperate& s) { s.NewsList_check(); }); }},
    {"NewWebFileLastUpdateTime", false, [] { runOnContentStore([](DatabaseOperate& s) { s.WebFileLastUpdateTime_check(); }); }},
    {"NewWebFileLastModifyTime", false, [] { runOnContentStore([](DatabaseOperate& s) { s.WebFileLastModifyTime_check(); }); }},
    {"NewListMaxNewsID", false, [] { runOnContentStore([](DatabaseOperate& s) { s.ListMaxNewsID_check(); }); }},
    {"UrlList1", false, [] { runOnContentStore([](DatabaseOperate& s) { s.UrlList_check(); }); }},
    {"ForumList1", false, [] { runOnContentStore([](DatabaseOperate& s) { s.ForumList_check(); }); }},
    {"HotProductList", false, [] { runOnContentStore([](DatabaseOperate& s) { s.HotProduct_check(); }); }},
};

}  // namespace

class TableFirstFillTest : public SettingsTest
{
protected:
    static void closeBoth()
    {
        DatabaseOperate::Lease()->closeDB();
        SettingsDatabaseOperate::Lease()->closeDB();
    }
    // A fresh connection of the case's store, on which the interruption is set.
    static std::shared_ptr<FMDatabase> storeConnection(const Case& c)
    {
        if (c.settingsStore)
            return SettingsDatabaseOperate::Lease()->loadDB(QString::fromLatin1(kDatabaseFileName));
        return DatabaseOperate::Lease()->loadDB(QString::fromLatin1(kDatabaseFileName));
    }
};

// A table is made with its default rows or not at all: a store that ended (or whose connection
// closed) between making a table and filling it finds the table whole on its next open, not
// empty for ever.
TEST_F(TableFirstFillTest, ATableLeftUnfilledIsMadeWithItsRowsOnTheNextOpen)
{
    for (const Case& c : kTablesWithDefaultRows) {
        const QString table = QString::fromLatin1(c.table);
        // How many rows the table starts with, as an undisturbed first use makes it.
        QTemporaryDir reference;
        ASSERT_TRUE(reference.isValid());
        StorageRoot::setRoot(reference.path());
        c.makeTable();
        closeBoth();
        const int defaults = rowsIn(databasePath(), table);
        ASSERT_GT(defaults, 0) << c.table;

        for (const Interruption::At at : {Interruption::At::Rows, Interruption::At::Commit}) {
            const char* when = at == Interruption::At::Rows ? "before its rows" : "before its commit";
            QTemporaryDir home;
            ASSERT_TRUE(home.isValid());
            StorageRoot::setRoot(home.path());
            {
                const std::shared_ptr<FMDatabase> db = storeConnection(c);
                ASSERT_TRUE(db) << c.table;
                Interruption interruption(*db, table, at);
                c.makeTable();
                interruption.lift();
            }
            closeBoth();

            c.makeTable();
            closeBoth();
            EXPECT_EQ(rowsIn(databasePath(), table), defaults) << c.table << ", interrupted " << when;
        }
    }
    StorageRoot::setRoot(m_root.path());
}

// The two tips start out to be shown also when the first attempt at the table was interrupted.
TEST_F(TableFirstFillTest, TheTipsOfAnInterruptedFirstStartAreStillShown)
{
    {
        SettingsDatabaseOperate::Lease settings;
        ASSERT_TRUE(settings);
        const std::shared_ptr<FMDatabase> db = settings->loadDB(QString::fromLatin1(kDatabaseFileName));
        ASSERT_TRUE(db);
        Interruption interruption(*db, QStringLiteral("Settings"), Interruption::At::Rows);
        settings->getDouZaiMai();
        interruption.lift();
        settings->closeDB();
    }
    SettingsDatabaseOperate::Lease settings;
    EXPECT_TRUE(settings->isShowMainViewTiShi());
    EXPECT_EQ(stored(QStringLiteral("ShowMainViewTiShi")), QStringLiteral("1"));
    EXPECT_EQ(stored(QStringLiteral("ShowNewsViewTiShiNew")), QStringLiteral("1"));
}
