#include "foundation/CommonFunction.h"
#include "foundation/DES.h"
#include "foundation/EncryptionKeys.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <ostream>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

// Readable failure messages for texts.
static void PrintTo(const QString& text, std::ostream* os)
{
    *os << (text.isNull() ? "(null)" : '"' + text.toStdString() + '"');
}

namespace {

// Hex of raw bytes (zero-padded to whole blocks) enciphered under the key, for plaintexts the
// text functions cannot produce themselves.
QString hexOfRawPlaintext(QByteArray plain, const DesKey& key)
{
    plain.append(QByteArray((8 - plain.size() % 8) % 8, '\0'));
    DES().encryptKey(key.data(), reinterpret_cast<uint8_t*>(plain.data()), static_cast<int32_t>(plain.size() / 8));
    return QString::fromLatin1(plain.toHex());
}

QByteArray gb18030(const char* hex)
{
    return QByteArray::fromHex(hex);
}

}  // namespace

TEST(ParameterEncryption, KnownCiphertextsUnderTheRequestKey)
{
    EXPECT_EQ(u"18bf7a239cd15782"_s, CommonFunction::EncrypteUTF8(u"123"_s, kDesKeyRequest));
    // Exactly one block: no extra block of padding.
    EXPECT_EQ(u"298b70261b11305d"_s, CommonFunction::EncrypteUTF8(u"12345678"_s, kDesKeyRequest));
    EXPECT_EQ(32, CommonFunction::EncrypteUTF8(u"123456789"_s, kDesKeyRequest).size());
    // Credential fields joined by a form feed.
    EXPECT_EQ(u"0618c3acc487636cc41cb4ee38d7875f"_s,
              CommonFunction::EncrypteUTF8(u"user\u000cpass"_s, kDesKeyRequest));

    for (const QString& text : {u"123"_s, u"12345678"_s, u"user\u000cpass"_s, u"广东深圳"_s})
        EXPECT_EQ(text, CommonFunction::DecypteUTF8(CommonFunction::EncrypteUTF8(text, kDesKeyRequest), kDesKeyRequest));
}

TEST(ParameterEncryption, Gb18030DiffersFromUtf8)
{
    const QString city = u"广东深圳"_s;
    const QString gb = CommonFunction::EncrypteGB2312(city, kDesKeyRequest);
    EXPECT_EQ(u"093ed68eb2679602"_s, gb);  // 8 GB 18030 bytes: one block
    const QString utf8 = CommonFunction::EncrypteUTF8(city, kDesKeyRequest);
    EXPECT_EQ(32, utf8.size());  // 12 UTF-8 bytes: two blocks
    EXPECT_NE(gb, utf8);

    EXPECT_EQ(gb18030("b9e3b6abc9eedbda"), CommonFunction::DecypteData(QByteArray::fromHex(gb.toLatin1()), kDesKeyRequest));
    const QString zhong = CommonFunction::EncrypteGB2312(u"中"_s, kDesKeyRequest);
    EXPECT_EQ(gb18030("d6d0000000000000"), CommonFunction::DecypteData(QByteArray::fromHex(zhong.toLatin1()), kDesKeyRequest));
    // GB 18030 bytes are not UTF-8: deciphered as text they give no value.
    EXPECT_TRUE(CommonFunction::DecypteUTF8(gb, kDesKeyRequest).isNull());
}

TEST(ParameterEncryption, ConverterIsSafeFromManyThreads)
{
    const QString expected = CommonFunction::EncrypteGB2312(u"广东深圳"_s, kDesKeyRequest);
    std::vector<std::thread> threads;
    std::vector<int> mismatches(8, 0);
    for (std::size_t t = 0; t < mismatches.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i)
                if (CommonFunction::EncrypteGB2312(u"广东深圳"_s, kDesKeyRequest) != expected)
                    ++mismatches[t];
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(std::vector<int>(8, 0), mismatches);
}

