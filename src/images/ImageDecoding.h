#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Telling an image format from its first bytes, and turning bytes into an image. Pictures with
// several frames (animated GIFs) are kept as their first frame only, so no image here ever has
// frames and the post-processing steps hand the image back unchanged.

namespace NSData_ImageContentType {

// "image/jpeg", "image/png", "image/gif", "image/tiff" or "image/webp" from the leading bytes; a
// null text when the bytes say none of these (empty data included).
QString sd_contentTypeForImageData(const QByteArray& data);

// True when the leading bytes say a format (by sd_contentTypeForImageData) that none of the
// readers named in supportedFormats (QImageReader::supportedImageFormats() when empty) reads:
// the picture cannot be shown here whatever its bytes hold.
bool sd_decoderMissingForImageData(const QByteArray& data, const QList<QByteArray>& supportedFormats = {});

}  // namespace NSData_ImageContentType

namespace NSImage_GIF {

// The first frame of GIF data as a still image; null when the bytes cannot be read.
QImage sd_animatedGIFWithData(const QByteArray& data);
// Always false: images here never carry frames.
bool isGIF(const QImage& image);

}  // namespace NSImage_GIF

namespace NSImage_MultiFormat {

// The image in the bytes (GIF data through sd_animatedGIFWithData); null when the bytes hold no
// picture this platform can read, or one larger than the reader's allocation limit allows.
QImage sd_imageWithData(const QByteArray& data);

}  // namespace NSImage_MultiFormat

namespace NSImage_ForceDecode {

// QImage is decoded when it is read, so the image comes back as it is (null stays null).
QImage decodedImageWithImage(const QImage& image);

}  // namespace NSImage_ForceDecode

// The image for a key at the screen's scale: the desktop shows pictures at their own size, so
// the image comes back as it is.
QImage SDScaledImageForKey(const QString& key, const QImage& image);

// Bytes of the image in the format the content type of the given data asks for: PNG for PNG
// and GIF data (Qt has no GIF writer), JPEG for everything else, no data included.
QByteArray SDEncodedImageData(const QImage& image, const QByteArray& originalData);
