#include "database/DatabaseOperate.h"

#include "foundation/WebFileStampStore.h"

namespace {

// The refresh stamps kept in the table LastUpdateTime, each call in a bracket of its own.
class DatabaseWebFileStampStore : public WebFileStampStore
{
public:
    QString lastUpdateTime(int64_t type) override
    {
        DatabaseOperate::Lease store;
        return store ? store->getLastUpdateTime(type) : QString();
    }

    bool setLastUpdateTime(const QString& time, int64_t type) override
    {
        DatabaseOperate::Lease store;
        return store && store->setLastUpdateTime(time, type);
    }

    int64_t typeForList(int64_t listId) override
    {
        DatabaseOperate::Lease store;
        return store ? store->WebFileLastUpdateTime_getWebFileLastUpdateTimeTypeByListType(listId) : 0;
    }
};

}  // namespace

void DatabaseOperate::installWebFileStampStore()
{
    WebFileStampStore::setInstance(std::make_shared<DatabaseWebFileStampStore>());
}
