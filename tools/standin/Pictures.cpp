#include "Pictures.h"

#include <QBuffer>
#include <QColor>
#include <QCryptographicHash>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRegularExpression>

namespace standin::pictures {

QSize sizeForName(const QString& path)
{
    const QString name = path.section(QLatin1Char('/'), -1).section(QLatin1Char('.'), 0, 0);
    static const QRegularExpression kSize(QStringLiteral("_(\\d{1,4})x(\\d{1,4})$"));
    const QRegularExpressionMatch match = kSize.match(name);
    if (match.hasMatch()) {
        const int w = std::clamp(match.captured(1).toInt(), 1, 2000);
        const int h = std::clamp(match.captured(2).toInt(), 1, 2000);
        return QSize(w, h);
    }
    if (name.endsWith(QLatin1String("_240")))
        return QSize(240, 180);
    if (name.endsWith(QLatin1String("_60")))
        return QSize(60, 60);
    if (name.endsWith(QLatin1String("_avatar")))
        return QSize(180, 180);
    return QSize(600, 400);
}

QByteArray render(const QString& path, QByteArray* contentType)
{
    const QString lower = path.toLower();
    const bool jpeg = lower.endsWith(QLatin1String(".jpg")) || lower.endsWith(QLatin1String(".jpeg"));
    const bool png = lower.endsWith(QLatin1String(".png"));
    if (!jpeg && !png)
        return {};
    const QByteArray digest = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Md5);
    const auto byte = [&](int i) { return static_cast<uint8_t>(digest.at(i)); };
    const QSize size = sizeForName(path);
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor from = QColor::fromHsv(byte(0) * 360 / 256, 90 + byte(1) % 100, 150 + byte(2) % 90);
    const QColor to = QColor::fromHsv((byte(0) * 360 / 256 + 40) % 360, 60 + byte(3) % 80, 90 + byte(4) % 90);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    painter.fillRect(image.rect(), gradient);
    // A few soft shapes, placed by the digest, so pictures differ at a glance.
    for (int i = 0; i < 3; ++i) {
        QColor shape = QColor::fromHsv((byte(5 + i) * 360 / 256), 40, 245);
        shape.setAlpha(90);
        painter.setPen(Qt::NoPen);
        painter.setBrush(shape);
        const int r = std::max(4, size.height() / (3 + i));
        painter.drawEllipse(QPoint(byte(8 + i) * size.width() / 256, byte(11 + i) * size.height() / 256), r, r);
    }
    painter.end();

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (jpeg && image.save(&buffer, "JPEG", 85)) {
        *contentType = "image/jpeg";
        return bytes;
    }
    bytes.clear();
    buffer.seek(0);
    image.save(&buffer, "PNG");
    *contentType = "image/png";
    return bytes;
}

}  // namespace standin::pictures
