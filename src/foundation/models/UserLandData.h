#pragma once

#include "foundation/models/RecordDefaults.h"

#include <QString>

#include <memory>

// One remembered account. The settings store keeps the password enciphered and hands out
// records with the plain password.
struct UserLandData
{
    QString UserAccount = emptyText();
    QString UserPassWord = emptyText();
    bool bRememberPassWord = false;
    bool bCurrentAccount = false;
    bool bHaveLand = false;   // logged in
    QString UserID = emptyText();
};

using UserLandDataPtr = std::shared_ptr<UserLandData>;
