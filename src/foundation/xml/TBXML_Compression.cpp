#include "foundation/xml/TBXML_Compression.h"

#include <QFile>
#include <QFileInfo>

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace {

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr qsizetype kDeflateStep = 16384;

// The 6-bit value of a Base64 character, or -1 for any byte outside the alphabet.
int base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

// zlib counts its input in 32-bit units; larger data is refused rather than cut short.
bool fitsZlib(const QByteArray& data)
{
    return static_cast<quint64>(data.size()) <= std::numeric_limits<uInt>::max();
}

Bytef* zlibInput(const QByteArray& data)
{
    return reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
}

// The free space of the output after what zlib has written, in zlib's 32-bit unit.
uInt roomFor(const QByteArray& output, const z_stream& stream)
{
    const qsizetype room = output.size() - static_cast<qsizetype>(stream.total_out);
    return static_cast<uInt>(std::min<qsizetype>(room, std::numeric_limits<uInt>::max()));
}

}  // namespace

namespace TBXML_Compression {

std::optional<QByteArray> dataWithUncompressedContentsOfFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray contents = file.readAll();
    if (QFileInfo(path).suffix() == QLatin1String("gz"))
        return gzipInflate(contents);
    return contents;
}

QByteArray initWithBase64EncodedString(const QString& string)
{
    QByteArray decoded;
    for (const QChar c : string) {
        if (c.unicode() > 0x7f)
            return decoded;
    }
    const QByteArray ascii = string.toLatin1();
    decoded.reserve(ascii.size() / 4 * 3 + 2);
    int values[4] = {};
    int pending = 0;
    for (const char c : ascii) {
        if (c == '=') {
            if (pending == 2) {
                decoded.append(static_cast<char>((values[0] << 2) | (values[1] >> 4)));
            } else if (pending == 3) {
                decoded.append(static_cast<char>((values[0] << 2) | (values[1] >> 4)));
                decoded.append(static_cast<char>(((values[1] & 0x0f) << 4) | (values[2] >> 2)));
            }
            break;
        }
        const int value = base64Value(c);
        if (value < 0)
            continue;
        values[pending++] = value;
        if (pending == 4) {
            decoded.append(static_cast<char>((values[0] << 2) | (values[1] >> 4)));
            decoded.append(static_cast<char>(((values[1] & 0x0f) << 4) | (values[2] >> 2)));
            decoded.append(static_cast<char>(((values[2] & 0x03) << 6) | values[3]));
            pending = 0;
        }
    }
    return decoded;
}

QByteArray newDataWithBase64EncodedString(const QString& string)
{
    return initWithBase64EncodedString(string);
}

QString base64Encoding(const QByteArray& data)
{
    return base64EncodingWithLineLength(data, 0);
}

QString base64EncodingWithLineLength(const QByteArray& data, uint32_t lineLength)
{
    QByteArray text;
    const qsizetype characters = (data.size() + 2) / 3 * 4;
    const qsizetype lineCharacters = (static_cast<qsizetype>(lineLength) + 3) / 4 * 4;
    text.reserve(characters + (lineCharacters ? characters / lineCharacters + 1 : 0));
    const auto* in = reinterpret_cast<const unsigned char*>(data.constData());
    const qsizetype size = data.size();
    uint32_t onLine = 0;
    for (qsizetype i = 0; i < size; i += 3) {
        const qsizetype remaining = size - i;
        const unsigned b0 = in[i];
        const unsigned b1 = remaining > 1 ? in[i + 1] : 0;
        const unsigned b2 = remaining > 2 ? in[i + 2] : 0;
        text.append(kBase64Alphabet[b0 >> 2]);
        text.append(kBase64Alphabet[((b0 & 0x03) << 4) | (b1 >> 4)]);
        text.append(remaining > 1 ? kBase64Alphabet[((b1 & 0x0f) << 2) | (b2 >> 6)] : '=');
        text.append(remaining > 2 ? kBase64Alphabet[b2 & 0x3f] : '=');
        onLine += 4;
        if (lineLength != 0 && onLine >= lineLength) {
            text.append('\n');
            onLine = 0;
        }
    }
    return QString::fromLatin1(text);
}

std::optional<QByteArray> gzipDeflate(const QByteArray& data)
{
    if (data.isEmpty())
        return data;
    if (!fitsZlib(data))
        return std::nullopt;
    z_stream stream {};
    stream.next_in = zlibInput(data);
    stream.avail_in = static_cast<uInt>(data.size());
    // Window bits 15 + 16 ask for the gzip wrapper.
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return std::nullopt;
    QByteArray compressed(kDeflateStep, Qt::Uninitialized);
    do {
        if (static_cast<qsizetype>(stream.total_out) >= compressed.size())
            compressed.resize(compressed.size() + kDeflateStep);
        stream.next_out = reinterpret_cast<Bytef*>(compressed.data()) + stream.total_out;
        stream.avail_out = roomFor(compressed, stream);
        deflate(&stream, Z_FINISH);
    } while (stream.avail_out == 0);
    deflateEnd(&stream);
    compressed.resize(static_cast<qsizetype>(stream.total_out));
    return compressed;
}

std::optional<QByteArray> gzipInflate(const QByteArray& data)
{
    if (data.isEmpty())
        return data;
    if (!fitsZlib(data))
        return std::nullopt;
    const qsizetype half = data.size() / 2;
    QByteArray inflated(data.size() + half, Qt::Uninitialized);
    z_stream stream {};
    stream.next_in = zlibInput(data);
    stream.avail_in = static_cast<uInt>(data.size());
    // Window bits 15 + 32 detect a zlib or a gzip header.
    if (inflateInit2(&stream, 15 + 32) != Z_OK)
        return std::nullopt;
    int status = Z_OK;
    while (status == Z_OK) {
        if (static_cast<qsizetype>(stream.total_out) >= inflated.size())
            inflated.resize(inflated.size() + half);
        stream.next_out = reinterpret_cast<Bytef*>(inflated.data()) + stream.total_out;
        stream.avail_out = roomFor(inflated, stream);
        status = inflate(&stream, Z_SYNC_FLUSH);
    }
    if (status != Z_STREAM_END) {
        inflateEnd(&stream);
        return std::nullopt;
    }
    if (inflateEnd(&stream) != Z_OK)
        return std::nullopt;
    inflated.resize(static_cast<qsizetype>(stream.total_out));
    return inflated;
}

}  // namespace TBXML_Compression
