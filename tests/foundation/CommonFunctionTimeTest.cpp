#include "foundation/CommonFunction.h"
#include "platform/Clock.h"

#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

// Local time far from Beijing: UTC-8 all year.
class CommonFunctionTime : public ::testing::Test
{
protected:
    void SetUp() override { Clock::setLocalZone(QTimeZone(-8 * 3600)); }
    void TearDown() override
    {
        Clock::resetLocalZone();
        Clock::reset();
    }

    static QDateTime utc(const char* text) { return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate); }
    // Fixes now at a local (UTC-8) time.
    static void setLocalNow(const char* text)
    {
        Clock::setNow(CommonFunction::dateFromLocalDateTimeString(QString::fromUtf8(text)));
    }
    static QString label(const char* text) { return CommonFunction::intervalSinceNow(QString::fromUtf8(text)); }
};

}  // namespace

TEST_F(CommonFunctionTime, BeijingTimeIsEightHoursAheadOfUtcWhateverTheLocalZone)
{
    const QDateTime moment = utc("2020-01-01T20:30:15Z");
    EXPECT_EQ(CommonFunction::BJZoneDateTimeStringFromDate(moment), QStringLiteral("2020-01-02 04:30:15"));
    EXPECT_EQ(CommonFunction::BJZoneDateStringFromDate(moment), QStringLiteral("2020-01-02"));
    EXPECT_EQ(CommonFunction::localDateTimeStringFromDate(moment), QStringLiteral("2020-01-01 12:30:15"));
    EXPECT_EQ(CommonFunction::LocalDateStringFromDate(moment), QStringLiteral("2020-01-01"));
    EXPECT_TRUE(CommonFunction::BJZoneDateTimeStringFromDate(QDateTime()).isNull());

    // Summer time never moves Beijing time (the named zone had it in 1986-91).
    EXPECT_EQ(CommonFunction::BJZoneDateTimeStringFromDate(utc("1988-07-01T00:00:00Z")),
              QStringLiteral("1988-07-01 08:00:00"));
}

TEST_F(CommonFunctionTime, BeijingTextsReadBackAsMoments)
{
    EXPECT_EQ(CommonFunction::dateFromCSTDateTimeString(QStringLiteral("2020-01-01 08:00:00")), utc("2020-01-01T00:00:00Z"));
    EXPECT_EQ(CommonFunction::TransformCSTTimeZoneStrToLocalTimeZoneStr(QStringLiteral("2020-01-01 08:00:00")),
              QStringLiteral("2019-12-31 16:00:00"));
    // One-digit fields, as the servers sometimes write them.
    EXPECT_EQ(CommonFunction::TransformCSTTimeZoneStrToLocalTimeZoneStr(QStringLiteral("2015-1-5 3:4:5")),
              QStringLiteral("2015-01-04 11:04:05"));
    EXPECT_EQ(CommonFunction::YMDHMDateStringFromYMDHMSDateString(QStringLiteral("2015-1-5 3:4:5")),
              QStringLiteral("2015-01-05 03:04"));

    Clock::setNow(utc("2021-06-01T00:00:00Z"));
    EXPECT_EQ(CommonFunction::dateFromCSTDateTimeString(QString()), Clock::now());
    EXPECT_EQ(CommonFunction::dateFromCSTDateTimeString(QStringLiteral("")), Clock::now());
    EXPECT_TRUE(CommonFunction::TransformCSTTimeZoneStrToLocalTimeZoneStr(QString()).isNull());
    EXPECT_EQ(CommonFunction::TransformCSTTimeZoneStrToLocalTimeZoneStr(QStringLiteral("")), QStringLiteral(""));
    EXPECT_EQ(CommonFunction::YMDHMDateStringFromYMDHMSDateString(QString()), QStringLiteral(""));

    for (const char* bad : {"2021-02-29 00:00:00", "2021-13-01 00:00:00", "2021-01-01 24:00:00", "2021-01-01",
                            "2021-01-01 00:00:00 ", "2021-01-01T00:00:00", "20210-01-01 00:00:00", "２０２１-1-1 0:0:0"}) {
        const QString text = QString::fromUtf8(bad);
        EXPECT_FALSE(CommonFunction::dateFromLocalDateTimeString(text).isValid()) << bad;
        EXPECT_FALSE(CommonFunction::dateFromCSTDateTimeString(text).isValid()) << bad;
        EXPECT_TRUE(CommonFunction::TransformCSTTimeZoneStrToLocalTimeZoneStr(text).isNull()) << bad;
        EXPECT_TRUE(CommonFunction::YMDHMDateStringFromYMDHMSDateString(text).isNull()) << bad;
    }
}

