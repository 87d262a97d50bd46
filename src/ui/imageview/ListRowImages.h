#pragma once

#include "images/ImageLoadTypes.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRect>

class ImageView;
class QAbstractItemView;

// The remote pictures of a list's rows (deal thumbnails, commenters' avatars): each row gets an
// image view at the same place in the row, loaded through the web-cache binding from the address
// the row's model gives under one role. The pictures follow the model: a reset or new rows load
// them again. Clicks go through to the list. A row whose role holds nothing (not even an empty
// address) is left to a widget of its own.
class ListRowImages : public QObject
{
    Q_OBJECT

public:
    ListRowImages(QAbstractItemView* view, int urlRole, const QRect& pictureRect, const QImage& placeholder,
                  ImageLoadOptions options = 0);

    // The image view of the row, or null.
    ImageView* imageViewAt(int row) const;

private:
    void rebuild();

    QPointer<QAbstractItemView> m_view;
    int m_urlRole;
    QRect m_rect;
    QImage m_placeholder;
    ImageLoadOptions m_options;
};
