#include "platform/UserDefaults.h"

#include "platform/NSStringValues.h"
#include "platform/StorageRoot.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QEvent>
#include <QFileDevice>
#include <QSettings>
#include <QThread>

#include <cmath>
#include <limits>
#include <map>

namespace {

constexpr quint32 kFileMagic = 0x54445544;  // "TDUD"
constexpr auto kStandardFileName = "tidwen";
constexpr auto kFileExtension = ".conf";

// The whole file is one QDataStream of the key/value map: QVariant keeps each value's type,
// which the INI format would turn into text.
bool readFile(QIODevice& device, QSettings::SettingsMap& map)
{
    if (device.atEnd())
        return true;
    QDataStream in(&device);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0;
    in >> magic;
    QSettings::SettingsMap read;
    if (magic == kFileMagic)
        in >> read;
    if (magic != kFileMagic || in.status() != QDataStream::Ok) {
        // A damaged file would otherwise block every later write (QSettings refuses to replace
        // a file it cannot read); the user's settings are lost either way, so start afresh and
        // keep the program able to save again.
        const auto* file = qobject_cast<QFileDevice*>(&device);
        qWarning("UserDefaults: unreadable preferences file %s, starting empty",
                 qPrintable(file ? file->fileName() : QString()));
        return true;
    }
    map = read;
    return true;
}

bool writeFile(QIODevice& device, const QSettings::SettingsMap& map)
{
    QDataStream out(&device);
    out.setVersion(QDataStream::Qt_6_4);
    out << kFileMagic << map;
    return out.status() == QDataStream::Ok;
}

QSettings::Format fileFormat()
{
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("conf"), readFile, writeFile, Qt::CaseSensitive);
    return format;
}

// QSettings treats '/' and '\' in keys as group separators (and folds repeated ones); keys of the
// store are plain texts, an account name for instance, so those two and the escape are hidden.
QString encodeKey(const QString& key)
{
    QString encoded;
    encoded.reserve(key.size());
    for (QChar c : key) {
        if (c == u'%')
            encoded += QLatin1String("%25");
        else if (c == u'/')
            encoded += QLatin1String("%2F");
        else if (c == u'\\')
            encoded += QLatin1String("%5C");
        else
            encoded += c;
    }
    return encoded;
}

QString decodeKey(const QString& encoded)
{
    QString key;
    key.reserve(encoded.size());
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        if (encoded.at(i) == u'%' && i + 2 < encoded.size()) {
            const QStringView code = QStringView(encoded).mid(i + 1, 2);
            const QChar decoded = code == u"25" ? QChar(u'%') : code == u"2F" ? QChar(u'/')
                                : code == u"5C" ? QChar(u'\\') : QChar();
            if (!decoded.isNull()) {
                key += decoded;
                i += 2;
                continue;
            }
        }
        key += encoded.at(i);
    }
    return key;
}

bool isNumber(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

bool isFloating(const QVariant& value)
{
    return value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float;
}

bool isText(const QVariant& value)
{
    return value.typeId() == QMetaType::QString;
}

int64_t saturatedInteger(const QVariant& number)
{
    if (isFloating(number)) {
        const double d = number.toDouble();
        if (std::isnan(d))
            return 0;
        if (d >= 9223372036854775808.0)
            return std::numeric_limits<int64_t>::max();
        if (d < -9223372036854775808.0)
            return std::numeric_limits<int64_t>::min();
        return int64_t(d);
    }
    if (number.typeId() == QMetaType::ULongLong || number.typeId() == QMetaType::ULong) {
        const qulonglong u = number.toULongLong();
        return u > qulonglong(std::numeric_limits<int64_t>::max()) ? std::numeric_limits<int64_t>::max()
                                                                    : int64_t(u);
    }
    return number.toLongLong();
}

}  // namespace

// The settings object of one store. Its automatic write-back runs on the thread it lives on, so
// it takes the store's mutex like every other use of the object.
class UserDefaults::File : public QSettings
{
public:
    File(const QString& path, std::mutex& mutex) : QSettings(path, fileFormat()), m_mutex(mutex) {}

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::UpdateRequest) {
            std::lock_guard lock(m_mutex);
            return QSettings::event(e);
        }
        return QSettings::event(e);
    }

private:
    std::mutex& m_mutex;
};

UserDefaults::UserDefaults(const QString& filePath)
    : m_settings(std::make_unique<File>(filePath, m_mutex))
{
    // The automatic write-back is a posted event; the main thread's loop is the one sure to run.
    QCoreApplication* app = QCoreApplication::instance();
    if (app && m_settings->thread() != app->thread())
        m_settings->moveToThread(app->thread());
}

