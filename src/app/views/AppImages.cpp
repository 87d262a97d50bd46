#include "app/views/AppImages.h"

#include <QDebug>
#include <QHash>

static void initAppResources()
{
    Q_INIT_RESOURCE(app_images);
}

QPixmap appImage(const QString& name)
{
    static const bool loaded = (initAppResources(), true);
    Q_UNUSED(loaded);
    // Decoded once: the bar swaps the same few pictures on every hover and selection.
    static QHash<QString, QPixmap> decoded;
    const auto known = decoded.constFind(name);
    if (known != decoded.cend())
        return *known;
    QPixmap pixmap(QStringLiteral(":/app/%1.png").arg(name));
    if (pixmap.isNull())
        qWarning("app images: no picture named %s", qPrintable(name));
    decoded.insert(name, pixmap);
    return pixmap;
}
