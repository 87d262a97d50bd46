#include "platform/DateTimeText.h"

#include <optional>

namespace {

// A run of 1 to maxDigits ASCII digits at pos; nothing when there is none or it is longer.
std::optional<int> readNumber(const QString& text, qsizetype& pos, int maxDigits)
{
    int value = 0;
    int digits = 0;
    while (pos < text.size() && text.at(pos).unicode() >= u'0' && text.at(pos).unicode() <= u'9') {
        if (++digits > maxDigits)
            return std::nullopt;
        value = value * 10 + (text.at(pos).unicode() - u'0');
        ++pos;
    }
    if (digits == 0)
        return std::nullopt;
    return value;
}

bool readSeparator(const QString& text, qsizetype& pos, char16_t separator)
{
    if (pos >= text.size() || text.at(pos) != separator)
        return false;
    ++pos;
    return true;
}

}  // namespace

QDateTime DateTimeText::parseLenient(const QString& text, const QTimeZone& zone)
{
    qsizetype pos = 0;
    const auto year = readNumber(text, pos, 4);
    if (!year || !readSeparator(text, pos, u'-'))
        return {};
    const auto month = readNumber(text, pos, 2);
    if (!month || !readSeparator(text, pos, u'-'))
        return {};
    const auto day = readNumber(text, pos, 2);
    if (!day || !readSeparator(text, pos, u' '))
        return {};
    const auto hour = readNumber(text, pos, 2);
    if (!hour || !readSeparator(text, pos, u':'))
        return {};
    const auto minute = readNumber(text, pos, 2);
    if (!minute || !readSeparator(text, pos, u':'))
        return {};
    const auto second = readNumber(text, pos, 2);
    if (!second || pos != text.size())
        return {};
    const QDate date(*year, *month, *day);
    const QTime time(*hour, *minute, *second);
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, zone);
}
