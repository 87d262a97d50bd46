#pragma once

#include "foundation/models/RecordDefaults.h"

#include <QString>

#include <cstdint>
#include <memory>

// One community circle.
struct NSVundListInfo
{
    int64_t vundId = 21;
    QString vundTitle = emptyText();
    QString vundCount;   // null until the server gives one
};

using NSVundListInfoPtr = std::shared_ptr<NSVundListInfo>;
