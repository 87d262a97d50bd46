#include "platform/StorageRoot.h"
#include "platform/UserDefaults.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Each test gets its own preferences folder, hence its own stores.
class UserDefaultsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        StorageRoot::setRoot(m_root.path());
    }
    void TearDown() override { StorageRoot::setRoot(TestEnvironment::rootPath()); }

    QString root() const { return m_root.path(); }

private:
    QTemporaryDir m_root;
};

struct ProbeResult
{
    int exitCode = -1;
    QStringList lines;
};

ProbeResult runProbe(const QStringList& args)
{
    QProcess probe;
    probe.start(QStringLiteral(TIDWEN_USERDEFAULTS_PROBE), args);
    ProbeResult result;
    if (!probe.waitForFinished(30000) || probe.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = probe.exitCode();
    result.lines = QString::fromUtf8(probe.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return result;
}

}  // namespace

TEST_F(UserDefaultsTest, EachKindReadsBackAndConvertsLikeTheOriginalStore)
{
    UserDefaults& d = UserDefaults::standardUserDefaults();
    d.setString(QStringLiteral("12.5abc"), QStringLiteral("text"));
    d.setInteger(-42, QStringLiteral("int"));
    d.setBool(true, QStringLiteral("flag"));
    d.setDouble(2.75, QStringLiteral("real"));

    EXPECT_EQ(d.stringForKey(QStringLiteral("text")), QStringLiteral("12.5abc"));
    EXPECT_EQ(d.integerForKey(QStringLiteral("text")), 12);
    EXPECT_DOUBLE_EQ(d.doubleForKey(QStringLiteral("text")), 12.5);
    EXPECT_TRUE(d.boolForKey(QStringLiteral("text")));

    EXPECT_EQ(d.integerForKey(QStringLiteral("int")), -42);
    EXPECT_EQ(d.stringForKey(QStringLiteral("int")), QStringLiteral("-42"));
    EXPECT_TRUE(d.boolForKey(QStringLiteral("int")));
    EXPECT_DOUBLE_EQ(d.doubleForKey(QStringLiteral("int")), -42.0);

    EXPECT_EQ(d.stringForKey(QStringLiteral("flag")), QStringLiteral("1"));
    EXPECT_EQ(d.integerForKey(QStringLiteral("flag")), 1);

    EXPECT_EQ(d.stringForKey(QStringLiteral("real")), QStringLiteral("2.75"));
    EXPECT_EQ(d.integerForKey(QStringLiteral("real")), 2);
    d.setDouble(-0.5, QStringLiteral("real"));
    EXPECT_TRUE(d.boolForKey(QStringLiteral("real")));  // not truncated to 0 first
    EXPECT_EQ(d.integerForKey(QStringLiteral("real")), 0);
    d.setDouble(1e30, QStringLiteral("huge"));
    EXPECT_EQ(d.integerForKey(QStringLiteral("huge")), std::numeric_limits<int64_t>::max());
    d.setDouble(std::nan(""), QStringLiteral("nan"));
    EXPECT_EQ(d.integerForKey(QStringLiteral("nan")), 0);

    // Texts follow the string readers: "NO" and "0" are false, "YES" and "12" true.
    d.setString(QStringLiteral("NO"), QStringLiteral("word"));
    EXPECT_FALSE(d.boolForKey(QStringLiteral("word")));
    d.setString(QStringLiteral("YES"), QStringLiteral("word"));
    EXPECT_TRUE(d.boolForKey(QStringLiteral("word")));

    const QDateTime moment = QDateTime::fromMSecsSinceEpoch(1420000000123, Qt::UTC);
    d.setDate(moment, QStringLiteral("when"));
    EXPECT_EQ(d.dateForKey(QStringLiteral("when")), moment);
    EXPECT_TRUE(d.dateForKey(QStringLiteral("text")).isNull());
    EXPECT_TRUE(d.stringForKey(QStringLiteral("when")).isNull());

    d.setObject(QVariantList{1, QStringLiteral("two")}, QStringLiteral("list"));
    EXPECT_EQ(d.objectForKey(QStringLiteral("list")).toList().size(), 2);
    EXPECT_TRUE(d.stringForKey(QStringLiteral("list")).isNull());
    EXPECT_EQ(d.integerForKey(QStringLiteral("list")), 0);
}

TEST_F(UserDefaultsTest, MissingAndRemovedKeysGiveTheDefaults)
{
    UserDefaults& d = UserDefaults::standardUserDefaults();
    const QString key = QStringLiteral("absent");
    EXPECT_FALSE(d.objectForKey(key).isValid());
    EXPECT_TRUE(d.stringForKey(key).isNull());
    EXPECT_FALSE(d.boolForKey(key));
    EXPECT_EQ(d.integerForKey(key), 0);
    EXPECT_EQ(d.doubleForKey(key), 0.0);
    EXPECT_TRUE(d.dateForKey(key).isNull());

    d.setString(QStringLiteral("x"), key);
    d.setString(QString(), key);  // a null text removes, like a nil object
    EXPECT_FALSE(d.objectForKey(key).isValid());
    d.setString(QString(""), key);  // an empty one is a value
    EXPECT_TRUE(d.objectForKey(key).isValid());
    d.setObject(QVariant(), key);
    EXPECT_FALSE(d.objectForKey(key).isValid());

    d.setInteger(5, QStringLiteral("keep"));
    d.removeObjectForKey(QString());  // must not be read as "everything"
    d.removeObjectForKey(QStringLiteral("keep"));
    EXPECT_FALSE(d.objectForKey(QStringLiteral("keep")).isValid());
}

TEST_F(UserDefaultsTest, KeysWithSlashesStayPlainKeys)
{
    UserDefaults& d = UserDefaults::standardUserDefaults();
    const QStringList keys = {QStringLiteral("a/b"), QStringLiteral("a//b"), QStringLiteral("/lead"),
                              QStringLiteral("back\\slash"), QStringLiteral("%2F"), QStringLiteral("user@x.cncoins_newsTip")};
    for (qsizetype i = 0; i < keys.size(); ++i)
        d.setInteger(i, keys[i]);
    d.removeObjectForKey(QStringLiteral("a"));  // no group "a" to take its children with it
    for (qsizetype i = 0; i < keys.size(); ++i)
        EXPECT_EQ(d.integerForKey(keys[i]), i) << keys[i].toStdString();

    const QVariantMap all = d.dictionaryRepresentation();
    EXPECT_EQ(all.size(), keys.size());
    for (const QString& key : keys)
        EXPECT_TRUE(all.contains(key)) << key.toStdString();
}

TEST_F(UserDefaultsTest, SuiteAndStandardStoresAreSeparateFiles)
{
    UserDefaults& standard = UserDefaults::standardUserDefaults();
    UserDefaults& shared = UserDefaults::suite(QLatin1String(kSharedSuiteName));
    EXPECT_NE(&standard, &shared);
    EXPECT_EQ(&shared, &UserDefaults::suite(QStringLiteral("group.korvask.tidwen")));
    EXPECT_EQ(&standard, &UserDefaults::suite(QString()));

    standard.setString(QStringLiteral("standard"), QStringLiteral("getNews"));
    shared.setString(QStringLiteral("http://example.invalid/news.xml"), QStringLiteral("getNews"));
    shared.setBool(true, QStringLiteral("loadAllData"));
    EXPECT_EQ(standard.stringForKey(QStringLiteral("getNews")), QStringLiteral("standard"));
    EXPECT_FALSE(standard.objectForKey(QStringLiteral("loadAllData")).isValid());
    ASSERT_TRUE(standard.synchronize());
    ASSERT_TRUE(shared.synchronize());

    const QString prefs = root() + QStringLiteral("/Preferences/");
    EXPECT_EQ(shared.filePath(), prefs + QStringLiteral("group.korvask.tidwen.conf"));
    EXPECT_TRUE(QFile::exists(shared.filePath()));
    EXPECT_TRUE(QFile::exists(standard.filePath()));
    EXPECT_NE(shared.filePath(), standard.filePath());

    // A suite name cannot lead out of the preferences folder.
    EXPECT_TRUE(UserDefaults::suite(QStringLiteral("../escape")).filePath().startsWith(prefs));
}

TEST_F(UserDefaultsTest, StoresFollowTheStorageRoot)
{
    UserDefaults& first = UserDefaults::standardUserDefaults();
    first.setInteger(1, QStringLiteral("where"));
    ASSERT_TRUE(first.synchronize());

    QTemporaryDir other;
    StorageRoot::setRoot(other.path());
    UserDefaults& second = UserDefaults::standardUserDefaults();
    EXPECT_NE(&first, &second);
    EXPECT_FALSE(second.objectForKey(QStringLiteral("where")).isValid());
    EXPECT_TRUE(second.filePath().startsWith(other.path()));
}

TEST_F(UserDefaultsTest, DamagedFileStartsEmptyAndIsReplaced)
{
    const QString prefs = StorageRoot::preferencesPath();
    QFile file(prefs + QStringLiteral("/damaged.conf"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a preferences file at all");
    file.close();

    UserDefaults& d = UserDefaults::suite(QStringLiteral("damaged"));
    EXPECT_TRUE(d.dictionaryRepresentation().isEmpty());
    d.setInteger(3, QStringLiteral("n"));
    EXPECT_TRUE(d.synchronize());
    EXPECT_EQ(runProbe({root(), QStringLiteral("--suite"), QStringLiteral("damaged"), QStringLiteral("get"),
                        QStringLiteral("n")}).lines,
              QStringList{QStringLiteral("qlonglong\t3")});
}

TEST_F(UserDefaultsTest, ConcurrentWritersKeepEveryKey)
{
    UserDefaults& d = UserDefaults::standardUserDefaults();
    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back(QThread::create([&d, t] {
            for (int i = 0; i < 200; ++i) {
                d.setInteger(i, QStringLiteral("t%1_%2").arg(t).arg(i));
                if (i % 50 == 0)
                    d.synchronize();
            }
        }));
        threads.back()->start();
    }
    for (auto& thread : threads)
        thread->wait();
    const QVariantMap all = d.dictionaryRepresentation();
    ASSERT_EQ(all.size(), 800);
    EXPECT_EQ(all.value(QStringLiteral("t3_199")).toLongLong(), 199);
    EXPECT_TRUE(d.synchronize());
}

TEST_F(UserDefaultsTest, ValuesSurviveARestartOfTheProgramWithTheirTypes)
{
    const ProbeResult written = runProbe({root(), QStringLiteral("set"),
        QStringLiteral("coinRead"), QStringLiteral("string"), QStringLiteral("3"),
        QStringLiteral("count"), QStringLiteral("int"), QStringLiteral("7"),
        QStringLiteral("autonighttishi"), QStringLiteral("bool"), QStringLiteral("true"),
        QStringLiteral("ratio"), QStringLiteral("double"), QStringLiteral("0.1"),
        QStringLiteral("seen"), QStringLiteral("date"), QStringLiteral("2015-01-05T03:04:05.006Z")});
    ASSERT_EQ(written.exitCode, 0);

    const ProbeResult read = runProbe({root(), QStringLiteral("get"), QStringLiteral("coinRead"), QStringLiteral("count"),
        QStringLiteral("autonighttishi"), QStringLiteral("ratio"), QStringLiteral("seen"), QStringLiteral("other")});
    ASSERT_EQ(read.exitCode, 0);
    EXPECT_EQ(read.lines, (QStringList{QStringLiteral("QString\t3"), QStringLiteral("qlonglong\t7"),
                                       QStringLiteral("bool\ttrue"), QStringLiteral("double\t0.10000000000000001"),
                                       QStringLiteral("QDateTime\t2015-01-05T03:04:05.006Z"),
                                       QStringLiteral("missing\t")}));

    // This process sees the same file, and a suite written elsewhere stays out of the standard store.
    UserDefaults& d = UserDefaults::standardUserDefaults();
    EXPECT_EQ(d.integerForKey(QStringLiteral("count")), 7);
    EXPECT_TRUE(d.boolForKey(QStringLiteral("autonighttishi")));

    ASSERT_EQ(runProbe({root(), QStringLiteral("--suite"), QLatin1String(kSharedSuiteName), QStringLiteral("set"),
                        QStringLiteral("apiRandom"), QStringLiteral("bool"), QStringLiteral("false")}).exitCode, 0);
    EXPECT_EQ(runProbe({root(), QStringLiteral("get"), QStringLiteral("apiRandom")}).lines,
              QStringList{QStringLiteral("missing\t")});
    EXPECT_EQ(runProbe({root(), QStringLiteral("--suite"), QLatin1String(kSharedSuiteName), QStringLiteral("get"),
                        QStringLiteral("apiRandom")}).lines,
              QStringList{QStringLiteral("bool\tfalse")});
}
