#include "ui/controls/PSSizes.h"

#include <QWidget>

#include <cmath>

namespace {

int whole(double v)
{
    return static_cast<int>(std::lround(v));
}

// Reads the frame, lets the caller change a part, and sets the whole frame back.
template <typename Change>
void change(QWidget* view, Change&& c)
{
    if (!view)
        return;
    QRect frame = view->geometry();
    c(frame);
    view->setGeometry(frame);
}

}  // namespace

namespace PSSizes {

double left(const QWidget* view) { return view ? view->geometry().x() : 0; }
double top(const QWidget* view) { return view ? view->geometry().y() : 0; }
double right(const QWidget* view) { return view ? view->geometry().x() + view->geometry().width() : 0; }
double bottom(const QWidget* view) { return view ? view->geometry().y() + view->geometry().height() : 0; }
double width(const QWidget* view) { return view ? view->geometry().width() : 0; }
double height(const QWidget* view) { return view ? view->geometry().height() : 0; }
QPointF origin(const QWidget* view) { return view ? QPointF(view->geometry().topLeft()) : QPointF(); }
QSizeF size(const QWidget* view) { return view ? QSizeF(view->geometry().size()) : QSizeF(); }

void setLeft(QWidget* view, double v)
{
    change(view, [&](QRect& f) { f.moveLeft(whole(v)); });
}

void setTop(QWidget* view, double v)
{
    change(view, [&](QRect& f) { f.moveTop(whole(v)); });
}

void setRight(QWidget* view, double v)
{
    change(view, [&](QRect& f) { f.moveLeft(whole(v - f.width())); });
}

void setBottom(QWidget* view, double v)
{
    change(view, [&](QRect& f) { f.moveTop(whole(v - f.height())); });
}

void setWidth(QWidget* view, double v)
{
    change(view, [&](QRect& f) { f.setWidth(whole(v)); });
}

void setHeight(QWidget* view, double v)
{
    change(view, [&](QRect& f) { f.setHeight(whole(v)); });
}

void setOrigin(QWidget* view, const QPointF& v)
{
    change(view, [&](QRect& f) { f.moveTopLeft(QPoint(whole(v.x()), whole(v.y()))); });
}

void setSize(QWidget* view, const QSizeF& v)
{
    change(view, [&](QRect& f) { f.setSize(QSize(whole(v.width()), whole(v.height()))); });
}

}  // namespace PSSizes
