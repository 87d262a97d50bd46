#include "ui/imageview/WebCache.h"

#include "images/SDWebImageManager.h"
#include "platform/AssociatedObjects.h"
#include "platform/Dispatch.h"
#include "ui/imageview/WebCacheOperation.h"

#include <QPointer>

#include <mutex>

namespace WebCache {

namespace {

// Keys by address: each its own object.
char kImageURLKey;
char kIndicatorKey;

struct ImageURLRecord
{
    QUrl url;
};

struct IndicatorRecord
{
    bool show = false;
};

std::mutex gManagerMutex;
std::shared_ptr<SDWebImageManager> gManager;  // guarded by gManagerMutex

}  // namespace

void setImageManager(std::shared_ptr<SDWebImageManager> manager)
{
    std::lock_guard lock(gManagerMutex);
    gManager = std::move(manager);
}

std::shared_ptr<SDWebImageManager> imageManager()
{
    {
        std::lock_guard lock(gManagerMutex);
        if (gManager)
            return gManager;
    }
    return SDWebImageManager::sharedManager();
}

void sd_setImageWithURL(ImageView* view, const QUrl& url)
{
    sd_setImageWithURL(view, url, QImage(), 0, nullptr, nullptr);
}

void sd_setImageWithURL(ImageView* view, const QUrl& url, const QImage& placeholder)
{
    sd_setImageWithURL(view, url, placeholder, 0, nullptr, nullptr);
}

void sd_setImageWithURL(ImageView* view, const QUrl& url, const QImage& placeholder, ImageLoadOptions options)
{
    sd_setImageWithURL(view, url, placeholder, options, nullptr, nullptr);
}

void sd_setImageWithURL(ImageView* view, const QUrl& url, SDExternalCompletionBlock completedBlock)
{
    sd_setImageWithURL(view, url, QImage(), 0, nullptr, std::move(completedBlock));
}

void sd_setImageWithURL(ImageView* view, const QUrl& url, const QImage& placeholder,
                        SDExternalCompletionBlock completedBlock)
{
    sd_setImageWithURL(view, url, placeholder, 0, nullptr, std::move(completedBlock));
}

void sd_setImageWithURL(ImageView* view, const QUrl& url, const QImage& placeholder, ImageLoadOptions options,
                        SDExternalCompletionBlock completedBlock)
{
    sd_setImageWithURL(view, url, placeholder, options, nullptr, std::move(completedBlock));
}

void sd_setImageWithURL(ImageView* view, const QUrl& url, const QImage& placeholder, ImageLoadOptions options,
                        SDWebImageDownloaderProgressBlock progressBlock, SDExternalCompletionBlock completedBlock)
{
    if (!view)
        return;
    sd_cancelCurrentImageLoad(view);
    AssociatedObjects::getOrCreate<ImageURLRecord>(view, &kImageURLKey)->url = url;

    const QPointer<ImageView> weakView(view);
    if (!(options & SDLoadDelayPlaceholder)) {
        dispatch::onMain([weakView, placeholder] {
            if (weakView)
                weakView->setImage(placeholder);
        });
    }

    if (url.isEmpty()) {
        dispatch::onMain([weakView, url, completedBlock] {
            if (weakView)
                removeActivityIndicator(weakView);
            if (completedBlock)
                completedBlock(QImage(), SDWebImageError(-1, QStringLiteral("Trying to load a nil url")),
                               SDImageCacheTypeNone, url);
        });
        return;
    }

    if (showActivityIndicatorView(view))
        addActivityIndicator(view);
    auto operation = imageManager()->loadImageWithURL(
        url, options, std::move(progressBlock),
        [weakView, url, placeholder, options, completedBlock](const QImage& image, const QByteArray&,
                                                              const std::optional<Error>& error, ImageCacheType cacheType,
                                                              bool finished, const QUrl&) {
            if (!weakView)
                return;
            removeActivityIndicator(weakView);
            // On the main thread: at once when already there, else with this thread waiting.
            dispatch::syncMain([&] {
                if (!weakView)
                    return;
                if (!image.isNull() && (options & SDLoadAvoidAutoSetImage) && completedBlock) {
                    completedBlock(image, error, cacheType, url);
                    return;
                }
                if (!image.isNull()) {
                    weakView->setImage(image);
                    weakView->setNeedsLayout(true);
                } else if (options & SDLoadDelayPlaceholder) {
                    weakView->setImage(placeholder);
                    weakView->setNeedsLayout(true);
                }
                if (completedBlock && finished)
                    completedBlock(image, error, cacheType, url);
            });
        });
    WebCacheOperation::sd_setImageLoadOperation(view, std::move(operation), QLatin1String(kImageLoadOperationKey));
}

void sd_setImageWithPreviousCachedImageWithURL(ImageView* view, const QUrl& url, const QImage& placeholder,
                                               ImageLoadOptions options, SDWebImageDownloaderProgressBlock progressBlock,
                                               SDExternalCompletionBlock completedBlock)
{
    const std::shared_ptr<SDWebImageManager> manager = imageManager();
    const QImage cached = manager->imageCache()->imageFromDiskCacheForKey(manager->cacheKeyForURL(url));
    sd_setImageWithURL(view, url, cached.isNull() ? placeholder : cached, options, std::move(progressBlock),
                       std::move(completedBlock));
}

QUrl sd_imageURL(const ImageView* view)
{
    if (const auto record = AssociatedObjects::value<ImageURLRecord>(view, &kImageURLKey))
        return record->url;
    return {};
}

void sd_cancelCurrentImageLoad(ImageView* view)
{
    WebCacheOperation::sd_cancelImageLoadOperationWithKey(view, QLatin1String(kImageLoadOperationKey));
}

void setShowActivityIndicatorView(ImageView* view, bool show)
{
    if (view)
        AssociatedObjects::getOrCreate<IndicatorRecord>(view, &kIndicatorKey)->show = show;
}

bool showActivityIndicatorView(const ImageView* view)
{
    const auto record = AssociatedObjects::value<IndicatorRecord>(view, &kIndicatorKey);
    return record && record->show;
}

void addActivityIndicator(ImageView*) {}

void removeActivityIndicator(ImageView*) {}

}  // namespace WebCache
