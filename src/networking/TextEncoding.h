#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Text in the character sets that replies declare and that request bodies are written in, named
// by their IANA names ("utf-8", "GB2312", "iso-8859-1"). UTF-8 is handled by Qt; every other set
// by ICU. "gb2312" and its relatives are read and written as GB 18030, their superset, because
// servers that declare GB2312 routinely send GBK characters.
namespace TextEncoding {

inline const QString kUTF8 = QStringLiteral("utf-8");

// True for the names of UTF-8 ("utf-8", "UTF8").
bool isUTF8(const QString& charsetName);

// True when the name names a character set this system can convert.
bool isKnown(const QString& charsetName);

// The bytes as text; empty when the set is unknown or the bytes are not valid in it.
// A leading byte-order mark is dropped.
std::optional<QString> decode(const QByteArray& bytes, const QString& charsetName);

// The text's bytes; empty when the set is unknown or cannot represent a character of the text.
std::optional<QByteArray> encode(const QString& text, const QString& charsetName);

}  // namespace TextEncoding
