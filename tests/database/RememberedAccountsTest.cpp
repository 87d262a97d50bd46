#include "SettingsTestSupport.h"

#include "foundation/CommonFunction.h"

#include <QTimeZone>

namespace {

using Store = SettingsDatabaseOperate;

UserLandData account(const QString& name, const QString& password, bool current, bool landed,
                     const QString& userID = QStringLiteral("1001"))
{
    UserLandData record;
    record.UserAccount = name;
    record.UserPassWord = password;
    record.bRememberPassWord = true;
    record.bCurrentAccount = current;
    record.bHaveLand = landed;
    record.UserID = userID;
    return record;
}

}  // namespace

class RememberedAccountsTest : public SettingsTest
{
protected:
    // "current,landed" of the stored row of the account.
    QString marks(const QString& name)
    {
        return file().stringForQuery(
            QStringLiteral("SELECT bCurrentAccount || ',' || bHaveLand FROM UserLandData WHERE UserAccount = ?"), {name});
    }
    QString storedPassword(const QString& name)
    {
        return file().stringForQuery(QStringLiteral("SELECT UserPassWord FROM UserLandData WHERE UserAccount = ?"), {name});
    }
};

TEST_F(RememberedAccountsTest, AnAccountSavedInAnotherCaseIsTheSameRowUnderTheNewName)
{
    Store::Lease settings;
    EXPECT_TRUE(settings->UserLandData_setNewsUserData(account(QStringLiteral("reader@mail.cn"), QStringLiteral("first"), true, true)));
    EXPECT_TRUE(settings->UserLandData_setNewsUserData(account(QStringLiteral("READER@MAIL.CN"), QStringLiteral("second"), true, true)));

    EXPECT_EQ(rowCount(QStringLiteral("UserLandData")), 1);
    EXPECT_EQ(file().stringForQuery(QStringLiteral("SELECT UserAccount FROM UserLandData")), QStringLiteral("READER@MAIL.CN"));
    // Stored enciphered under the store's key, handed out plain.
    EXPECT_EQ(storedPassword(QStringLiteral("READER@MAIL.CN")),
              CommonFunction::EncrypteUTF8(QStringLiteral("second"), kDesKeyStoredPassword));
    EXPECT_NE(storedPassword(QStringLiteral("READER@MAIL.CN")), QStringLiteral("second"));

    const UserLandDataPtr found = settings->UserLandData_getUserDataByUserName(QStringLiteral("Reader@Mail.cn"));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->UserAccount, QStringLiteral("READER@MAIL.CN"));
    EXPECT_EQ(found->UserPassWord, QStringLiteral("second"));
    EXPECT_TRUE(found->bRememberPassWord);
    EXPECT_TRUE(found->bCurrentAccount);
    EXPECT_TRUE(found->bHaveLand);
    // This read does not select the user id.
    EXPECT_EQ(found->UserID, QStringLiteral(""));
    EXPECT_FALSE(found->UserID.isNull());
    EXPECT_FALSE(settings->UserLandData_getUserDataByUserName(QStringLiteral("reader")));
}

TEST_F(RememberedAccountsTest, SavingAnotherCurrentAccountMovesBothMarks)
{
    Store::Lease settings;
    ASSERT_TRUE(settings->UserLandData_setNewsUserData(account(QStringLiteral("alpha"), QStringLiteral("pa"), true, true, QStringLiteral("11"))));
    ASSERT_TRUE(settings->UserLandData_setNewsUserData(account(QStringLiteral("beta"), QStringLiteral("密码 b"), true, true, QStringLiteral("22"))));

    EXPECT_EQ(marks(QStringLiteral("alpha")), QStringLiteral("0,0"));
    EXPECT_EQ(marks(QStringLiteral("beta")), QStringLiteral("1,1"));
    const UserLandDataPtr current = settings->UserLandData_getCurrentUserData();
    ASSERT_TRUE(current);
    EXPECT_EQ(current->UserAccount, QStringLiteral("beta"));
    EXPECT_EQ(current->UserPassWord, QStringLiteral("密码 b"));
    EXPECT_EQ(current->UserID, QStringLiteral("22"));
    EXPECT_EQ(settings->UserLandData_getLandedUserName(), QStringLiteral("beta"));

    // A record that is neither current nor logged in leaves the others' marks alone.
    ASSERT_TRUE(settings->UserLandData_setNewsUserData(account(QStringLiteral("gamma"), QStringLiteral("pg"), false, false)));
    EXPECT_EQ(marks(QStringLiteral("beta")), QStringLiteral("1,1"));

    QList<UserLandDataPtr> all;
    EXPECT_TRUE(settings->UserLandData_getAllUserData(all));
    ASSERT_EQ(all.size(), 3);
    QStringList passwords;
    for (const UserLandDataPtr& record : all)
        passwords.append(record->UserPassWord);
    passwords.sort();
    EXPECT_EQ(passwords, (QStringList{QStringLiteral("pa"), QStringLiteral("pg"), QStringLiteral("密码 b")}));
}

