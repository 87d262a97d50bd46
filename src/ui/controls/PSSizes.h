#pragma once

#include <QPointF>
#include <QSizeF>

class QWidget;

// One part of a widget's frame (its geometry in the parent's coordinates, y downwards: top is the
// frame's y, bottom y + height). Each setter changes only the part named and keeps the rest.
namespace PSSizes {

double left(const QWidget* view);
void setLeft(QWidget* view, double left);
double top(const QWidget* view);
void setTop(QWidget* view, double top);
double right(const QWidget* view);
// x = right - width.
void setRight(QWidget* view, double right);
double bottom(const QWidget* view);
// y = bottom - height.
void setBottom(QWidget* view, double bottom);
double width(const QWidget* view);
void setWidth(QWidget* view, double width);
double height(const QWidget* view);
void setHeight(QWidget* view, double height);
QPointF origin(const QWidget* view);
void setOrigin(QWidget* view, const QPointF& origin);
QSizeF size(const QWidget* view);
void setSize(QWidget* view, const QSizeF& size);

}  // namespace PSSizes
