#pragma once

#include "images/SDWebImageManager.h"

#include <QList>
#include <QUrl>

#include <functional>
#include <memory>

class SDWebImagePrefetcher;

// Both reports are optional; the defaults do nothing.
class SDWebImagePrefetcherDelegate
{
public:
    virtual ~SDWebImagePrefetcherDelegate() = default;
    virtual void imagePrefetcherDidPrefetchURL(SDWebImagePrefetcher& prefetcher, const QUrl& imageURL,
                                               quint64 finishedCount, quint64 totalCount);
    virtual void imagePrefetcherDidFinishWithTotalCount(SDWebImagePrefetcher& prefetcher, quint64 totalCount,
                                                        quint64 skippedCount);
};

using SDWebImagePrefetcherProgressBlock = std::function<void(quint64 finishedCount, quint64 totalCount)>;
using SDWebImagePrefetcherCompletionBlock = std::function<void(quint64 finishedCount, quint64 skippedCount)>;

// Loads a list of pictures into the cache ahead of need, a few at a time and at low priority.
// Used on the main thread.
class SDWebImagePrefetcher : public std::enable_shared_from_this<SDWebImagePrefetcher>
{
public:
    static const std::shared_ptr<SDWebImagePrefetcher>& sharedImagePrefetcher();
    // With a manager of its own over the shared cache and downloader.
    static std::shared_ptr<SDWebImagePrefetcher> create();
    // Sets the manager's downloader to three transfers at once.
    static std::shared_ptr<SDWebImagePrefetcher> create(std::shared_ptr<SDWebImageManager> manager);

    const std::shared_ptr<SDWebImageManager>& manager() const { return m_manager; }
    ImageLoadOptions options() const { return m_options; }
    void setOptions(ImageLoadOptions options) { m_options = options; }
    // Where the next load is started; the main thread's queue when empty.
    void setPrefetcherQueue(std::function<void(std::function<void()>)> queue) { m_prefetcherQueue = std::move(queue); }
    void setDelegate(std::weak_ptr<SDWebImagePrefetcherDelegate> delegate) { m_delegate = std::move(delegate); }
    int maxConcurrentDownloads() const;
    void setMaxConcurrentDownloads(int count);

    void prefetchURLs(const QList<QUrl>& urls);
    // A new run cancels the loads of the one before.
    void prefetchURLs(const QList<QUrl>& urls, SDWebImagePrefetcherProgressBlock progressBlock,
                      SDWebImagePrefetcherCompletionBlock completionBlock);
    void cancelPrefetching();

    quint64 requestedCount() const { return m_requestedCount; }
    quint64 finishedCount() const { return m_finishedCount; }
    quint64 skippedCount() const { return m_skippedCount; }

private:
    explicit SDWebImagePrefetcher(std::shared_ptr<SDWebImageManager> manager);
    void startPrefetchingAtIndex(qsizetype index);
    void onLoaded(quint64 run, qsizetype index, const QImage& image, bool finished);
    void reportStatus();

    const std::shared_ptr<SDWebImageManager> m_manager;
    ImageLoadOptions m_options = SDLoadLowPriority;
    std::function<void(std::function<void()>)> m_prefetcherQueue;
    std::weak_ptr<SDWebImagePrefetcherDelegate> m_delegate;
    QList<QUrl> m_prefetchURLs;
    quint64 m_requestedCount = 0;
    quint64 m_skippedCount = 0;
    quint64 m_finishedCount = 0;
    SDWebImagePrefetcherCompletionBlock m_completionBlock;
    SDWebImagePrefetcherProgressBlock m_progressBlock;
    // Which run a load belongs to, so that a late answer of a cancelled run counts for nothing.
    quint64 m_run = 0;
};
