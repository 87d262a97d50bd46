#include "ImageFixtures.h"

#include "images/ImageDecoding.h"

#include <QImageReader>

#include <zlib.h>

#include <gtest/gtest.h>

using namespace imagefixtures;

namespace {

struct SniffCase
{
    const char* name;
    QByteArray bytes;
    const char* type;  // nullptr: no type
};

TEST(ImageDecodingTest, ContentTypeFromLeadingBytes)
{
    const SniffCase cases[] = {
        {"png", QByteArray::fromHex("89504E470D0A1A0A"), "image/png"},
        {"gif", QByteArray("GIF89a"), "image/gif"},
        {"gif prefix only", QByteArray::fromHex("474946"), "image/gif"},
        {"jpeg", QByteArray::fromHex("FFD8FFE0"), "image/jpeg"},
        {"tiff little endian", QByteArray::fromHex("49492A00"), "image/tiff"},
        {"tiff big endian", QByteArray::fromHex("4D4D002A"), "image/tiff"},
        {"webp", QByteArray("RIFF") + QByteArray::fromHex("24000000") + QByteArray("WEBP"), "image/webp"},
        {"webp with more", QByteArray("RIFF") + QByteArray(4, '\x10') + QByteArray("WEBPVP8 "), "image/webp"},
        {"riff wave", QByteArray("RIFF") + QByteArray::fromHex("24000000") + QByteArray("WAVE"), nullptr},
        {"riff 11 bytes", QByteArray("RIFF") + QByteArray(4, '\0') + QByteArray("WEB"), nullptr},
        {"html", QByteArray("<html><body>oops</body></html>"), nullptr},
        {"empty", QByteArray(), nullptr},
        {"zero byte", QByteArray(1, '\0'), nullptr},
    };
    for (const SniffCase& c : cases) {
        const QString type = NSData_ImageContentType::sd_contentTypeForImageData(c.bytes);
        if (c.type)
            EXPECT_EQ(type, QLatin1String(c.type)) << c.name;
        else
            EXPECT_TRUE(type.isNull()) << c.name << " gave " << type.toStdString();
    }
}

TEST(ImageDecodingTest, ThreeFrameGifGivesItsFirstFrame)
{
    const QByteArray bytes = gif(6, 4, {Qt::red, Qt::green, Qt::blue});
    ASSERT_EQ(NSData_ImageContentType::sd_contentTypeForImageData(bytes), QStringLiteral("image/gif"));
    const QImage image = NSImage_MultiFormat::sd_imageWithData(bytes);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(6, 4));
    EXPECT_EQ(QColor(image.pixel(3, 2)), QColor(Qt::red));
    EXPECT_FALSE(NSImage_GIF::isGIF(image));
}

TEST(ImageDecodingTest, BytesThatAreNoPictureGiveNoImage)
{
    const QByteArray truncatedPng = png(16, 16, Qt::red).left(20);
    for (const QByteArray& bytes : {QByteArray(), QByteArray("<html>not found</html>"), truncatedPng,
                                    QByteArray::fromHex("FFD8FF")}) {
        EXPECT_TRUE(NSImage_MultiFormat::sd_imageWithData(bytes).isNull()) << bytes.toHex().toStdString();
    }
}

TEST(ImageDecodingTest, HugeDeclaredPictureIsRefusedByTheAllocationLimit)
{
    // A PNG header announcing 60000 x 60000 pixels with nothing behind it: reading it must not
    // try to allocate the 14 GB such a picture would need.
    QByteArray bytes = png(1, 1, Qt::red);
    bytes.replace(16, 8, QByteArray::fromHex("0000EA600000EA60"));
    const QByteArray chunk = bytes.mid(12, 17);  // the header chunk's type and data
    const quint32 crc = static_cast<quint32>(
        ::crc32(0, reinterpret_cast<const Bytef*>(chunk.constData()), static_cast<uInt>(chunk.size())));
    for (int i = 0; i < 4; ++i)
        bytes[29 + i] = char((crc >> (24 - 8 * i)) & 0xFF);
    QBuffer header(&bytes);
    header.open(QIODevice::ReadOnly);
    ASSERT_EQ(QImageReader(&header).size(), QSize(60000, 60000)) << "the header must read as given";
    EXPECT_TRUE(NSImage_MultiFormat::sd_imageWithData(bytes).isNull());
}

TEST(ImageDecodingTest, EncodingFollowsTheTypeOfTheGivenBytes)
{
    const QImage image = filled(8, 8, Qt::red);
    EXPECT_TRUE(SDEncodedImageData(image, QByteArray()).startsWith(QByteArray::fromHex("FFD8")));
    EXPECT_TRUE(SDEncodedImageData(image, png(1, 1, Qt::blue)).startsWith(QByteArray::fromHex("89504E47")));
    // No GIF writer here: GIF sources are kept as PNG, which keeps every pixel.
    EXPECT_TRUE(SDEncodedImageData(image, gif(1, 1, {Qt::red})).startsWith(QByteArray::fromHex("89504E47")));
    EXPECT_TRUE(SDEncodedImageData(QImage(), QByteArray()).isEmpty());
}

}  // namespace

