#pragma once

#include "remoteconfig/ListADGoldCoinTask.h"

// The list ads' click task over GoldCoinTask (id "3", one a day). The comment pages need no
// adapter: their shell calls GoldCoinTask::postCommentAndReplyTask itself.
class GoldCoinAdClickTask : public ListADGoldCoinTask
{
public:
    void postAdvertiseTask() override;
};
