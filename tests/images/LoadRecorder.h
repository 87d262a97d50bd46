#pragma once

// Records what a load's completion heard, for the manager and downloader tests.

#include "images/ImageLoadTypes.h"
#include "platform/Dispatch.h"

#include <QByteArray>
#include <QImage>
#include <QUrl>

#include <memory>
#include <optional>

struct LoadRecord
{
    int calls = 0;
    QImage image;
    QByteArray data;
    std::optional<Error> error;
    ImageCacheType cacheType = SDImageCacheTypeNone;
    bool finished = false;
    bool onMainThread = false;
    QUrl url;

    bool done() const { return calls > 0; }
    qint64 code() const { return error ? error->code : 0; }
    QString description() const { return error ? error->localizedDescription() : QString(); }
};

// The record outlives the test body when a late call would come after it ended.
inline SDInternalCompletionBlock recordLoad(const std::shared_ptr<LoadRecord>& record)
{
    return [record](const QImage& image, const QByteArray& data, const std::optional<Error>& error, ImageCacheType type,
                    bool finished, const QUrl& url) {
        ++record->calls;
        record->image = image;
        record->data = data;
        record->error = error;
        record->cacheType = type;
        record->finished = finished;
        record->onMainThread = dispatch::isMainThread();
        record->url = url;
    };
}

inline SDWebImageDownloaderCompletedBlock recordDownload(const std::shared_ptr<LoadRecord>& record)
{
    return [record](const QImage& image, const QByteArray& data, const std::optional<Error>& error, bool finished) {
        ++record->calls;
        record->image = image;
        record->data = data;
        record->error = error;
        record->finished = finished;
        record->onMainThread = dispatch::isMainThread();
    };
}
