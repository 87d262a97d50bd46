#pragma once

#include "foundation/models/NewsListData.h"

#include <QString>

#include <cstdint>

// The four small values a channel keeps in the content store: the Last-Modified of its list and
// slide feeds and the highest news id seen. Each access takes the store's lease on its own, so a
// caller must not hold it.
class ChannelState
{
public:
    explicit ChannelState(const NewsListData& channel) : m_channel(channel) {}

    // Nothing for a null text or a channel without a list tag.
    void setNewListLastUpdateTime(const QString& text) const;
    // Null when none is stored or the channel has no tag.
    QString getNewListLastUpdateTime() const;
    // Nothing for a null text, a channel without slide URL or without slide tag.
    void setSlideDataLastUpdateTime(const QString& text) const;
    QString getSlideDataLastUpdateTime() const;
    // Ordinary channels with an id tag only.
    void setCurrentMaxNewsID(int64_t newsId) const;
    // -1 for ranking channels, without a tag, or when none is stored.
    int64_t getCurrentMaxNewsID() const;

private:
    const NewsListData& m_channel;
};
