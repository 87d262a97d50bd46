#include "foundation/CommonFunction.h"

#include <QUrl>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

bool isAsciiDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return isAsciiDigit(c) || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

// The scanner skips white space and line breaks before each value it reads.
qsizetype skipSpace(const QString& text, qsizetype pos)
{
    while (pos < text.size() && text.at(pos).isSpace())
        ++pos;
    return pos;
}

qsizetype skipDigits(const QString& text, qsizetype pos)
{
    while (pos < text.size() && isAsciiDigit(text.at(pos)))
        ++pos;
    return pos;
}

qsizetype skipSign(const QString& text, qsizetype pos)
{
    if (pos < text.size() && (text.at(pos) == u'+' || text.at(pos) == u'-'))
        ++pos;
    return pos;
}

// An integer: optional sign and at least one digit. Too large a value still reads (it saturates).
bool scanInteger(const QString& text, qsizetype& pos)
{
    const qsizetype digits = skipSign(text, pos);
    const qsizetype end = skipDigits(text, digits);
    if (end == digits)
        return false;
    pos = end;
    return true;
}

// A decimal floating-point number: sign, digits with an optional point (a digit on either side),
// and an exponent only when digits follow its "e".
bool scanDouble(const QString& text, qsizetype& pos)
{
    const qsizetype start = skipSign(text, pos);
    qsizetype end = skipDigits(text, start);
    qsizetype mantissaDigits = end - start;
    if (end < text.size() && text.at(end) == u'.') {
        const qsizetype fraction = skipDigits(text, end + 1);
        mantissaDigits += fraction - (end + 1);
        end = fraction;
    }
    if (mantissaDigits == 0)
        return false;
    if (end < text.size() && (text.at(end) == u'e' || text.at(end) == u'E')) {
        const qsizetype exponent = skipSign(text, end + 1);
        const qsizetype exponentEnd = skipDigits(text, exponent);
        if (exponentEnd > exponent)
            end = exponentEnd;
    }
    pos = end;
    return true;
}

bool isWhole(const QString& text, bool (*scan)(const QString&, qsizetype&))
{
    qsizetype pos = skipSpace(text, 0);
    if (!scan(text, pos))
        return false;
    return skipSpace(text, pos) == text.size();
}

bool hexDigitsAt(const QString& text, qsizetype pos, qsizetype count)
{
    if (pos + count > text.size())
        return false;
    for (qsizetype i = pos; i < pos + count; ++i) {
        if (!isHexDigit(text.at(i)))
            return false;
    }
    return true;
}

char16_t hexUnit(const QString& text, qsizetype pos, qsizetype count)
{
    const QByteArray digits = text.mid(pos, count).toLatin1();
    return static_cast<char16_t>(CommonFunction::hex2dec(digits.constData()));
}

}  // namespace

bool CommonFunction::isPureInt(const QString& text)
{
    return isWhole(text, scanInteger);
}

bool CommonFunction::isPureDouble(const QString& text)
{
    return isWhole(text, scanDouble);
}

QString CommonFunction::urlString(const QString& text)
{
    if (text.isEmpty())
        return QStringLiteral("");
    // Letters, digits and "-._~" stay by default; these are the rest a fragment may hold.
    return QString::fromLatin1(QUrl::toPercentEncoding(text, QByteArrayLiteral("!$&'()*+,;=:@/?")));
}

QString CommonFunction::unescape(const QString& text)
{
    if (text.isEmpty())
        return QStringLiteral("");
    QString result;
    result.reserve(text.size());
    qsizetype pos = 0;
    while (pos < text.size()) {
        char16_t unit = text.at(pos).unicode();
        if (unit == u'%' && pos + 1 < text.size() && text.at(pos + 1) == u'u' && hexDigitsAt(text, pos + 2, 4)) {
            unit = hexUnit(text, pos + 2, 4);
            pos += 6;
        } else if (unit == u'%' && hexDigitsAt(text, pos + 1, 2)) {
            unit = hexUnit(text, pos + 1, 2);
            pos += 3;
        } else {
            // Plain text, any other "%" and every character beyond ASCII pass unchanged.
            ++pos;
        }
        if (unit == 0)
            break;
        result += QChar(unit);
    }
    return result;
}

int64_t CommonFunction::hex2dec(const char* text)
{
    if (text == nullptr || *text == '\0')
        return 0;
    // Digits above "9" count as their upper-case code minus 55, so "A"-"F" and "a"-"f" are 10-15;
    // other characters give whatever that rule gives, as the callers have always had it.
    const std::size_t length = std::strlen(text);
    double sum = 0.0;
    for (std::size_t i = 0; i < length; ++i) {
        int code = static_cast<unsigned char>(text[i]);
        int digit = 0;
        if (code >= '0' && code <= '9') {
            digit = code - '0';
        } else {
            if (code >= 'a' && code <= 'z')
                code -= 'a' - 'A';
            digit = code - 55;
        }
        // A zero digit adds nothing, even where its weight has overflowed to infinity.
        if (digit != 0)
            sum += digit * std::pow(16.0, static_cast<double>(length - 1 - i));
    }
    // Far too many digits overflow the double: keep the conversion defined.
    constexpr double kTwoTo63 = 9223372036854775808.0;
    if (std::isnan(sum))
        return 0;
    if (sum >= kTwoTo63)
        return std::numeric_limits<int64_t>::max();
    if (sum < -kTwoTo63)
        return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(sum);
}
