#include "images/SDWebImagePrefetcher.h"

#include "platform/Dispatch.h"

void SDWebImagePrefetcherDelegate::imagePrefetcherDidPrefetchURL(SDWebImagePrefetcher&, const QUrl&, quint64, quint64) {}

void SDWebImagePrefetcherDelegate::imagePrefetcherDidFinishWithTotalCount(SDWebImagePrefetcher&, quint64, quint64) {}

const std::shared_ptr<SDWebImagePrefetcher>& SDWebImagePrefetcher::sharedImagePrefetcher()
{
    static auto* instance = new std::shared_ptr<SDWebImagePrefetcher>(create());
    return *instance;
}

std::shared_ptr<SDWebImagePrefetcher> SDWebImagePrefetcher::create()
{
    return create(SDWebImageManager::create());
}

std::shared_ptr<SDWebImagePrefetcher> SDWebImagePrefetcher::create(std::shared_ptr<SDWebImageManager> manager)
{
    std::shared_ptr<SDWebImagePrefetcher> prefetcher(new SDWebImagePrefetcher(std::move(manager)));
    prefetcher->setMaxConcurrentDownloads(3);
    return prefetcher;
}

SDWebImagePrefetcher::SDWebImagePrefetcher(std::shared_ptr<SDWebImageManager> manager) : m_manager(std::move(manager)) {}

int SDWebImagePrefetcher::maxConcurrentDownloads() const
{
    return m_manager->imageDownloader()->maxConcurrentDownloads();
}

void SDWebImagePrefetcher::setMaxConcurrentDownloads(int count)
{
    m_manager->imageDownloader()->setMaxConcurrentDownloads(count);
}

void SDWebImagePrefetcher::prefetchURLs(const QList<QUrl>& urls)
{
    prefetchURLs(urls, nullptr, nullptr);
}

void SDWebImagePrefetcher::prefetchURLs(const QList<QUrl>& urls, SDWebImagePrefetcherProgressBlock progressBlock,
                                        SDWebImagePrefetcherCompletionBlock completionBlock)
{
    cancelPrefetching();
    m_prefetchURLs = urls;
    m_completionBlock = std::move(completionBlock);
    m_progressBlock = std::move(progressBlock);
    if (urls.isEmpty()) {
        if (m_completionBlock)
            std::exchange(m_completionBlock, nullptr)(0, 0);
        return;
    }
    const quint64 run = m_run;
    for (qsizetype i = 0; i < maxConcurrentDownloads() && m_requestedCount < static_cast<quint64>(urls.size()) && run == m_run; ++i)
        startPrefetchingAtIndex(i);
}

void SDWebImagePrefetcher::startPrefetchingAtIndex(qsizetype index)
{
    if (index >= m_prefetchURLs.size())
        return;
    ++m_requestedCount;
    std::weak_ptr<SDWebImagePrefetcher> weakSelf = weak_from_this();
    const quint64 run = m_run;
    m_manager->loadImageWithURL(m_prefetchURLs.at(index), m_options, nullptr,
                                [weakSelf, run, index](const QImage& image, const QByteArray&, const std::optional<Error>&,
                                                       ImageCacheType, bool finished, const QUrl&) {
                                    if (const auto self = weakSelf.lock())
                                        self->onLoaded(run, index, image, finished);
                                });
}

void SDWebImagePrefetcher::onLoaded(quint64 run, qsizetype index, const QImage& image, bool finished)
{
    if (!finished || run != m_run)
        return;
    ++m_finishedCount;
    const quint64 total = static_cast<quint64>(m_prefetchURLs.size());
    if (m_progressBlock)
        m_progressBlock(m_finishedCount, total);
    if (image.isNull())
        ++m_skippedCount;
    if (const auto d = m_delegate.lock())
        d->imagePrefetcherDidPrefetchURL(*this, m_prefetchURLs.value(index), m_finishedCount, total);
    if (total > m_requestedCount) {
        std::weak_ptr<SDWebImagePrefetcher> weakSelf = weak_from_this();
        auto next = [weakSelf, run] {
            const auto self = weakSelf.lock();
            if (self && self->m_run == run)
                self->startPrefetchingAtIndex(static_cast<qsizetype>(self->m_requestedCount));
        };
        if (m_prefetcherQueue)
            m_prefetcherQueue(next);
        else
            dispatch::asyncMain(next);
    } else if (m_finishedCount == m_requestedCount) {
        reportStatus();
        if (m_completionBlock)
            std::exchange(m_completionBlock, nullptr)(m_finishedCount, m_skippedCount);
        m_progressBlock = nullptr;
    }
}

void SDWebImagePrefetcher::reportStatus()
{
    const quint64 total = static_cast<quint64>(m_prefetchURLs.size());
    if (const auto d = m_delegate.lock())
        d->imagePrefetcherDidFinishWithTotalCount(*this, total - m_skippedCount, m_skippedCount);
}

void SDWebImagePrefetcher::cancelPrefetching()
{
    ++m_run;
    m_prefetchURLs.clear();
    m_skippedCount = 0;
    m_requestedCount = 0;
    m_finishedCount = 0;
    m_manager->cancelAll();
}
