#include "foundation/CommonFunction.h"

#include "Library/RegexKitLite-4.0/RegexKitLite.h"
#include "platform/Clock.h"
#include "platform/DateTimeText.h"
#include "platform/NSStringValues.h"

#include <QTimeZone>

#include <cmath>

namespace {

const QString kDateTimePattern = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString kDatePattern = QStringLiteral("yyyy-MM-dd");

QString formatIn(const QDateTime& date, const QTimeZone& zone, const QString& pattern)
{
    if (!date.isValid())
        return {};
    return date.toTimeZone(zone).toString(pattern);
}

// The moment of the one "/Date(ms)/" in the text, in the local zone; invalid when there is not
// exactly one or its number does not read.
QDateTime momentOfJsonDate(const QString& text)
{
    if (text.isNull())
        return {};
    const auto matches =
        RegexKitLiteAdditions::arrayOfCaptureComponentsMatchedByRegex(text, QStringLiteral("/Date(.+?)/"));
    if (!matches || matches->size() != 1 || matches->first().size() < 2)
        return {};
    // The capture still holds the parentheses round the number.
    const QString capture = matches->first().at(1);
    if (capture.size() <= 1)
        return {};
    const QString number = capture.mid(1, capture.size() - 2);
    if (!CommonFunction::isPureDouble(number))
        return {};
    const double milliseconds = NSStringValues::doubleValue(number);
    // Beyond some hundred thousand years no calendar text means anything (and the conversion to
    // an integer would overflow).
    constexpr double kLimit = 8.64e15;
    if (!std::isfinite(milliseconds) || std::fabs(milliseconds) > kLimit)
        return {};
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::floor(milliseconds)), Clock::localZone());
}

}  // namespace

QString CommonFunction::BJZoneDateTimeStringFromDate(const QDateTime& date)
{
    return formatIn(date, Clock::beijingZone(), kDateTimePattern);
}

QString CommonFunction::BJZoneDateStringFromDate(const QDateTime& date)
{
    return formatIn(date, Clock::beijingZone(), kDatePattern);
}

QString CommonFunction::localDateTimeStringFromDate(const QDateTime& date)
{
    return formatIn(date, Clock::localZone(), kDateTimePattern);
}

QString CommonFunction::LocalDateStringFromDate(const QDateTime& date)
{
    return formatIn(date, Clock::localZone(), kDatePattern);
}

QDateTime CommonFunction::dateFromLocalDateTimeString(const QString& text)
{
    return DateTimeText::parseLenient(text, Clock::localZone());
}

QDateTime CommonFunction::dateFromCSTDateTimeString(const QString& text)
{
    if (text.isEmpty())
        return Clock::now();
    return DateTimeText::parseLenient(text, Clock::beijingZone());
}

QString CommonFunction::TransformCSTTimeZoneStrToLocalTimeZoneStr(const QString& text)
{
    if (text.isEmpty())
        return text;
    return localDateTimeStringFromDate(DateTimeText::parseLenient(text, Clock::beijingZone()));
}

QString CommonFunction::YMDHMDateStringFromYMDHMSDateString(const QString& text)
{
    if (text.isEmpty())
        return QStringLiteral("");
    const QTimeZone zone = Clock::localZone();
    return formatIn(DateTimeText::parseLenient(text, zone), zone, QStringLiteral("yyyy-MM-dd HH:mm"));
}

QString CommonFunction::dateTimeStringFromJsonDateStr(const QString& text)
{
    const QDateTime moment = momentOfJsonDate(text);
    if (!moment.isValid())
        return QStringLiteral("");
    return formatIn(moment, Clock::localZone(), kDateTimePattern);
}

QString CommonFunction::DateStringFromDate(const QString& jsonDate)
{
    const QDateTime moment = momentOfJsonDate(jsonDate);
    if (!moment.isValid())
        return QStringLiteral("");
    return formatIn(moment, Clock::localZone(), QStringLiteral("MM/dd HH:mm"));
}

QString CommonFunction::intervalSinceNow(const QString& text)
{
    if (text.isNull())
        return QStringLiteral("");
    const QTimeZone zone = Clock::localZone();
    const QDateTime moment = DateTimeText::parseLenient(text, zone);
    const QDateTime now = Clock::now();
    if (!moment.isValid() || moment > now)
        return QStringLiteral("");
    const QDateTime local = moment.toTimeZone(zone);
    const QDate day = local.date();
    const QDate today = now.toTimeZone(zone).date();
    const QString hourMinute = local.toString(QStringLiteral("HH:mm"));
    if (day == today)
        return hourMinute;
    // The day before within the same month only: on the first of a month yesterday is named by
    // its date.
    if (day.year() == today.year() && day.month() == today.month() && today.day() - day.day() == 1)
        return QStringLiteral("昨日") + hourMinute;
    return QStringLiteral("%1月%2日").arg(day.month()).arg(day.day());
}