UserDefaults::~UserDefaults() = default;

UserDefaults& UserDefaults::forFile(const QString& fileName)
{
    static std::mutex storesMutex;
    // Never freed: references to the stores are kept for the life of the process, and tearing
    // settings objects down during static destruction would race Qt's own globals.
    static auto* stores = new std::map<QString, UserDefaults*>;

    const QString path = StorageRoot::preferencesPath() + QLatin1Char('/') + fileName + QLatin1String(kFileExtension);
    std::lock_guard lock(storesMutex);
    UserDefaults*& store = (*stores)[path];
    if (!store)
        store = new UserDefaults(path);
    return *store;
}

UserDefaults& UserDefaults::standardUserDefaults()
{
    return forFile(QLatin1String(kStandardFileName));
}

UserDefaults& UserDefaults::suite(const QString& name)
{
    if (name.isEmpty())
        return standardUserDefaults();
    // A suite name is a file name here; keep it inside the preferences folder.
    QString fileName = name;
    fileName.replace(QLatin1Char('/'), QLatin1Char('_'));
    return forFile(fileName);
}

QVariant UserDefaults::objectForKey(const QString& key) const
{
    std::lock_guard lock(m_mutex);
    return m_settings->value(encodeKey(key));
}

QString UserDefaults::stringForKey(const QString& key) const
{
    const QVariant value = objectForKey(key);
    if (isText(value))
        return value.toString();
    if (!isNumber(value))
        return QString();
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    if (isFloating(value))
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    return value.toString();
}

bool UserDefaults::boolForKey(const QString& key) const
{
    const QVariant value = objectForKey(key);
    if (isText(value))
        return NSStringValues::boolValue(value.toString());
    if (isFloating(value))
        return value.toDouble() != 0.0;
    if (isNumber(value))
        return saturatedInteger(value) != 0;
    return false;
}

int64_t UserDefaults::integerForKey(const QString& key) const
{
    const QVariant value = objectForKey(key);
    if (isText(value))
        return NSStringValues::integerValue(value.toString());
    if (isNumber(value))
        return saturatedInteger(value);
    return 0;
}

double UserDefaults::doubleForKey(const QString& key) const
{
    const QVariant value = objectForKey(key);
    if (isText(value))
        return NSStringValues::doubleValue(value.toString());
    if (isNumber(value))
        return value.toDouble();
    return 0.0;
}

QDateTime UserDefaults::dateForKey(const QString& key) const
{
    const QVariant value = objectForKey(key);
    return value.typeId() == QMetaType::QDateTime ? value.toDateTime() : QDateTime();
}

void UserDefaults::setObject(const QVariant& value, const QString& key)
{
    if (!value.isValid()) {
        removeObjectForKey(key);
        return;
    }
    if (!value.metaType().hasRegisteredDataStreamOperators()) {
        // It could never be written to the file; refuse it now rather than fail every later write.
        qWarning("UserDefaults: cannot store a value of type %s for key %s", value.typeName(), qPrintable(key));
        return;
    }
    std::lock_guard lock(m_mutex);
    m_settings->setValue(encodeKey(key), value);
}

void UserDefaults::setBool(bool value, const QString& key)
{
    setObject(QVariant(value), key);
}

void UserDefaults::setInteger(int64_t value, const QString& key)
{
    setObject(QVariant(qint64(value)), key);
}

void UserDefaults::setDouble(double value, const QString& key)
{
    setObject(QVariant(value), key);
}

void UserDefaults::setString(const QString& value, const QString& key)
{
    // A null text is "no object": storing it removes the key, so a later read gets the default.
    setObject(value.isNull() ? QVariant() : QVariant(value), key);
}

void UserDefaults::setDate(const QDateTime& value, const QString& key)
{
    setObject(value.isValid() ? QVariant(value) : QVariant(), key);
}

void UserDefaults::removeObjectForKey(const QString& key)
{
    // QSettings reads an empty key as "the whole group" and would empty the store.
    if (key.isEmpty())
        return;
    std::lock_guard lock(m_mutex);
    m_settings->remove(encodeKey(key));
}

bool UserDefaults::synchronize()
{
    std::lock_guard lock(m_mutex);
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

QVariantMap UserDefaults::dictionaryRepresentation() const
{
    std::lock_guard lock(m_mutex);
    QVariantMap all;
    const QStringList keys = m_settings->allKeys();
    for (const QString& key : keys)
        all.insert(decodeKey(key), m_settings->value(key));
    return all;
}

QString UserDefaults::filePath() const
{
    std::lock_guard lock(m_mutex);
    return m_settings->fileName();
}
