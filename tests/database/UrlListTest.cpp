#include "DatabaseTestSupport.h"
#include "database/ServerUrls.h"

#include <QStringList>
#include <QUrl>

namespace {

// A complete list for an update: item i stands for key u(i+1).
QStringList updateList(const QString& tag)
{
    QStringList urls;
    for (int i = 0; i < ServerUrls::kKeyCount; ++i)
        urls.append(QStringLiteral("https://%1.test/u%2").arg(tag).arg(i + 1));
    return urls;
}

// Every key that has a global, with its value of now.
QStringList globals()
{
    QStringList values;
    for (int number = 1; number <= ServerUrls::kKeyCount; ++number) {
        if (const QString* global = ServerUrls::global(number))
            values.append(*global);
    }
    return values;
}

QStringList builtInGlobals()
{
    QStringList values;
    for (int number = 1; number <= ServerUrls::kKeyCount; ++number) {
        if (ServerUrls::global(number))
            values.append(ServerUrls::builtInValue(number));
    }
    return values;
}

}  // namespace

class UrlListTest : public DatabaseTest
{
protected:
    QString stored(int number)
    {
        return file().stringForQuery(QStringLiteral("SELECT ListUrl FROM UrlList1 WHERE UrlName = ?"),
                                     {ServerUrls::keyName(number)});
    }
};

TEST(ServerUrls, BuiltInValuesFollowTheKeyTable)
{
    int withGlobal = 0;
    for (int number = 1; number <= ServerUrls::kKeyCount; ++number) {
        const QString value = ServerUrls::builtInValue(number);
        if (ServerUrls::global(number))
            ++withGlobal;
        EXPECT_FALSE(value.endsWith(QLatin1Char('/'))) << number;
        if (number >= 9 && number <= 11) {
            EXPECT_FALSE(value.contains(QStringLiteral("://"))) << number;
            EXPECT_TRUE(value.endsWith(QStringLiteral(".tidwen.example"))) << number;
            continue;
        }
        const QUrl url(value);
        EXPECT_TRUE(url.scheme() == QStringLiteral("http") || url.scheme() == QStringLiteral("https")) << number;
        EXPECT_TRUE(url.host().endsWith(QStringLiteral("tidwen.example"))) << value.toStdString();
    }
    EXPECT_EQ(withGlobal, 77);
    EXPECT_EQ(ServerUrls::builtInValue(27), ServerUrls::builtInValue(64));
    for (const int root : {42, 45, 90, 91})
        EXPECT_TRUE(QUrl(ServerUrls::builtInValue(root)).path().isEmpty()) << root;
    EXPECT_EQ(ServerUrls::builtInValue(16), QStringLiteral("http://api.tidwen.example/xml/newslist/news.xml"));
    EXPECT_EQ(ServerUrls::builtInValue(100), QStringLiteral("https://account.tidwen.example/api/user.asmx/MP"));
    EXPECT_EQ(ServerUrls::global(16), &kUrlNewsListXml);
    EXPECT_EQ(ServerUrls::global(9), nullptr);
    EXPECT_TRUE(ServerUrls::builtInValue(0).isNull());
    EXPECT_TRUE(ServerUrls::builtInValue(101).isNull());
}

TEST_F(UrlListTest, AFreshStartWritesTheDefaultRowsAndTheVersion)
{
    UserDefaults::standardUserDefaults().removeObjectForKey(QStringLiteral("UrlsVersion1"));
    kUrlNewsListXml = QStringLiteral("left over");
    DatabaseOperate::Lease store;
    EXPECT_TRUE(store->UrlList_get());

    EXPECT_EQ(globals(), builtInGlobals());
    EXPECT_EQ(UserDefaults::standardUserDefaults().stringForKey(QStringLiteral("UrlsVersion1")), QStringLiteral("1"));
    QStringList keys;
    QStringList values;
    auto rs = file().executeQuery(QStringLiteral("SELECT UrlName, ListUrl FROM UrlList1 ORDER BY rowid"));
    while (rs->next()) {
        keys.append(rs->stringForColumn(QStringLiteral("UrlName")));
        values.append(rs->stringForColumn(QStringLiteral("ListUrl")));
    }
    ASSERT_EQ(keys.size(), 100);
    for (int number = 1; number <= ServerUrls::kKeyCount; ++number) {
        EXPECT_EQ(keys.at(number - 1), ServerUrls::keyName(number));
        EXPECT_EQ(values.at(number - 1), ServerUrls::builtInValue(number));
    }
}

TEST_F(UrlListTest, AMissingLastRowIsAddedBackAndAStoredOneKept)
{
    {
        DatabaseOperate::Lease store;
        ASSERT_TRUE(store->UrlList_check());
    }
    ASSERT_TRUE(file().executeUpdate(QStringLiteral("DELETE FROM UrlList1 WHERE UrlName = 'u100'")));
    ASSERT_TRUE(file().executeUpdate(QStringLiteral("UPDATE UrlList1 SET ListUrl = 'https://moved.test/a' WHERE UrlName = 'u16'")));
    UserDefaults::standardUserDefaults().setString(QStringLiteral("7"), QStringLiteral("UrlsVersion1"));

    DatabaseOperate::Lease store;
    EXPECT_TRUE(store->UrlList_get());
    EXPECT_EQ(stored(100), ServerUrls::builtInValue(100));
    EXPECT_EQ(kUrlModifyPassword, ServerUrls::builtInValue(100));
    EXPECT_EQ(kUrlNewsListXml, QStringLiteral("https://moved.test/a"));
    EXPECT_EQ(rowCount(QStringLiteral("UrlList1")), 100);
    // Only a new table resets the version.
    EXPECT_EQ(UserDefaults::standardUserDefaults().stringForKey(QStringLiteral("UrlsVersion1")), QStringLiteral("7"));

    // A stored last row is left as it is.
    ASSERT_TRUE(file().executeUpdate(QStringLiteral("UPDATE UrlList1 SET ListUrl = 'https://moved.test/mp' WHERE UrlName = 'u100'")));
    EXPECT_TRUE(store->UrlList_get());
    EXPECT_EQ(kUrlModifyPassword, QStringLiteral("https://moved.test/mp"));
}

