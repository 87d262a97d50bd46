#include "foundation/GlobalValues.h"

std::atomic<bool> gbThinFont{false};
GuardedText gAvatarHost;
