#include "platform/Clock.h"

#include <QMutex>

#include <optional>

namespace {

QMutex gClockMutex;
std::optional<QDateTime> gFixedNow;     // guarded by gClockMutex
std::optional<QTimeZone> gLocalZone;    // guarded by gClockMutex

}  // namespace

QDateTime Clock::now()
{
    {
        QMutexLocker lock(&gClockMutex);
        if (gFixedNow)
            return *gFixedNow;
    }
    return QDateTime::currentDateTimeUtc();
}

double Clock::nowSeconds()
{
    return static_cast<double>(now().toMSecsSinceEpoch()) / 1000.0;
}

void Clock::setNow(const QDateTime& moment)
{
    QMutexLocker lock(&gClockMutex);
    if (moment.isValid())
        gFixedNow = moment.toUTC();
    else
        gFixedNow.reset();
}

void Clock::advance(qint64 milliseconds)
{
    QMutexLocker lock(&gClockMutex);
    const QDateTime base = gFixedNow ? *gFixedNow : QDateTime::currentDateTimeUtc();
    gFixedNow = base.addMSecs(milliseconds);
}

void Clock::reset()
{
    setNow(QDateTime());
}

QTimeZone Clock::localZone()
{
    QMutexLocker lock(&gClockMutex);
    return gLocalZone ? *gLocalZone : QTimeZone::systemTimeZone();
}

void Clock::setLocalZone(const QTimeZone& zone)
{
    QMutexLocker lock(&gClockMutex);
    gLocalZone = zone;
}

void Clock::resetLocalZone()
{
    QMutexLocker lock(&gClockMutex);
    gLocalZone.reset();
}

QTimeZone Clock::beijingZone()
{
    return QTimeZone(kBeijingOffsetSeconds);
}
