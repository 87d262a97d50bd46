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
