#pragma once

#include "images/ImageLoadTypes.h"
#include "images/SDWebImageDownloaderOperation.h"
#include "networking/URLSession.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// One requester's claim on a transfer: the URL, its handler record, and the very operation it
// joined (so that withdrawing never reaches a later transfer of the same URL).
class SDWebImageDownloadToken
{
public:
    QUrl url;
    SDCallbacksDictionary downloadOperationCancelToken;
    std::weak_ptr<SDWebImageDownloaderOperation> operation;
};

enum SDWebImageDownloaderExecutionOrder : int {
    SDWebImageDownloaderFIFOExecutionOrder = 0,
    SDWebImageDownloaderLIFOExecutionOrder = 1,
};

// Fetches image bytes over HTTP(S) with a URL session of its own, whose delegate it is. At most
// maxConcurrentDownloads transfers run at once (higher priority first, then in the execution
// order); requests for a URL whose transfer is still running join it.
class SDWebImageDownloader : public URLSessionDelegate, public std::enable_shared_from_this<SDWebImageDownloader>
{
public:
    using HeadersFilter = std::function<HTTPHeaderFields(const QUrl& url, const HTTPHeaderFields& headers)>;
    using OperationFactory = std::function<std::shared_ptr<SDWebImageDownloaderOperation>(
        const URLRequest& request, std::weak_ptr<URLSession> session, ImageDownloadOptions options)>;

    static constexpr int kDefaultMaxConcurrentDownloads = 6;
    static constexpr double kDefaultTimeout = 15.0;
    static constexpr qint64 kDefaultDownloadSizeLimit = SDWebImageDownloaderOperation::kDefaultSizeLimit;
    static constexpr double kDefaultDownloadTimeLimit = SDWebImageDownloaderOperation::kDefaultTimeLimit;

    static const std::shared_ptr<SDWebImageDownloader>& sharedDownloader();
    static std::shared_ptr<SDWebImageDownloader> create();
    ~SDWebImageDownloader() override;
    SDWebImageDownloader(const SDWebImageDownloader&) = delete;
    SDWebImageDownloader& operator=(const SDWebImageDownloader&) = delete;

    // Null for an empty URL, whose completion hears (nothing, finished NO) at once.
    std::shared_ptr<SDWebImageDownloadToken> downloadImageWithURL(const QUrl& url, ImageDownloadOptions options,
                                                                  SDWebImageDownloaderProgressBlock progressBlock,
                                                                  SDWebImageDownloaderCompletedBlock completedBlock);
    // Withdraws one requester at once; the last one's withdrawal cancels its transfer.
    void cancel(const std::shared_ptr<SDWebImageDownloadToken>& token);

    void setValueForHTTPHeaderField(const QString& value, const QString& field);  // null value removes it
    QString valueForHTTPHeaderField(const QString& field) const;
    HTTPHeaderFields HTTPHeaders() const;

    // An empty factory restores the default operation.
    void setOperationClass(OperationFactory factory);
    void setSuspended(bool suspended);
    void cancelAllDownloads();

    int maxConcurrentDownloads() const;
    void setMaxConcurrentDownloads(int count);
    // Operations queued or running.
    int currentDownloadCount() const;

    bool shouldDecompressImages() const { return m_shouldDecompressImages; }
    void setShouldDecompressImages(bool value) { m_shouldDecompressImages = value; }
    // Seconds without traffic before a transfer ends with -1001; 0 means 15.
    double downloadTimeout() const { return m_downloadTimeout; }
    void setDownloadTimeout(double seconds) { m_downloadTimeout = seconds; }
    // Past either limit a transfer is dropped and its requesters hear -1103 (too long) or -1001
    // (too slow). 0 or less restores the default.
    qint64 downloadSizeLimit() const { return m_downloadSizeLimit; }
    void setDownloadSizeLimit(qint64 bytes) { m_downloadSizeLimit = bytes > 0 ? bytes : kDefaultDownloadSizeLimit; }
    double downloadTimeLimit() const { return m_downloadTimeLimit; }
    void setDownloadTimeLimit(double seconds) { m_downloadTimeLimit = seconds > 0 ? seconds : kDefaultDownloadTimeLimit; }
    SDWebImageDownloaderExecutionOrder executionOrder() const { return m_executionOrder; }
    void setExecutionOrder(SDWebImageDownloaderExecutionOrder order) { m_executionOrder = order; }
    void setUrlCredential(const std::optional<URLCredential>& credential);
    void setUsername(const QString& username);
    void setPassword(const QString& password);
    void setHeadersFilter(HeadersFilter filter);

