#include "images/ImageDecoding.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>

namespace {

// Reads image 0 of the bytes. QImageReader keeps its allocation limit, so a header announcing
// an enormous picture gives no image instead of an enormous allocation.
QImage readFirstImage(const QByteArray& data)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    QImage image;
    if (!reader.read(&image))
        return {};
    return image;
}

}  // namespace

namespace NSData_ImageContentType {

QString sd_contentTypeForImageData(const QByteArray& data)
{
    if (data.isEmpty())
        return {};
    switch (static_cast<unsigned char>(data.at(0))) {
    case 0xFF: return QStringLiteral("image/jpeg");
    case 0x89: return QStringLiteral("image/png");
    case 0x47: return QStringLiteral("image/gif");
    case 0x49:
    case 0x4D: return QStringLiteral("image/tiff");
    case 0x52:
        if (data.size() >= 12 && data.startsWith("RIFF") && data.mid(8, 4) == "WEBP")
            return QStringLiteral("image/webp");
        return {};
    default: return {};
    }
}

bool sd_decoderMissingForImageData(const QByteArray& data, const QList<QByteArray>& supportedFormats)
{
    const QString type = sd_contentTypeForImageData(data);
    if (type.isNull())
        return false;
    const QByteArray format = type.mid(6).toLatin1();  // after "image/"
    const QList<QByteArray> formats = supportedFormats.isEmpty() ? QImageReader::supportedImageFormats() : supportedFormats;
    return !formats.contains(format);
}

}  // namespace NSData_ImageContentType

namespace NSImage_GIF {

QImage sd_animatedGIFWithData(const QByteArray& data)
{
    if (data.isNull())
        return {};
    // The reader hands out frame 0 first, which is all that is shown of an animation.
    return readFirstImage(data);
}

bool isGIF(const QImage&)
{
    return false;
}

}  // namespace NSImage_GIF

namespace NSImage_MultiFormat {

QImage sd_imageWithData(const QByteArray& data)
{
    if (data.isEmpty())
        return {};
    if (NSData_ImageContentType::sd_contentTypeForImageData(data) == QLatin1String("image/gif"))
        return NSImage_GIF::sd_animatedGIFWithData(data);
    return readFirstImage(data);
}

}  // namespace NSImage_MultiFormat

namespace NSImage_ForceDecode {

QImage decodedImageWithImage(const QImage& image)
{
    return image;
}

}  // namespace NSImage_ForceDecode

QImage SDScaledImageForKey(const QString&, const QImage& image)
{
    return image;
}

QByteArray SDEncodedImageData(const QImage& image, const QByteArray& originalData)
{
    if (image.isNull())
        return {};
    const QString type = NSData_ImageContentType::sd_contentTypeForImageData(originalData);
    const bool png = type == QLatin1String("image/png") || type == QLatin1String("image/gif");
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, png ? "png" : "jpeg");
    if (!writer.write(image))
        return {};
    return bytes;
}
