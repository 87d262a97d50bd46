#include "foundation/CommonFunction.h"

#include "foundation/DES.h"
#include "foundation/models/RecordDefaults.h"

#include <QCryptographicHash>
#include <QStringDecoder>

#include <unicode/ucnv.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

// Runs the cipher over whole blocks of buf with one key schedule. The block operations count in
// 32-bit blocks, so a larger buffer is fed in slices.
void cipherBlocks(const DesKey& key, uint8_t* buf, std::size_t blocks, int32_t mode)
{
    DES des;
    des.deskey(key.data(), mode);
    constexpr auto kSlice = static_cast<std::size_t>(std::numeric_limits<int32_t>::max());
    while (blocks > 0) {
        const std::size_t now = std::min(blocks, kSlice);
        des.des(buf, buf, static_cast<int32_t>(now));
        buf += now * 8;
        blocks -= now;
    }
}

uint8_t* bytesOf(QByteArray& array)
{
    return reinterpret_cast<uint8_t*>(array.data());
}

// Zero-pads the bytes before the first zero byte to whole blocks, enciphers them and writes hex.
QString encipherToHex(const QByteArray& encoded, const DesKey& key)
{
    const qsizetype zero = encoded.indexOf('\0');
    const qsizetype n = zero < 0 ? encoded.size() : zero;
    if (n == 0)
        return emptyText();
    const auto blocks = static_cast<std::size_t>((n + 7) / 8);
    QByteArray buf(static_cast<qsizetype>(blocks * 8), '\0');
    std::memcpy(buf.data(), encoded.constData(), static_cast<std::size_t>(n));
    cipherBlocks(key, bytesOf(buf), blocks, DES::kEncipher);
    return QString::fromLatin1(buf.toHex());
}

// ICU converters are not safe to share between threads; each thread keeps its own.
class Gb18030Converter
{
public:
    ~Gb18030Converter()
    {
        if (m_converter != nullptr)
            ucnv_close(m_converter);
    }

    // The text's GB 18030 bytes; empty when the converter cannot be opened or conversion fails.
    QByteArray encode(const QString& text)
    {
        if (m_converter == nullptr) {
            UErrorCode status = U_ZERO_ERROR;
            m_converter = ucnv_open("gb18030", &status);
            if (U_FAILURE(status)) {
                m_converter = nullptr;
                return {};
            }
        }
        ucnv_resetFromUnicode(m_converter);
        // No UTF-16 unit needs more than four GB 18030 bytes (a surrogate pair takes four in all).
        QByteArray out(text.size() * 4 + 1, '\0');
        UErrorCode status = U_ZERO_ERROR;
        const int32_t written = ucnv_fromUChars(m_converter, out.data(), static_cast<int32_t>(out.size()),
                                                reinterpret_cast<const UChar*>(text.utf16()),
                                                static_cast<int32_t>(text.size()), &status);
        if (U_FAILURE(status))
            return {};
        out.truncate(written);
        return out;
    }

private:
    UConverter* m_converter = nullptr;
};

// Digit value of a hex character; any other character counts as its code minus 87, which keeps
// 'a'-'f' right and gives the rest a value the byte arithmetic wraps.
int digitValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return static_cast<int>(c) - 87;
}

bool isHexDigit(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

QString hexDigest(const QString& text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex());
}

}  // namespace

QString CommonFunction::EncrypteUTF8(const QString& text, const DesKey& key)
{
    if (text.isEmpty())
        return emptyText();
    return encipherToHex(text.toUtf8(), key);
}

QString CommonFunction::EncrypteGB2312(const QString& text, const DesKey& key)
{
    if (text.isEmpty())
        return emptyText();
    thread_local Gb18030Converter converter;
    return encipherToHex(converter.encode(text), key);
}

QString CommonFunction::DecypteUTF8(const QString& hex, const DesKey& key)
{
    const qsizetype length = hex.size();
    if (length == 0 || length % 16 != 0)
        return emptyText();
    // Garbage characters would otherwise decipher into garbage bytes that callers take for data.
    const char16_t* chars = reinterpret_cast<const char16_t*>(hex.utf16());
    if (!std::all_of(chars, chars + length, isHexDigit))
        return emptyText();

    const auto blocks = static_cast<std::size_t>(length / 16);
    QByteArray buf(static_cast<qsizetype>(blocks * 8), '\0');
    for (qsizetype i = 0; i < buf.size(); ++i)
        buf[i] = static_cast<char>(16 * digitValue(chars[2 * i]) + digitValue(chars[2 * i + 1]));
    cipherBlocks(key, bytesOf(buf), blocks, DES::kDecipher);

    const qsizetype zero = buf.indexOf('\0');
    const qsizetype n = zero < 0 ? buf.size() : zero;
    if (n == 0)
        return emptyText();
    // Strict: any malformed sequence is an error. A leading U+FEFF is part of the text, not a BOM.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder.decode(QByteArrayView(buf.constData(), n));
    if (decoder.hasError())
        return QString();
    return text;
}

QByteArray CommonFunction::DecypteData(const QByteArray& data, const DesKey& key)
{
    const qsizetype length = data.size();
    if (length == 0)
        return QByteArray();
    const auto blocks = static_cast<std::size_t>(length / 8 + 1);
    QByteArray buf(static_cast<qsizetype>(blocks * 8), '\0');
    std::memcpy(buf.data(), data.constData(), static_cast<std::size_t>(length));
    cipherBlocks(key, bytesOf(buf), blocks, DES::kDecipher);
    buf.truncate(length);
    return buf;
}

void CommonFunction::changeString0XCode(const QString& twoChars, uint8_t* out)
{
    if (out == nullptr || twoChars.size() < 2)
        return;
    const int value = 16 * digitValue(twoChars[0].unicode()) + digitValue(twoChars[1].unicode());
    *out = static_cast<uint8_t>(value & 0xff);
}

QString CommonFunction::md5(const QString& text)
{
    return hexDigest(text);
}

QString CommonFunction::md5HexDigest(const QString& text)
{
    return hexDigest(text).toUpper();
}

QString CommonFunction::getHotProductSignature(double timestamp)
{
    // "%.0f" rounds half to even, exactly as the service computes it; the widest double needs
    // 309 digits and a sign.
    char digits[400];
    const int n = std::snprintf(digits, sizeof digits, "%.0f", timestamp);
    QString message = QString::fromLatin1(digits, n > 0 ? n : 0);
    message += QLatin1String(kDealsSignatureSuffix.data(), static_cast<qsizetype>(kDealsSignatureSuffix.size()));
    return md5HexDigest(message);
}
