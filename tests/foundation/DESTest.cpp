#include "foundation/DES.h"

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes fromHex(const char* hex)
{
    Bytes out;
    for (; hex[0] != '\0' && hex[1] != '\0'; hex += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(std::string(hex, 2), nullptr, 16)));
    return out;
}

// OpenSSL keeps single DES in its legacy provider; loading it here keeps that out of the program.
class OpenSslDes
{
public:
    OpenSslDes()
    {
        m_legacy = OSSL_PROVIDER_load(nullptr, "legacy");
        m_default = OSSL_PROVIDER_load(nullptr, "default");
        m_cipher = EVP_CIPHER_fetch(nullptr, "DES-ECB", nullptr);
    }
    ~OpenSslDes()
    {
        EVP_CIPHER_free(m_cipher);
        if (m_default != nullptr)
            OSSL_PROVIDER_unload(m_default);
        if (m_legacy != nullptr)
            OSSL_PROVIDER_unload(m_legacy);
    }
    bool ready() const { return m_cipher != nullptr; }

    Bytes run(const uint8_t* key, const Bytes& in, bool encipher) const
    {
        Bytes out(in.size() + 8);
        EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
        int len = 0;
        int tail = 0;
        EXPECT_EQ(1, EVP_CipherInit_ex2(ctx, m_cipher, key, nullptr, encipher ? 1 : 0, nullptr));
        EVP_CIPHER_CTX_set_padding(ctx, 0);
        EXPECT_EQ(1, EVP_CipherUpdate(ctx, out.data(), &len, in.data(), static_cast<int>(in.size())));
        EXPECT_EQ(1, EVP_CipherFinal_ex(ctx, out.data() + len, &tail));
        EVP_CIPHER_CTX_free(ctx);
        out.resize(static_cast<std::size_t>(len + tail));
        return out;
    }

private:
    OSSL_PROVIDER* m_legacy = nullptr;
    OSSL_PROVIDER* m_default = nullptr;
    EVP_CIPHER* m_cipher = nullptr;
};

}  // namespace

TEST(DES, StandardVectorBothWaysAndThroughBlockPrimitives)
{
    const Bytes key = fromHex("133457799BBCDFF1");
    const Bytes plain = fromHex("0123456789ABCDEF");
    const Bytes cipher = fromHex("85E813540F0AB405");

    Bytes buf = plain;
    DES des;
    ASSERT_EQ(1, des.encryptKey(key.data(), buf.data(), 1));
    EXPECT_EQ(cipher, buf);
    ASSERT_EQ(1, des.decryptKey(key.data(), buf.data(), 1));
    EXPECT_EQ(plain, buf);

    // The same block through the single-block path and the word-level primitives.
    DES parts;
    parts.deskey(key.data(), DES::kEncipher);
    Bytes out(8);
    parts.des_block(plain.data(), out.data());
    EXPECT_EQ(cipher, out);
    uint32_t words[2];
    DES::scrunch(plain.data(), words);
    EXPECT_EQ(0x01234567u, words[0]);
    EXPECT_EQ(0x89ABCDEFu, words[1]);
    DES::desfunc(words, parts.KnL);
    DES::unscrun(words, out.data());
    EXPECT_EQ(cipher, out);
}

TEST(DES, DecipherScheduleIsEncipherScheduleReversed)
{
    const Bytes key = fromHex("0E329232EA6D0D73");
    DES enc;
    DES dec;
    enc.deskey(key.data(), DES::kEncipher);
    dec.deskey(key.data(), DES::kDecipher);
    for (int round = 0; round < 16; ++round) {
        EXPECT_EQ(enc.KnL[2 * round], dec.KnL[2 * (15 - round)]) << round;
        EXPECT_EQ(enc.KnL[2 * round + 1], dec.KnL[2 * (15 - round) + 1]) << round;
    }
    // Handing the arranged schedule to another instance gives the same cipher.
    DES copy;
    copy.usekey(enc.KnL);
    const Bytes block = fromHex("8787878787878787");
    Bytes a(8), b(8);
    enc.des(block.data(), a.data(), 1);
    copy.des(block.data(), b.data(), 1);
    EXPECT_EQ(a, b);
    EXPECT_EQ(fromHex("0000000000000000"), a);  // known answer for this key and block
}

TEST(DES, ParityBitsOfTheKeyAreIgnored)
{
    Bytes key = fromHex("133457799BBCDFF1");
    Bytes flipped = key;
    for (auto& byte : flipped)
        byte ^= 1u;
    Bytes a = fromHex("0123456789ABCDEF");
    Bytes b = a;
    DES().encryptKey(key.data(), a.data(), 1);
    DES().encryptKey(flipped.data(), b.data(), 1);
    EXPECT_EQ(a, b);
}

