#include "platform/NSStringValues.h"
#include "ScopeGuard.h"

#include <QLocale>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

using namespace NSStringValues;

namespace {
constexpr int32_t kIntMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kIntMax = std::numeric_limits<int32_t>::max();
constexpr int64_t kLongMin = std::numeric_limits<int64_t>::min();
constexpr int64_t kLongMax = std::numeric_limits<int64_t>::max();
}  // namespace

TEST(NSStringValues, IntegersReadTheLeadingNumberAndSaturate)
{
    // text, intValue, longLongValue
    const struct { const char16_t* text; int32_t asInt; int64_t asLong; } cases[] = {
        {u"  42abc", 42, 42}, {u"\t\n -17 apples", -17, -17}, {u"+8", 8, 8}, {u"007", 7, 7},
        {u"", 0, 0}, {u"abc", 0, 0}, {u"+-1", 0, 0}, {u"- 1", 0, 0}, {u"12 34", 12, 12}, {u"3.9", 3, 3},
        {u"-0", 0, 0}, {u"\uFF11\uFF12", 0, 0},  // full-width digits are not decimal digits here
        {u"2147483647", kIntMax, 2147483647LL}, {u"2147483648", kIntMax, 2147483648LL},
        {u"-2147483648", kIntMin, -2147483648LL}, {u"-2147483649", kIntMin, -2147483649LL},
        {u"99999999999", kIntMax, 99999999999LL}, {u"-99999999999", kIntMin, -99999999999LL},
        {u"9223372036854775807", kIntMax, kLongMax}, {u"9223372036854775808", kIntMax, kLongMax},
        {u"-9223372036854775808", kIntMin, kLongMin}, {u"-9223372036854775809", kIntMin, kLongMin},
        {u"184467440737095516160000", kIntMax, kLongMax},  // past the unsigned 64-bit range too
        {u"  -000000000000000000000000012x", -12, -12},
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf16(c.text);
        EXPECT_EQ(intValue(text), c.asInt) << text.toStdString();
        EXPECT_EQ(longLongValue(text), c.asLong) << text.toStdString();
        EXPECT_EQ(integerValue(text), c.asLong) << text.toStdString();
    }
}

TEST(NSStringValues, DoublesFollowTheScannedSpan)
{
    const struct { const char* text; double value; } cases[] = {
        {" 1e3", 1000.0}, {"0.5e", 0.5}, {"0.5e+", 0.5}, {"2E-2", 0.02}, {".5", 0.5}, {"-.25xyz", -0.25},
        {"5.", 5.0}, {"+12.5kg", 12.5}, {"1.2.3", 1.2}, {"", 0.0}, {"abc", 0.0}, {".", 0.0}, {"-", 0.0},
        {"e5", 0.0}, {"+-1", 0.0}, {"inf", 0.0}, {"nan", 0.0}, {"0x10", 0.0},
        {"1e400", HUGE_VAL}, {"-1e400", -HUGE_VAL}, {"1e99999999999999999999", HUGE_VAL},
        {"0.000001e309", 1e303}, {"1e-400", 0.0}, {"0.0000000001e-320", 0.0}, {"0e99999", 0.0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(doubleValue(QString::fromLatin1(c.text)), c.value) << c.text;

    const double minusZero = doubleValue("-0");
    EXPECT_EQ(minusZero, 0.0);
    EXPECT_TRUE(std::signbit(minusZero));
    EXPECT_GT(doubleValue("4.9e-324"), 0.0);
}

TEST(NSStringValues, BoolsLookAtTheFirstSignificantCharacter)
{
    for (const char* yes : {"Y", "yes", "t", "True", "007", " -1", "+9", "0y", "  1.0", "YES please"})
        EXPECT_TRUE(boolValue(QString::fromLatin1(yes))) << yes;
    for (const char* no : {"0", "00", "+0", "N", "", "false", "no", "  ", "-", "+-1", "0.1", "x1", "*"})
        EXPECT_FALSE(boolValue(QString::fromLatin1(no))) << no;
}

TEST(NSStringValues, ReadersIgnoreTheUserLocale)
{
    const auto restore = onScopeExit([locale = QLocale(), numeric = std::string(std::setlocale(LC_NUMERIC, nullptr))] {
        std::setlocale(LC_NUMERIC, numeric.c_str());
        QLocale::setDefault(locale);
    });
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    // Present only on machines with that locale; the checks hold either way.
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");

    EXPECT_DOUBLE_EQ(doubleValue("3.5"), 3.5);
    EXPECT_DOUBLE_EQ(doubleValue("3,5"), 3.0);
    EXPECT_EQ(intValue("1.234"), 1);
    EXPECT_EQ(longLongValue("1.234.567"), 1);
}
