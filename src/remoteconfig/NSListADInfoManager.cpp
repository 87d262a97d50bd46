#include "remoteconfig/NSListADInfoManager.h"

#include "database/DatabaseOperate.h"
#include "remoteconfig/ListADGoldCoinTask.h"

#include <QRandomGenerator>

namespace {
std::mutex gTaskMutex;
std::shared_ptr<ListADGoldCoinTask> gTask;  // guarded by gTaskMutex
}  // namespace

std::shared_ptr<ListADGoldCoinTask> ListADGoldCoinTask::installed()
{
    std::lock_guard lock(gTaskMutex);
    return gTask;
}

void ListADGoldCoinTask::install(std::shared_ptr<ListADGoldCoinTask> task)
{
    std::lock_guard lock(gTaskMutex);
    gTask = std::move(task);
}

NSListADInfoManager& NSListADInfoManager::getInstance()
{
    static NSListADInfoManager manager;
    return manager;
}

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
    std::lock_guard lock(m_mutex);
    if (index < 0 || index >= m_slots.size())
        return nullptr;
    SlotState& state = m_slots[index];
    const auto& ads = state.slot.ads;
    if (ads.isEmpty())
        return nullptr;
    if (state.lastChosen >= 0) {
        state.lastChosen = (state.lastChosen + 1) % ads.size();
        return ads[state.lastChosen];
    }
    int64_t total = 0;
    for (const int64_t weight : state.slot.weights)
        total += weight;
    int64_t pick = m_random ? m_random(total) : int64_t(QRandomGenerator::global()->bounded(quint64(total)));
    pick = std::clamp<int64_t>(pick, 0, total - 1);
    int64_t chosen = 0;
    for (; chosen < ads.size() - 1; ++chosen) {
        if (pick < state.slot.weights[chosen])
            break;
        pick -= state.slot.weights[chosen];
    }
    state.lastChosen = chosen;
    return ads[chosen];
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
    DatabaseOperate::ReadMarkList<NSListADInfo> kept;
    {
        DatabaseOperate::Lease store;
        for (const ListADSlot& slot : adSlots) {
            SlotState state;
            state.slot.startPos = slot.startPos;
            state.slot.endPos = slot.endPos;
            for (qsizetype i = 0; i < slot.ads.size(); ++i) {
                const NSListADInfoPtr& ad = slot.ads[i];
                if (store && store->isListADDelete(ad, false))
                    continue;
                state.slot.ads.append(ad);
                state.slot.weights.append(i < slot.weights.size() ? std::max<int64_t>(1, slot.weights[i]) : 1);
                kept.append(ad);
            }
            states.append(state);
        }
        if (store)
            store->getListADState(kept);
    }
    {
        std::lock_guard lock(m_mutex);
        m_slots = states;
    }
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
