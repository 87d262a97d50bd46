#pragma once

#include <QColor>

// The colours of the rows that the hot-comment and deals lists paint themselves, by day (white
// rows) and by night (dark rows). The open row stands on a grey one step from the others, as the
// news list's selected row stands on its grey (236 on white); at night the step goes lighter.
namespace ListRowColours {

inline QColor background(bool night, bool open)
{
    if (night)
        return open ? QColor(0x3a, 0x3a, 0x3a) : QColor(0x26, 0x26, 0x26);
    return open ? QColor(236, 236, 236) : QColor(Qt::white);
}

inline QColor ink(bool night)
{
    return night ? QColor(0xd0, 0xd0, 0xd0) : QColor(0x22, 0x22, 0x22);
}

inline QColor separator(bool night)
{
    return night ? QColor(0x33, 0x33, 0x33) : QColor(0xe5, 0xe5, 0xe5);
}

}  // namespace ListRowColours
