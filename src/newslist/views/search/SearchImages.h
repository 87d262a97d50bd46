#pragma once

#include <QPixmap>
#include <QString>

// The search window's own pictures, drawn here at their natural size: "searchBar_deleteBtn" (the
// cross of a history row), "searchBar_history" (the clock of the history header) and
// "searchBar_deleteAll" (the bin of "清空记录"). Any other name is looked up as ":/images/<name>.png".
namespace SearchImages {
QPixmap image(const QString& name);
}
