#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <optional>

// Where a loaded image came from.
enum ImageCacheType : int {
    SDImageCacheTypeNone = 0,
    SDImageCacheTypeDisk = 1,
    SDImageCacheTypeMemory = 2,
};

// What a caller of the image manager (and of the view binding) may ask for.
using ImageLoadOptions = uint64_t;
enum : ImageLoadOptions {
    SDLoadRetryFailed = 1,
    SDLoadLowPriority = 2,
    SDLoadMemoryCacheOnly = 4,
    SDLoadProgressive = 8,
    SDLoadRefreshCached = 16,
    SDLoadContinueInBackground = 32,
    SDLoadHandleCookies = 64,
    SDLoadAllowInvalidCertificates = 128,
    SDLoadHighPriority = 256,
    SDLoadDelayPlaceholder = 512,
    SDLoadTransformAnimatedImage = 1024,
    SDLoadAvoidAutoSetImage = 2048,
};

// What the manager asks of the downloader.
using ImageDownloadOptions = uint64_t;
enum : ImageDownloadOptions {
    SDDownloadLowPriority = 1,
    SDDownloadProgressive = 2,
    SDDownloadUseURLCache = 4,
    SDDownloadIgnoreCachedResponse = 8,
    SDDownloadContinueInBackground = 16,
    SDDownloadHandleCookies = 32,
    SDDownloadAllowInvalidCertificates = 64,
    SDDownloadHighPriority = 128,
};

inline constexpr auto SDWebImageErrorDomain = "SDWebImageErrorDomain";

// Bytes received so far and the expected total (-1 before the reply is known).
using SDWebImageDownloaderProgressBlock = std::function<void(qint64 receivedSize, qint64 expectedSize)>;
// A null QImage and a null QByteArray stand for "no image" and "no data".
using SDWebImageDownloaderCompletedBlock =
    std::function<void(const QImage& image, const QByteArray& data, const std::optional<Error>& error, bool finished)>;
using SDInternalCompletionBlock =
    std::function<void(const QImage& image, const QByteArray& data, const std::optional<Error>& error,
                       ImageCacheType cacheType, bool finished, const QUrl& imageURL)>;
// What a view's caller hears.
using SDExternalCompletionBlock = std::function<void(const QImage& image, const std::optional<Error>& error,
                                                     ImageCacheType cacheType, const QUrl& imageURL)>;

// Anything a view can hold as "the load in progress" and cancel.
class SDWebImageOperation
{
public:
    virtual ~SDWebImageOperation() = default;
    virtual void cancel() = 0;
};

// The code of SDWebImageErrorDomain for picture data this installation has no reader for (a
// format plugin missing): the data may be sound, so the URL is not given up for the session.
inline constexpr qint64 SDWebImageErrorDecoderMissing = 1;

// An error of SDWebImageErrorDomain with a description.
inline Error SDWebImageError(qint64 code, const QString& description)
{
    return Error(QLatin1String(SDWebImageErrorDomain), code,
                 {{QLatin1String(Error::kLocalizedDescriptionKey), description}});
}
