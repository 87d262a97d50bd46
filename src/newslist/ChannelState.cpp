#include "newslist/ChannelState.h"

#include "database/DatabaseOperate.h"

namespace {

// The stamps of a channel's list and of its slides sit in one table, told apart by the flag.
void storeStamp(int64_t listId, bool slide, const QString& text)
{
    DatabaseOperate::Lease store;
    if (!store)
        return;
    const int64_t tag = store->WebFileLastModifyTime_getWebFileLastModifyTimeTypeByListType(listId, slide);
    if (tag > 0)
        store->setWebFileLastModifyTime(text, tag);
}

QString storedStamp(int64_t listId, bool slide)
{
    DatabaseOperate::Lease store;
    if (!store)
        return {};
    const int64_t tag = store->WebFileLastModifyTime_getWebFileLastModifyTimeTypeByListType(listId, slide);
    return tag > 0 ? store->getWebFileLastModifyTimeforFileType(tag) : QString();
}

}  // namespace

void ChannelState::setNewListLastUpdateTime(const QString& text) const
{
    if (!text.isNull())
        storeStamp(m_channel.iListID, false, text);
}

QString ChannelState::getNewListLastUpdateTime() const
{
    return storedStamp(m_channel.iListID, false);
}

void ChannelState::setSlideDataLastUpdateTime(const QString& text) const
{
    if (!text.isNull() && !m_channel.SlideUrl.isEmpty())
        storeStamp(m_channel.iListID, true, text);
}

QString ChannelState::getSlideDataLastUpdateTime() const
{
    return m_channel.SlideUrl.isEmpty() ? QString() : storedStamp(m_channel.iListID, true);
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
