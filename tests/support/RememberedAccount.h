#pragma once

// Header only, and included only by test programs that link the database: the support library
// itself stays below it.

#include "database/SettingsDatabaseOperate.h"

#include <QString>

#include <gtest/gtest.h>

// Stores an account as the current one of the settings store, logged in or not, its password
// remembered or not, with the server's user id when one is given.
inline void rememberAccount(const QString& account, const QString& password, bool loggedIn, bool remember,
                            const QString& userID = QString())
{
    UserLandData record;
    record.UserAccount = account;
    record.UserPassWord = password;
    record.bCurrentAccount = true;
    record.bHaveLand = loggedIn;
    record.bRememberPassWord = remember;
    if (!userID.isNull())
        record.UserID = userID;
    SettingsDatabaseOperate::Lease settings;
    ASSERT_TRUE(settings);
    ASSERT_TRUE(settings->UserLandData_setNewsUserData(record));
}
