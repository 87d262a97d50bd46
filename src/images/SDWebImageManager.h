#pragma once

#include "images/ImageLoadTypes.h"
#include "images/SDImageCache.h"
#include "images/SDWebImageDownloader.h"

#include <QSet>
#include <QString>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// The cancel handle of one load: its cache query and its share of a download.
class SDWebImageCombinedOperation : public SDWebImageOperation
{
public:
    bool isCancelled() const { return m_cancelled; }
    // After this returns, the load calls nobody back.
    void cancel() override;
    // Runs the block at once (and keeps none) when the load is already cancelled.
    void setCancelBlock(std::function<void()> block);
    std::shared_ptr<SDImageCacheQueryOperation> cacheOperation() const;
    void setCacheOperation(std::shared_ptr<SDImageCacheQueryOperation> operation);

private:
    std::atomic<bool> m_cancelled{false};
    mutable std::mutex m_mutex;
    std::function<void()> m_cancelBlock;                          // guarded by m_mutex
    std::shared_ptr<SDImageCacheQueryOperation> m_cacheOperation;  // guarded by m_mutex
};

class SDWebImageManager;

// Both questions are optional: the defaults answer "not implemented" (std::nullopt).
class SDWebImageManagerDelegate
{
public:
    virtual ~SDWebImageManagerDelegate() = default;
    // False forbids downloading the image at the URL.
    virtual std::optional<bool> imageManagerShouldDownloadImageForURL(SDWebImageManager& manager, const QUrl& imageURL);
    // A replacement for a freshly downloaded image; runs on a global queue.
    virtual std::optional<QImage> imageManagerTransformDownloadedImage(SDWebImageManager& manager, const QImage& image,
                                                                      const QUrl& imageURL);
};

// Turns "the image at this URL" into a cache look-up and, when needed, a download that is then
// stored; remembers URLs that failed for good. Every completion runs on the main thread.
class SDWebImageManager : public std::enable_shared_from_this<SDWebImageManager>
{
public:
    using CacheKeyFilter = std::function<QString(const QUrl& url)>;
    using CheckCacheCompletion = std::function<void(bool isInCache)>;

    // Uses the shared cache and the shared downloader.
    static const std::shared_ptr<SDWebImageManager>& sharedManager();
    static std::shared_ptr<SDWebImageManager> create();
    static std::shared_ptr<SDWebImageManager> create(std::shared_ptr<SDImageCache> cache,
                                                     std::shared_ptr<SDWebImageDownloader> downloader);

    const std::shared_ptr<SDImageCache>& imageCache() const { return m_imageCache; }
    const std::shared_ptr<SDWebImageDownloader>& imageDownloader() const { return m_imageDownloader; }

    void setDelegate(std::weak_ptr<SDWebImageManagerDelegate> delegate);
    void setCacheKeyFilter(CacheKeyFilter filter);

    // "" for an empty URL; otherwise the filter's key, or the URL text (query kept).
    QString cacheKeyForURL(const QUrl& url) const;

    // The completion must be given; it is called on the main thread on every path (before this
    // returns for a memory hit or a refusal), never after the handle was cancelled.
    std::shared_ptr<SDWebImageCombinedOperation> loadImageWithURL(const QUrl& url, ImageLoadOptions options,
                                                                  SDWebImageDownloaderProgressBlock progressBlock,
                                                                  SDInternalCompletionBlock completedBlock);
    // A text that is no valid URL counts as none.
    std::shared_ptr<SDWebImageCombinedOperation> loadImageWithURL(const QString& url, ImageLoadOptions options,
                                                                  SDWebImageDownloaderProgressBlock progressBlock,
                                                                  SDInternalCompletionBlock completedBlock);

    void saveImageToCache(const QImage& image, const QUrl& url);
    void cancelAll();
    bool isRunning() const;
    QSet<QUrl> failedURLs() const;

    bool cachedImageExistsForURL(const QUrl& url);
    bool diskImageExistsForURL(const QUrl& url);
    void cachedImageExistsForURL(const QUrl& url, CheckCacheCompletion completion);
    void diskImageExistsForURL(const QUrl& url, CheckCacheCompletion completion);

    // Error codes after which a later load tries again (transport trouble, timeouts, a dropped
    // connection, 304, 408, 429 and server errors); any other failure marks the URL failed.
    static bool isTransientFailure(qint64 code);

private:
    SDWebImageManager(std::shared_ptr<SDImageCache> cache, std::shared_ptr<SDWebImageDownloader> downloader);

    void onCacheAnswer(const std::shared_ptr<SDWebImageCombinedOperation>& operation, const QUrl& url,
                       const QString& key, ImageLoadOptions options, const SDWebImageDownloaderProgressBlock& progressBlock,
                       const SDInternalCompletionBlock& completedBlock, const QImage& cachedImage,
                       const QByteArray& cachedData, ImageCacheType cacheType);
    void onDownloaded(const std::weak_ptr<SDWebImageCombinedOperation>& weakOperation, const QUrl& url,
                      const QString& key, ImageLoadOptions options, const SDInternalCompletionBlock& completedBlock,
                      const QImage& cachedImage, const QImage& downloadedImage, const QByteArray& downloadedData,
                      const std::optional<Error>& error, bool finished);
    void safelyRemoveFromRunning(const std::shared_ptr<SDWebImageCombinedOperation>& operation);
    std::shared_ptr<SDWebImageManagerDelegate> delegate() const;

    const std::shared_ptr<SDImageCache> m_imageCache;
    const std::shared_ptr<SDWebImageDownloader> m_imageDownloader;

    mutable std::mutex m_failedMutex;
    QSet<QUrl> m_failedURLs;  // guarded by m_failedMutex
    mutable std::mutex m_runningMutex;
    QList<std::shared_ptr<SDWebImageCombinedOperation>> m_runningOperations;  // guarded by m_runningMutex
    mutable std::mutex m_settingsMutex;
    std::weak_ptr<SDWebImageManagerDelegate> m_delegate;  // guarded by m_settingsMutex
    CacheKeyFilter m_cacheKeyFilter;                       // guarded by m_settingsMutex
};
