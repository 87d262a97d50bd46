// Arbitrary bytes through gzip inflation, which must never read or write out of bounds, and
// through a deflate and inflate round trip, which must give them back.
#include "foundation/xml/TBXML_Compression.h"

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "gzip: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    (void)TBXML_Compression::gzipInflate(bytes);

    const std::optional<QByteArray> packed = TBXML_Compression::gzipDeflate(bytes);
    if (!packed)
        fail("deflate failed");
    if (TBXML_Compression::gzipInflate(*packed) != bytes)
        fail("round trip changed the bytes");
    return 0;
}
