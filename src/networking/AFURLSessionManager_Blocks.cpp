#include "networking/AFURLSessionManager.h"

void AFURLSessionManager::setSessionDidBecomeInvalidBlock(SessionDidBecomeInvalidBlock block)
{
    setGuarded(m_sessionDidBecomeInvalid, std::move(block));
}

void AFURLSessionManager::setSessionDidReceiveAuthenticationChallengeBlock(SessionDidReceiveAuthenticationChallengeBlock block)
{
    setGuarded(m_sessionDidReceiveAuthenticationChallenge, std::move(block));
}

void AFURLSessionManager::setTaskWillPerformHTTPRedirectionBlock(TaskWillPerformHTTPRedirectionBlock block)
{
    setGuarded(m_taskWillPerformHTTPRedirection, std::move(block));
}

void AFURLSessionManager::setTaskDidReceiveAuthenticationChallengeBlock(TaskDidReceiveAuthenticationChallengeBlock block)
{
    setGuarded(m_taskDidReceiveAuthenticationChallenge, std::move(block));
}

void AFURLSessionManager::setTaskDidSendBodyDataBlock(TaskDidSendBodyDataBlock block)
{
    setGuarded(m_taskDidSendBodyData, std::move(block));
}

void AFURLSessionManager::setTaskDidCompleteBlock(TaskDidCompleteBlock block)
{
    setGuarded(m_taskDidComplete, std::move(block));
}

void AFURLSessionManager::setDataTaskDidReceiveResponseBlock(DataTaskDidReceiveResponseBlock block)
{
    setGuarded(m_dataTaskDidReceiveResponse, std::move(block));
}

void AFURLSessionManager::setDataTaskDidReceiveDataBlock(DataTaskDidReceiveDataBlock block)
{
    setGuarded(m_dataTaskDidReceiveData, std::move(block));
}

void AFURLSessionManager::setDownloadTaskDidFinishDownloadingBlock(DownloadTaskDidFinishDownloadingBlock block)
{
    setGuarded(m_downloadTaskDidFinishDownloading, std::move(block));
}

void AFURLSessionManager::setDownloadTaskDidWriteDataBlock(DownloadTaskDidWriteDataBlock block)
{
    setGuarded(m_downloadTaskDidWriteData, std::move(block));
}

void AFURLSessionManager::setDidFinishEventsForBackgroundURLSessionBlock(DidFinishEventsForBackgroundURLSessionBlock block)
{
    setGuarded(m_didFinishEventsForBackgroundURLSession, std::move(block));
}

void AFURLSessionManager::setTaskNeedNewBodyStreamBlock(TaskNeedNewBodyStreamBlock block)
{
    setGuarded(m_taskNeedNewBodyStream, std::move(block));
}

void AFURLSessionManager::setDataTaskDidBecomeDownloadTaskBlock(DataTaskDidBecomeDownloadTaskBlock block)
{
    setGuarded(m_dataTaskDidBecomeDownloadTask, std::move(block));
}

void AFURLSessionManager::setDataTaskWillCacheResponseBlock(DataTaskWillCacheResponseBlock block)
{
    setGuarded(m_dataTaskWillCacheResponse, std::move(block));
}

void AFURLSessionManager::setDownloadTaskDidResumeBlock(DownloadTaskDidResumeBlock block)
{
    setGuarded(m_downloadTaskDidResume, std::move(block));
}
