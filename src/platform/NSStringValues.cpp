#include "platform/NSStringValues.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

bool isAsciiDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

qsizetype skipSpace(const QString& text, qsizetype i)
{
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    return i;
}

// Leading integer of the text, clamped to [minimum, maximum].
int64_t scanInteger(const QString& text, int64_t minimum, int64_t maximum)
{
    qsizetype i = skipSpace(text, 0);
    bool negative = false;
    if (i < text.size() && (text.at(i) == u'+' || text.at(i) == u'-')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    // Accumulate the magnitude; past the limit it only needs to stay past it.
    const uint64_t limit = negative ? uint64_t(0) - uint64_t(minimum) : uint64_t(maximum);
    uint64_t magnitude = 0;
    bool over = false;
    for (; i < text.size() && isAsciiDigit(text.at(i)); ++i) {
        if (over)
            continue;
        const uint64_t digit = uint64_t(text.at(i).unicode() - u'0');
        if (magnitude > (limit - digit) / 10)
            over = true;
        else
            magnitude = magnitude * 10 + digit;
    }
    if (over)
        return negative ? minimum : maximum;
    return negative ? int64_t(uint64_t(0) - magnitude) : int64_t(magnitude);
}

}  // namespace

namespace NSStringValues {

int32_t intValue(const QString& text)
{
    return int32_t(scanInteger(text, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

int64_t integerValue(const QString& text)
{
    return longLongValue(text);
}

int64_t longLongValue(const QString& text)
{
    return scanInteger(text, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max());
}

double doubleValue(const QString& text)
{
    qsizetype i = skipSpace(text, 0);
    bool negative = false;
    if (i < text.size() && (text.at(i) == u'+' || text.at(i) == u'-')) {
        negative = text.at(i) == u'-';
        ++i;
    }

    // Copy the readable span as ASCII: from_chars takes no '+', no white space and no locale.
    std::string span;
    int significantIntDigits = 0;     // integer digits after the leading zeros
    int fractionLeadingZeros = 0;     // zeros right after the point while no other digit came
    bool anyNonZero = false;
    int digitCount = 0;
    for (; i < text.size() && isAsciiDigit(text.at(i)); ++i, ++digitCount) {
        const char digit = char(text.at(i).unicode());
        span += digit;
        if (digit != '0' || anyNonZero) {
            anyNonZero = true;
            ++significantIntDigits;
        }
    }
    if (i < text.size() && text.at(i) == u'.') {
        span += '.';
        for (++i; i < text.size() && isAsciiDigit(text.at(i)); ++i, ++digitCount) {
            const char digit = char(text.at(i).unicode());
            span += digit;
            if (digit != '0')
                anyNonZero = true;
            else if (!anyNonZero)
                ++fractionLeadingZeros;
        }
    }
    if (digitCount == 0)
        return 0.0;

    int64_t exponent = 0;
    if (i < text.size() && (text.at(i) == u'e' || text.at(i) == u'E')) {
        qsizetype j = i + 1;
        bool exponentNegative = false;
        if (j < text.size() && (text.at(j) == u'+' || text.at(j) == u'-')) {
            exponentNegative = text.at(j) == u'-';
            ++j;
        }
        if (j < text.size() && isAsciiDigit(text.at(j))) {
            span += 'e';
            if (exponentNegative)
                span += '-';
            for (; j < text.size() && isAsciiDigit(text.at(j)); ++j) {
                span += char(text.at(j).unicode());
                if (exponent < 1000000000)
                    exponent = exponent * 10 + (text.at(j).unicode() - u'0');
            }
            if (exponentNegative)
                exponent = -exponent;
        }
    }

    double value = 0.0;
    const auto [end, error] = std::from_chars(span.data(), span.data() + span.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        // Only the order of magnitude matters here: out of range is either far above 1 or far below.
        const int64_t magnitude = significantIntDigits > 0 ? significantIntDigits - 1 + exponent
                                                           : exponent - fractionLeadingZeros - 1;
        value = magnitude >= 0 ? HUGE_VAL : 0.0;
    } else if (error != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

bool boolValue(const QString& text)
{
    qsizetype i = skipSpace(text, 0);
    if (i < text.size() && (text.at(i) == u'+' || text.at(i) == u'-'))
        ++i;
    while (i < text.size() && text.at(i) == u'0')
        ++i;
    if (i >= text.size())
        return false;
    const char16_t c = text.at(i).unicode();
    return c == u'Y' || c == u'y' || c == u'T' || c == u't' || (c >= u'1' && c <= u'9');
}

}  // namespace NSStringValues
