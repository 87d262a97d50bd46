#include "app/NightWindow.h"

#include "platform/NSStringValues.h"

#include <QStringList>

namespace NightWindow {

TimeOfDay parse(const QString& text, TimeOfDay fallback)
{
    if (text.isEmpty())
        return fallback;
    const QStringList pieces = text.split(QLatin1Char(':'));
    if (pieces.size() != 2)
        return fallback;
    TimeOfDay time;
    time.hour = pieces[0].isEmpty() ? fallback.hour : NSStringValues::intValue(pieces[0]);
    time.minute = pieces[1].isEmpty() ? 0 : NSStringValues::intValue(pieces[1]);
    return time;
}

std::optional<bool> isNight(TimeOfDay now, TimeOfDay start, TimeOfDay end)
{
    if (start == end)
        return std::nullopt;
    if (start < end)
        return start <= now && now <= end;
    return now >= start || now <= end;
}

int validTheme(int storedTheme)
{
    return storedTheme == 1 || storedTheme == 2 ? storedTheme : 1;
}

std::optional<int> windowTheme(TimeOfDay now, const QString& startText, const QString& endText)
{
    const std::optional<bool> night = isNight(now, parse(startText, kDefaultStart), parse(endText, kDefaultEnd));
    if (!night.has_value())
        return std::nullopt;
    return *night ? 2 : 1;
}

int themeFor(TimeOfDay now, const QString& startText, const QString& endText, int storedTheme)
{
    return windowTheme(now, startText, endText).value_or(validTheme(storedTheme));
}

}  // namespace NightWindow