TEST(ParameterEncryption, NullEmptyAndZeroBytes)
{
    for (const QString& text : {QString(), QStringLiteral("")}) {
        for (const QString& result : {CommonFunction::EncrypteUTF8(text, kDesKeyRequest),
                                      CommonFunction::EncrypteGB2312(text, kDesKeyRequest),
                                      CommonFunction::DecypteUTF8(text, kDesKeyRequest)}) {
            EXPECT_TRUE(result.isEmpty());
            EXPECT_FALSE(result.isNull());
        }
    }
    EXPECT_TRUE(CommonFunction::DecypteData(QByteArray(), kDesKeyRequest).isEmpty());

    // Only the bytes before the first zero are enciphered.
    const QString withNul = QString::fromUtf16(u"ab\0cd", 5);
    EXPECT_EQ(CommonFunction::EncrypteUTF8(u"ab"_s, kDesKeyRequest), CommonFunction::EncrypteUTF8(withNul, kDesKeyRequest));
    EXPECT_EQ(u""_s, CommonFunction::EncrypteUTF8(QString::fromUtf16(u"\0x", 2), kDesKeyRequest));

    // A plaintext that starts with a zero byte is the empty text, not a missing one.
    const QString zeros = hexOfRawPlaintext(QByteArray(8, '\0'), kDesKeyRequest);
    EXPECT_FALSE(CommonFunction::DecypteUTF8(zeros, kDesKeyRequest).isNull());
    EXPECT_TRUE(CommonFunction::DecypteUTF8(zeros, kDesKeyRequest).isEmpty());
}

TEST(ParameterEncryption, HexTextShapeAndCase)
{
    const QString hex = CommonFunction::EncrypteUTF8(u"user\u000cpass"_s, kDesKeyRequest);
    EXPECT_EQ(u"user\u000cpass"_s, CommonFunction::DecypteUTF8(hex.toUpper(), kDesKeyRequest));
    EXPECT_EQ(u""_s, CommonFunction::DecypteUTF8(hex.left(15), kDesKeyRequest));
    EXPECT_EQ(u""_s, CommonFunction::DecypteUTF8(hex.left(17), kDesKeyRequest));

    // One character outside the hex digits anywhere makes the whole text unreadable.
    for (const QChar bad : {QChar(u'g'), QChar(u' '), QChar(u'G'), QChar(u'中'), QChar(u'\0')}) {
        for (const int at : {0, 7, 31}) {
            QString broken = hex;
            broken[at] = bad;
            const QString result = CommonFunction::DecypteUTF8(broken, kDesKeyRequest);
            EXPECT_TRUE(result.isEmpty() && !result.isNull()) << at;
        }
    }
}

TEST(ParameterEncryption, DecipheredBytesMustBeUtf8)
{
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"lone continuation byte", QByteArray("a\x80z")},
        {"truncated sequence at the end", QByteArray("abc\xe4\xb8")},
        {"overlong encoding", QByteArray("\xc0\xaf")},
        {"encoded surrogate", QByteArray("\xed\xa0\x80")},
        {"beyond U+10FFFF", QByteArray("\xf4\x90\x80\x80")},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(CommonFunction::DecypteUTF8(hexOfRawPlaintext(c.bytes, kDesKeyRequest), kDesKeyRequest).isNull()) << c.name;

    // A leading U+FEFF is text like any other.
    const QString bom = u"\ufeffx"_s;
    EXPECT_EQ(bom, CommonFunction::DecypteUTF8(CommonFunction::EncrypteUTF8(bom, kDesKeyRequest), kDesKeyRequest));
}

TEST(ParameterEncryption, EveryKeyRoundTripsAndKeysDiffer)
{
    const DesKey keys[] = {kDesKeyRequest,         kDesKeyNextPage,  kDesKeySms,
                           kDesKeyPushToken,       kDesKeyLaunchReportUid, kDesKeyFavorites,
                           kDesKeyStoredPassword,  kDesKeyRemoteConfig,    kDesKeyMedalFile};
    EXPECT_EQ(0x9c, kDesKeyStoredPassword[5]);
    const QString text = u"密码\u000cp@ss w0rd!"_s;
    QStringList seen;
    for (const DesKey& key : keys) {
        const QString hex = CommonFunction::EncrypteUTF8(text, key);
        EXPECT_FALSE(seen.contains(hex));
        seen << hex;
        EXPECT_EQ(text, CommonFunction::DecypteUTF8(hex, key));
    }
}

