#include "newslist/views/ListCovers.h"

#include "images/SDImageCache.h"
#include "platform/NotificationCenter.h"
#include "ui/imageview/WebCache.h"

#include <QAbstractItemView>
#include <QScrollBar>

#include <memory>

struct ListCovers::Entry
{
    std::unique_ptr<ImageView> view;  // holds the load; never shown
    QPixmap picture;                  // at the row's size
    qreal pixelRatio = 1.0;
    bool loading = false;
    bool failed = false;
    Again again = Again::Not;
};

ListCovers::ListCovers(QSize coverSize, QObject* parent) : QObject(parent), m_coverSize(coverSize)
{
    NotificationCenter::defaultCenter().addObserver(this, QLatin1String(SDImageCacheDidClearMemoryNotification), nullptr,
                                                    [this](const Notification&) { clear(); });
}

ListCovers::~ListCovers() = default;

QPixmap ListCovers::coverFor(const QString& url, qreal pixelRatio)
{
    if (url.isEmpty())
        return {};
    Entry* entry = m_entries.object(url);
    if (!entry) {
        entry = new Entry;
        entry->pixelRatio = pixelRatio;
        m_entries.insert(url, entry);
        startLoad(url, *entry, false);
        // A picture in memory has arrived already.
        entry = m_entries.object(url);
        return entry ? entry->picture : QPixmap();
    }
    if (entry->failed && entry->again != Again::Not) {
        startLoad(url, *entry, entry->again == Again::PastFailedMark);
        entry = m_entries.object(url);
        return entry ? entry->picture : QPixmap();
    }
    return entry->picture;
}

void ListCovers::startLoad(const QString& url, Entry& entry, bool retry)
{
    entry.failed = false;
    entry.again = Again::Not;
    entry.loading = true;
    if (!entry.view)
        entry.view = std::make_unique<ImageView>();
    const QPointer<ListCovers> self(this);
    ImageView* view = entry.view.get();
    // The manager keeps a URL that failed for good from being asked again in the session; a
    // list shown again asks once more, in case the server has come back.
    WebCache::sd_setImageWithURL(
        view, QUrl(url), QImage(), retry ? ImageLoadOptions(SDLoadRetryFailed) : ImageLoadOptions(0),
        [self, url, view](const QImage& image, const std::optional<Error>&, ImageCacheType, const QUrl&) {
            if (!self)
                return;
            Entry* current = self->m_entries.object(url);
            if (!current || current->view.get() != view)
                return;
            current->loading = false;
            if (image.isNull()) {
                current->failed = true;
                return;
            }
            const QSize size = self->m_coverSize * current->pixelRatio;
            QPixmap picture = QPixmap::fromImage(image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
            picture.setDevicePixelRatio(current->pixelRatio);
            current->picture = picture;
            // The row's copy is all the list keeps; the full picture stays with the image cache.
            view->setImage(QImage());
            emit self->coverArrived();
        });
}

bool ListCovers::hasFailed(const QString& url) const
{
    const Entry* entry = m_entries.object(url);
    return entry && entry->failed;
}

void ListCovers::retryFailed()
{
    askFailedAgain(Again::PastFailedMark);
}

void ListCovers::rowsMoved()
{
    askFailedAgain(Again::WithinFailedMark);
}

void ListCovers::followRows(QAbstractItemView* list)
{
    connect(list->verticalScrollBar(), &QScrollBar::valueChanged, this, &ListCovers::rowsMoved);
    if (QAbstractItemModel* model = list->model()) {
        connect(model, &QAbstractItemModel::rowsInserted, this, &ListCovers::rowsMoved);
        connect(model, &QAbstractItemModel::modelReset, this, &ListCovers::rowsMoved);
    }
}

void ListCovers::askFailedAgain(Again again)
{
    const QList<QString> urls = m_entries.keys();
    for (const QString& url : urls) {
        if (Entry* entry = m_entries.object(url); entry && entry->failed && entry->again < again)
            entry->again = again;
    }
}

void ListCovers::clear()
{
    if (m_entries.isEmpty())
        return;
    m_entries.clear();
    emit cleared();
}
