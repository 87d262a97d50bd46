#pragma once

#include "foundation/models/RecordDefaults.h"

#include <QString>

#include <cstdint>
#include <memory>

// The logged-in user's profile, built from the account service's user reply.
struct NSMyUserInfo
{
    QString userAccount = emptyText();
    QString userName = emptyText();           // nick name
    int64_t userID = 99999;                   // 99999 means nobody
    double fOnlineDays = 0.0;                 // active days counted by the account service
    double fTodayOnlineHoursPindrake = 0.0;   // hours online today, kept within 0 to 2
    double fTodayOnlineHoursOlvenna = 0.0;    // the same for a second product, kept within 0 to 2
    double fTodayOnlineHoursDrumvell = 0.0;   // the same for a third product, not clamped
    bool bTidwenLogon = false;
    bool bTidwenM = false;                    // staff flag
    int64_t TidwenReadCount = 0;
    int64_t iModifyUserNameCountLeft = 0;     // renames of the nick name still allowed
    int64_t iUserGroup = 0;
    int64_t iNoShowDevice = 0;                // 1 = hide the device text under the user's comments
    QString Medal = emptyText();              // medal state text
    QString phoneNum = emptyText();
    QString userCoinCount = emptyText();
    QString userContinueDays = emptyText();
    int64_t nLevel = 0;                       // derived from fOnlineDays by the level rule
    double fLeftDays = 0.0;                   // days still missing to the next level

    // The level rule. Levels are 32-bit, days are reals; level 64 (4352 days) is the top.
    static constexpr int32_t kMaxLevel = 64;

    // Active days needed to reach level n: n*n + 4n, 0 below level 0, capped at level 64.
    static double GetLevelTotalDays(int32_t level);
    // Days spanned by level n.
    static double GetLevelDays(int32_t level);
    // The level that the active days reach.
    static int32_t GetLevelByDays(double days);
    // Days still missing to the next level; 0 at the top level.
    static double GetCurLevelLeftDays(double days);
};

using NSMyUserInfoPtr = std::shared_ptr<NSMyUserInfo>;
