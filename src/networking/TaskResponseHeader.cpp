#include "networking/TaskResponseHeader.h"

#include "networking/URLSession.h"

QString responseHeaderField(const std::shared_ptr<URLSessionTask>& task, const QString& field)
{
    const auto response = task ? task->response() : std::nullopt;
    return response ? response->valueForHTTPHeaderField(field) : QString();
}
