#include "networking/NSString_URL.h"

#include "networking/TextEncoding.h"

#include <QSysInfo>

#include <optional>
#include <string_view>

namespace {

// The reserved characters the encoders escape, in the order they are replaced; "%" leads so that
// the escapes made for the others are left alone.
constexpr char16_t kEscapedInOrder[] = u"%:/?#[]@!$ &'()*+,;=\"<>{}|\\^~`";

bool staysUnescaped(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' ||
           c == u'.' || c == u'_';
}

// The text with every unpaired surrogate replaced by U+FFFD. A caller's text that lost half a
// pair (cut at a UTF-16 boundary) still carries the rest of its value.
QString withPairedSurrogates(const QString& text)
{
    QString out = text;
    for (qsizetype i = 0; i < out.size(); ++i) {
        const char16_t c = out[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < out.size() && QChar::isLowSurrogate(out[i + 1].unicode())) {
            ++i;
        } else if (QChar::isSurrogate(c)) {
            out[i] = QChar(QChar::ReplacementCharacter);
        }
    }
    return out;
}

void appendEscapedBytes(QString& out, const QByteArray& bytes)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        out += u'%';
        out += QLatin1Char(kHex[b >> 4]);
        out += QLatin1Char(kHex[b & 0x0f]);
    }
}

// Every run of characters outside the unescaped set is converted as a whole (the encodings used
// here carry no state between characters, so this gives the bytes each character has alone).
QString percentEncoded(const QString& text, const QString& charsetName)
{
    if (text.isEmpty())
        return QStringLiteral("");
    const QString source = withPairedSurrogates(text);
    QString out;
    out.reserve(source.size() * 3);
    qsizetype i = 0;
    while (i < source.size()) {
        if (staysUnescaped(source[i].unicode())) {
            out += source[i++];
            continue;
        }
        const qsizetype start = i;
        while (i < source.size() && !staysUnescaped(source[i].unicode()))
            ++i;
        const std::optional<QByteArray> bytes = TextEncoding::encode(source.mid(start, i - start), charsetName);
        if (!bytes.has_value())
            return QStringLiteral("");
        appendEscapedBytes(out, *bytes);
    }
    return out;
}

}  // namespace

namespace NSString_URL {

QString URLUTF8EncodedString(const QString& text)
{
    return percentEncoded(text, TextEncoding::kUTF8);
}

QString URLGB2312EncodedString(const QString& text)
{
    return percentEncoded(text, QStringLiteral("gb18030"));
}

QString URLUnicodeEncodedString(const QString& text)
{
    return percentEncoded(text, QSysInfo::ByteOrder == QSysInfo::LittleEndian ? QStringLiteral("utf-16le")
                                                                               : QStringLiteral("utf-16be"));
}

QString URLNoEncodedString(const QString& text)
{
    if (text.isEmpty())
        return QStringLiteral("");
    QString out = withPairedSurrogates(text);
    for (const char16_t c : std::u16string_view(kEscapedInOrder)) {
        const QChar reserved(c);
        if (out.contains(reserved))
            out.replace(reserved, QString::asprintf("%%%2X", static_cast<unsigned>(c)));
    }
    return out;
}

}  // namespace NSString_URL
