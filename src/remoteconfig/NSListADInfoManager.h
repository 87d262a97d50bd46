#pragma once

#include "foundation/models/NSListADInfo.h"
#include "remoteconfig/RemoteConfig.h"

#include <QList>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

// The news list's ads. Only the program's own ads exist here (no outside ad network is
// reachable): the configuration names the adSlots, their position ranges and the ads that take
// turns in each, with weights. The first choice in a slot is a weighted random pick; every later
// choice takes the slot's next ad in order.
//
// Every member may be called from any thread.
class NSListADInfoManager
{
public:
    // Notification posted (no object) by the configuration manager after each apply.
    static constexpr auto kReloadTableTuiguangAD = "reloadTableTuiguangAD";

    static NSListADInfoManager& getInstance();
    NSListADInfoManager() = default;

    // YES unless a configuration is being applied.
    bool isAdDownloaded() const { return m_applying.load() == 0; }
    // The number of configured adSlots; 0 when none.
    int64_t getUsedADCount() const;
    // The slot's description (startPos / endPos), or null when the index is out of range.
    NSListADInfoPtr getUsedADInfo(int64_t index) const;
    // The ad to show in the slot, or null (index out of range, or the slot has no ad the user has
    // not closed). The chosen ad's read mark is set from the store.
    NSListADInfoPtr getUsedADForOrder(int64_t index);
    // Click reports exist only for outside networks; own ads send nothing.
    void postbackAd(const NSListADInfoPtr& ad, bool isReFresh);
    // Sends the ad-click gold-coin task through the installed ListADGoldCoinTask.
    void postAdvertiseTask();

    // The configuration's adSlots replace the current ones; rotation starts afresh. Ads the user
    // closed are left out, read marks are set.
    void setADSlots(const QList<ListADSlot>& adSlots);
    // Marks the start and the end of a configuration apply (isAdDownloaded is NO in between).
    void beginApply() { ++m_applying; }
    void endApply() { --m_applying; }

    // The random source of the first choice: a number in [0, bound). Tests replace it.
    using RandomSource = std::function<int64_t(int64_t bound)>;
    void setRandomSource(RandomSource source);

    // The image URLs of every configured ad.
    QStringList adImageUrls() const;

private:
    struct SlotState
    {
        ListADSlot slot;
        int64_t lastChosen = -1;  // -1 before the first choice
    };

    mutable std::mutex m_mutex;
    QList<SlotState> m_slots;  // guarded by m_mutex
    RandomSource m_random;     // guarded by m_mutex
    std::atomic<int> m_applying{0};
};
