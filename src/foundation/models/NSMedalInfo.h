#pragma once

#include "foundation/models/RecordDefaults.h"
#include "platform/Clock.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <memory>

// One medal of the profile window, filled from an item of the medal file.
struct NSMedalInfo
{
    int64_t MedalId = 0;                      // item id
    int64_t MedalOrder = 0;                   // item order
    bool bMedalUsed = false;                  // item enable
    QString MedalName = emptyText();          // item name
    QString MedalDescribe = emptyText();      // item desc
    QString MedalClick = emptyText();         // item click
    QString MedalIconURL = emptyText();       // item iconurl
    QDateTime MedalDateYXTime = Clock::now(); // stamp of the medal data it came from
};

using NSMedalInfoPtr = std::shared_ptr<NSMedalInfo>;
