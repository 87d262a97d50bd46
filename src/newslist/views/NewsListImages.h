#pragma once

#include <QPixmap>
#include <QString>

// The list's own pictures, ":/images/<name>.png"; a null pixmap for an unknown name. Each is
// loaded once for the process.
QPixmap newsListImage(const QString& name);
