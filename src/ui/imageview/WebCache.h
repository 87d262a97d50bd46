#pragma once

#include "images/ImageLoadTypes.h"
#include "ui/imageview/ImageView.h"

#include <QImage>
#include <QUrl>

#include <memory>

class SDWebImageManager;

// Remote pictures in image views: a new call cancels the view's previous load, shows the
// placeholder, asks the image manager for the picture and sets it on the main thread. An empty
// URL counts as none. Call on the main thread.
namespace WebCache {

inline constexpr auto kImageLoadOperationKey = "UIImageViewImageLoad";

void sd_setImageWithURL(ImageView* view, const QUrl& url);
void sd_setImageWithURL(ImageView* view, const QUrl& url, const QImage& placeholder);
void sd_setImageWithURL(ImageView* view, const QUrl& url, const QImage& placeholder, ImageLoadOptions options);
void sd_setImageWithURL(ImageView* view, const QUrl& url, SDExternalCompletionBlock completedBlock);
void sd_setImageWithURL(ImageView* view, const QUrl& url, const QImage& placeholder,
                        SDExternalCompletionBlock completedBlock);
void sd_setImageWithURL(ImageView* view, const QUrl& url, const QImage& placeholder, ImageLoadOptions options,
                        SDExternalCompletionBlock completedBlock);
// The progress block runs on the main thread, beside the transfer.
void sd_setImageWithURL(ImageView* view, const QUrl& url, const QImage& placeholder, ImageLoadOptions options,
                        SDWebImageDownloaderProgressBlock progressBlock, SDExternalCompletionBlock completedBlock);

// The cached picture of the URL (memory, else disk, read now) serves as the placeholder when
// there is one.
void sd_setImageWithPreviousCachedImageWithURL(ImageView* view, const QUrl& url, const QImage& placeholder,
                                               ImageLoadOptions options, SDWebImageDownloaderProgressBlock progressBlock,
                                               SDExternalCompletionBlock completedBlock);

// The URL of the last load started on the view (empty when none).
QUrl sd_imageURL(const ImageView* view);
void sd_cancelCurrentImageLoad(ImageView* view);

// Kept for callers that set it; no activity indicator is shown on this platform.
void setShowActivityIndicatorView(ImageView* view, bool show);
bool showActivityIndicatorView(const ImageView* view);
void addActivityIndicator(ImageView* view);
void removeActivityIndicator(ImageView* view);

// The manager the views load through: the shared one unless another was installed (tests);
// null restores the shared one.
void setImageManager(std::shared_ptr<SDWebImageManager> manager);
std::shared_ptr<SDWebImageManager> imageManager();

}  // namespace WebCache
