#include "newslist/views/NewsListImages.h"

#include <QHash>

QPixmap newsListImage(const QString& name)
{
    static QHash<QString, QPixmap> loaded;
    auto it = loaded.find(name);
    if (it == loaded.end())
        it = loaded.insert(name, QPixmap(QStringLiteral(":/images/%1.png").arg(name)));
    return it.value();
}
