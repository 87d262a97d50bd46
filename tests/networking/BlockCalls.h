#pragma once

#include "networking/AFHTTPSessionManager.h"
#include "platform/Dispatch.h"

#include <QVariant>

#include <memory>
#include <optional>

// What a request's success (finished) and failure (failed) blocks received, and how often.
struct BlockCalls
{
    int finished = 0;
    int failed = 0;
    bool onMainThread = false;
    std::shared_ptr<URLSessionDataTask> task;
    QVariant object;
    std::optional<Error> error;

    bool done() const { return finished + failed > 0; }
};

inline AFHTTPSessionManager::SuccessBlock finishedInto(const std::shared_ptr<BlockCalls>& calls)
{
    return [calls](const std::shared_ptr<URLSessionDataTask>& task, const QVariant& object) {
        ++calls->finished;
        calls->onMainThread = dispatch::isMainThread();
        calls->task = task;
        calls->object = object;
    };
}

inline AFHTTPSessionManager::FailureBlock failedInto(const std::shared_ptr<BlockCalls>& calls)
{
    return [calls](const std::shared_ptr<URLSessionDataTask>& task, const Error& error) {
        ++calls->failed;
        calls->onMainThread = dispatch::isMainThread();
        calls->task = task;
        calls->error = error;
    };
}