TEST(DES, AgreesWithOpenSslOnRandomKeysAndBuffers)
{
    OpenSslDes reference;
    ASSERT_TRUE(reference.ready()) << "OpenSSL legacy provider with DES-ECB is not available";

    std::mt19937 rng(0x5EED'D35u);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> blockCount(1, 9);
    for (int round = 0; round < 2000; ++round) {
        std::array<uint8_t, 8> key{};
        for (auto& k : key)
            k = static_cast<uint8_t>(byte(rng));
        const int blocks = round < 1000 ? 1 : blockCount(rng);
        Bytes data(static_cast<std::size_t>(blocks) * 8);
        for (auto& d : data)
            d = static_cast<uint8_t>(byte(rng));

        Bytes ours = data;
        ASSERT_EQ(1, DES().encryptKey(key.data(), ours.data(), blocks));
        ASSERT_EQ(reference.run(key.data(), data, true), ours) << "encipher, case " << round;
        ASSERT_EQ(1, DES().decryptKey(key.data(), ours.data(), blocks));
        ASSERT_EQ(data, ours) << "round trip, case " << round;

        // Deciphering arbitrary bytes, not only our own ciphertext.
        Bytes decoded = data;
        ASSERT_EQ(1, DES().decryptKey(key.data(), decoded.data(), blocks));
        ASSERT_EQ(reference.run(key.data(), data, false), decoded) << "decipher, case " << round;
    }
}

TEST(DES, ExtendIsTruncatedLengthPlusOneBlock)
{
    EXPECT_EQ(16, DES::extend(8));
    EXPECT_EQ(8, DES::extend(7));
    EXPECT_EQ(8, DES::extend(0));
    EXPECT_EQ(24, DES::extend(23));
    EXPECT_EQ(8, DES::extend(-7));  // truncation toward zero
    EXPECT_EQ(int64_t{2147483640} + 8, DES::extend(2147483647));
}

TEST(DES, NullBufferOrCountBelowOneChangesNothing)
{
    const Bytes key = fromHex("133457799BBCDFF1");
    const Bytes original = fromHex("0123456789ABCDEF");
    Bytes buf = original;
    int32_t outSize = -5;
    DES des;
    for (int32_t count : {0, -1, -2147483647 - 1}) {
        EXPECT_EQ(0, des.encryptKey(key.data(), buf.data(), count));
        EXPECT_EQ(0, des.decryptKey(key.data(), buf.data(), count));
        EXPECT_EQ(0, des.yencrypt(key.data(), buf.data(), count));
        EXPECT_EQ(0, des.ydecrypt(key.data(), buf.data(), count, &outSize));
    }
    EXPECT_EQ(0, des.encryptKey(key.data(), nullptr, 1));
    EXPECT_EQ(0, des.decryptKey(key.data(), nullptr, 1));
    EXPECT_EQ(0, des.yencrypt(key.data(), nullptr, 1));
    EXPECT_EQ(0, des.ydecrypt(key.data(), nullptr, 1, &outSize));
    EXPECT_EQ(0, des.encryptKey(nullptr, buf.data(), 1));
    EXPECT_EQ(original, buf);
    EXPECT_EQ(-5, outSize);
}

TEST(DES, PadMethodsRoundTripEveryLength)
{
    const Bytes key = fromHex("0E329232EA6D0D73");
    for (int32_t n = 1; n <= 33; ++n) {
        Bytes buf(static_cast<std::size_t>(DES::extend(n)), 0);
        for (int32_t i = 0; i < n; ++i)
            buf[static_cast<std::size_t>(i)] = static_cast<uint8_t>(0x30 + i % 3);  // repeats near the end
        const Bytes data(buf.begin(), buf.begin() + n);

        Bytes padded = buf;
        const auto fill = static_cast<uint8_t>(~data.back());
        std::fill(padded.begin() + n, padded.end(), fill);

        DES des;
        ASSERT_EQ(1, des.yencrypt(key.data(), buf.data(), n)) << n;
        Bytes expected = padded;
        DES().encryptKey(key.data(), expected.data(), static_cast<int32_t>(expected.size() / 8));
        EXPECT_EQ(expected, buf) << "padding of " << n;

        int32_t size = -1;
        ASSERT_EQ(1, des.ydecrypt(key.data(), buf.data(), static_cast<int32_t>(buf.size() / 8), &size)) << n;
        EXPECT_EQ(n, size);
        EXPECT_EQ(data, Bytes(buf.begin(), buf.begin() + size));

        // Without an out length the padding is left alone and not checked.
        Bytes again = expected;
        EXPECT_EQ(1, des.ydecrypt(key.data(), again.data(), static_cast<int32_t>(again.size() / 8), nullptr));
        EXPECT_EQ(padded, again);
    }
}

TEST(DES, PadDecipherRejectsInvalidPadding)
{
    const Bytes key = fromHex("0E329232EA6D0D73");
    const auto check = [&](Bytes plain) {
        DES().encryptKey(key.data(), plain.data(), static_cast<int32_t>(plain.size() / 8));
        int32_t size = -1;
        const int32_t result = DES().ydecrypt(key.data(), plain.data(), static_cast<int32_t>(plain.size() / 8), &size);
        EXPECT_EQ(-1, size);
        return result;
    };
    // The byte before the run of 0x07 must be 0xF8.
    EXPECT_EQ(0, check(fromHex("4142434445460707")));
    // A run that fills the whole buffer leaves no data byte before it.
    EXPECT_EQ(0, check(fromHex("AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA")));
    // Bytes are compared unsigned: 0x80 ends a run of 0x7F.
    int32_t size = -1;
    Bytes ok = fromHex("41428080807F7F7F");
    DES().encryptKey(key.data(), ok.data(), 1);
    EXPECT_EQ(1, DES().ydecrypt(key.data(), ok.data(), 1, &size));
    EXPECT_EQ(5, size);
}
