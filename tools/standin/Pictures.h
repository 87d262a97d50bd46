#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

namespace standin::pictures {

// The size a picture's file name asks for: "_WxH" that size, "_240" 240x180, "_60" 60x60,
// "_avatar" 180x180, anything else 600x400.
QSize sizeForName(const QString& path);

// A picture drawn for the path (colours from its digest, so the same path gives the same bytes):
// JPEG for ".jpg"/".jpeg", PNG otherwise. Empty when the path names no picture type.
QByteArray render(const QString& path, QByteArray* contentType);

}  // namespace standin::pictures
