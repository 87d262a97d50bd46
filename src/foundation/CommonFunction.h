#pragma once

#include "foundation/EncryptionKeys.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// Utility functions every subsystem calls. Only class-level functions; never instantiated.
// Each group lives in its own CommonFunction_<group>.cpp.
class CommonFunction
{
public:
    CommonFunction() = delete;

    // ---- Parameter encryption, MD5 and the deals signature (CommonFunction_Encryption.cpp) ----
    // Texts are zero-padded to whole 8-byte blocks, enciphered with single DES in ECB mode and
    // written as lower-case hex. Every call uses its own cipher state: safe from any thread.

    // Hex of the enciphered UTF-8 bytes (up to the first zero byte); "" for a null or empty text.
    static QString EncrypteUTF8(const QString& text, const DesKey& key);
    // The same over the GB 18030 bytes; used for search words and the city name.
    static QString EncrypteGB2312(const QString& text, const DesKey& key);
    // The text of a hex ciphertext: "" when the hex is null, empty, not a multiple of 16
    // characters long or holds a non-hex character; null when the deciphered bytes (up to the
    // first zero byte) are not valid UTF-8.
    static QString DecypteUTF8(const QString& hex, const DesKey& key);
    // Deciphers raw bytes; returns as many bytes as were given (a trailing partial block is
    // deciphered over zero fill and carries no meaning). Empty for empty input.
    static QByteArray DecypteData(const QByteArray& data, const DesKey& key);
    // The byte written by the first two characters as hex digits into *out. Digits above 9 may
    // be upper or lower case; any other character counts as its code minus 87.
    // Nothing is written when out is null or the text is shorter than two characters.
    static void changeString0XCode(const QString& twoChars, uint8_t* out);

    // MD5 of the UTF-8 bytes as 32 lower-case / upper-case hex digits.
    static QString md5(const QString& text);
    static QString md5HexDigest(const QString& text);
    // Signature of a deals request sent with this timestamp (seconds since 1970).
    static QString getHotProductSignature(double timestamp);
};
