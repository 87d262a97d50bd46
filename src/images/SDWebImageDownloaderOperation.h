#pragma once

#include "images/ImageLoadTypes.h"
#include "networking/URLSession.h"

#include <QByteArray>
#include <QList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// One requester of a download: its blocks, and whether it has withdrawn. Identity is the
// pointer: withdrawing removes that very record.
struct SDWebImageDownloaderHandlers
{
    SDWebImageDownloaderProgressBlock progress;
    SDWebImageDownloaderCompletedBlock completed;
    std::atomic<bool> withdrawn{false};
};
using SDCallbacksDictionary = std::shared_ptr<SDWebImageDownloaderHandlers>;

inline constexpr auto SDWebImageDownloadStartNotification = "SDWebImageDownloadStartNotification";
inline constexpr auto SDWebImageDownloadStopNotification = "SDWebImageDownloadStopNotification";
inline constexpr auto SDWebImageDownloadReceiveResponseNotification = "SDWebImageDownloadReceiveResponseNotification";
inline constexpr auto SDWebImageDownloadFinishNotification = "SDWebImageDownloadFinishNotification";

// One transfer: its data task, its requesters and the bytes received. Requesters of one URL
// share it; it goes on while any of them still wants it. Session calls reach it on the main
// thread; decoding runs on a global queue and every completion is called on the main thread,
// at most once with finished set, and never for a requester that has withdrawn.
class SDWebImageDownloaderOperation : public SDWebImageOperation,
                                      public URLSessionDelegate,
                                      public std::enable_shared_from_this<SDWebImageDownloaderOperation>
{
public:
    SDWebImageDownloaderOperation(const URLRequest& request, std::weak_ptr<URLSession> session,
                                  ImageDownloadOptions options);
    ~SDWebImageDownloaderOperation() override;

    // The new requester's record (its cancel token), or null when the operation has ended or
    // was cancelled and can take nobody new.
    SDCallbacksDictionary addHandlersForProgress(SDWebImageDownloaderProgressBlock progressBlock,
                                                 SDWebImageDownloaderCompletedBlock completedBlock);
    // Withdraws one requester at once; true when it was the last, which cancels the transfer.
    bool cancel(const SDCallbacksDictionary& token);

    void start();
    // Cancels the whole transfer: no requester hears of it again.
    void cancel() override;

    bool isExecuting() const;
    bool isFinished() const;
    bool isCancelled() const;
    bool isConcurrent() const { return true; }
    bool shouldContinueWhenAppEntersBackground() const { return (m_options & SDDownloadContinueInBackground) != 0; }

    const URLRequest& request() const { return m_request; }
    ImageDownloadOptions options() const { return m_options; }
    std::shared_ptr<URLSessionDataTask> dataTask() const;
    std::optional<HTTPURLResponse> response() const;
    qint64 expectedSize() const;
    bool shouldDecompressImages() const { return m_shouldDecompressImages; }
    void setShouldDecompressImages(bool value) { m_shouldDecompressImages = value; }
    std::optional<URLCredential> credential() const;
    void setCredential(const std::optional<URLCredential>& credential);
    // No picture the program shows comes near this many bytes; a body that goes past it is no
    // picture, or never ends.
    static constexpr qint64 kDefaultSizeLimit = 32 * 1024 * 1024;
    // Seconds a whole transfer may take, however steadily its bytes trickle in.
    static constexpr double kDefaultTimeLimit = 60.0;
    // Set before start: the bytes a reply may bring at most, inflated as they arrive (a reply
    // never brings more than the length it states, which Qt enforces and hides for a compressed
    // body), and the seconds the whole transfer may take.
    void setLimits(qint64 sizeLimit, double timeLimit);
    // -4 low, 0 normal, 4 high.
    int queuePriority() const { return m_queuePriority; }
    void setQueuePriority(int priority) { m_queuePriority = priority; }
    // Runs once, when the operation has ended (finished or cancelled), outside its lock.
    void setCompletionBlock(std::function<void()> block);

    QImage scaledImageForKey(const QString& key, const QImage& image) const;

    // The largest buffer reserved up front from a reply's stated length; past it the buffer grows
    // as bytes come, so a lying length costs nothing.
    static constexpr qint64 kMaxReservedBytes = 4 * 1024 * 1024;

    // Session calls (main thread), forwarded by the downloader or from an owned session.
    URLSessionResponseDisposition didReceiveResponse(URLSession& session, URLSessionDataTask& task,
                                                     const HTTPURLResponse& response) override;
    void didReceiveData(URLSession& session, URLSessionDataTask& task, const QByteArray& data) override;
    // Marks the reply as one from the network; the URL cache keeps nothing of a request that
    // ignores its local data (every picture request with the default options).
    bool respondsToWillCacheResponse() const override { return true; }
    std::optional<CachedURLResponse> willCacheResponse(URLSession& session, URLSessionDataTask& task,
                                                       const CachedURLResponse& proposedResponse) override;
    bool mayCacheResponse(URLSessionDataTask& task) override;
    void didCompleteWithError(URLSession& session, URLSessionTask& task, const std::optional<Error>& error) override;
    URLSessionChallengeAnswer didReceiveChallenge(URLSession& session, const URLAuthenticationChallenge& challenge) override;
    URLSessionChallengeAnswer taskDidReceiveChallenge(URLSession& session, URLSessionTask& task,
                                                      const URLAuthenticationChallenge& challenge) override;

private:
    QList<SDCallbacksDictionary> activeHandlers() const;
    // Calls every requester still there, on the main thread.
    void deliverToAll(const QList<SDCallbacksDictionary>& handlers, const QImage& image, const QByteArray& data,
                      const std::optional<Error>& error, bool finished);
    void progressAll(qint64 received, qint64 expected);
    // Marks the operation ended; true for the call that did it.
    bool markFinished(bool cancelled);
    void reset();
    void post(const char* name);
    void makePartialImage();
    // Drops the transfer and tells every requester the error.
    void failTransfer(const Error& error);
    void timeLimitReached(const std::shared_ptr<URLSessionDataTask>& task);
    QString cacheKey() const;

    const URLRequest m_request;
    const ImageDownloadOptions m_options;
    std::weak_ptr<URLSession> m_unownedSession;
    std::atomic<bool> m_shouldDecompressImages{true};
    std::atomic<int> m_queuePriority{0};
    // Until the session offers the reply to the URL cache, it may have come from there.
    std::atomic<bool> m_responseFromCached{true};
    std::atomic<qint64> m_sizeLimit{kDefaultSizeLimit};
    std::atomic<double> m_timeLimit{kDefaultTimeLimit};

    mutable std::mutex m_mutex;
    QList<SDCallbacksDictionary> m_callbackBlocks;  // guarded by m_mutex
    std::shared_ptr<URLSession> m_ownedSession;      // guarded by m_mutex
    std::shared_ptr<URLSessionDataTask> m_dataTask;  // guarded by m_mutex
    std::optional<HTTPURLResponse> m_response;       // guarded by m_mutex
    std::optional<URLCredential> m_credential;       // guarded by m_mutex
    std::function<void()> m_completionBlock;         // guarded by m_mutex
    bool m_executing = false;                        // guarded by m_mutex
    bool m_finished = false;                         // guarded by m_mutex
    bool m_cancelled = false;                        // guarded by m_mutex

    // Main thread only (session calls).
    QByteArray m_imageData;
    qint64 m_expectedSize = 0;
    int m_width = 0;
    int m_height = 0;
};
