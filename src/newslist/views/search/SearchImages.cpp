#include "newslist/views/search/SearchImages.h"
#include "ui/controls/ImageNamed.h"

#include <QPainter>
#include <QPainterPath>

namespace {

const QColor kGrey(153, 153, 153);
const QColor kRed(210, 34, 34);

QPixmap canvas(int side)
{
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QPixmap drawCross()
{
    QPixmap pixmap = canvas(20);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kGrey, 1.6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(6, 6), QPointF(14, 14));
    painter.drawLine(QPointF(14, 6), QPointF(6, 14));
    return pixmap;
}

QPixmap drawClock()
{
    QPixmap pixmap = canvas(16);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kGrey, 1.3));
    painter.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    painter.drawLine(QPointF(8, 4.5), QPointF(8, 8));
    painter.drawLine(QPointF(8, 8), QPointF(10.5, 10));
    return pixmap;
}

QPixmap drawBin()
{
    QPixmap pixmap = canvas(16);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kRed, 1.3));
    painter.drawLine(QPointF(2.5, 4), QPointF(13.5, 4));
    painter.drawLine(QPointF(6, 4), QPointF(6.5, 2));
    painter.drawLine(QPointF(6.5, 2), QPointF(9.5, 2));
    painter.drawLine(QPointF(9.5, 2), QPointF(10, 4));
    QPainterPath body;
    body.moveTo(4, 5.5);
    body.lineTo(5, 14);
    body.lineTo(11, 14);
    body.lineTo(12, 5.5);
    painter.drawPath(body);
    painter.drawLine(QPointF(8, 7), QPointF(8, 12));
    return pixmap;
}

}  // namespace

namespace SearchImages {

QPixmap image(const QString& name)
{
    // Each drawn once for the process; the resources' pictures are kept by imageNamed itself.
    if (name == QLatin1String("searchBar_deleteBtn")) {
        static const QPixmap cross = drawCross();
        return cross;
    }
    if (name == QLatin1String("searchBar_history")) {
        static const QPixmap clock = drawClock();
        return clock;
    }
    if (name == QLatin1String("searchBar_deleteAll")) {
        static const QPixmap bin = drawBin();
        return bin;
    }
    return imageNamed(name);
}

}  // namespace SearchImages
