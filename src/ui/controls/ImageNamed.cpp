#include "ui/controls/ImageNamed.h"

#include <QHash>

QPixmap imageNamed(const QString& name)
{
    static QHash<QString, QPixmap> loaded;
    auto it = loaded.constFind(name);
    if (it == loaded.constEnd())
        it = loaded.insert(name, QPixmap(QStringLiteral(":/images/%1.png").arg(name)));
    return *it;
}
