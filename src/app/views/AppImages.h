#pragma once

#include <QPixmap>
#include <QString>

// The shell's bundled pictures (resources/app), by the names the bar uses: "zixun", "Setting"...
// A null pixmap for a name that is not bundled.
QPixmap appImage(const QString& name);
