#pragma once

#include <QString>

// Percent-encoders for query keys and values, as the request entry's query builder uses them.
//
// The three converting encoders keep ASCII letters, digits, "-", "." and "_" and write every other
// character as "%XX" (upper-case hex) for each byte of its form in the encoding. They return ""
// for empty input and for a text the encoding cannot hold. An unpaired surrogate is sent as
// U+FFFD rather than dropping the whole value.
namespace NSString_URL {

QString URLUTF8EncodedString(const QString& text);
// GB 18030 (the name is historical: GB 2312 alone cannot hold every character sent).
QString URLGB2312EncodedString(const QString& text);
// UTF-16 in this machine's byte order, without a byte-order mark.
QString URLUnicodeEncodedString(const QString& text);

// No character-set conversion: only the thirty reserved ASCII characters are escaped ("%" first,
// so the escapes it makes are not escaped again); everything else, non-ASCII included, stays as
// it is (an unpaired surrogate becomes U+FFFD, as above).
QString URLNoEncodedString(const QString& text);

}  // namespace NSString_URL
