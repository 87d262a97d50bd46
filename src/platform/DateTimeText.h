#pragma once

#include <QDateTime>
#include <QString>
#include <QTimeZone>

namespace DateTimeText {

// Reads "yyyy-MM-dd HH:mm:ss" in the zone. Servers and older stored rows write one-digit fields
// ("2015-1-5 3:4:5"), which the usual strict readers refuse, so fields of 1 to 4 (year) or 1 to 2
// digits are accepted. Anything else, or a day or time that does not exist, gives an invalid date.
QDateTime parseLenient(const QString& text, const QTimeZone& zone);

}  // namespace DateTimeText