TEST_F(UrlListTest, AMissingRowKeepsItsDefaultAndOneEmptyValueSetsTheTableAside)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store->UrlList_update(updateList(QStringLiteral("new"))));
    ASSERT_TRUE(file().executeUpdate(QStringLiteral("DELETE FROM UrlList1 WHERE UrlName = 'u21'")));
    EXPECT_TRUE(store->UrlList_get());
    EXPECT_EQ(kUrlNewsContent, ServerUrls::builtInValue(21));
    EXPECT_EQ(kUrlNewsListXml, QStringLiteral("https://new.test/u16"));

    ASSERT_TRUE(file().executeUpdate(QStringLiteral("UPDATE UrlList1 SET ListUrl = '' WHERE UrlName = 'u50'")));
    EXPECT_FALSE(store->UrlList_get());
    EXPECT_EQ(globals(), builtInGlobals());

    ASSERT_TRUE(file().executeUpdate(QStringLiteral("UPDATE UrlList1 SET ListUrl = NULL WHERE UrlName = 'u50'")));
    EXPECT_FALSE(store->UrlList_get());
    EXPECT_EQ(kUrlNewsListXml, ServerUrls::builtInValue(16));
}

TEST_F(UrlListTest, AnUpdateWritesKeysTwoToAHundredAndTakesEffectAtTheNextStart)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store->UrlList_get());
    const QStringList before = globals();

    QStringList urls = updateList(QStringLiteral("next"));
    urls.append(QStringLiteral("https://extra.test/ignored"));
    EXPECT_TRUE(store->UrlList_update(urls));
    EXPECT_EQ(stored(1), ServerUrls::builtInValue(1));
    for (int number = 2; number <= ServerUrls::kKeyCount; ++number)
        EXPECT_EQ(stored(number), urls.at(number - 1)) << number;
    EXPECT_EQ(rowCount(QStringLiteral("UrlList1")), 100);
    EXPECT_EQ(globals(), before);

    // The next start loads them; u1 was never written.
    EXPECT_TRUE(store->UrlList_get());
    EXPECT_EQ(kUrlCommentReplyCount, ServerUrls::builtInValue(1));
    EXPECT_EQ(kUrlVundReplyCount, QStringLiteral("https://next.test/u2"));
    EXPECT_EQ(kUrlModifyPassword, QStringLiteral("https://next.test/u100"));
}

TEST_F(UrlListTest, AShortListOrAFailingWriteChangesNothing)
{
    DatabaseOperate::Lease store;
    ASSERT_TRUE(store->UrlList_check());
    QStringList urls = updateList(QStringLiteral("short"));
    urls.removeLast();
    EXPECT_FALSE(store->UrlList_update(urls));
    EXPECT_FALSE(store->UrlList_update({}));
    for (int number = 1; number <= ServerUrls::kKeyCount; ++number)
        ASSERT_EQ(stored(number), ServerUrls::builtInValue(number)) << number;

    // One write in the middle fails: the writes before it are rolled back.
    ASSERT_TRUE(file().executeUpdate(
        QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON UrlList1 WHEN old.UrlName = 'u60' "
                       "BEGIN SELECT RAISE(ABORT, 'refused'); END")));
    EXPECT_FALSE(store->UrlList_update(updateList(QStringLiteral("partial"))));
    EXPECT_EQ(stored(2), ServerUrls::builtInValue(2));
    EXPECT_EQ(stored(59), ServerUrls::builtInValue(59));
    EXPECT_EQ(stored(100), ServerUrls::builtInValue(100));
    // The store is usable afterwards: no transaction was left open.
    ASSERT_TRUE(file().executeUpdate(QStringLiteral("DROP TRIGGER refuse")));
    EXPECT_TRUE(store->UrlList_update(updateList(QStringLiteral("whole"))));
    EXPECT_EQ(stored(60), QStringLiteral("https://whole.test/u60"));
}

TEST_F(UrlListTest, AValueWithAQuoteIsStoredVerbatim)
{
    DatabaseOperate::Lease store;
    QStringList urls = updateList(QStringLiteral("q"));
    urls[15] = QStringLiteral("https://q.test/it's?a='b'; DROP TABLE UrlList1;--");
    EXPECT_TRUE(store->UrlList_update(urls));
    EXPECT_EQ(stored(16), urls.at(15));
    EXPECT_TRUE(store->UrlList_get());
    EXPECT_EQ(kUrlNewsListXml, urls.at(15));
}

TEST_F(UrlListTest, AnUnusableStoreKeepsTheDefaults)
{
    QTemporaryDir blocked;
    blockDocumentsFolder(blocked);

    DatabaseOperate::Lease store;
    kUrlRss = QStringLiteral("left over");
    EXPECT_FALSE(store->UrlList_get());
    EXPECT_EQ(globals(), builtInGlobals());
    EXPECT_FALSE(store->UrlList_update(updateList(QStringLiteral("x"))));
    store->closeDB();
}
