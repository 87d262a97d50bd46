// Outside bytes through format sniffing and decoding, as a downloaded picture or a cache file
// reaches them: no input may crash, read out of bounds or allocate without bound, and what
// comes back must be consistent with the bytes.
#include "images/ImageDecoding.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "image_data: %s\n", what);
    std::abort();
}

}  // namespace

// The image readers are plugins loaded at run time; the leak checker of this toolchain misreads
// the thread-local block such a library adds and crashes at exit. Thread-local roots are left
// out of its scan for this program only.
extern "C" const char* __lsan_default_options()
{
    return "use_tls=0";
}

// Unscanned, glib's per-thread main context (the event loop's) looks lost; it is not ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libglib-2.0.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const QString type = NSData_ImageContentType::sd_contentTypeForImageData(bytes);
    if (bytes.isEmpty() && !type.isNull())
        fail("empty data has a type");
    if (type == QLatin1String("image/webp") && (bytes.size() < 12 || !bytes.startsWith("RIFF")))
        fail("webp without its RIFF header");
    if (!type.isNull() && !type.startsWith(QLatin1String("image/")))
        fail("type outside image/");

    const QImage image = NSImage_MultiFormat::sd_imageWithData(bytes);
    if (!image.isNull() && (image.width() <= 0 || image.height() <= 0))
        fail("an image without pixels");
    if (!image.isNull() && SDEncodedImageData(image, bytes).isEmpty())
        fail("a decoded image cannot be stored again");
    return 0;
}
