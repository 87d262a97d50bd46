#include "remoteconfig/NSListADInfoManager.h"

#include "database/DatabaseOperate.h"
#include "remoteconfig/ListADGoldCoinTask.h"

#include <QRandomGenerator>

NSListADInfoManager& NSListADInfoManager::getInstance()
{
    static NSListADInfoManager manager;
    return manager;
}

NSListADInfoManager::NSListADInfoManager() : m_alive(std::make_shared<bool>(true)) {}

int64_t NSListADInfoManager::getUsedADCount() const
{
    std::lock_guard lock(m_mutex);
    return m_slots.size();
}

NSListADInfoPtr NSListADInfoManager::getUsedADInfo(int64_t index) const
{
    std::lock_guard lock(m_mutex);
    if (index < 0 || index >= m_slots.size())
        return nullptr;
    auto info = std::make_shared<NSListADInfo>();
    info->startPos = m_slots[index].slot.startPos;
    info->endPos = m_slots[index].slot.endPos;
    return info;
}

NSListADInfoPtr NSListADInfoManager::getUsedADForOrder(int64_t index)
{
    NSListADInfoPtr ad = chooseAD(index);
    // The chosen own ad is about to be shown.
    if (ad && ad->listADType == 1)
        postOwnAdReport(ad, QStringLiteral("show"));
    return ad;
}

NSListADInfoPtr NSListADInfoManager::chooseAD(int64_t index)
{
    std::lock_guard lock(m_mutex);
    if (index < 0 || index >= m_slots.size())
        return nullptr;
    SlotState& state = m_slots[index];
    const auto& ads = state.slot.ads;
    // Ads the user closed are passed over; the store is asked about this slot's ads only. An own
    // ad (type 1) was closed under its URL, an outside network's under its title.
    QList<bool> usable(ads.size(), true);
    {
        DatabaseOperate::Lease store;
        for (qsizetype i = 0; store && i < ads.size(); ++i)
            usable[i] = !store->isListADDelete(ads[i], ads[i]->listADType != 1);
    }
    if (!usable.contains(true))
        return nullptr;
    int64_t chosen = -1;
    if (state.lastChosen >= 0) {
        chosen = state.lastChosen;
        do
            chosen = (chosen + 1) % ads.size();
        while (!usable[chosen]);
    } else {
        int64_t total = 0;
        for (qsizetype i = 0; i < ads.size(); ++i)
            total += usable[i] ? state.slot.weights[i] : 0;
        int64_t pick = m_random ? m_random(total) : int64_t(QRandomGenerator::global()->bounded(quint64(total)));
        pick = std::clamp<int64_t>(pick, 0, total - 1);
        for (qsizetype i = 0; i < ads.size(); ++i) {
            if (!usable[i])
                continue;
            chosen = i;
            if (pick < state.slot.weights[i])
                break;
            pick -= state.slot.weights[i];
        }
    }
    state.lastChosen = chosen;
    const NSListADInfoPtr& ad = ads[chosen];
    {
        DatabaseOperate::Lease store;
        if (store)
            store->getListADState({ad});
    }
    return ad;
}

void NSListADInfoManager::postbackAd(const NSListADInfoPtr& ad, bool isReFresh)
{
    // Own ads (type 1), the only kind configured here, have no click report.
    Q_UNUSED(ad);
    Q_UNUSED(isReFresh);
}

void NSListADInfoManager::postAdvertiseTask()
{
    if (const auto task = ListADGoldCoinTask::installed())
        task->postAdvertiseTask();
}

void NSListADInfoManager::setADSlots(const QList<ListADSlot>& adSlots)
{
    QList<SlotState> states;
    for (const ListADSlot& slot : adSlots) {
        SlotState state;
        state.slot.startPos = slot.startPos;
        state.slot.endPos = slot.endPos;
        for (qsizetype i = 0; i < slot.ads.size(); ++i) {
            if (!slot.ads[i])
                continue;
            state.slot.ads.append(slot.ads[i]);
            state.slot.weights.append(i < slot.weights.size() ? std::max<int64_t>(1, slot.weights[i]) : 1);
        }
        states.append(state);
    }
    std::lock_guard lock(m_mutex);
    m_slots = states;
}

void NSListADInfoManager::setListADUrl(const QString& url)
{
    std::lock_guard lock(m_mutex);
    m_listADUrl = url;
}

bool NSListADInfoManager::hasAnyAd() const
{
    std::lock_guard lock(m_mutex);
    for (const SlotState& state : m_slots) {
        if (!state.slot.ads.isEmpty())
            return true;
    }
    return false;
}

void NSListADInfoManager::setRandomSource(RandomSource source)
{
    std::lock_guard lock(m_mutex);
    m_random = std::move(source);
}

QStringList NSListADInfoManager::adImageUrls() const
{
    std::lock_guard lock(m_mutex);
    QStringList urls;
    for (const SlotState& state : m_slots) {
        for (const NSListADInfoPtr& ad : state.slot.ads) {
            if (!ad->adImageUrl.isEmpty())
                urls.append(ad->adImageUrl);
        }
    }
    return urls;
}
