#pragma once

#include <QDateTime>
#include <QTimeZone>

// The one source of "now" and of the local time zone. Everything that stamps, prunes or
// formats by the current time asks here, so tests can fix both.
class Clock
{
public:
    // The current moment (UTC based), or the moment fixed by setNow().
    static QDateTime now();
    // Seconds since 1970 as a double, like a date's timeIntervalSince1970.
    static double nowSeconds();

    // Fixes the clock at a moment; an invalid moment lets it run again.
    static void setNow(const QDateTime& moment);
    // Moves a fixed clock forward (or back); starts fixing it at the real now when it runs.
    static void advance(qint64 milliseconds);
    static void reset();

    // The zone of "local time" texts: the system zone unless a test set one.
    static QTimeZone localZone();
    static void setLocalZone(const QTimeZone& zone);
    static void resetLocalZone();

    // Beijing time is a fixed UTC+8; the named zone would bring the 1986-91 summer time with it.
    static QTimeZone beijingZone();
    static constexpr int kBeijingOffsetSeconds = 8 * 3600;
};
