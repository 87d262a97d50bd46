#include "networking/AFNetManager.h"
#include "networking/NSString_URL.h"

#include <QVariantHash>
#include <QVariantMap>

#include <gtest/gtest.h>

using namespace NSString_URL;

namespace {

// The thirty reserved characters in the order the no-conversion encoder replaces them.
const QString kReserved = QStringLiteral("%:/?#[]@!$ &'()*+,;=\"<>{}|\\^~`");

// Each character as "%XX" of its (ASCII) code.
QString escapedOneByOne(const QString& text)
{
    QString out;
    for (const QChar c : text)
        out += QString::asprintf("%%%02X", c.unicode());
    return out;
}

QString loneHighSurrogate()
{
    return QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b");
}

}  // namespace

TEST(URLEncoding, ConvertingEncodersKeepOnlyLettersDigitsAndThreeMarks)
{
    const QString kept = QStringLiteral("AZaz09-._");
    for (auto encode : {&URLUTF8EncodedString, &URLGB2312EncodedString}) {
        EXPECT_EQ(encode(kept), kept);
        EXPECT_EQ(encode(QStringLiteral("a b&c")), QStringLiteral("a%20b%26c"));
        // Upper-case hex, and every reserved character escaped, tilde included.
        EXPECT_EQ(encode(kReserved), escapedOneByOne(kReserved));
        EXPECT_EQ(encode(QStringLiteral("\n\x7f")), QStringLiteral("%0A%7F"));
        EXPECT_TRUE(encode(QString()).isEmpty());
        EXPECT_TRUE(encode(QStringLiteral("")).isEmpty());
    }
}

TEST(URLEncoding, EachEncoderWritesTheBytesOfItsCharacterSet)
{
    const QString zhong = QString::fromUtf8("中");
    EXPECT_EQ(URLUTF8EncodedString(zhong), QStringLiteral("%E4%B8%AD"));
    EXPECT_EQ(URLGB2312EncodedString(zhong), QStringLiteral("%D6%D0"));
    EXPECT_EQ(URLUnicodeEncodedString(zhong), QStringLiteral("%2D%4E"));  // little-endian, no byte-order mark
    EXPECT_EQ(URLNoEncodedString(zhong), zhong);

    // A GB 18030 trail byte that is an ASCII letter is still escaped: it is part of a character.
    EXPECT_EQ(URLGB2312EncodedString(QString::fromUtf8("x丄y")), QStringLiteral("x%81%41y"));
    // Characters beyond the BMP: four bytes in UTF-8 and GB 18030, a surrogate pair in UTF-16.
    const QString grin = QString::fromUtf8("\xF0\x9F\x98\x80");
    EXPECT_EQ(URLUTF8EncodedString(grin), QStringLiteral("%F0%9F%98%80"));
    EXPECT_EQ(URLGB2312EncodedString(grin), QStringLiteral("%94%39%FC%36"));
    EXPECT_EQ(URLUnicodeEncodedString(grin), QStringLiteral("%3D%D8%00%DE"));
    // Kept characters stay single characters in the UTF-16 form too.
    EXPECT_EQ(URLUnicodeEncodedString(QStringLiteral("a b")), QStringLiteral("a%20%00b"));
}

TEST(URLEncoding, UnpairedSurrogateBecomesReplacementCharacterInsteadOfEmptyingTheValue)
{
    EXPECT_EQ(URLUTF8EncodedString(loneHighSurrogate()), QStringLiteral("a%EF%BF%BDb"));
    EXPECT_EQ(URLGB2312EncodedString(loneHighSurrogate()), QStringLiteral("a%84%31%A4%37b"));
    EXPECT_EQ(URLUnicodeEncodedString(loneHighSurrogate()), QStringLiteral("a%FD%FFb"));
    EXPECT_EQ(URLNoEncodedString(loneHighSurrogate()), QStringLiteral("a") + QChar(0xFFFD) + QStringLiteral("b"));
    // A lone low surrogate, and a high one at the very end.
    EXPECT_EQ(URLUTF8EncodedString(QString(QChar(0xDC00)) + QChar(0xD800)), QStringLiteral("%EF%BF%BD%EF%BF%BD"));
}

TEST(URLEncoding, NoConversionFormReplacesOnlyTheReservedCharactersPercentFirst)
{
    // A percent sign already in the text is escaped; the escapes made afterwards are not.
    EXPECT_EQ(URLNoEncodedString(QStringLiteral("50% a")), QStringLiteral("50%25%20a"));
    EXPECT_EQ(URLNoEncodedString(QStringLiteral("%20")), QStringLiteral("%2520"));
    EXPECT_EQ(URLNoEncodedString(QStringLiteral("a b&c")), QStringLiteral("a%20b%26c"));
    EXPECT_EQ(URLNoEncodedString(kReserved), escapedOneByOne(kReserved));
    // Marks outside the thirty and control characters pass unchanged.
    EXPECT_EQ(URLNoEncodedString(QStringLiteral("-._\n")), QStringLiteral("-._\n"));
    EXPECT_TRUE(URLNoEncodedString(QStringLiteral("")).isEmpty());
}

TEST(URLEncoding, SerializerTypeBuildsItemsInKeyOrderWithTheTypesEncoder)
{
    const QVariantMap one{{QStringLiteral("q"), QStringLiteral("a b&c")}};
    EXPECT_EQ(AFNetManager::SerializerType(2, one), QStringLiteral("q=a%20b%26c"));
    EXPECT_EQ(AFNetManager::SerializerType(5, one), QStringLiteral("q=a%20b%26c"));

    const QVariantMap zhong{{QStringLiteral("k"), QString::fromUtf8("中")}};
    EXPECT_EQ(AFNetManager::SerializerType(2, zhong), QStringLiteral("k=%E4%B8%AD"));
    EXPECT_EQ(AFNetManager::SerializerType(3, zhong), QStringLiteral("k=%D6%D0"));
    EXPECT_EQ(AFNetManager::SerializerType(4, zhong), QStringLiteral("k=%2D%4E"));
    EXPECT_EQ(AFNetManager::SerializerType(5, zhong), QString::fromUtf8("k=中"));

    // Keys go through the encoder too; a null value gives the key alone.
    const QVariantMap keys{{QStringLiteral("b key"), QStringLiteral("2")},
                           {QStringLiteral("a"), QVariant::fromValue(nullptr)},
                           {QStringLiteral("c"), 7}};
    EXPECT_EQ(AFNetManager::SerializerType(2, keys), QStringLiteral("a&b%20key=2&c=7"));

    // The dictionary's own order, not a sort: a hash of one entry has nothing to reorder, and
    // several entries come in the hash's iteration order.
    QVariantHash hash{{QStringLiteral("x"), QStringLiteral("1")}, {QStringLiteral("y"), QStringLiteral("2")}};
    QStringList inHashOrder;
    for (auto it = hash.cbegin(); it != hash.cend(); ++it)
        inHashOrder.append(it.key() + u'=' + it.value().toString());
    EXPECT_EQ(AFNetManager::SerializerType(2, hash), inHashOrder.join(u'&'));

    EXPECT_TRUE(AFNetManager::SerializerType(2, QVariantMap()).isEmpty());
    // A type without an encoder gives empty items.
    EXPECT_EQ(AFNetManager::SerializerType(7, QVariantMap{{QStringLiteral("a"), 1}, {QStringLiteral("b"), 2}}),
              QStringLiteral("&"));
}