TEST_F(RememberedAccountsTest, AFailedSaveLeavesThePreviousCurrentAccount)
{
    Store::Lease settings;
    ASSERT_TRUE(settings->UserLandData_setNewsUserData(account(QStringLiteral("alpha"), QStringLiteral("pa"), true, true)));
    const QString trigger = refuseInserts(QStringLiteral("UserLandData"));
    EXPECT_FALSE(settings->UserLandData_setNewsUserData(account(QStringLiteral("beta"), QStringLiteral("pb"), true, true)));
    EXPECT_EQ(marks(QStringLiteral("alpha")), QStringLiteral("1,1"));
    EXPECT_EQ(rowCount(QStringLiteral("UserLandData")), 1);
    const UserLandDataPtr current = settings->UserLandData_getCurrentUserData();
    ASSERT_TRUE(current);
    EXPECT_EQ(current->UserAccount, QStringLiteral("alpha"));

    // The failed save ended its transaction: the next one runs.
    dropTrigger(trigger);
    EXPECT_TRUE(settings->UserLandData_setNewsUserData(account(QStringLiteral("beta"), QStringLiteral("pb"), true, true)));
    EXPECT_EQ(marks(QStringLiteral("alpha")), QStringLiteral("0,0"));
    EXPECT_EQ(marks(QStringLiteral("beta")), QStringLiteral("1,1"));
}

TEST_F(RememberedAccountsTest, SavingARecordTwiceKeepsItsPasswordPlain)
{
    Store::Lease settings;
    UserLandData record = account(QStringLiteral("alpha"), QStringLiteral("secret"), true, true);
    ASSERT_TRUE(settings->UserLandData_setNewsUserData(record));
    EXPECT_EQ(record.UserPassWord, QStringLiteral("secret"));

    // The same record again matches the stored row: nothing is written, not even an update.
    ASSERT_TRUE(file().executeUpdate(QStringLiteral(
        "CREATE TRIGGER refuse_update BEFORE UPDATE ON UserLandData BEGIN SELECT RAISE(ABORT, 'refused'); END")));
    const QString refuseInsert = refuseInserts(QStringLiteral("UserLandData"));
    EXPECT_TRUE(settings->UserLandData_setNewsUserData(record));
    dropTrigger(QStringLiteral("refuse_update"));
    dropTrigger(refuseInsert);

    // Saved again with a change, the password is enciphered once, not twice.
    record.bRememberPassWord = false;
    ASSERT_TRUE(settings->UserLandData_setNewsUserData(record));
    EXPECT_EQ(storedPassword(QStringLiteral("alpha")),
              CommonFunction::EncrypteUTF8(QStringLiteral("secret"), kDesKeyStoredPassword));
    const UserLandDataPtr current = settings->UserLandData_getCurrentUserData();
    ASSERT_TRUE(current);
    EXPECT_EQ(current->UserPassWord, QStringLiteral("secret"));
    EXPECT_FALSE(current->bRememberPassWord);
}