    std::shared_ptr<URLSession> session() const { return m_session; }

    // Session calls, forwarded to the operation whose data task it is.
    URLSessionResponseDisposition didReceiveResponse(URLSession& session, URLSessionDataTask& task,
                                                     const HTTPURLResponse& response) override;
    void didReceiveData(URLSession& session, URLSessionDataTask& task, const QByteArray& data) override;
    bool respondsToWillCacheResponse() const override { return true; }
    std::optional<CachedURLResponse> willCacheResponse(URLSession& session, URLSessionDataTask& task,
                                                       const CachedURLResponse& proposedResponse) override;
    bool mayCacheResponse(URLSessionDataTask& task) override;
    void didCompleteWithError(URLSession& session, URLSessionTask& task, const std::optional<Error>& error) override;
    URLSessionChallengeAnswer didReceiveChallenge(URLSession& session, const URLAuthenticationChallenge& challenge) override;
    URLSessionChallengeAnswer taskDidReceiveChallenge(URLSession& session, URLSessionTask& task,
                                                      const URLAuthenticationChallenge& challenge) override;

private:
    struct Queued
    {
        std::shared_ptr<SDWebImageDownloaderOperation> operation;
        quint64 sequence = 0;
    };

    SDWebImageDownloader();
    std::shared_ptr<SDWebImageDownloaderOperation> makeOperation(const QUrl& url, ImageDownloadOptions options);
    void operationEnded(const QUrl& url, const SDWebImageDownloaderOperation* operation);
    // The queued operations, then the running ones (a copy, to be called outside the lock).
    QList<std::shared_ptr<SDWebImageDownloaderOperation>> allOperations() const;
    // Starts queued operations while there is room.
    void startReadyOperations();
    std::shared_ptr<SDWebImageDownloaderOperation> operationWithTask(const URLSessionTask& task) const;

    std::shared_ptr<URLSession> m_session;
    std::atomic<bool> m_shouldDecompressImages{true};
    std::atomic<double> m_downloadTimeout{kDefaultTimeout};
    std::atomic<qint64> m_downloadSizeLimit{kDefaultDownloadSizeLimit};
    std::atomic<double> m_downloadTimeLimit{kDefaultDownloadTimeLimit};
    std::atomic<SDWebImageDownloaderExecutionOrder> m_executionOrder{SDWebImageDownloaderFIFOExecutionOrder};

    mutable std::mutex m_mutex;
    HTTPHeaderFields m_HTTPHeaders;                                                 // guarded by m_mutex
    HeadersFilter m_headersFilter;                                                  // guarded by m_mutex
    OperationFactory m_operationFactory;                                            // guarded by m_mutex
    std::optional<URLCredential> m_urlCredential;                                   // guarded by m_mutex
    QString m_username;                                                             // guarded by m_mutex
    QString m_password;                                                             // guarded by m_mutex
    QHash<QUrl, std::shared_ptr<SDWebImageDownloaderOperation>> m_URLOperations;    // guarded by m_mutex
    QList<Queued> m_waiting;                                                        // guarded by m_mutex
    QList<std::shared_ptr<SDWebImageDownloaderOperation>> m_running;                // guarded by m_mutex
    quint64 m_nextSequence = 0;                                                     // guarded by m_mutex
    int m_maxConcurrentDownloads = kDefaultMaxConcurrentDownloads;                  // guarded by m_mutex
    bool m_suspended = false;                                                       // guarded by m_mutex
};
