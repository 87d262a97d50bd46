#include "images/SDWebImageManager.h"

#include "images/ImageDecoding.h"
#include "platform/Dispatch.h"

namespace {

ImageDownloadOptions downloaderOptions(ImageLoadOptions options, bool refreshingCachedImage)
{
    ImageDownloadOptions result = 0;
    if (options & SDLoadLowPriority) result |= SDDownloadLowPriority;
    if (options & SDLoadProgressive) result |= SDDownloadProgressive;
    if (options & SDLoadRefreshCached) result |= SDDownloadUseURLCache;
    if (options & SDLoadContinueInBackground) result |= SDDownloadContinueInBackground;
    if (options & SDLoadHandleCookies) result |= SDDownloadHandleCookies;
    if (options & SDLoadAllowInvalidCertificates) result |= SDDownloadAllowInvalidCertificates;
    if (options & SDLoadHighPriority) result |= SDDownloadHighPriority;
    if (refreshingCachedImage) {
        result &= ~static_cast<ImageDownloadOptions>(SDDownloadProgressive);
        result |= SDDownloadIgnoreCachedResponse;
    }
    return result;
}

}  // namespace

void SDWebImageCombinedOperation::cancel()
{
    std::shared_ptr<SDImageCacheQueryOperation> query;
    std::function<void()> block;
    {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
        query = std::move(m_cacheOperation);
        block = std::move(m_cancelBlock);
    }
    if (query)
        query->cancel();
    if (block)
        block();
}

void SDWebImageCombinedOperation::setCancelBlock(std::function<void()> block)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_cancelled) {
            m_cancelBlock = std::move(block);
            return;
        }
    }
    if (block)
        block();
}

std::shared_ptr<SDImageCacheQueryOperation> SDWebImageCombinedOperation::cacheOperation() const
{
    std::lock_guard lock(m_mutex);
    return m_cacheOperation;
}

void SDWebImageCombinedOperation::setCacheOperation(std::shared_ptr<SDImageCacheQueryOperation> operation)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_cancelled) {
            m_cacheOperation = std::move(operation);
            return;
        }
    }
    if (operation)
        operation->cancel();
}

std::optional<bool> SDWebImageManagerDelegate::imageManagerShouldDownloadImageForURL(SDWebImageManager&, const QUrl&)
{
    return std::nullopt;
}

std::optional<QImage> SDWebImageManagerDelegate::imageManagerTransformDownloadedImage(SDWebImageManager&, const QImage&,
                                                                                      const QUrl&)
{
    return std::nullopt;
}

const std::shared_ptr<SDWebImageManager>& SDWebImageManager::sharedManager()
{
    // Never destroyed, like the cache and the downloader it uses.
    static auto* instance = new std::shared_ptr<SDWebImageManager>(create());
    return *instance;
}

std::shared_ptr<SDWebImageManager> SDWebImageManager::create()
{
    return create(SDImageCache::sharedImageCache(), SDWebImageDownloader::sharedDownloader());
}

std::shared_ptr<SDWebImageManager> SDWebImageManager::create(std::shared_ptr<SDImageCache> cache,
                                                             std::shared_ptr<SDWebImageDownloader> downloader)
{
    return std::shared_ptr<SDWebImageManager>(new SDWebImageManager(std::move(cache), std::move(downloader)));
}

SDWebImageManager::SDWebImageManager(std::shared_ptr<SDImageCache> cache, std::shared_ptr<SDWebImageDownloader> downloader)
    : m_imageCache(std::move(cache)), m_imageDownloader(std::move(downloader))
{
}

void SDWebImageManager::setDelegate(std::weak_ptr<SDWebImageManagerDelegate> delegate)
{
    std::lock_guard lock(m_settingsMutex);
    m_delegate = std::move(delegate);
}

std::shared_ptr<SDWebImageManagerDelegate> SDWebImageManager::delegate() const
{
    std::lock_guard lock(m_settingsMutex);
    return m_delegate.lock();
}

