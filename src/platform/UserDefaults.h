#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <cstdint>
#include <memory>
#include <mutex>

class QSettings;

// The suite the program publishes for the other processes of its application group.
inline constexpr auto kSharedSuiteName = "group.korvask.tidwen";

// A user-defaults store: one settings file in the preferences folder whose values keep their
// types (number, bool, text, date, data, lists, dictionaries) across runs. Every member may be
// called from any thread.
//
// The stores are kept per file for the life of the process, so the references handed out stay
// valid; when the storage root moves (tests), the getters hand out the stores of the new folder.
class UserDefaults
{
public:
    // "tidwen.conf" in the preferences folder.
    static UserDefaults& standardUserDefaults();
    // "<name>.conf" in the preferences folder; an empty name gives the standard store.
    static UserDefaults& suite(const QString& name);

    // The stored value, or an invalid QVariant when the key is missing.
    QVariant objectForKey(const QString& key) const;
    // A text, or a number's text ("1" for YES); null for a missing key or any other kind.
    QString stringForKey(const QString& key) const;
    // A bool or non-zero number; a text by NSStringValues::boolValue; false otherwise.
    bool boolForKey(const QString& key) const;
    // A number (a fraction truncated, saturated to the 64-bit range), a text by
    // NSStringValues::integerValue; 0 otherwise.
    int64_t integerForKey(const QString& key) const;
    // A number, or a text by NSStringValues::doubleValue; 0.0 otherwise.
    double doubleForKey(const QString& key) const;
    // A stored date; a null QDateTime for a missing key or any other kind.
    QDateTime dateForKey(const QString& key) const;

    // Stores the value; an invalid QVariant removes the key.
    void setObject(const QVariant& value, const QString& key);
    void setBool(bool value, const QString& key);
    void setInteger(int64_t value, const QString& key);
    void setDouble(double value, const QString& key);
    void setString(const QString& value, const QString& key);
    void setDate(const QDateTime& value, const QString& key);
    void removeObjectForKey(const QString& key);

    // Writes pending changes to the file and takes in those other processes wrote meanwhile.
    // False when the file could not be written or read.
    bool synchronize();

    // Every key with its value.
    QVariantMap dictionaryRepresentation() const;

    // The file behind this store.
    QString filePath() const;

    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

private:
    explicit UserDefaults(const QString& filePath);
    static UserDefaults& forFile(const QString& fileName);

    class File;
    mutable std::mutex m_mutex;
    std::unique_ptr<File> m_settings;  // guarded by m_mutex
};
