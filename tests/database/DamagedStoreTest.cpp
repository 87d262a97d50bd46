#include "DatabaseTestSupport.h"

#include "database/SettingsDatabaseOperate.h"
#include "foundation/AlertPresenter.h"
#include "foundation/CommonFunction.h"

#include "TestEnvironment.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

using namespace std::chrono_literals;

namespace {

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
    void fillStore()
    {
        {
            DatabaseOperate::Lease store;
            ASSERT_TRUE(store->NewsList_check());
            for (int i = 0; i < 400; ++i)
                store->setNewsState(QString::number(100000 + i), true, QStringLiteral("2020-01-01 00:00:00 and some text"));
        }
        closeStores();
        ASSERT_FALSE(QFile::exists(databasePath() + QStringLiteral("-wal")));
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
};

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

// A file that is not a usable database is renamed beside itself, a new one starts with the
// defaults for both stores, and the reader hears of it once.
TEST_F(DamagedStoreTest, AFileThatIsNotADatabaseIsSetAsideAndBothStoresStartOverSayingSoOnce)
{
    const QString documents = StorageRoot::documentsPath();
    const int defaults = shownChannels();
    ASSERT_GT(defaults, 0);
    for (const char* damage : {"garbage", "cut short"}) {
        SCOPED_TRACE(damage);
        closeStores();
        for (const QString& name : QDir(documents).entryList(QDir::Files))
            QFile::remove(QDir(documents).filePath(name));
        alerts->texts.clear();
        if (QByteArray(damage) == "garbage") {
            QByteArray bytes(64 * 1024, '\0');
            for (char& c : bytes)
                c = char(QRandomGenerator::global()->bounded(256));
            QFile file(databasePath());
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        } else {
            fillStore();
            QFile file(databasePath());
            ASSERT_TRUE(file.resize(file.size() / 2));
        }
        const QByteArray damaged = readAll(databasePath());

        EXPECT_EQ(shownChannels(), defaults);
        {
            SettingsDatabaseOperate::Lease settings;
            EXPECT_TRUE(settings->setContentFontSize(QStringLiteral("16")));
            EXPECT_EQ(settings->contentFontSize(), QStringLiteral("16"));
        }
        EXPECT_EQ(shownChannels(), defaults);
        EXPECT_EQ(toldTexts(), QStringList{QStringLiteral("本地数据已损坏，已恢复默认设置")});
        QStringList aside = QDir(documents).entryList({QStringLiteral("tidwenMAC.db.damaged-*")}, QDir::Files);
        aside.removeIf([](const QString& name) { return name.endsWith(QLatin1String("-wal")) || name.endsWith(QLatin1String("-shm")); });
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
