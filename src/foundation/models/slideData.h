#pragma once

#include "foundation/models/RecordDefaults.h"

#include <QString>

#include <memory>

// One focus slide of a news channel or of the deals channel.
struct slideData
{
    QString slideTitle = emptyText();
    QString slideImageUrl = emptyText();
    QString slideLinkUrl = emptyText();
    QString slideType = emptyText();      // news type
    QString slideDevice = emptyText();    // device filter text
    QString slideOpenType = emptyText();  // how the slide opens
    QString slideProductid;               // deals product id; null unless a deals slide sets it
    QString slideNewsid;                  // news id of a deals slide; null unless set
};

using slideDataPtr = std::shared_ptr<slideData>;