void SDWebImageManager::setCacheKeyFilter(CacheKeyFilter filter)
{
    std::lock_guard lock(m_settingsMutex);
    m_cacheKeyFilter = std::move(filter);
}

QString SDWebImageManager::cacheKeyForURL(const QUrl& url) const
{
    if (url.isEmpty())
        return QStringLiteral("");
    CacheKeyFilter filter;
    {
        std::lock_guard lock(m_settingsMutex);
        filter = m_cacheKeyFilter;
    }
    return filter ? filter(url) : url.toString(QUrl::FullyEncoded);
}

bool SDWebImageManager::isTransientFailure(qint64 code)
{
    switch (code) {
    case -1009:  // not connected to the internet
    case -999:   // cancelled
    case -1001:  // timed out
    case -1018:  // international roaming off
    case -1020:  // data not allowed
    case -1003:  // cannot find host
    case -1004:  // cannot connect to host
    case -1005:  // connection lost (how Qt reports a server that closed on us)
    case 304:
    case 408:
    case 429:
        return true;
    default:
        return code >= 500 && code <= 599;
    }
}

std::shared_ptr<SDWebImageCombinedOperation> SDWebImageManager::loadImageWithURL(const QString& url,
                                                                                 ImageLoadOptions options,
                                                                                 SDWebImageDownloaderProgressBlock progressBlock,
                                                                                 SDInternalCompletionBlock completedBlock)
{
    const QUrl parsed(url, QUrl::StrictMode);
    return loadImageWithURL(parsed.isValid() ? parsed : QUrl(), options, std::move(progressBlock),
                            std::move(completedBlock));
}

std::shared_ptr<SDWebImageCombinedOperation> SDWebImageManager::loadImageWithURL(const QUrl& url, ImageLoadOptions options,
                                                                                 SDWebImageDownloaderProgressBlock progressBlock,
                                                                                 SDInternalCompletionBlock completedBlock)
{
    auto operation = std::make_shared<SDWebImageCombinedOperation>();
    const QUrl validURL = url.isValid() ? url : QUrl();
    bool failedBefore = false;
    if (!validURL.isEmpty()) {
        std::lock_guard lock(m_failedMutex);
        failedBefore = m_failedURLs.contains(validURL);
    }
    if (validURL.isEmpty() || (failedBefore && !(options & SDLoadRetryFailed))) {
        const Error error(QLatin1String(Error::kURLErrorDomain), -1100);
        dispatch::syncMain([&] { completedBlock(QImage(), QByteArray(), error, SDImageCacheTypeNone, true, url); });
        return operation;
    }

    {
        std::lock_guard lock(m_runningMutex);
        m_runningOperations.append(operation);
    }
    std::weak_ptr<SDWebImageManager> weakSelf = weak_from_this();
    std::weak_ptr<SDWebImageCombinedOperation> weakOperation = operation;
    // Cancelled during the cache query, the load leaves the running list at once.
    operation->setCancelBlock([weakSelf, weakOperation] {
        const auto self = weakSelf.lock();
        const auto op = weakOperation.lock();
        if (self && op)
            self->safelyRemoveFromRunning(op);
    });

    const QString key = cacheKeyForURL(validURL);
    auto query = m_imageCache->queryDiskCacheForKey(
        key, [weakSelf, weakOperation, validURL, key, options, progressBlock, completedBlock](
                 const QImage& image, const QByteArray& data, ImageCacheType cacheType) {
            const auto self = weakSelf.lock();
            const auto op = weakOperation.lock();
            if (self && op)
                self->onCacheAnswer(op, validURL, key, options, progressBlock, completedBlock, image, data, cacheType);
        });
    if (query)
        operation->setCacheOperation(std::move(query));
    return operation;
}

