#pragma once

#include <QString>

#include <cstdint>

// How the program reads numbers out of texts. Callers read counters, flags and ids out of texts
// that came from the servers or from the user defaults, and rely on these exact forgiving rules:
// leading white space is skipped, trailing text is ignored, nothing readable gives 0, and an
// out-of-range integer saturates instead of wrapping. None of them depends on the user's locale.
namespace NSStringValues {

// Skips white space, takes one optional sign and the decimal digits that follow.
// Saturates to INT32_MIN / INT32_MAX; 0 when no digit follows.
int32_t intValue(const QString& text);
// As intValue, over the 64-bit range.
int64_t integerValue(const QString& text);
int64_t longLongValue(const QString& text);

// Skips white space, then sign, digits, an optional fraction and an optional exponent (the
// exponent counts only when digits follow its "e"). The decimal point is always '.'.
// Overflow gives +-HUGE_VAL, an underflow +-0.0, nothing readable 0.0.
double doubleValue(const QString& text);

// Skips white space, one optional sign and any leading '0's; true when the next character is
// one of "YyTt" or a digit 1-9.
bool boolValue(const QString& text);

}  // namespace NSStringValues
