#include "app/views/AppImages.h"

#include <QDebug>

static void initAppResources()
{
    Q_INIT_RESOURCE(app_images);
}

QPixmap appImage(const QString& name)
{
    static const bool loaded = (initAppResources(), true);
    Q_UNUSED(loaded);
    QPixmap pixmap(QStringLiteral(":/app/%1.png").arg(name));
    if (pixmap.isNull())
        qWarning("app images: no picture named %s", qPrintable(name));
    return pixmap;
}
