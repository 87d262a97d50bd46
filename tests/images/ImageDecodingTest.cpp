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
