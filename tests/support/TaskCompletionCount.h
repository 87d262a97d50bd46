#pragma once

#include "networking/AFURLSessionManager.h"
#include "networking/URLSession.h"
#include "platform/NotificationCenter.h"

#include <QLatin1String>
#include <QStringList>

#include <algorithm>

// Counts the network tasks that end while it lives. The end is announced on the main thread after
// the task's completion block has run, so a task counted here has been handled: the proof, before
// a check that a reply changed nothing, that the reply has come and been dealt with.
class TaskCompletionCount
{
public:
    TaskCompletionCount()
    {
        m_token = NotificationCenter::defaultCenter().addObserver(
            QLatin1String(AFURLSessionManager::kTaskDidCompleteNotification), nullptr, [this](const Notification& note) {
                const std::shared_ptr<URLSessionTask> task = note.object.sharedPtr<URLSessionTask>();
                m_paths.append(task ? task->originalRequest().URL.path() : QString());
            });
    }
    ~TaskCompletionCount() { NotificationCenter::defaultCenter().removeObserver(m_token); }
    TaskCompletionCount(const TaskCompletionCount&) = delete;
    TaskCompletionCount& operator=(const TaskCompletionCount&) = delete;

    qsizetype count() const { return m_paths.size(); }
    // The ended tasks whose URL's path starts with the prefix.
    qsizetype countFor(const QString& pathPrefix) const
    {
        return std::count_if(m_paths.begin(), m_paths.end(), [&](const QString& path) { return path.startsWith(pathPrefix); });
    }

private:
    NotificationCenter::Token m_token = 0;
    QStringList m_paths;
};
