// Input: one byte of options, then pattern NUL subject NUL template (UTF-8; missing parts are empty).
// Bad patterns must come back as errors, ICU failures as RKLException, and nothing may crash.
#include "Library/RegexKitLite-4.0/RegexKitLite.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdlib>

using namespace RegexKitLiteAdditions;

namespace {

// Only flags ICU knows, so most inputs compile and reach the matcher.
RKLRegexOptions optionsFrom(uint8_t byte)
{
    return (byte & 0x3E) | ((byte & 0x01) ? 0x100u : 0u) | ((byte & 0x40) ? 0x200u : 0u);
}

template <typename Call>
void guarded(Call&& call)
{
    try {
        call();
    } catch (const RKLException&) {
        // ICU failures while running (a template naming a missing group, a stack limit) raise by design.
    }
}

void exercise(const QString& pattern, const QString& subject, const QString& replacement, RKLRegexOptions options)
{
    const NSRange whole{0, NSUIntegerMax};
    const NSRange middle{static_cast<NSUInteger>(subject.size() / 4), static_cast<NSUInteger>(subject.size() / 2)};
    Error error;

    const NSInteger groups = captureCountWithOptions(pattern, options, &error);
    if ((groups < 0) != (error.code != 0))
        std::abort();

    guarded([&] { arrayOfCaptureComponentsMatchedByRegex(subject, pattern, options, whole, &error); });
    guarded([&] { componentsSeparatedByRegex(subject, pattern, options, middle, &error); });
    guarded([&] { componentsMatchedByRegex(subject, pattern, options, middle, groups > 0 ? groups : 0, &error); });
    guarded([&] { rangeOfRegex(subject, pattern, options, whole, groups > 0 ? groups : 0, &error); });
    guarded([&] {
        arrayOfDictionariesByMatchingRegex(subject, pattern, options, whole, &error, {{QStringLiteral("m"), 0}});
    });
    guarded([&] {
        // Putting every match back in its place must give the subject again.
        const QString same = stringByReplacingOccurrencesOfRegex(subject, pattern, QStringLiteral("$0"), options,
                                                                 whole, &error);
        if (groups >= 0 && same != subject)
            std::abort();
    });
    guarded([&] { stringByReplacingOccurrencesOfRegex(subject, pattern, replacement, options, middle, &error); });
    guarded([&] {
        QString copy = subject;
        replaceOccurrencesOfRegex(copy, pattern, replacement, options, whole, &error);
    });
    guarded([&] {
        int seen = 0;
        enumerateStringsMatchedByRegex(subject, pattern, options, whole, &error, 0,
                                       [&](NSInteger, const QString*, const NSRange*, volatile bool* stop) {
                                           *stop = ++seen >= 64;
                                       });
    });
    guarded([&] {
        stringByReplacingOccurrencesOfRegex(subject, pattern, options, middle, &error, 0,
                                            [](NSInteger count, const QString* strings, const NSRange*,
                                               volatile bool*) { return strings[count - 1]; });
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > 2048)
        return 0;
    const RKLRegexOptions options = optionsFrom(data[0]);
    const QByteArray text(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    const QList<QByteArray> parts = text.split('\0');
    const QString pattern = QString::fromUtf8(parts.value(0));
    // Null subjects and templates are caller errors, not data: give the matcher real strings.
    const QString subject = QString::fromUtf8(parts.value(1)) + QStringLiteral("");
    const QString replacement = QString::fromUtf8(parts.value(2)) + QStringLiteral("");
    if (pattern.isEmpty() || subject.size() > 512)
        return 0;

    exercise(pattern, subject, replacement, options);
    // The same text through borrowed storage goes through the conversion buffers.
    exercise(pattern, QString::fromRawData(subject.constData(), subject.size()), replacement, options);
    return 0;
}
