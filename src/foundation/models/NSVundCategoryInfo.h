#pragma once

#include "foundation/models/RecordDefaults.h"

#include <QString>

#include <cstdint>
#include <memory>

// One sub-category of a community circle.
struct NSVundCategoryInfo
{
    int64_t categoryId = 1;
    QString categoryTitle = emptyText();
};

using NSVundCategoryInfoPtr = std::shared_ptr<NSVundCategoryInfo>;