void SDWebImageManager::onCacheAnswer(const std::shared_ptr<SDWebImageCombinedOperation>& operation, const QUrl& url,
                                      const QString& key, ImageLoadOptions options,
                                      const SDWebImageDownloaderProgressBlock& progressBlock,
                                      const SDInternalCompletionBlock& completedBlock, const QImage& cachedImage,
                                      const QByteArray& cachedData, ImageCacheType cacheType)
{
    if (operation->isCancelled()) {
        safelyRemoveFromRunning(operation);
        return;
    }
    const std::shared_ptr<SDWebImageManagerDelegate> d = delegate();
    const bool allowed = !d || d->imageManagerShouldDownloadImageForURL(*this, url).value_or(true);
    if ((cachedImage.isNull() || (options & SDLoadRefreshCached)) && allowed) {
        if (!cachedImage.isNull()) {
            dispatch::syncMain([&] {
                if (!operation->isCancelled())
                    completedBlock(cachedImage, cachedData, std::nullopt, cacheType, true, url);
            });
        }
        const ImageDownloadOptions downloadOptions = downloaderOptions(options, !cachedImage.isNull());
        std::weak_ptr<SDWebImageManager> weakSelf = weak_from_this();
        std::weak_ptr<SDWebImageCombinedOperation> weakOperation = operation;
        auto token = m_imageDownloader->downloadImageWithURL(
            url, downloadOptions, progressBlock,
            [weakSelf, weakOperation, url, key, options, completedBlock, cachedImage](
                const QImage& image, const QByteArray& data, const std::optional<Error>& error, bool finished) {
                if (const auto self = weakSelf.lock())
                    self->onDownloaded(weakOperation, url, key, options, completedBlock, cachedImage, image, data, error,
                                       finished);
            });
        std::weak_ptr<SDWebImageDownloader> weakDownloader = m_imageDownloader;
        operation->setCancelBlock([weakSelf, weakOperation, weakDownloader, token] {
            if (const auto downloader = weakDownloader.lock())
                downloader->cancel(token);
            const auto self = weakSelf.lock();
            const auto op = weakOperation.lock();
            if (self && op)
                self->safelyRemoveFromRunning(op);
        });
        return;
    }
    dispatch::syncMain([&] {
        if (!operation->isCancelled()) {
            if (!cachedImage.isNull())
                completedBlock(cachedImage, cachedData, std::nullopt, cacheType, true, url);
            else
                completedBlock(QImage(), QByteArray(), std::nullopt, SDImageCacheTypeNone, true, url);
        }
    });
    safelyRemoveFromRunning(operation);
}

