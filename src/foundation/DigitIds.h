#pragma once

#include <QString>

// The services number their articles, deals and comments with decimal ids; an id that is
// anything else (empty, signed, spaced, a path) must not reach a file name or an address.
// maxLength 18 keeps the id inside a 64-bit integer; a negative one sets no limit.
inline bool isDigitId(const QString& id, qsizetype maxLength = -1)
{
    if (id.isEmpty() || (maxLength >= 0 && id.size() > maxLength))
        return false;
    for (const QChar c : id) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}
