#pragma once

#include <QString>

#include <functional>

// Where the access layer's diagnostics go: one line each, without levels, to stderr unless a
// sink was set (tests set one to read what was written).
namespace FMDBLog {

using Sink = std::function<void(const QString& line)>;

void write(const QString& line);

// Replaces the sink (an empty one restores stderr) and returns the one it replaced.
Sink setSink(Sink sink);

}  // namespace FMDBLog
