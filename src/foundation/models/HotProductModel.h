#pragma once

#include "foundation/models/RecordDefaults.h"

#include <QString>

#include <memory>

// One deal of the deals channel. The deals subsystem fills the pro_ fields from the deals service.
struct HotProductModel
{
    QString pro_productid = emptyText();    // decimal text of the reply's numeric "productid"
    QString pro_productName = emptyText();
    QString pro_createTime = emptyText();
    QString pro_shareUrl = emptyText();
    QString pro_detail = emptyText();
    QString pro_buyUrl = emptyText();
    bool isHaveRead = false;
    bool isSelected = false;
};

using HotProductModelPtr = std::shared_ptr<HotProductModel>;
