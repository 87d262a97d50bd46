#pragma once

#include "networking/AFURLSessionManager.h"
#include "platform/NotificationCenter.h"

#include <QLatin1String>

// Counts the network tasks that end while it lives. The end is announced on the main thread after
// the task's completion block has run, so a task counted here has been handled: the proof, before
// a check that a reply changed nothing, that the reply has come and been dealt with.
class TaskCompletionCount
{
public:
    TaskCompletionCount()
    {
        m_token = NotificationCenter::defaultCenter().addObserver(
            QLatin1String(AFURLSessionManager::kTaskDidCompleteNotification), nullptr, [this](const Notification&) { ++m_count; });
    }
    ~TaskCompletionCount() { NotificationCenter::defaultCenter().removeObserver(m_token); }
    TaskCompletionCount(const TaskCompletionCount&) = delete;
    TaskCompletionCount& operator=(const TaskCompletionCount&) = delete;

    int count() const { return m_count; }

private:
    NotificationCenter::Token m_token = 0;
    int m_count = 0;
};
