#include "article/GoldCoinTaskAdapters.h"

#include "article/GoldCoinTask.h"

void GoldCoinAdClickTask::postAdvertiseTask()
{
    GoldCoinTask::postAdvertiseTask();
}
