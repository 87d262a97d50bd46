#include "networking/TextEncoding.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <memory>

namespace {

QByteArray icuName(const QString& charsetName)
{
    const QString lower = charsetName.trimmed().toLower();
    if (lower == QLatin1String("gb2312") || lower == QLatin1String("gbk") || lower == QLatin1String("x-gbk") ||
        lower == QLatin1String("cp936") || lower == QLatin1String("euc-cn") || lower == QLatin1String("x-euc-cn"))
        return QByteArrayLiteral("gb18030");
    return lower.toLatin1();
}

struct ConverterCloser
{
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

// A converter that stops at the first byte or character it cannot convert, instead of putting
// in a substitute, so that a wrong charset is reported rather than read as garbage.
Converter openStrict(const QString& charsetName)
{
    if (charsetName.trimmed().isEmpty())
        return nullptr;
    UErrorCode status = U_ZERO_ERROR;
    Converter converter(ucnv_open(icuName(charsetName).constData(), &status));
    if (U_FAILURE(status))
        return nullptr;
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    if (U_FAILURE(status))
        return nullptr;
    return converter;
}

}  // namespace

namespace TextEncoding {

bool isUTF8(const QString& name)
{
    return name.compare(QLatin1String("utf-8"), Qt::CaseInsensitive) == 0 ||
           name.compare(QLatin1String("utf8"), Qt::CaseInsensitive) == 0;
}

bool isKnown(const QString& charsetName)
{
    return isUTF8(charsetName) || openStrict(charsetName) != nullptr;
}

std::optional<QString> decode(const QByteArray& bytes, const QString& charsetName)
{
    if (isUTF8(charsetName)) {
        QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        QString text = decoder.decode(bytes);
        if (decoder.hasError())
            return std::nullopt;
        return text;
    }
    Converter converter = openStrict(charsetName);
    if (converter == nullptr || bytes.size() > INT32_MAX / 2)
        return std::nullopt;
    // Most sets yield at most one UTF-16 unit per byte; the rest are measured on a second pass.
    QString text(bytes.size() + 1, Qt::Uninitialized);
    UErrorCode status = U_ZERO_ERROR;
    int32_t written = ucnv_toUChars(converter.get(), reinterpret_cast<UChar*>(text.data()),
                                    static_cast<int32_t>(text.size()), bytes.constData(),
                                    static_cast<int32_t>(bytes.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        text.resize(written + 1);
        status = U_ZERO_ERROR;
        ucnv_resetToUnicode(converter.get());
        written = ucnv_toUChars(converter.get(), reinterpret_cast<UChar*>(text.data()), static_cast<int32_t>(text.size()),
                                bytes.constData(), static_cast<int32_t>(bytes.size()), &status);
    }
    if (U_FAILURE(status))
        return std::nullopt;
    text.truncate(written);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

std::optional<QByteArray> encode(const QString& text, const QString& charsetName)
{
    if (isUTF8(charsetName)) {
        QStringEncoder encoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        QByteArray bytes = encoder.encode(text);
        if (encoder.hasError())
            return std::nullopt;
        return bytes;
    }
    Converter converter = openStrict(charsetName);
    if (converter == nullptr || text.size() > INT32_MAX / 8)
        return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    const int32_t needed = ucnv_fromUChars(converter.get(), nullptr, 0, reinterpret_cast<const UChar*>(text.utf16()),
                                           static_cast<int32_t>(text.size()), &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status))
        return std::nullopt;
    QByteArray bytes(needed, Qt::Uninitialized);
    status = U_ZERO_ERROR;
    ucnv_resetFromUnicode(converter.get());
    ucnv_fromUChars(converter.get(), bytes.data(), needed, reinterpret_cast<const UChar*>(text.utf16()),
                    static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status))
        return std::nullopt;
    return bytes;
}

}  // namespace TextEncoding
