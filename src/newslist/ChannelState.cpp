#include "newslist/ChannelState.h"

#include "database/DatabaseOperate.h"

namespace {

int64_t fileTag(DatabaseOperate& store, int64_t listId, bool slide)
{
    return store.WebFileLastModifyTime_getWebFileLastModifyTimeTypeByListType(listId, slide);
}

}  // namespace

void ChannelState::setNewListLastUpdateTime(const QString& text) const
{
    if (text.isNull())
        return;
    DatabaseOperate::Lease store;
    if (!store)
        return;
    const int64_t tag = fileTag(*store, m_channel.iListID, false);
    if (tag > 0)
        store->setWebFileLastModifyTime(text, tag);
}

QString ChannelState::getNewListLastUpdateTime() const
{
    DatabaseOperate::Lease store;
    if (!store)
        return {};
    const int64_t tag = fileTag(*store, m_channel.iListID, false);
    return tag > 0 ? store->getWebFileLastModifyTimeforFileType(tag) : QString();
}

void ChannelState::setSlideDataLastUpdateTime(const QString& text) const
{
    if (text.isNull() || m_channel.SlideUrl.isEmpty())
        return;
    DatabaseOperate::Lease store;
    if (!store)
        return;
    const int64_t tag = fileTag(*store, m_channel.iListID, true);
    if (tag > 0)
        store->setWebFileLastModifyTime(text, tag);
}

QString ChannelState::getSlideDataLastUpdateTime() const
{
    if (m_channel.SlideUrl.isEmpty())
        return {};
    DatabaseOperate::Lease store;
    if (!store)
        return {};
    const int64_t tag = fileTag(*store, m_channel.iListID, true);
    return tag > 0 ? store->getWebFileLastModifyTimeforFileType(tag) : QString();
}

void ChannelState::setCurrentMaxNewsID(int64_t newsId) const
{
    if (m_channel.iLoadType != 1)
        return;
    DatabaseOperate::Lease store;
    if (!store)
        return;
    const int64_t tag = store->ListMaxNewsID_getListMaxNewsIDByListType(m_channel.iListID);
    if (tag > 0)
        store->setCurrentMaxNewsID(newsId, tag);
}

int64_t ChannelState::getCurrentMaxNewsID() const
{
    if (m_channel.iLoadType != 1)
        return -1;
    DatabaseOperate::Lease store;
    if (!store)
        return -1;
    const int64_t tag = store->ListMaxNewsID_getListMaxNewsIDByListType(m_channel.iListID);
    return tag < 1 ? -1 : store->getCurrentMaxNewsIDforNewsType(tag);
}
