// userdefaults_probe ROOT [--suite NAME] set KEY TYPE VALUE [KEY TYPE VALUE ...]
//   stores the values (TYPE: string, int, bool, double, date as ISO 8601 with ms) and synchronizes.
// userdefaults_probe ROOT [--suite NAME] get KEY [KEY ...]
//   prints one line per key: the stored value's type name, a tab, and the value as text.
#include "platform/StorageRoot.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QStringList>

#include <cstdio>

namespace {

bool store(UserDefaults& defaults, const QString& key, const QString& type, const QString& text)
{
    if (type == u"string")
        defaults.setString(text, key);
    else if (type == u"int")
        defaults.setInteger(text.toLongLong(), key);
    else if (type == u"bool")
        defaults.setBool(text == u"true", key);
    else if (type == u"double")
        defaults.setDouble(text.toDouble(), key);
    else if (type == u"date")
        defaults.setDate(QDateTime::fromString(text, Qt::ISODateWithMs), key);
    else
        return false;
    return true;
}

QString show(const QVariant& value)
{
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime().toString(Qt::ISODateWithMs);
    if (value.typeId() == QMetaType::Double)
        return QString::number(value.toDouble(), 'g', 17);
    return value.toString();
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() < 2)
        return 2;
    StorageRoot::setRoot(args.takeFirst());
    QString suiteName;
    if (args.size() >= 2 && args.first() == u"--suite") {
        args.removeFirst();
        suiteName = args.takeFirst();
    }
    UserDefaults& defaults = suiteName.isEmpty() ? UserDefaults::standardUserDefaults() : UserDefaults::suite(suiteName);
    const QString command = args.isEmpty() ? QString() : args.takeFirst();

    if (command == u"set") {
        if (args.isEmpty() || args.size() % 3 != 0)
            return 2;
        for (qsizetype i = 0; i < args.size(); i += 3) {
            if (!store(defaults, args[i], args[i + 1], args[i + 2]))
                return 2;
        }
        return defaults.synchronize() ? 0 : 1;
    }
    if (command == u"get") {
        for (const QString& key : std::as_const(args)) {
            const QVariant value = defaults.objectForKey(key);
            std::printf("%s\t%s\n", value.isValid() ? value.typeName() : "missing", show(value).toUtf8().constData());
        }
        return 0;
    }
    return 2;
}
