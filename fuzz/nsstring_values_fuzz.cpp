// Arbitrary text through every number reader of NSStringValues; the readers must agree with
// each other whatever the input.
#include "platform/NSStringValues.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    using namespace NSStringValues;

    const int32_t i32 = intValue(text);
    const int64_t i64 = longLongValue(text);
    const double d = doubleValue(text);
    const bool b = boolValue(text);

    // The 32-bit reader is the 64-bit one clamped.
    const int64_t clamped = std::clamp<int64_t>(i64, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
    check(i32 == clamped);
    check(integerValue(text) == i64);

    // The double reader reads the same sign and leading digits (then perhaps a fraction and an
    // exponent, which may take it anywhere, zero included, but never flip its sign).
    check(!std::isnan(d));
    if (i64 > 0)
        check(!std::signbit(d));
    if (i64 < 0)
        check(std::signbit(d));

    // A non-zero integer means a digit 1-9 came first after the zeros: that reads as YES.
    if (i64 != 0)
        check(b);

    // Leading white space never changes a reading.
    const QString spaced = QStringLiteral(" \t") + text;
    check(intValue(spaced) == i32);
    check(longLongValue(spaced) == i64);
    check(boolValue(spaced) == b);
    const double spacedDouble = doubleValue(spaced);
    check(spacedDouble == d && std::signbit(spacedDouble) == std::signbit(d));
    return 0;
}
