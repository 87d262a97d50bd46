// Draws the article toolbar's icons into this folder (run by hand when they change):
//   g++ -std=c++20 -fPIC draw_icons.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/draw_icons && /tmp/draw_icons .
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <functional>

namespace {

const QColor kInk(102, 102, 102);

void save(const QString& dir, const QString& name, QSize size, const std::function<void(QPainter&)>& draw)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(kInk, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    draw(p);
    p.end();
    image.save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");

    // Speech bubble with a tail at its lower left.
    save(dir, QStringLiteral("iPadQuickSetting_CommentNumIOS7_NORMAL"), {24, 22}, [](QPainter& p) {
        QPainterPath bubble;
        bubble.addRoundedRect(QRectF(2, 2, 20, 14), 3, 3);
        p.drawPath(bubble);
        p.drawPolyline(QPolygonF({QPointF(6, 16), QPointF(5, 20.5), QPointF(10, 16)}));
    });
    // Pencil over a line.
    save(dir, QStringLiteral("iPadQuickSetting_WriteCommentIOS7_NORMAL"), {18, 18}, [](QPainter& p) {
        p.drawPolygon(QPolygonF({QPointF(4, 12), QPointF(12.5, 3.5), QPointF(14.5, 5.5), QPointF(6, 14), QPointF(3.5, 14.5)}));
        p.drawLine(QPointF(2, 16.5), QPointF(16, 16.5));
    });
    // Left chevron.
    save(dir, QStringLiteral("iPadQuickSetting_GobackIOS7_NORMAL"), {22, 22}, [](QPainter& p) {
        QPen pen = p.pen();
        pen.setWidthF(2.0);
        p.setPen(pen);
        p.drawPolyline(QPolygonF({QPointF(14, 3), QPointF(6, 11), QPointF(14, 19)}));
    });
    // Box with an arrow leaving through its top.
    save(dir, QStringLiteral("分享"), {20, 20}, [](QPainter& p) {
        p.drawPolyline(QPolygonF({QPointF(7, 8), QPointF(3.5, 8), QPointF(3.5, 18), QPointF(16.5, 18), QPointF(16.5, 8), QPointF(13, 8)}));
        p.drawLine(QPointF(10, 2), QPointF(10, 13));
        p.drawPolyline(QPolygonF({QPointF(6.5, 5.5), QPointF(10, 2), QPointF(13.5, 5.5)}));
    });
    // Circular arrow.
    save(dir, QStringLiteral("刷新"), {20, 20}, [](QPainter& p) {
        p.drawArc(QRectF(3, 3, 14, 14), 60 * 16, 300 * 16);
        p.setBrush(kInk);
        p.drawPolygon(QPolygonF({QPointF(12, 1.5), QPointF(16.5, 4.5), QPointF(11.5, 7)}));
    });
    // A large and a small letter A.
    save(dir, QStringLiteral("字体"), {20, 20}, [](QPainter& p) {
        p.drawPolyline(QPolygonF({QPointF(2, 17), QPointF(7, 3), QPointF(12, 17)}));
        p.drawLine(QPointF(4, 12), QPointF(10, 12));
        p.drawPolyline(QPolygonF({QPointF(12, 17), QPointF(15, 9), QPointF(18, 17)}));
        p.drawLine(QPointF(13.2, 14), QPointF(16.8, 14));
    });
    return 0;
}
