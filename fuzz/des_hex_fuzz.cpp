// Arbitrary bytes as a hex ciphertext, as enciphered data and as a plaintext that must survive
// enciphering and deciphering unchanged.
#include "foundation/CommonFunction.h"
#include "foundation/EncryptionKeys.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "des_hex: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // The stored-password key has a byte above 0x7F; let the input pick it half the time.
    const DesKey& key = (size > 0 && (data[0] & 1u) != 0) ? kDesKeyStoredPassword : kDesKeyRequest;

    const QString text = QString::fromUtf8(bytes);
    const QString deciphered = CommonFunction::DecypteUTF8(text, key);
    if (text.size() % 16 != 0 && (deciphered.isNull() || !deciphered.isEmpty()))
        fail("a hex text of a wrong length must give the empty text");

    if (CommonFunction::DecypteData(bytes, key).size() != bytes.size())
        fail("DecypteData must return as many bytes as it was given");

    (void)CommonFunction::EncrypteGB2312(text, key);

    if (!text.isEmpty() && !text.contains(QChar(u'\0'))) {
        const QString hex = CommonFunction::EncrypteUTF8(text, key);
        const qsizetype utf8 = text.toUtf8().size();
        if (hex.size() != (utf8 + 7) / 8 * 16)
            fail("hex length is not 16 digits per started block");
        if (CommonFunction::DecypteUTF8(hex, key) != text)
            fail("round trip changed the text");
        if (CommonFunction::DecypteUTF8(hex.toUpper(), key) != text)
            fail("upper-case hex did not decipher");
    }
    return 0;
}
