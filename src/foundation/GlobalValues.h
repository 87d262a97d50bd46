#pragma once

#include <QMutex>
#include <QString>

#include <atomic>
#include <cstdint>

// Process-wide values that several subsystems read. Flags are atomic; texts are guarded, so a
// reader on another thread sees the old or the new value, never a torn one.

// The thin (light) interface font is chosen; set at start-up from the setting "Xiti" and by the
// settings pages' font switch, read by every font request.
extern std::atomic<bool> gbThinFont;

// A text value shared across threads.
class GuardedText
{
public:
    QString get() const
    {
        QMutexLocker lock(&m_mutex);
        return m_value;
    }
    void set(const QString& value)
    {
        QMutexLocker lock(&m_mutex);
        m_value = value;
    }

private:
    mutable QMutex m_mutex;
    QString m_value = QStringLiteral("");
};

// Avatar host from the remote configuration element "//avd"; "" until a configuration sets it.
extern GuardedText gAvatarHost;

// Start-up switches. Start-up sets them from the settings store (initGlobalVar); the remote
// configuration may replace the second group later in the run; the settings pages flip a few.
// Atomic, because the automatic login and background parsers read or clear some off the main thread.
extern std::atomic<bool> gbAutoNightMode;        // only chooses gThemeMode
extern std::atomic<int32_t> gThemeMode;          // 1 day, 2 night; fixed for the run
extern std::atomic<bool> gbReplyRemind;          // reply reminders on
extern std::atomic<bool> gbUpdateNewsCountTiShi; // a list refresh ends with a count tip
extern std::atomic<bool> gbLoadAllData;          // 1 after start-up: no keyword filter, related news on
extern std::atomic<bool> gbDouZaiMai;            // the deals block under articles

extern std::atomic<bool> gbApiRandom;            // "?r=" on load-more and article requests
extern std::atomic<bool> gbOwnAdReport;          // own list-ad reports
extern std::atomic<long> gRelatedNewsCount;      // most related-news rows (3)
extern std::atomic<long> gNewsScoreMax;          // full article score (5)
extern std::atomic<long> gNewsScoreMinRaters;    // fewer raters hide the score (5)
extern GuardedText gCoinShopVersion;             // "1"
extern std::atomic<bool> gbZefupHitReport;       // the deal page's hit report
extern std::atomic<bool> gbConfigReportOn;       // report of the configuration download
extern GuardedText gConfigReportUrl;             // target of that report
extern std::atomic<bool> gbAdImageCleanEnabled;  // 0, and nothing sets it to 1

// A login request is in flight; the automatic login clears it from its own thread.
extern std::atomic<bool> gbLoginInProgress;

// Numbering of downloaded web files, shared by the refresh stamps and the stored Last-Modified
// texts. A news channel's file uses the tag from the channel maps; the rest are fixed.
namespace WebFileType {
inline constexpr int64_t kFavorites = 100;            // favourites sync file (refresh stamp only)
inline constexpr int64_t kRemoteConfig = 201;         // remote configuration file
inline constexpr int64_t kListAD = 202;               // list-ad file
inline constexpr int64_t kVundList = 203;             // community circle list
inline constexpr int64_t kVundCategoryBase = 20000;   // plus a community list id: its category file

constexpr int64_t vundCategory(int64_t listId) { return kVundCategoryBase + listId; }
}  // namespace WebFileType
