// Arbitrary text through the text utilities and the time-text readers of CommonFunction.
#include "foundation/CommonFunction.h"
#include "platform/Clock.h"

#include <QByteArray>
#include <QString>
#include <QTimeZone>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "common_text: %s\n", what);
    std::abort();
}

bool allHexDigits(const QByteArray& bytes)
{
    for (char c : bytes) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    }
    return !bytes.isEmpty();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool zoneSet = [] {
        Clock::setLocalZone(QTimeZone(-8 * 3600));
        Clock::setNow(QDateTime::fromSecsSinceEpoch(1600000000));
        return true;
    }();
    (void)zoneSet;

    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString text = QString::fromUtf8(bytes);

    if (CommonFunction::unescape(text).size() > text.size())
        fail("unescape made the text longer");

    const std::string zeroTerminated(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    const int64_t value = CommonFunction::hex2dec(zeroTerminated.c_str());
    if (allHexDigits(bytes) && bytes.size() <= 13 && value != static_cast<int64_t>(std::strtoull(zeroTerminated.c_str(), nullptr, 16)))
        fail("hex2dec disagrees with strtoull on a short hex text");

    if (CommonFunction::isPureInt(text) && !CommonFunction::isPureDouble(text))
        fail("a pure integer is not a pure double");
    (void)CommonFunction::urlString(text);

    const QDateTime local = CommonFunction::dateFromLocalDateTimeString(text);
    if (local.isValid()) {
        const QString again = CommonFunction::localDateTimeStringFromDate(local);
        if (CommonFunction::dateFromLocalDateTimeString(again) != local)
            fail("a local time text does not read back");
    }
    (void)CommonFunction::dateFromCSTDateTimeString(text);
    (void)CommonFunction::TransformCSTTimeZoneStrToLocalTimeZoneStr(text);
    (void)CommonFunction::YMDHMDateStringFromYMDHMSDateString(text);
    (void)CommonFunction::intervalSinceNow(text);

    const bool full = CommonFunction::dateTimeStringFromJsonDateStr(text).isEmpty();
    const bool brief = CommonFunction::DateStringFromDate(text).isEmpty();
    if (full != brief)
        fail("the two JSON date forms disagree on whether the text holds a date");
    return 0;
}
