#pragma once

// Pictures made in memory for the image tests, and a manager over a cache of its own.

#include "LoopbackHttpServer.h"
#include "TestEnvironment.h"
#include "images/SDWebImageManager.h"

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>

#include <memory>

namespace imagefixtures {

inline QByteArray encoded(const QImage& image, const char* format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.write(image);
    return bytes;
}

inline QImage filled(int width, int height, const QColor& color)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

inline QByteArray png(int width, int height, const QColor& color)
{
    return encoded(filled(width, height, color), "png");
}

// A GIF of several frames, each its own single colour, each the size of the whole picture.
// Qt writes no GIF, so the bytes are put together here: two-colour palette per frame and
// LZW codes of three bits, with a clear code after every two pixels so the width never grows.
inline QByteArray gif(int width, int height, const QList<QColor>& frameColors)
{
    QByteArray out("GIF89a");
    auto u16 = [&out](int v) {
        out.append(char(v & 0xFF));
        out.append(char((v >> 8) & 0xFF));
    };
    u16(width);
    u16(height);
    out.append(char(0x00));  // no global colour table
    out.append(char(0x00));
    out.append(char(0x00));
    // Loop forever, so readers treat it as an animation.
    out.append(QByteArray::fromHex("21FF0B4E45545343415045322E300301000000"));
    for (const QColor& color : frameColors) {
        out.append(QByteArray::fromHex("21F904000A0000" "00"));  // 0.1 s per frame
        out.append(char(0x2C));
        u16(0);
        u16(0);
        u16(width);
        u16(height);
        out.append(char(0x80));  // local colour table of 2 entries
        out.append(char(color.red()));
        out.append(char(color.green()));
        out.append(char(color.blue()));
        out.append(char(0));
        out.append(char(0));
        out.append(char(0));
        out.append(char(2));  // minimum code size
        QList<int> codes;
        const int pixels = width * height;
        for (int i = 0; i < pixels; ++i) {
            if (i % 2 == 0)
                codes.append(4);  // clear
            codes.append(0);
        }
        codes.append(5);  // end of information
        QByteArray data;
        quint32 acc = 0;
        int bits = 0;
        for (int code : codes) {
            acc |= quint32(code) << bits;
            bits += 3;
            while (bits >= 8) {
                data.append(char(acc & 0xFF));
                acc >>= 8;
                bits -= 8;
            }
        }
        if (bits > 0)
            data.append(char(acc & 0xFF));
        for (qsizetype at = 0; at < data.size(); at += 255) {
            const QByteArray block = data.mid(at, 255);
            out.append(char(block.size()));
            out.append(block);
        }
        out.append(char(0));
    }
    out.append(char(0x3B));
    return out;
}

// Lets the main queue run what is posted to it, deferred deletions included: a session let go
// at the end of a test is deleted there, and must not be left for the application's teardown.
inline void settleEvents()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

// A 200 reply carrying the bytes as the given type, after the delay.
inline LoopbackReply imageReply(const QByteArray& body, const QByteArray& type = "image/png", int delayMs = 0)
{
    LoopbackReply reply;
    reply.body = body;
    reply.delayMs = delayMs;
    reply.withHeader("Content-Type", type);
    return reply;
}

// A manager with its own downloader and a cache in its own temporary folder.
struct IsolatedManager
{
    ~IsolatedManager()
    {
        manager.reset();
        downloader.reset();
        settleEvents();
    }

    QTemporaryDir folder;
    std::shared_ptr<SDImageCache> cache = std::make_shared<SDImageCache>(QStringLiteral("test"), folder.path());
    std::shared_ptr<SDWebImageDownloader> downloader = SDWebImageDownloader::create();
    std::shared_ptr<SDWebImageManager> manager = SDWebImageManager::create(cache, downloader);
};

}  // namespace imagefixtures
