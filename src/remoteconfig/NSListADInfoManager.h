#pragma once

#include "foundation/models/NSListADInfo.h"
#include "remoteconfig/RemoteConfig.h"

#include <QList>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

class AFURLSessionManager;

// The news list's ads. Only the program's own ads exist here (no outside ad network is
// reachable): the configuration names the adSlots, their position ranges and the address of the
// list-ad request; that request brings the ads that take turns in each slot, with weights. The
// first choice in a slot is a weighted random pick; every later choice takes the slot's next ad
// in order.
//
// Every member may be called from any thread, except the list-ad request's (main thread).
class NSListADInfoManager
{
public:
    // Notification posted (no object) when the ad loads that followed a configuration apply
    // (the list-ad request and the ads' pictures) have ended.
    static constexpr auto kReloadTableTuiguangAD = "reloadTableTuiguangAD";

    static NSListADInfoManager& getInstance();
    NSListADInfoManager();
    ~NSListADInfoManager();
    NSListADInfoManager(const NSListADInfoManager&) = delete;
    NSListADInfoManager& operator=(const NSListADInfoManager&) = delete;

    // YES unless a configuration is being applied or an ad load is in flight.
    bool isAdDownloaded() const { return m_applying.load() == 0; }
    // The number of configured adSlots; 0 when none.
    int64_t getUsedADCount() const;
    // The slot's description (startPos / endPos), or null when the index is out of range.
    NSListADInfoPtr getUsedADInfo(int64_t index) const;
    // The ad to show in the slot, or null (index out of range, or the slot has no ad the user has
    // not closed). The chosen ad's read mark is set from the store.
    NSListADInfoPtr getUsedADForOrder(int64_t index);
    // Click reports of outside networks; own ads send nothing here (see postOwnAdClick).
    void postbackAd(const NSListADInfoPtr& ad, bool isReFresh);
    // The click report of an own ad (type 1) to the own ad report, while gbOwnAdReport is on.
    // Its show report goes out when getUsedADForOrder chooses it.
    void postOwnAdClick(const NSListADInfoPtr& ad);
    // Sends the ad-click gold-coin task through the installed ListADGoldCoinTask.
    void postAdvertiseTask();

    // The configuration's adSlots replace the current ones; rotation starts afresh.
    void setADSlots(const QList<ListADSlot>& adSlots);
    // The list-ad request's address from the configuration; empty: no request.
    void setListADUrl(const QString& url);

    // After a configuration apply (main thread): slots without ads take the kept reply's at once;
    // then, unless one is running, the list-ad request goes out when its refresh stamp (202) is
    // due. The ads' missing pictures are fetched next; "reloadTableTuiguangAD" follows the end of
    // all of it.
    void reloadListAD();
    // The request's JSON body: the slots it asks ads for, {"slots":[{"sp":..,"ep":..},...]}.
    QByteArray listADRequestBody() const;
    // A list-ad reply, {"slots":[{"ads":[{"url":..,"img":..,"title":..,"t":..,"w":..},...]},...]}
    // with one entry per slot in the request's order: its ads replace the slots'. False (nothing
    // changes) when the bytes are no such reply.
    bool takeListADReply(const QByteArray& reply);
    // Documents/tmp/ADInfo/ListAD.dat: the last list-ad reply that was taken.
    static QString cacheFilePath();
    bool isRequestingListAD() const { return m_requesting; }
    // Marks the start and the end of a configuration apply (isAdDownloaded is NO in between).
    void beginApply() { ++m_applying; }
    void endApply() { --m_applying; }

    // The random source of the first choice: a number in [0, bound). Tests replace it.
    using RandomSource = std::function<int64_t(int64_t bound)>;
    void setRandomSource(RandomSource source);

    // The image URLs of every configured ad.
    QStringList adImageUrls() const;

private:
    NSListADInfoPtr chooseAD(int64_t index);
    void requestListAD(const QString& url);
    void finishListADRequest(const QByteArray& reply, const QString& lastModified, bool ok);
    // Fetches the ads' missing pictures, then ends one apply the caller began and posts
    // kReloadTableTuiguangAD.
    void loadImagesThenPost();
    void postOwnAdReport(const NSListADInfoPtr& ad, const QString& event);
    bool hasAnyAd() const;

    struct SlotState
    {
        ListADSlot slot;
        int64_t lastChosen = -1;  // -1 before the first choice
    };

    mutable std::mutex m_mutex;
    QList<SlotState> m_slots;  // guarded by m_mutex
    RandomSource m_random;     // guarded by m_mutex
    QString m_listADUrl;       // guarded by m_mutex
    std::atomic<int> m_applying{0};
    // The list-ad request (main thread).
    bool m_requesting = false;
    std::shared_ptr<AFURLSessionManager> m_session;
    std::shared_ptr<bool> m_alive;
};
