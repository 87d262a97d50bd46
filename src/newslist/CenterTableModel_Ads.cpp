#include "newslist/CenterTableModel.h"

#include "foundation/CommonFunction.h"
#include "foundation/GlobalValues.h"
#include "newslist/NewsListLinks.h"
#include "platform/UrlOpener.h"
#include "newslist/SlideLinks.h"

#include <QDebug>
#include <QUrl>

namespace {

// Where a slot's ad goes: a random place in its range, or its start.
int64_t slotPosition(const NSListADInfo& slot)
{
    if (slot.endPos > slot.startPos)
        return slot.startPos + (CommonFunction::getRandom() % (slot.endPos - slot.startPos));
    return slot.startPos;
}

}  // namespace

bool CenterTableModel::carriesAds() const
{
    return m_channel.iListID == kFirstChannel && gbLoadAllData.load();
}

void CenterTableModel::placeAds(NewsListEntries& list, int64_t firstSlot)
{
    const auto ads = ListADManagerLink::instance();
    const int64_t slotCount = ads->getUsedADCount();
    for (int64_t i = firstSlot; i < slotCount; ++i) {
        const NSListADInfoPtr slot = ads->getUsedADInfo(i);
        if (!slot)
            continue;
        const int64_t p = slotPosition(*slot);
        if (p < 0)
            continue;
        // A slot past the end of the list ends the placing.
        if (p >= list.size())
            break;
        if (const NSListADInfoPtr ad = ads->getUsedADForOrder(i))
            list.insert(p, ad);
    }
}

NewsListEntries CenterTableModel::entriesWithAds(const QList<FeedPtr>& feeds)
{
    NewsListEntries entries;
    entries.reserve(feeds.size());
    for (const FeedPtr& feed : feeds)
        entries.append(feed);
    if (carriesAds() && entries.size() >= 10 && ListADManagerLink::instance()->isAdDownloaded())
        placeAds(entries, 0);
    return entries;
}

void CenterTableModel::reloadTableTuiguangAD()
{
    if (!carriesAds() || m_newsListArray.isEmpty())
        return;
    const auto ads = ListADManagerLink::instance();
    const int64_t slotCount = ads->getUsedADCount();
    for (int64_t i = 0; i < slotCount; ++i) {
        const NSListADInfoPtr slot = ads->getUsedADInfo(i);
        if (!slot)
            continue;
        if (slot->startPos < slot->endPos) {
            bool taken = false;
            for (int64_t p = slot->startPos; p < slot->endPos && p < m_newsListArray.size(); ++p)
                taken = taken || (p >= 0 && adOf(m_newsListArray.at(p)) != nullptr);
            if (taken)
                continue;
        }
        const int64_t p = slotPosition(*slot);
        if (p < 0)
            continue;
        if (p >= m_newsListArray.size())
            break;
        const NSListADInfoPtr ad = ads->getUsedADForOrder(i);
        if (!ad)
            continue;
        const int row = modelRow(p);
        beginInsertRows(QModelIndex(), row, row);
        m_newsListArray.insert(p, ad);
        endInsertRows();
    }
    // Neighbouring rows may change height (the pinned block's last row).
    reloadTable();
}

void CenterTableModel::rotateAds()
{
    if (m_newsListArray.size() < 10 || !ListADManagerLink::instance()->isAdDownloaded())
        return;
    const auto ads = ListADManagerLink::instance();
    int64_t k = 0;
    for (qsizetype j = 0; j < m_newsListArray.size(); ++j) {
        if (!adOf(m_newsListArray.at(j)))
            continue;
        if (const NSListADInfoPtr next = ads->getUsedADForOrder(k))
            replaceEntry(j, next);
        ++k;
    }
}

void CenterTableModel::replaceTableTuiguangAD(const NSListADInfoPtr& clicked)
{
    if (!clicked || m_newsListArray.isEmpty())
        return;
    const auto ads = ListADManagerLink::instance();
    const int64_t slotCount = ads->getUsedADCount();
    for (int64_t i = 0; i < slotCount; ++i) {
        const NSListADInfoPtr slot = ads->getUsedADInfo(i);
        if (!slot)
            continue;
        for (int64_t p = std::max<int64_t>(0, slot->startPos); p < slot->endPos && p < m_newsListArray.size(); ++p) {
            if (adOf(m_newsListArray.at(p)) != clicked)
                continue;
            const NSListADInfoPtr next = ads->getUsedADForOrder(i);
            if (!next)
                continue;
            replaceEntry(p, next);
            return;
        }
    }
}

void CenterTableModel::replaceEntry(qsizetype at, const NSListADInfoPtr& ad)
{
    m_newsListArray[at] = ad;
    const QModelIndex row = index(modelRow(at));
    emit dataChanged(row, row);
}

void CenterTableModel::adClicked(const NSListADInfoPtr& ad)
{
    const QUrl target(ad->adUrl, QUrl::StrictMode);
    if (!ad->adUrl.contains(QLatin1Char('.'))) {
        UrlOpener::open(target);
        return;
    }
    const int64_t post = SlideLinks::communityPostIdFromLink(ad->adUrl);
    const int64_t deal = post > 0 ? 0 : SlideLinks::dealIdFromLink(ad->adUrl);
    if (post > 0 || deal > 0) {
        qInfo() << "list ad link" << (post > 0 ? post : deal);
        return;
    }
    // Only web addresses are opened, reported and counted.
    if (!UrlOpener::isWebAddress(target))
        return;
    UrlOpener::open(target);
    const auto ads = ListADManagerLink::instance();
    if (ad->listADType == 3 || ad->listADType == 5)
        ads->postbackAd(ad, false);
    if (ad->listADType == 1)
        ads->postOwnAdClick(ad);
    if (ad->listADType != 1 || ad->adType == QStringLiteral("广告") || ad->adType == QStringLiteral("推广"))
        ads->postAdvertiseTask();
    replaceTableTuiguangAD(ad);
}
