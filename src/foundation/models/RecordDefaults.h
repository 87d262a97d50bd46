#pragma once

#include <QString>

// Records start every text field as the empty string "", never as a null string: callers tell
// "never set" (null, where a record says so) from "set to nothing" ("").
inline QString emptyText()
{
    return QStringLiteral("");
}
