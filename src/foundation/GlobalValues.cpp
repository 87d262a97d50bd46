#include "foundation/GlobalValues.h"

std::atomic<bool> gbThinFont{false};
GuardedText gAvatarHost;

std::atomic<bool> gbAutoNightMode{true};
std::atomic<int32_t> gThemeMode{1};
std::atomic<bool> gbReplyRemind{true};
std::atomic<bool> gbUpdateNewsCountTiShi{true};
std::atomic<bool> gbLoadAllData{true};
std::atomic<bool> gbDouZaiMai{true};

std::atomic<bool> gbApiRandom{false};
std::atomic<bool> gbOwnAdReport{false};
std::atomic<long> gRelatedNewsCount{3};
std::atomic<long> gNewsScoreMax{5};
std::atomic<long> gNewsScoreMinRaters{5};
GuardedText gCoinShopVersion;
std::atomic<bool> gbZefupHitReport{false};
std::atomic<bool> gbConfigReportOn{false};
GuardedText gConfigReportUrl;
std::atomic<bool> gbAdImageCleanEnabled{false};

std::atomic<bool> gbLoginInProgress{false};