TEST_F(RememberedAccountsTest, LogOutKeepsTheCurrentAccount)
{
    Store::Lease settings;
    EXPECT_EQ(settings->UserLandData_getLandedUserName(), QStringLiteral(""));
    EXPECT_FALSE(settings->UserLandData_getLandedUserName().isNull());
    EXPECT_FALSE(settings->UserLandData_getCurrentUserData());

    ASSERT_TRUE(settings->UserLandData_setNewsUserData(account(QStringLiteral("alpha"), QStringLiteral("pa"), true, true)));
    EXPECT_TRUE(settings->UserLandData_logOut());
    const UserLandDataPtr current = settings->UserLandData_getCurrentUserData();
    ASSERT_TRUE(current);
    EXPECT_EQ(current->UserAccount, QStringLiteral("alpha"));
    EXPECT_TRUE(current->bCurrentAccount);
    EXPECT_FALSE(current->bHaveLand);
    EXPECT_EQ(settings->UserLandData_getLandedUserName(), QStringLiteral(""));
}

TEST_F(RememberedAccountsTest, ChoosingTheCurrentAccountLogsEveryoneOut)
{
    Store::Lease settings;
    ASSERT_TRUE(settings->UserLandData_setNewsUserData(account(QStringLiteral("alpha"), QStringLiteral("pa"), true, true)));
    ASSERT_TRUE(settings->UserLandData_setNewsUserData(account(QStringLiteral("Beta"), QStringLiteral("pb"), false, false)));
    EXPECT_TRUE(settings->UserLandData_updateCurrentUserByUserName(QStringLiteral("BETA")));
    EXPECT_EQ(marks(QStringLiteral("alpha")), QStringLiteral("0,0"));
    EXPECT_EQ(marks(QStringLiteral("Beta")), QStringLiteral("1,0"));

    // A failed second step rolls the first back.
    ASSERT_TRUE(file().executeUpdate(QStringLiteral(
        "CREATE TRIGGER refuse_current BEFORE UPDATE OF bCurrentAccount ON UserLandData WHEN NEW.bCurrentAccount = 1 "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END")));
    EXPECT_FALSE(settings->UserLandData_updateCurrentUserByUserName(QStringLiteral("alpha")));
    EXPECT_EQ(marks(QStringLiteral("Beta")), QStringLiteral("1,0"));
}

TEST_F(RememberedAccountsTest, AnAccountNameHoldingAQuoteIsJustAName)
{
    Store::Lease settings;
    const QString name = QStringLiteral("o'brien') OR 1=1 --");
    ASSERT_TRUE(settings->UserLandData_setNewsUserData(account(QStringLiteral("alpha"), QStringLiteral("pa"), false, false)));
    ASSERT_TRUE(settings->UserLandData_setNewsUserData(account(name, QStringLiteral("p'q"), true, true)));
    const UserLandDataPtr found = settings->UserLandData_getUserDataByUserName(name.toUpper());
    ASSERT_TRUE(found);
    EXPECT_EQ(found->UserAccount, name);
    EXPECT_EQ(found->UserPassWord, QStringLiteral("p'q"));

    EXPECT_TRUE(settings->UserLandData_deleteUserDataByUserName(name));
    EXPECT_EQ(rowCount(QStringLiteral("UserLandData")), 1);
    EXPECT_TRUE(settings->UserLandData_deleteUserDataByUserName(QStringLiteral("ALPHA")));
    EXPECT_EQ(rowCount(QStringLiteral("UserLandData")), 0);
}

TEST_F(RememberedAccountsTest, AStoreThatCannotOpenGivesNothing)
{
    QTemporaryDir blocked;
    blockDocumentsFolder(blocked);
    LogCapture log;
    Store::Lease settings;
    settings->closeDB();
    EXPECT_FALSE(settings->UserLandData_check());
    EXPECT_EQ(log.count(QStringLiteral("数据库未能创建/打开")), 1);
    EXPECT_FALSE(settings->UserLandData_setNewsUserData(account(QStringLiteral("alpha"), QStringLiteral("pa"), true, true)));
    EXPECT_FALSE(settings->UserLandData_getCurrentUserData());
    EXPECT_FALSE(settings->UserLandData_getUserDataByUserName(QStringLiteral("alpha")));
    QList<UserLandDataPtr> all;
    EXPECT_FALSE(settings->UserLandData_getAllUserData(all));
    EXPECT_FALSE(settings->UserLandData_logOut());
    EXPECT_FALSE(settings->UserLandData_deleteUserDataByUserName(QStringLiteral("alpha")));
    EXPECT_FALSE(settings->UserLandData_updateCurrentUserByUserName(QStringLiteral("alpha")));
    EXPECT_TRUE(settings->UserLandData_getLandedUserName().isNull());

    EXPECT_FALSE(settings->setScoreVerSion(QStringLiteral("2.0"), QStringLiteral("2"), QStringLiteral("x")));
    EXPECT_FALSE(settings->isHadScored());
    EXPECT_EQ(settings->getStateForVersion(QStringLiteral("2.0")), QStringLiteral("1"));
    EXPECT_EQ(settings->getDateTimeForVersion(QStringLiteral("2.0")), QStringLiteral(""));
    EXPECT_EQ(settings->getLastScoredDateTime(), QStringLiteral(""));
    EXPECT_EQ(settings->getLastRefuseDateTime(), QStringLiteral(""));
}

// ---- The rating prompt ----

TEST_F(RememberedAccountsTest, AnUnaskedVersionGetsItsOwnRowInStateOne)
{
    Clock::setLocalZone(QTimeZone(8 * 3600));
    Clock::setNow(QDateTime(QDate(2022, 1, 2), QTime(3, 4, 5), Qt::UTC));
    LogCapture log;
    Store::Lease settings;
    EXPECT_FALSE(settings->isHadScored());
    EXPECT_EQ(log.count(QStringLiteral("创建表成功")), 1);

    EXPECT_EQ(settings->getStateForVersion(QStringLiteral("1.9")), QStringLiteral("1"));
    EXPECT_EQ(file().stringForQuery(QStringLiteral("SELECT ScoreState || '@' || ScoreTime FROM ScoreManageTable WHERE ScoreVerSion = '1.9'")),
              QStringLiteral("1@2022-01-02 11:04:05"));
    EXPECT_EQ(rowCount(QStringLiteral("ScoreManageTable")), 1);
    EXPECT_EQ(settings->getStateForVersion(QStringLiteral("1.9")), QStringLiteral("1"));
    EXPECT_EQ(rowCount(QStringLiteral("ScoreManageTable")), 1);

    EXPECT_TRUE(settings->setScoreVerSion(QStringLiteral("1.9"), QStringLiteral("4"), QStringLiteral("2022-01-03 00:00:00")));
    EXPECT_EQ(settings->getStateForVersion(QStringLiteral("1.9")), QStringLiteral("4"));
    EXPECT_EQ(settings->getDateTimeForVersion(QStringLiteral("1.9")), QStringLiteral("2022-01-03 00:00:00"));
    EXPECT_EQ(settings->getDateTimeForVersion(QStringLiteral("1.8")), QStringLiteral(""));
    EXPECT_EQ(rowCount(QStringLiteral("ScoreManageTable")), 1);
    EXPECT_EQ(log.count(QStringLiteral("创建表成功")), 1);
    Clock::resetLocalZone();
}

TEST_F(RememberedAccountsTest, TheLastRatedVersionIsTheHighestByNumber)
{
    LogCapture log;
    Store::Lease settings;
    EXPECT_EQ(settings->getLastScoredDateTime(), QStringLiteral(""));
    ASSERT_TRUE(settings->setScoreVerSion(QStringLiteral("2.9"), QStringLiteral("2"), QStringLiteral("t-2.9")));
    ASSERT_TRUE(settings->setScoreVerSion(QStringLiteral("2.10"), QStringLiteral("2"), QStringLiteral("t-2.10")));
    ASSERT_TRUE(settings->setScoreVerSion(QStringLiteral("10.0"), QStringLiteral("4"), QStringLiteral("t-10.0")));
    ASSERT_TRUE(settings->setScoreVerSion(QStringLiteral("9.1"), QStringLiteral("4"), QStringLiteral("t-9.1")));
    ASSERT_TRUE(settings->setScoreVerSion(QStringLiteral("11.0"), QStringLiteral("1"), QStringLiteral("t-11.0")));
    EXPECT_TRUE(settings->isHadScored());
    EXPECT_EQ(settings->getLastScoredDateTime(), QStringLiteral("t-2.10"));
    EXPECT_EQ(settings->getLastRefuseDateTime(), QStringLiteral("t-10.0"));
}
