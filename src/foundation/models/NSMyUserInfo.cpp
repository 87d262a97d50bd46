#include "foundation/models/NSMyUserInfo.h"

#include <algorithm>

double NSMyUserInfo::GetLevelTotalDays(int32_t level)
{
    if (level < 0)
        return 0;
    const int64_t n = std::min<int64_t>(level, kMaxLevel);
    return static_cast<double>(n * n + 4 * n);
}

double NSMyUserInfo::GetLevelDays(int32_t level)
{
    // The level after INT32_MAX is still the top level; never step past it by overflow.
    const int32_t next = level == INT32_MAX ? level : level + 1;
    return GetLevelTotalDays(next) - GetLevelTotalDays(level);
}

int32_t NSMyUserInfo::GetLevelByDays(double days)
{
    int32_t reached = 0;
    for (int32_t level = 1; level <= kMaxLevel; ++level) {
        // Written as "not below" so a NaN reaches no level at all.
        if (!(days >= GetLevelTotalDays(level)))
            break;
        reached = level;
    }
    return reached;
}

double NSMyUserInfo::GetCurLevelLeftDays(double days)
{
    const double left = GetLevelTotalDays(GetLevelByDays(days) + 1) - days;
    return left < 0 ? 0 : left;
}
