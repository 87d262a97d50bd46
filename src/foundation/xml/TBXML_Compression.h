#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

// Base64 and gzip coding of data, beside the XML element reader, which reads its resource files
// through dataWithUncompressedContentsOfFile. Results that the data class answered with nil are
// empty optionals here; an empty QByteArray is empty data.
namespace TBXML_Compression {

// The file's bytes, inflated when the path's extension is exactly "gz"; nothing when the file
// cannot be read or does not inflate.
std::optional<QByteArray> dataWithUncompressedContentsOfFile(const QString& path);

// The bytes decoded from Base64 (standard alphabet). Bytes outside the alphabet are skipped; at
// the first "=" a pending group of two or three values gives its bytes and decoding stops; a
// trailing group without "=" gives nothing. A text with a non-ASCII character decodes to nothing.
QByteArray initWithBase64EncodedString(const QString& string);
QByteArray newDataWithBase64EncodedString(const QString& string);

// Base64 text of the data without line breaks.
QString base64Encoding(const QByteArray& data);
// With a line feed after each line of the smallest multiple of four characters that is at least
// lineLength; 0 means one line.
QString base64EncodingWithLineLength(const QByteArray& data, uint32_t lineLength);

// gzip-wrapped deflate at the default level; empty data comes back unchanged.
std::optional<QByteArray> gzipDeflate(const QByteArray& data);
// Inflates gzip- or zlib-wrapped data; nothing when it is truncated or corrupt. Empty data comes
// back unchanged.
std::optional<QByteArray> gzipInflate(const QByteArray& data);

}  // namespace TBXML_Compression