TEST_F(CommonFunctionTime, RelativeLabels)
{
    setLocalNow("2021-03-01 10:00:00");
    EXPECT_EQ(label("2021-03-01 09:05:00"), QStringLiteral("09:05"));
    EXPECT_EQ(label("2021-3-1 0:0:0"), QStringLiteral("00:00"));
    EXPECT_EQ(label("2021-03-01 10:00:00"), QStringLiteral("10:00"));
    EXPECT_EQ(label("2021-03-01 10:01:00"), QStringLiteral(""));
    EXPECT_EQ(label("2021-03-04 08:00:00"), QStringLiteral(""));
    // "昨日" only within the month: on the first of a month the day before is named by its date.
    EXPECT_EQ(label("2021-02-28 23:59:00"), QStringLiteral("2月28日"));
    EXPECT_EQ(label("2021-02-27 23:59:00"), QStringLiteral("2月27日"));
    EXPECT_EQ(label("2020-03-01 09:00:00"), QStringLiteral("3月1日"));
    EXPECT_EQ(label("junk"), QStringLiteral(""));
    EXPECT_EQ(CommonFunction::intervalSinceNow(QString()), QStringLiteral(""));

    setLocalNow("2020-03-01 10:00:00");  // leap year: 28 February is two days back
    EXPECT_EQ(label("2020-02-28 12:00:00"), QStringLiteral("2月28日"));
    EXPECT_EQ(label("2020-02-29 00:00:00"), QStringLiteral("2月29日"));

    setLocalNow("2021-03-02 00:10:00");
    EXPECT_EQ(label("2021-03-01 23:59:00"), QStringLiteral("昨日23:59"));
    EXPECT_EQ(label("2021-02-28 23:59:00"), QStringLiteral("2月28日"));

    setLocalNow("2021-01-01 00:30:00");
    EXPECT_EQ(label("2020-12-31 22:30:00"), QStringLiteral("12月31日"));
    EXPECT_EQ(label("2020-12-30 22:30:00"), QStringLiteral("12月30日"));
}

TEST_F(CommonFunctionTime, JsonDates)
{
    const QString local = CommonFunction::localDateTimeStringFromDate(QDateTime::fromSecsSinceEpoch(1500000000));
    EXPECT_EQ(local, QStringLiteral("2017-07-13 18:40:00"));
    EXPECT_EQ(CommonFunction::dateTimeStringFromJsonDateStr(QStringLiteral("/Date(1500000000000)/")), local);
    EXPECT_EQ(CommonFunction::dateTimeStringFromJsonDateStr(QStringLiteral("\"x\":\"/Date(1500000000000)/\"")), local);
    EXPECT_EQ(CommonFunction::DateStringFromDate(QStringLiteral("/Date(1500000000000)/")), QStringLiteral("07/13 18:40"));
    EXPECT_EQ(CommonFunction::dateTimeStringFromJsonDateStr(QStringLiteral("/Date(-1500)/")),
              QStringLiteral("1969-12-31 15:59:58"));

    for (const char* bad : {"/Date(1500000000000)/ /Date(1500000000000)/", "/Date(1500000000000+0800)/", "/Date()/",
                            "/Date(x)/", "1500000000000", "/Date(1e300)/", "/Date(nan)/", ""}) {
        EXPECT_EQ(CommonFunction::dateTimeStringFromJsonDateStr(QString::fromLatin1(bad)), QStringLiteral("")) << bad;
        EXPECT_EQ(CommonFunction::DateStringFromDate(QString::fromLatin1(bad)), QStringLiteral("")) << bad;
    }
    EXPECT_EQ(CommonFunction::dateTimeStringFromJsonDateStr(QString()), QStringLiteral(""));
}
