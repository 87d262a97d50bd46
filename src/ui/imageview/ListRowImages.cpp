#include "ui/imageview/ListRowImages.h"

#include "ui/imageview/ImageView.h"
#include "ui/imageview/WebCache.h"

#include <QAbstractItemView>
#include <QPointer>
#include <QUrl>

namespace {

// Set on a row's image view whose last load ended without a picture.
constexpr const char* kLoadFailed = "listRowImageLoadFailed";

}  // namespace

ListRowImages::ListRowImages(QAbstractItemView* view, int urlRole, const QRect& pictureRect, const QImage& placeholder,
                             ImageLoadOptions options)
    : QObject(view), m_view(view), m_urlRole(urlRole), m_rect(pictureRect), m_placeholder(placeholder), m_options(options)
{
    QAbstractItemModel* model = view->model();
    if (!model)
        return;
    // Connected after the view's own handlers: a reset has already dropped the old row widgets.
    connect(model, &QAbstractItemModel::modelReset, this, &ListRowImages::rebuild);
    connect(model, &QAbstractItemModel::rowsInserted, this, &ListRowImages::rebuild);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &ListRowImages::rebuild);
    rebuild();
}

ImageView* ListRowImages::imageViewAt(int row) const
{
    if (!m_view || !m_view->model())
        return nullptr;
    QWidget* holder = m_view->indexWidget(m_view->model()->index(row, 0));
    return holder ? holder->findChild<ImageView*>() : nullptr;
}

void ListRowImages::rebuild()
{
    if (!m_view || !m_view->model())
        return;
    QAbstractItemModel* model = m_view->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        // A row that names no address at all (a list's slide row) holds a widget of its own.
        const QVariant address = index.data(m_urlRole);
        if (!address.isValid())
            continue;
        ImageView* image = imageViewAt(row);
        const QUrl url = address.toUrl();
        // A picture whose last load failed is asked again: the image manager answers at once for
        // one that failed for good, and a passing failure (the network was gone) may be over.
        if (image && url == WebCache::sd_imageURL(image) && !image->property(kLoadFailed).toBool())
            continue;
        if (!image) {
            // The holder covers the row and lets every click through to the list below it.
            auto* holder = new QWidget;
            holder->setAttribute(Qt::WA_TransparentForMouseEvents);
            holder->setAttribute(Qt::WA_NoSystemBackground);
            image = new ImageView(holder);
            image->setGeometry(m_rect);
            m_view->setIndexWidget(index, holder);
        }
        image->setProperty(kLoadFailed, false);
        WebCache::sd_setImageWithURL(image, url, m_placeholder, m_options,
                                     [image = QPointer<ImageView>(image)](const QImage& picture, const std::optional<Error>&,
                                                                          ImageCacheType, const QUrl&) {
                                         if (image)
                                             image->setProperty(kLoadFailed, picture.isNull());
                                     });
    }
}
