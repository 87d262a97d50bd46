#include "SettingsTestSupport.h"
#include "database/ServerUrls.h"

#include <sqlite3.h>

namespace {

// Counts the statements a connection starts while it lives.
class StatementCounter
{
public:
    explicit StatementCounter(FMDatabase& db) : m_handle(db.sqliteHandle())
    {
        sqlite3_trace_v2(m_handle, SQLITE_TRACE_STMT, &StatementCounter::traced, this);
    }
    ~StatementCounter() { sqlite3_trace_v2(m_handle, 0, nullptr, nullptr); }

    int count() const { return m_count; }
    const QStringList& texts() const { return m_texts; }

private:
    static int traced(unsigned, void* context, void* statement, void*)
    {
        auto* self = static_cast<StatementCounter*>(context);
        ++self->m_count;
        self->m_texts.append(QString::fromUtf8(sqlite3_sql(static_cast<sqlite3_stmt*>(statement))));
        return 0;
    }

    sqlite3* m_handle;
    int m_count = 0;
    QStringList m_texts;
};

}  // namespace

// Start-up reads the URL table and a score of settings on a warm file: each read is its one
// statement, and a table another connection took away is still made again.
class WarmReadTest : public SettingsTest
{
};

TEST_F(WarmReadTest, AWarmSettingOrAccountIsOneStatementAndAMissingSettingTwo)
{
    SettingsDatabaseOperate::Lease settings;
    ASSERT_TRUE(settings);
    const std::shared_ptr<FMDatabase> db = settings->loadDB(QStringLiteral("tidwenMAC.db"));
    ASSERT_TRUE(db);
    EXPECT_TRUE(settings->getDouZaiMai());  // makes the table and stores the default
    EXPECT_EQ(settings->UserLandData_getCurrentUserData(), nullptr);  // makes the accounts table

    struct Case
    {
        const char* what;
        std::function<void()> read;
        int statements;
    };
    const Case cases[] = {
        {"stored flag", [&] { EXPECT_TRUE(settings->getDouZaiMai()); }, 1},
        {"stored tip", [&] { EXPECT_TRUE(settings->isShowMainViewTiShi()); }, 1},
        {"missing key with a default", [&] { EXPECT_FALSE(settings->getAllMute()); }, 2},
        {"the same key again", [&] { EXPECT_FALSE(settings->getAllMute()); }, 1},
        {"no current account", [&] { EXPECT_EQ(settings->UserLandData_getCurrentUserData(), nullptr); }, 1},
    };
    for (const Case& c : cases) {
        StatementCounter counter(*db);
        c.read();
        EXPECT_EQ(counter.count(), c.statements) << c.what << ": " << counter.texts().join(" | ").toStdString();
    }
}

TEST_F(WarmReadTest, AWarmUrlTableIsOneStatement)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    const std::shared_ptr<FMDatabase> db = store->loadDB(QStringLiteral("tidwenMAC.db"));
    ASSERT_TRUE(db);
    ASSERT_TRUE(store->UrlList_get());

    StatementCounter counter(*db);
    ASSERT_TRUE(store->UrlList_get());
    EXPECT_EQ(counter.count(), 1) << counter.texts().join(" | ").toStdString();
    EXPECT_EQ(kUrlNewsListXml, ServerUrls::builtInValue(16));
}

TEST_F(WarmReadTest, ASettingsTableDroppedByAnotherConnectionIsMadeAgain)
{
    SettingsDatabaseOperate::Lease settings;
    ASSERT_TRUE(settings);
    ASSERT_TRUE(settings->setDouZaiMai(0));
    EXPECT_FALSE(settings->getDouZaiMai());

    // Another connection changes a value: the warm read sees it.
    ASSERT_TRUE(file().executeUpdate(QStringLiteral("UPDATE Settings SET value = '1' WHERE name = 'DouZaiMai'")));
    EXPECT_TRUE(settings->getDouZaiMai());

    // Another program version drops the table: the next read makes it again with its tip rows
    // and stores the key's default, as on a fresh file.
    ASSERT_TRUE(file().executeUpdate(QStringLiteral("DROP TABLE Settings")));
    EXPECT_FALSE(settings->getAllMute());
    EXPECT_EQ(stored(QStringLiteral("AllMute")), QStringLiteral("0"));
    EXPECT_EQ(stored(QStringLiteral("ShowMainViewTiShi")), QStringLiteral("1"));
    EXPECT_EQ(stored(QStringLiteral("ShowNewsViewTiShiNew")), QStringLiteral("1"));
    EXPECT_TRUE(settings->getDouZaiMai());  // inserted default: YES
    EXPECT_EQ(stored(QStringLiteral("DouZaiMai")), QStringLiteral("1"));

    // Remade with its columns the other way round: the value is still read by its name.
    ASSERT_TRUE(file().executeUpdate(QStringLiteral("DROP TABLE Settings")));
    ASSERT_TRUE(file().executeUpdate(QStringLiteral("CREATE TABLE Settings (value text, name text PRIMARY KEY)")));
    ASSERT_TRUE(file().executeUpdate(QStringLiteral("INSERT INTO Settings VALUES ('21:30', 'NightStartTime')")));
    EXPECT_EQ(settings->getStartTime(), QStringLiteral("21:30"));
}

TEST_F(WarmReadTest, AUrlTableDroppedByAnotherConnectionIsMadeAgain)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store);
    QStringList urls;
    for (int number = 1; number <= ServerUrls::kKeyCount; ++number)
        urls.append(QStringLiteral("https://moved.test/u%1").arg(number));
    ASSERT_TRUE(store->UrlList_update(urls));
    ASSERT_TRUE(store->UrlList_get());
    EXPECT_EQ(kUrlNewsListXml, QStringLiteral("https://moved.test/u16"));

    UserDefaults::standardUserDefaults().setString(QStringLiteral("7"), QStringLiteral("UrlsVersion1"));
    ASSERT_TRUE(file().executeUpdate(QStringLiteral("DROP TABLE UrlList1")));
    EXPECT_TRUE(store->UrlList_get());
    EXPECT_EQ(kUrlNewsListXml, ServerUrls::builtInValue(16));
    EXPECT_EQ(rowCount(QStringLiteral("UrlList1")), ServerUrls::kKeyCount);
    EXPECT_EQ(UserDefaults::standardUserDefaults().stringForKey(QStringLiteral("UrlsVersion1")), QStringLiteral("1"));

    // Closing the store forgets what its connection had seen; the next read checks again.
    store->closeDB();
    ASSERT_TRUE(file().executeUpdate(QStringLiteral("UPDATE UrlList1 SET ListUrl = 'https://again.test/n' WHERE UrlName = 'u16'")));
    EXPECT_TRUE(store->UrlList_get());
    EXPECT_EQ(kUrlNewsListXml, QStringLiteral("https://again.test/n"));
}
