#pragma once

#include <QString>

#include <memory>

class URLSessionTask;

// The value of a header field of the task's response ("Last-Modified" of a HEAD, say), the name
// compared without regard to case. A null text when there is no task, no response yet, or no such
// field (a field the server sent without a value is not kept in the response either).
QString responseHeaderField(const std::shared_ptr<URLSessionTask>& task, const QString& field);