namespace {

// Two pixels, red then blue, as an uncompressed little-endian RGB TIFF put together by hand:
// header, one directory of nine entries, the bits per sample, then the strip.
QByteArray twoPixelTiff()
{
    QByteArray out("II\x2A\x00\x08\x00\x00\x00", 8);
    auto u16 = [&out](int v) {
        out.append(char(v & 0xFF));
        out.append(char((v >> 8) & 0xFF));
    };
    auto u32 = [&](int v) {
        u16(v & 0xFFFF);
        u16((v >> 16) & 0xFFFF);
    };
    constexpr int kEntries = 9;
    constexpr int kBitsAt = 8 + 2 + kEntries * 12 + 4;
    constexpr int kStripAt = kBitsAt + 6;
    auto entry = [&](int tag, int type, int count, int value) {
        u16(tag);
        u16(type);
        u32(count);
        if (type == 3 && count == 1) {
            u16(value);
            u16(0);
        } else {
            u32(value);
        }
    };
    u16(kEntries);
    entry(256, 3, 1, 2);         // width
    entry(257, 3, 1, 1);         // height
    entry(258, 3, 3, kBitsAt);   // 8, 8, 8
    entry(259, 3, 1, 1);         // no compression
    entry(262, 3, 1, 2);         // RGB
    entry(273, 4, 1, kStripAt);  // strip offset
    entry(277, 3, 1, 3);         // samples per pixel
    entry(278, 3, 1, 1);         // rows per strip
    entry(279, 4, 1, 6);         // strip bytes
    u32(0);
    u16(8);
    u16(8);
    u16(8);
    out.append(QByteArray("\xFF\x00\x00\x00\x00\xFF", 6));
    return out;
}

}  // namespace

TEST(ImageDecodingTest, WebPAndTiffPicturesDecode)
{
    // A lossless and a lossy WebP of one pixel, and a two-pixel TIFF.
    const QByteArray lossless = QByteArray::fromBase64("UklGRhoAAABXRUJQVlA4TA0AAAAvAAAAEAcQERGIiP4HAA==");
    const QByteArray lossy = QByteArray::fromBase64("UklGRiIAAABXRUJQVlA4IBYAAAAwAQCdASoBAAEADsD+JaQAA3AAAAAA");
    for (const QByteArray& webp : {lossless, lossy}) {
        ASSERT_EQ(NSData_ImageContentType::sd_contentTypeForImageData(webp), QStringLiteral("image/webp"));
        const QImage image = NSImage_MultiFormat::sd_imageWithData(webp);
        ASSERT_FALSE(image.isNull()) << "no WebP reader installed";
        EXPECT_EQ(image.size(), QSize(1, 1));
        EXPECT_FALSE(NSData_ImageContentType::sd_decoderMissingForImageData(webp));
    }
    const QByteArray tiff = twoPixelTiff();
    ASSERT_EQ(NSData_ImageContentType::sd_contentTypeForImageData(tiff), QStringLiteral("image/tiff"));
    const QImage image = NSImage_MultiFormat::sd_imageWithData(tiff);
    ASSERT_FALSE(image.isNull()) << "no TIFF reader installed";
    ASSERT_EQ(image.size(), QSize(2, 1));
    EXPECT_EQ(QColor(image.pixel(0, 0)), QColor(Qt::red));
    EXPECT_EQ(QColor(image.pixel(1, 0)), QColor(Qt::blue));
}

TEST(ImageDecodingTest, AFormatWithoutAReaderIsToldApartFromBadBytes)
{
    const QByteArray webp = QByteArray::fromBase64("UklGRhoAAABXRUJQVlA4TA0AAAAvAAAAEAcQERGIiP4HAA==");
    const QList<QByteArray> withoutWebP = {"png", "jpeg", "gif", "tiff"};
    EXPECT_TRUE(NSData_ImageContentType::sd_decoderMissingForImageData(webp, withoutWebP));
    EXPECT_FALSE(NSData_ImageContentType::sd_decoderMissingForImageData(webp, {"webp"}));
    // Bytes of no known format, and a format that has its reader, are not missing one.
    EXPECT_FALSE(NSData_ImageContentType::sd_decoderMissingForImageData("<html>", withoutWebP));
    EXPECT_FALSE(NSData_ImageContentType::sd_decoderMissingForImageData(QByteArray("\x89PNG broken", 11), withoutWebP));
}