void SDWebImageManager::onDownloaded(const std::weak_ptr<SDWebImageCombinedOperation>& weakOperation, const QUrl& url,
                                     const QString& key, ImageLoadOptions options,
                                     const SDInternalCompletionBlock& completedBlock, const QImage& cachedImage,
                                     const QImage& downloadedImage, const QByteArray& downloadedData,
                                     const std::optional<Error>& error, bool finished)
{
    const std::shared_ptr<SDWebImageCombinedOperation> operation = weakOperation.lock();
    if (!operation || operation->isCancelled()) {
        if (operation && finished)
            safelyRemoveFromRunning(operation);
        return;
    }
    if (error) {
        dispatch::syncMain([&] {
            if (!operation->isCancelled())
                completedBlock(QImage(), QByteArray(), error, SDImageCacheTypeNone, finished, url);
        });
        // A picture in a format without a reader here is no fault of the URL.
        const bool noReader = error->domain == QLatin1String(SDWebImageErrorDomain) && error->code == SDWebImageErrorDecoderMissing;
        if (!isTransientFailure(error->code) && !noReader) {
            std::lock_guard lock(m_failedMutex);
            m_failedURLs.insert(url);
        }
    } else {
        if (options & SDLoadRetryFailed) {
            std::lock_guard lock(m_failedMutex);
            m_failedURLs.remove(url);
        }
        const bool toDisk = !(options & SDLoadMemoryCacheOnly);
        const std::shared_ptr<SDWebImageManagerDelegate> d = delegate();
        if ((options & SDLoadRefreshCached) && !cachedImage.isNull() && downloadedImage.isNull()) {
            // The reply came from the URL cache: the cached image already answered.
        } else if (!downloadedImage.isNull() && (!NSImage_GIF::isGIF(downloadedImage) || (options & SDLoadTransformAnimatedImage))
                   && d) {
            std::weak_ptr<SDWebImageManager> weakSelf = weak_from_this();
            dispatch::asyncGlobal([weakSelf, d, operation, url, key, toDisk, completedBlock, downloadedImage,
                                   downloadedData, finished] {
                const auto self = weakSelf.lock();
                if (!self)
                    return;
                const std::optional<QImage> transformed =
                    d->imageManagerTransformDownloadedImage(*self, downloadedImage, url);
                // A delegate that does not transform leaves the downloaded image as it is.
                const QImage image = transformed ? *transformed : downloadedImage;
                if (!image.isNull() && finished) {
                    const bool same = image == downloadedImage;
                    self->m_imageCache->storeImage(image, !same, same ? downloadedData : QByteArray(), key, toDisk);
                }
                dispatch::asyncMain([operation, completedBlock, image, downloadedData, finished, url] {
                    if (!operation->isCancelled())
                        completedBlock(image, downloadedData, std::nullopt, SDImageCacheTypeNone, finished, url);
                });
            });
        } else {
            if (!downloadedImage.isNull() && finished)
                m_imageCache->storeImage(downloadedImage, false, downloadedData, key, toDisk);
            dispatch::syncMain([&] {
                if (!operation->isCancelled())
                    completedBlock(downloadedImage, downloadedData, std::nullopt, SDImageCacheTypeNone, finished, url);
            });
        }
    }
    if (finished)
        safelyRemoveFromRunning(operation);
}

void SDWebImageManager::safelyRemoveFromRunning(const std::shared_ptr<SDWebImageCombinedOperation>& operation)
{
    std::lock_guard lock(m_runningMutex);
    m_runningOperations.removeOne(operation);
}

void SDWebImageManager::saveImageToCache(const QImage& image, const QUrl& url)
{
    if (image.isNull() || url.isEmpty())
        return;
    m_imageCache->storeImage(image, cacheKeyForURL(url), true);
}

void SDWebImageManager::cancelAll()
{
    QList<std::shared_ptr<SDWebImageCombinedOperation>> operations;
    {
        std::lock_guard lock(m_runningMutex);
        operations = m_runningOperations;
    }
    for (const auto& operation : operations)
        operation->cancel();
    std::lock_guard lock(m_runningMutex);
    for (const auto& operation : operations)
        m_runningOperations.removeOne(operation);
}

bool SDWebImageManager::isRunning() const
{
    std::lock_guard lock(m_runningMutex);
    return !m_runningOperations.isEmpty();
}

QSet<QUrl> SDWebImageManager::failedURLs() const
{
    std::lock_guard lock(m_failedMutex);
    return m_failedURLs;
}

bool SDWebImageManager::cachedImageExistsForURL(const QUrl& url)
{
    const QString key = cacheKeyForURL(url);
    if (m_imageCache->memCache().containsKey(key))
        return true;
    return m_imageCache->diskImageExistsWithKey(key);
}

bool SDWebImageManager::diskImageExistsForURL(const QUrl& url)
{
    return m_imageCache->diskImageExistsWithKey(cacheKeyForURL(url));
}

void SDWebImageManager::cachedImageExistsForURL(const QUrl& url, CheckCacheCompletion completion)
{
    const QString key = cacheKeyForURL(url);
    if (m_imageCache->memCache().containsKey(key)) {
        if (completion)
            dispatch::asyncMain([completion = std::move(completion)] { completion(true); });
        return;
    }
    m_imageCache->diskImageExistsWithKey(key, std::move(completion));
}

void SDWebImageManager::diskImageExistsForURL(const QUrl& url, CheckCacheCompletion completion)
{
    m_imageCache->diskImageExistsWithKey(cacheKeyForURL(url), std::move(completion));
}
