#include "DatabaseTestSupport.h"

#include "database/SettingsDatabaseOperate.h"
#include "foundation/AlertPresenter.h"
#include "foundation/CommonFunction.h"

#include "TestEnvironment.h"
#include "WithoutRootFileAccess.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <list>

#include <sys/resource.h>
#include <sys/wait.h>

using namespace std::chrono_literals;

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The files of the folder the pattern matches, without logs and their indexes.
QStringList filesWithoutLogs(const QString& folder, const QString& pattern)
{
    QStringList files = QDir(folder).entryList({pattern}, QDir::Files);
    files.removeIf([](const QString& name) { return name.endsWith(QLatin1String("-wal")) || name.endsWith(QLatin1String("-shm")); });
    return files;
}

// Keeps the information texts the stores give the reader while it lives.
class AlertRecord : public AlertPresenter
{
public:
    AlertRecord() = default;
    void presentAlert(const QString&, const QString& informativeText, const QString&, QWidget*) override
    {
        texts.append(informativeText);
    }
    QStringList texts;
};

class DamagedStoreTest : public DatabaseTest
{
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        m_previous = CommonFunction::setAlertPresenter(alerts);
    }
    void TearDown() override
    {
        SettingsDatabaseOperate::Lease()->closeDB();
        CommonFunction::setAlertPresenter(m_previous);
        DatabaseTest::TearDown();
    }

    // The texts told once every queued one has come.
    QStringList toldTexts()
    {
        spin(50);
        return alerts->texts;
    }

    static void closeStores()
    {
        DatabaseOperate::Lease()->closeDB();
        SettingsDatabaseOperate::Lease()->closeDB();
    }

    // A store file with a few pages of rows, its log folded in.
    void fillStore(int rows = 400)
    {
        {
            DatabaseOperate::Lease store;
            ASSERT_TRUE(store->NewsList_check());
            for (int i = 0; i < rows; ++i)
                store->setNewsState(QString::number(100000 + i), true, QStringLiteral("2020-01-01 00:00:00 and some text"));
        }
        closeStores();
        ASSERT_FALSE(QFile::exists(databasePath() + QStringLiteral("-wal")));
    }

    void writeGarbage()
    {
        QByteArray bytes(64 * 1024, '\0');
        for (char& c : bytes)
            c = char(QRandomGenerator::global()->bounded(256));
        QFile file(databasePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    // One read mark's entry leaves its table's index, as a torn write can leave it; both stay
    // readable. Then, when asked, a row repeating its key gets in past the index.
    void loseIndexEntry(bool repeatIt = false)
    {
        sqlite3* db = file().sqliteHandle();
        const int index = file().intForQuery(QStringLiteral("SELECT rootpage FROM sqlite_master WHERE name = 'sqlite_autoindex_NewsState_1'"));
        ASSERT_EQ(sqlite3_test_control(SQLITE_TESTCTRL_IMPOSTER, db, "main", 1, index), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE entries (guid text, id int, PRIMARY KEY (guid, id)) WITHOUT ROWID", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_test_control(SQLITE_TESTCTRL_IMPOSTER, db, "main", 0, 0);
        ASSERT_EQ(sqlite3_exec(db, "DELETE FROM entries WHERE guid = '100005'", nullptr, nullptr, nullptr), SQLITE_OK);
        ASSERT_TRUE(!repeatIt || sqlite3_exec(db, "INSERT INTO NewsState VALUES ('100005', 0, 'again')", nullptr, nullptr, nullptr) == SQLITE_OK);
        m_file->close();
        m_file.reset();
    }

    // The table's top page, or the middle one of its pages of rows, is overwritten; gives its rows.
    int overwritePage(const QString& table, bool middle = false)
    {
        const qint64 page = file().intForQuery(QStringLiteral("PRAGMA page_size"));
        const qint64 number = file().intForQuery(
            middle ? QStringLiteral("SELECT pageno FROM dbstat WHERE name = ?1 AND pagetype = 'leaf' ORDER BY path "
                                    "LIMIT 1 OFFSET (SELECT count(*) / 2 FROM dbstat WHERE name = ?1 AND pagetype = 'leaf')")
                   : QStringLiteral("SELECT rootpage FROM sqlite_master WHERE name = ?1"),
            {table});
        const int rows = file().intForQuery(QStringLiteral("SELECT ncell FROM dbstat WHERE pageno = ?"), {number});
        m_file->close();
        m_file.reset();
        QFile damaged(databasePath());
        EXPECT_TRUE(damaged.open(QIODevice::ReadWrite) && damaged.seek((number - 1) * page));
        damaged.write(QByteArray(page, '\x5a'));
        return rows;
    }

    // Each case on a storage root of its own, as on a first start.
    void startOver()
    {
        closeStores();
        m_file.reset();
        StorageRoot::setRoot(m_roots.emplace_back().path());
        alerts->texts.clear();
    }

    // The file as the next run finds it: in a place this run has not looked at.
    void asTheNextRunFindsIt()
    {
        const QByteArray bytes = readAll(databasePath());
        startOver();
        QFile file(databasePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    int shownChannels()
    {
        DatabaseOperate::Lease store;
        QList<NewsListDataPtr> shown;
        return store && store->NewsList_getCurrentDisplayNewsList(shown) ? int(shown.size()) : -1;
    }

    std::shared_ptr<AlertRecord> alerts = std::make_shared<AlertRecord>();

private:
    std::shared_ptr<AlertPresenter> m_previous;
    std::list<QTemporaryDir> m_roots;  // removed once the test is over
};

const QString kResetText = QStringLiteral("本地数据已损坏，已恢复默认设置");
const QString kReadOnlyText = QStringLiteral("本地数据无法写入，所做更改将不会保存");
const QString kAllKeptText = QStringLiteral("本地数据已损坏，已完整恢复");
const QString kPartKeptText = QStringLiteral("本地数据已损坏，部分数据已丢失，其余已恢复");

}  // namespace

// A file that is not a usable database is renamed beside itself, a new one starts with the
// defaults for both stores, and the reader hears of it once.
TEST_F(DamagedStoreTest, AFileThatIsNotADatabaseIsSetAsideAndBothStoresStartOverSayingSoOnce)
{
    const int defaults = shownChannels();
    ASSERT_GT(defaults, 0);
    for (const auto& [damage, told] : {std::pair{"garbage", kResetText}, {"cut short", kPartKeptText}, {"an index entry lost", kAllKeptText},
                                       {"a key repeated past its lost index entry", kPartKeptText}}) {
        SCOPED_TRACE(damage);
        startOver();
        if (QByteArray(damage) == "garbage") {
            writeGarbage();
        } else if (QByteArray(damage) == "cut short") {
            fillStore();
            QFile file(databasePath());
            ASSERT_TRUE(file.resize(file.size() / 2));
        } else {
            fillStore();
            loseIndexEntry(QByteArray(damage) != "an index entry lost");
        }
        const QByteArray damaged = readAll(databasePath());
        asTheNextRunFindsIt();
        const QString documents = StorageRoot::documentsPath();

        EXPECT_EQ(shownChannels(), defaults);
        {
            SettingsDatabaseOperate::Lease settings;
            EXPECT_TRUE(settings->setContentFontSize(QStringLiteral("16")));
            EXPECT_EQ(settings->contentFontSize(), QStringLiteral("16"));
        }
        EXPECT_EQ(shownChannels(), defaults);
        EXPECT_EQ(toldTexts(), QStringList{told});
        const QStringList aside = filesWithoutLogs(documents, QStringLiteral("tidwenMAC.db.damaged-*"));
        ASSERT_EQ(aside.size(), 1) << QDir(documents).entryList().join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(readAll(QDir(documents).filePath(aside.first())), damaged);
    }
}

// A folder that takes no side file: what the file holds is read, nothing is saved, and the
// reader is told so once.
TEST_F(DamagedStoreTest, AFileWhoseFolderTakesNoSideFileIsReadAsItStands)
{
    fillStore();
    // Folders in the places of the log and its index keep SQLite from making them, as a
    // read-only folder does (which the tests, run as root, cannot make).
    ASSERT_TRUE(QDir().mkpath(databasePath() + QStringLiteral("-wal")));
    ASSERT_TRUE(QDir().mkpath(databasePath() + QStringLiteral("-shm")));
    const QByteArray before = readAll(databasePath());

    EXPECT_GT(shownChannels(), 0);
    {
        DatabaseOperate::Lease store;
        QElapsedTimer timer;
        timer.start();
        EXPECT_FALSE(store->setLastUpdateTime(QStringLiteral("2020-02-02 00:00:00"), 3));
        EXPECT_LT(timer.elapsed(), 900);
    }
    EXPECT_GT(shownChannels(), 0);
    EXPECT_EQ(toldTexts(), QStringList{QStringLiteral("本地数据无法写入，所做更改将不会保存")});
    closeStores();
    EXPECT_EQ(readAll(databasePath()), before);
}

class HeldStoreTest : public DamagedStoreTest
{
protected:
    void SetUp() override
    {
        DamagedStoreTest::SetUp();
        DatabaseOperate::Lease store;
        ASSERT_TRUE(store->setLastUpdateTime(QStringLiteral("2020-01-01 00:00:00"), 1));
        // Another connection writes and keeps the file locked.
        ASSERT_TRUE(file().beginTransaction());
        ASSERT_TRUE(file().executeUpdate(QStringLiteral("INSERT INTO LastUpdateTime VALUES (2, 'x')")));
    }
};

// A file another connection keeps locked holds the main thread up for a moment, once; then
// writes give up at a glance and the reader learns why nothing is saved, until the lock ends.
TEST_F(HeldStoreTest, AFileHeldElsewhereStallsTheMainThreadOnceAndTheReaderLearnsWhy)
{
    DatabaseOperate::Lease store;
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(store->setLastUpdateTime(QStringLiteral("2020-02-02 00:00:00"), 3));
    EXPECT_LT(timer.elapsed(), 3000) << "the main thread's wait is short";
    timer.restart();
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(store->setLastUpdateTime(QStringLiteral("2020-02-02 00:00:00"), 4 + i));
    EXPECT_LT(timer.elapsed(), 1500) << "later writes give up at a glance";
    EXPECT_EQ(store->getLastUpdateTime(1), QStringLiteral("2020-01-01 00:00:00"));
    EXPECT_EQ(toldTexts(), QStringList{QStringLiteral("本地数据正被其他程序占用，暂时无法保存")});

    ASSERT_TRUE(file().commit());
    EXPECT_TRUE(store->setLastUpdateTime(QStringLiteral("2020-02-02 00:00:00"), 3));
    EXPECT_EQ(store->getLastUpdateTime(3), QStringLiteral("2020-02-02 00:00:00"));
}

// A damaged file in a folder that refuses renames: both stores start on their defaults, kept in
// memory, and the reader hears once that the data is damaged and nothing is saved.
TEST_F(DamagedStoreTest, ADamagedFileThatCannotBeSetAsideLeavesTheDefaultsInMemorySayingSoOnce)
{
    const int defaults = shownChannels();
    for (const auto& [damage, refusing] : {std::pair{"garbage", "folder"}, {"a channel page overwritten", "folder"}, {"a channel page overwritten", "file"}}) {
        SCOPED_TRACE(std::string(damage) + ", the " + refusing + " refusing writes");
        startOver();
        if (QByteArray(damage) == "garbage") {
            writeGarbage();
        } else {
            fillStore();
            overwritePage(QStringLiteral("CategoryList"));
        }
        asTheNextRunFindsIt();
        const QByteArray damaged = readAll(databasePath());
        const QString documents = StorageRoot::documentsPath();
        const QString refuses = QByteArray(refusing) == "file" ? databasePath() : documents;
        ASSERT_TRUE(QFile::setPermissions(refuses, QFile::ReadOwner | QFile::ExeOwner));
        {
            WithoutRootFileAccess asAReader;
            EXPECT_EQ(shownChannels(), defaults);
            {
                SettingsDatabaseOperate::Lease settings;
                EXPECT_TRUE(settings->setContentFontSize(QStringLiteral("16")));
                EXPECT_EQ(settings->contentFontSize(), QStringLiteral("16"));
            }
            EXPECT_EQ(shownChannels(), defaults);
            EXPECT_EQ(toldTexts(), QStringList{kResetText + QLatin1Char('\n') + kReadOnlyText});
            closeStores();
        }
        EXPECT_EQ(filesWithoutLogs(documents, QStringLiteral("*")), QStringList{QStringLiteral("tidwenMAC.db")});
        EXPECT_EQ(readAll(databasePath()), damaged);
    }
}

// Damage that a statement meets during a run (after the file's pages were checked at its opening)
// is handled as at start, once: the file is set aside, what can still be read of it is kept, and
// the writes after it are saved.
TEST_F(DamagedStoreTest, DamageMetDuringARunIsSetAsideOnceKeepingWhatCanStillBeRead)
{
    for (const auto& [damage, told] : {std::pair{"a page overwritten", kPartKeptText}, {"an index entry lost", kAllKeptText}}) {
        SCOPED_TRACE(damage);
        startOver();
        {
            DatabaseOperate::Lease store;
            ASSERT_TRUE(store->setLastUpdateTime(QStringLiteral("2020-01-01 00:00:00"), 1));
        }
        fillStore();
        if (QByteArray(damage) == "a page overwritten")
            overwritePage(QStringLiteral("NewsState"));
        else
            loseIndexEntry();

        DatabaseOperate::Lease store;
        store->autoClearNewsStateDB(QStringLiteral("100010"));  // meets the damage
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(store->setNewsState(QString::number(900000 + i), true, QStringLiteral("2020-01-01 00:00:00")));
        EXPECT_EQ(store->getLastUpdateTime(1), QStringLiteral("2020-01-01 00:00:00"));
        EXPECT_EQ(toldTexts(), QStringList{told});
        EXPECT_EQ(QDir(StorageRoot::documentsPath()).entryList({QStringLiteral("tidwenMAC.db.damaged-*[0-9]")}).size(), 1);
    }
}

// A write the file refuses during a run (read-only, the disk full) tells the reader once that
// nothing is saved.
TEST_F(DamagedStoreTest, AWriteRefusedDuringARunTellsTheReaderOnce)
{
    for (const char* refusal : {"PRAGMA query_only = 1", "PRAGMA max_page_count = 1"}) {
        SCOPED_TRACE(refusal);
        startOver();
        DatabaseOperate::Lease store;
        ASSERT_TRUE(store->setNewsState(QStringLiteral("1"), true, QStringLiteral("t")));
        ASSERT_EQ(sqlite3_exec(store->loadDB(QStringLiteral("tidwenMAC.db"))->sqliteHandle(), refusal, nullptr, nullptr, nullptr),
                  SQLITE_OK);
        int refused = 0;
        for (int i = 2; i < 100; ++i)
            refused += !store->setNewsState(QString::number(i), true, QString(200, QLatin1Char('t')));
        EXPECT_GT(refused, 0);
        EXPECT_EQ(toldTexts(), QStringList{kReadOnlyText});
    }
}

// A file that cannot be opened at all: the stores work in memory from their defaults, and the
// reader hears once that nothing is saved.
TEST_F(DamagedStoreTest, AFileThatCannotBeOpenedGivesAWorkingStoreInMemorySayingSoOnce)
{
    const int defaults = shownChannels();
    for (const char* obstacle : {"a folder in its place", "another user's private file"}) {
        SCOPED_TRACE(obstacle);
        startOver();
        ASSERT_TRUE(QDir().mkpath(StorageRoot::documentsPath()));
        if (QByteArray(obstacle) == "a folder in its place") {
            ASSERT_TRUE(QDir().mkpath(databasePath()));
        } else {
            writeGarbage();
            ASSERT_EQ(::chown(QFile::encodeName(databasePath()).constData(), 65534, 65534), 0);
            ASSERT_TRUE(QFile::setPermissions(databasePath(), QFile::ReadOwner | QFile::WriteOwner));
        }
        WithoutRootFileAccess asAReader;
        EXPECT_EQ(shownChannels(), defaults);
        {
            DatabaseOperate::Lease store;
            EXPECT_TRUE(store->setLastUpdateTime(QStringLiteral("2020-01-01 00:00:00"), 1));
            EXPECT_EQ(store->getLastUpdateTime(1), QStringLiteral("2020-01-01 00:00:00"));
        }
        {
            SettingsDatabaseOperate::Lease settings;
            EXPECT_TRUE(settings->setContentFontSize(QStringLiteral("16")));
            EXPECT_EQ(settings->contentFontSize(), QStringLiteral("16"));
        }
        EXPECT_EQ(toldTexts(), QStringList{kReadOnlyText});
        closeStores();
    }
}

// A damaged page of one table loses only its rows: the rows before and after it, and every other
// table, before it or after it, are kept.
TEST_F(DamagedStoreTest, ASalvageLosesOnlyTheDamagedPageOfOneTable)
{
    ASSERT_TRUE(DatabaseOperate::Lease()->setLastUpdateTime(QStringLiteral("2020-01-01 00:00:00"), 1));
    fillStore();
    ASSERT_TRUE(SettingsDatabaseOperate::Lease()->setContentFontSize(QStringLiteral("16")));
    closeStores();
    const int lost = overwritePage(QStringLiteral("NewsState"), true);
    asTheNextRunFindsIt();

    EXPECT_EQ(DatabaseOperate::Lease()->getLastUpdateTime(1), QStringLiteral("2020-01-01 00:00:00"));
    EXPECT_EQ(SettingsDatabaseOperate::Lease()->contentFontSize(), QStringLiteral("16"));
    EXPECT_EQ(rowCount(QStringLiteral("NewsState"), QStringLiteral("WHERE guid IN ('100000', '100399')")), 2);
    EXPECT_EQ(rowCount(QStringLiteral("NewsState")), 400 - lost);
    EXPECT_EQ(toldTexts(), QStringList{kPartKeptText});
}

// Favourites lost, wholly or in part, leave their sync row at no version: the next sync downloads.
TEST_F(DamagedStoreTest, FavouritesNotKeptWholeLeaveTheirSyncRowAtNoVersion)
{
    for (const bool wholly : {true, false}) {
        SCOPED_TRACE(wholly ? "lost wholly" : "lost in part");
        startOver();
        ASSERT_TRUE(DatabaseOperate::Lease()->Favrite_Data_check(QStringLiteral("reader")));
        ASSERT_TRUE(file().executeUpdate(QStringLiteral("UPDATE FavriteUserAndContents SET favritteVersion = 1, bModified = 1")));
        ASSERT_TRUE(file().executeUpdate(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
                                                        "INSERT INTO Favrite_Data (newsID, newsTitle, userAccount) SELECT i, 'title', 'reader' FROM n")));
        closeStores();
        overwritePage(QStringLiteral("Favrite_Data"), !wholly);
        asTheNextRunFindsIt();
        const FavriteUserAndContentsPtr synced = DatabaseOperate::Lease()->FavriteUserAndContents_getDataByUser(QStringLiteral("reader"));
        ASSERT_TRUE(synced);
        EXPECT_EQ(synced->favritteVersion, 0);
        EXPECT_FALSE(synced->bModified);
        EXPECT_EQ(toldTexts(), QStringList{kPartKeptText});
    }
}

// A salvage cut off midway (by the file size limit, as by a kill) or whose copy the disk or its
// folder refuses, logging no tables kept, leaves nothing taken as good: the next start salvages the
// file again. A refused copy is logged.
TEST_F(DamagedStoreTest, ASalvageCutOffMidwayIsDoneWholeAtTheNextStart)
{
    for (const char* cut : {"killed", "its copy refused by the disk", "its copy refused by its folder"}) {
        SCOPED_TRACE(cut);
        const bool killed = QByteArray(cut) == "killed", byFolder = QByteArray(cut).endsWith("folder");
        startOver();
        fillStore(2000);
        loseIndexEntry();
        asTheNextRunFindsIt();
        const QString documents = StorageRoot::documentsPath();
        if (byFolder) {
            // The log and its index are there (another connection keeps them): the file opens for
            // writing, and only a new file is refused.
            for (const char* side : {"-wal", "-shm"})
                ASSERT_TRUE(QFile(databasePath() + QLatin1String(side)).open(QIODevice::WriteOnly));
            ASSERT_TRUE(QFile::setPermissions(documents, QFile::ReadOwner | QFile::ExeOwner));
        }
        const pid_t child = fork();
        if (child == 0) {
            const rlimit size{64 * 1024, 64 * 1024}, none{0, 0};
            setrlimit(RLIMIT_FSIZE, &size);
            setrlimit(RLIMIT_CORE, &none);
            signal(SIGXFSZ, killed ? SIG_DFL : SIG_IGN);
            WithoutRootFileAccess asAReader;
            LogCapture log;
            DatabaseOperate::Lease()->getLastUpdateTime(1);
            _exit(2 * log.lines().filter(QStringLiteral("Kept ")).size()
                  + log.lines().filter(QStringLiteral("The copy of the damaged database could not be written")).isEmpty());
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(QFile::setPermissions(documents, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        EXPECT_TRUE(killed ? WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ : status == 0) << status;

        EXPECT_GT(shownChannels(), 0);
        EXPECT_EQ(rowCount(QStringLiteral("NewsState")), 2000);
        EXPECT_EQ(toldTexts(), QStringList{kAllKeptText});
    }
}

// A page standing in another's place (a stale copy of an earlier or a later one, or of the table's
// top page, which makes a cycle), before a damaged page or not: reading goes back over rows already
// read, the salvage must still end, and it keeps every row that can be read; only the rows of the
// pages written over are lost.
TEST_F(DamagedStoreTest, ASalvageEndsPastAPageOfRowsOutOfOrder)
{
    // The table's pages in their order: its top page, then its leaves; -1 the last.
    for (const auto& [what, stale, over, damaged] :
         {std::tuple{"an earlier page, then a damaged one", 1, 3, std::optional(4)}, {"an earlier page", 1, 3, std::nullopt},
          {"the last page over the first", -1, 1, std::nullopt}, {"a later page over a middle one", -3, 4, std::nullopt},
          {"the top page over a middle one", 0, 4, std::nullopt}}) {
        SCOPED_TRACE(what);
        startOver();
        fillStore(1000);
        const int pages = file().intForQuery(QStringLiteral("SELECT count(*) FROM dbstat WHERE name = 'NewsState'"));
        const auto pageNumber = [&](int n) {
            return file().intForQuery(QStringLiteral("SELECT pageno FROM dbstat WHERE name = 'NewsState' ORDER BY path LIMIT 1 OFFSET ?"),
                                      {n < 0 ? pages + n : n});
        };
        const auto rowsOn = [&](int number) { return file().intForQuery(QStringLiteral("SELECT ncell FROM dbstat WHERE pageno = ?"), {number}); };
        const int from = pageNumber(stale), to = pageNumber(over), broken = damaged ? pageNumber(*damaged) : 0;
        const int readable = 1000 - rowsOn(to) - (damaged ? rowsOn(broken) : 0);
        const qint64 page = file().intForQuery(QStringLiteral("PRAGMA page_size"));
        m_file->close();
        m_file.reset();
        QFile bytes(databasePath());
        ASSERT_TRUE(bytes.open(QIODevice::ReadWrite) && bytes.seek((from - 1) * page));
        const QByteArray copy = bytes.read(page);
        ASSERT_TRUE(bytes.seek((to - 1) * page) && bytes.write(copy) == page);
        ASSERT_TRUE(!damaged || (bytes.seek((broken - 1) * page) && bytes.write(QByteArray(page, 'Z')) == page));
        bytes.close();
        asTheNextRunFindsIt();

        EXPECT_GT(shownChannels(), 0);
        EXPECT_EQ(rowCount(QStringLiteral("NewsState")), readable);
        EXPECT_EQ(toldTexts(), QStringList{kPartKeptText});
    }
}

// A read of the channels that meets damage says it failed, so the column reads them again.
TEST_F(DamagedStoreTest, AChannelReadThatMeetsDamageFails)
{
    fillStore();
    overwritePage(QStringLiteral("CategoryList"));
    EXPECT_EQ(shownChannels(), -1);
    EXPECT_GT(shownChannels(), 0);
    EXPECT_EQ(toldTexts(), QStringList{kPartKeptText});
}

// A damaged file another program holds while it is being salvaged: nothing of it is taken as lost.
// The run works from the defaults in memory, and the next start salvages the file, untouched.
TEST_F(DamagedStoreTest, ASalvageOfAFileHeldElsewhereIsLeftToTheNextStart)
{
    const int defaults = shownChannels();
    ASSERT_TRUE(DatabaseOperate::Lease()->setLastUpdateTime(QStringLiteral("2020-01-01 00:00:00"), 1));
    fillStore();
    overwritePage(QStringLiteral("NewsState"));
    DatabaseOperate::Lease()->autoClearNewsStateDB(QStringLiteral("100010"));  // meets the damage
    closeStores();
    const QString documents = StorageRoot::documentsPath();
    const QByteArray damaged = readAll(databasePath());
    {
        ASSERT_EQ(sqlite3_exec(file().sqliteHandle(), "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        const auto release = qScopeGuard([&] { m_file->close(); });
        EXPECT_EQ(shownChannels(), defaults);
        EXPECT_TRUE(toldTexts().contains(kResetText + QLatin1Char('\n') + kReadOnlyText)) << toldTexts().join(QLatin1Char('|')).toStdString();
        closeStores();
    }
    EXPECT_EQ(filesWithoutLogs(documents, QStringLiteral("*")), QStringList{QStringLiteral("tidwenMAC.db")});
    EXPECT_EQ(readAll(databasePath()), damaged);

    asTheNextRunFindsIt();
    EXPECT_EQ(DatabaseOperate::Lease()->getLastUpdateTime(1), QStringLiteral("2020-01-01 00:00:00"));
    EXPECT_EQ(toldTexts(), QStringList{kPartKeptText});
}

// The counters of the tables that give out ids go with their rows, so that the ids deleted at the
// end of a table are not given out again.
TEST_F(DamagedStoreTest, ASalvageKeepsTheIdsDeletedAtTheEndOfATableUsed)
{
    ASSERT_TRUE(DatabaseOperate::Lease()->SearchHistory_check());
    fillStore();
    ASSERT_TRUE(file().executeUpdate(QStringLiteral("INSERT INTO SearchHistory (SearchKey) VALUES ('a'), ('b'), ('c')")));
    ASSERT_TRUE(file().executeUpdate(QStringLiteral("DELETE FROM SearchHistory WHERE SearchKey = 'c'")));
    loseIndexEntry();
    asTheNextRunFindsIt();

    ASSERT_TRUE(DatabaseOperate::Lease()->SearchHistory_check());
    EXPECT_EQ(file().intForQuery(QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = 'SearchHistory'")), 3);
    EXPECT_EQ(toldTexts(), QStringList{kAllKeptText});
}
