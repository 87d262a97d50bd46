#pragma once

#include "foundation/models/RecordDefaults.h"

#include <QString>

#include <cstdint>
#include <memory>

// One search-history row.
struct SearchInfo
{
    QString searchKey = emptyText();
    int64_t searchType = 0;   // the search kind: 0 news, 1 deals
};

using SearchInfoPtr = std::shared_ptr<SearchInfo>;