TEST(ParameterEncryption, DecypteDataKeepsTheInputLength)
{
    const QByteArray plain("configur" "ation!!!");
    QByteArray cipher = plain;
    DES().encryptKey(kDesKeyRemoteConfig.data(), reinterpret_cast<uint8_t*>(cipher.data()), 2);

    EXPECT_EQ(plain, CommonFunction::DecypteData(cipher, kDesKeyRemoteConfig));
    const QByteArray twenty = CommonFunction::DecypteData(cipher + QByteArray("\x01\x02\x03\x04"), kDesKeyRemoteConfig);
    ASSERT_EQ(20, twenty.size());
    EXPECT_EQ(plain, twenty.left(16));
    EXPECT_EQ(3, CommonFunction::DecypteData(QByteArray("abc"), kDesKeyMedalFile).size());
}

TEST(ParameterEncryption, ChangeString0XCode)
{
    uint8_t out = 0;
    CommonFunction::changeString0XCode(u"ff"_s, &out);
    EXPECT_EQ(0xff, out);
    CommonFunction::changeString0XCode(u"A0"_s, &out);
    EXPECT_EQ(0xa0, out);
    CommonFunction::changeString0XCode(u"3c"_s, &out);
    EXPECT_EQ(0x3c, out);
    // Other characters count as their code minus 87, kept to 8 bits: 'g' is 16, ' ' is -55.
    CommonFunction::changeString0XCode(u"0g"_s, &out);
    EXPECT_EQ(16, out);
    CommonFunction::changeString0XCode(u" 0"_s, &out);
    EXPECT_EQ(static_cast<uint8_t>(-55 * 16), out);
    out = 7;
    CommonFunction::changeString0XCode(u"f"_s, &out);
    EXPECT_EQ(7, out);
    CommonFunction::changeString0XCode(u"ff"_s, nullptr);
}

TEST(ParameterEncryption, Md5Digests)
{
    EXPECT_EQ(u"900150983cd24fb0d6963f7d28e17f72"_s, CommonFunction::md5(u"abc"_s));
    EXPECT_EQ(u"900150983CD24FB0D6963F7D28E17F72"_s, CommonFunction::md5HexDigest(u"abc"_s));
    EXPECT_EQ(u"d41d8cd98f00b204e9800998ecf8427e"_s, CommonFunction::md5(QString()));
    EXPECT_EQ(u"aed1dfbc31703955e64806b799b67645"_s, CommonFunction::md5(u"中"_s));  // over UTF-8
}

TEST(ParameterEncryption, DealsSignatureRoundsLikePrintf)
{
    EXPECT_EQ(CommonFunction::md5HexDigest(u"1500000000Tb4wRn;@e"_s), CommonFunction::getHotProductSignature(1500000000.4));
    EXPECT_EQ(CommonFunction::md5HexDigest(u"1500000001Tb4wRn;@e"_s), CommonFunction::getHotProductSignature(1500000000.6));
    // Exact halves go to the even neighbour.
    EXPECT_EQ(CommonFunction::md5HexDigest(u"2Tb4wRn;@e"_s), CommonFunction::getHotProductSignature(2.5));
    EXPECT_EQ(CommonFunction::md5HexDigest(u"4Tb4wRn;@e"_s), CommonFunction::getHotProductSignature(3.5));
    const QString signature = CommonFunction::getHotProductSignature(1500000000.0);
    EXPECT_EQ(32, signature.size());
    EXPECT_EQ(signature.toUpper(), signature);
    EXPECT_EQ(32, CommonFunction::getHotProductSignature(1e308).size());
}
