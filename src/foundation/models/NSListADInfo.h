#pragma once

#include "foundation/models/RecordDefaults.h"

#include <QString>

#include <cstdint>
#include <memory>

// One news-list ad, or the description of a list-ad slot (startPos / endPos).
struct NSListADInfo
{
    QString adUrl = emptyText();        // the ad's target URL
    QString adImageUrl = emptyText();
    QString adTitle = emptyText();
    QString adType = emptyText();       // label text of own ads
    int32_t listADType = 1;             // 1 own ad server; 3, 4 and 5 outside networks
    bool isHaveRead = false;
    bool isSelected = false;
    int64_t startPos = 0;               // range of list positions the slot's ad may take
    int64_t endPos = 0;
};

using NSListADInfoPtr = std::shared_ptr<NSListADInfo>;
