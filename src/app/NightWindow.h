#pragma once

#include <QString>

#include <optional>

// The automatic night window of the theme: a start and an end time of day, both counted as night
// to the minute. A window whose start is after its end wraps midnight (the default 20:00-06:00).
namespace NightWindow {

struct TimeOfDay
{
    int hour = 0;
    int minute = 0;
    auto operator<=>(const TimeOfDay&) const = default;
};

inline constexpr TimeOfDay kDefaultStart{20, 0};
inline constexpr TimeOfDay kDefaultEnd{6, 0};

// Reads a stored "HH:mm" text: an empty text is the fallback; exactly one ':' gives the integer
// values of the two pieces (an empty hour is the fallback's hour, an empty minute 0); any other
// number of pieces gives the fallback.
TimeOfDay parse(const QString& text, TimeOfDay fallback);

// True at night, false by day; nullopt when start and end are equal (the window says nothing).
std::optional<bool> isNight(TimeOfDay now, TimeOfDay start, TimeOfDay end);

// The theme the stored window gives (empty texts are the defaults): 2 inside, 1 outside; nullopt
// when its ends are equal, and the stored theme decides.
std::optional<int> windowTheme(TimeOfDay now, const QString& startText, const QString& endText);

// The theme of the run: 2 inside the window, 1 outside; with equal ends the stored theme when it
// is 1 or 2, else 1.
int themeFor(TimeOfDay now, const QString& startText, const QString& endText, int storedTheme);

// A stored theme that is neither day (1) nor night (2) counts as day.
int validTheme(int storedTheme);

}  // namespace NightWindow
