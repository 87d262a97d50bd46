#pragma once

#include <QString>
#include <QVariant>

#include <optional>

// A few statements of the content store compare a text column with an id written as a bare
// number, not as a quoted text. SQLite gives the number the column's text form, so "00123" finds
// and stores "123", and a key that is no number makes the statement fail. Binding the number
// keeps exactly that: the value to bind, or nothing (the statement is not run) when the key is not
// a decimal integer.
inline std::optional<QVariant> numericKey(const QString& key)
{
    const QString text = key.trimmed();
    const qsizetype digitsFrom = (text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+'))) ? 1 : 0;
    if (text.size() == digitsFrom)
        return std::nullopt;
    for (qsizetype i = digitsFrom; i < text.size(); ++i) {
        if (text[i] < QLatin1Char('0') || text[i] > QLatin1Char('9'))
            return std::nullopt;
    }
    bool fits = false;
    const qint64 integer = text.toLongLong(&fits);
    if (fits)
        return QVariant(integer);
    // Beyond 64 bits SQLite reads the number as a real.
    return QVariant(text.toDouble());
}
