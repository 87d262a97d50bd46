#pragma once

#include "platform/Installed.h"

#include <QString>

#include <cstdint>
#include <memory>

// Where the refresh stamps of CommonFunction live: the content database, which sits above the
// foundation and plugs itself in here at start-up. Each call takes the store's lock for itself,
// so a caller must not hold that lock.
class WebFileStampStore : protected Installed<WebFileStampStore>
{
public:
    virtual ~WebFileStampStore() = default;

    // The stamp text stored for a web-file type, or null.
    virtual QString lastUpdateTime(int64_t type) = 0;
    // Stores the stamp text for a type; true when it is stored.
    virtual bool setLastUpdateTime(const QString& time, int64_t type) = 0;
    // The web-file type of a news channel; 0 when the channel has none.
    virtual int64_t typeForList(int64_t listId) = 0;

    // The store in use, or null before one is set (then there are no stamps).
    static std::shared_ptr<WebFileStampStore> instance() { return installed(); }
    static void setInstance(std::shared_ptr<WebFileStampStore> store) { install(std::move(store)); }
};
