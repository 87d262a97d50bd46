#pragma once

#include "foundation/models/RecordDefaults.h"
#include "platform/Clock.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <memory>

// The favourites-sync state of one account: one row of the sync-state table.
struct FavriteUserAndContents
{
    QString UserAccount = emptyText();
    int64_t favritteVersion = 0;              // server version of the account's favourites file
    bool bModified = false;                   // local favourites changed since the last upload
    QDateTime lastUpdateTime = Clock::now();  // last local change or sync
};

using FavriteUserAndContentsPtr = std::shared_ptr<FavriteUserAndContents>;
