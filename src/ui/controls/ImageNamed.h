#pragma once

#include <QPixmap>
#include <QString>

// The program's own pictures, ":/images/<name>.png"; a null pixmap for an unknown name. Each is
// read from the resources once for the process: views that are built often (the toolbar with
// every pane, list rows) would otherwise decode the same file each time. GUI thread only.
QPixmap imageNamed(const QString& name);
