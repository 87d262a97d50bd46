#include "Library/FMDB/FMDBLog.h"

#include <QMutex>

#include <cstdio>

namespace {

QMutex gSinkMutex;
FMDBLog::Sink gSink;  // guarded by gSinkMutex

}  // namespace

namespace FMDBLog {

void write(const QString& line)
{
    QMutexLocker lock(&gSinkMutex);
    if (gSink) {
        gSink(line);
        return;
    }
    std::fprintf(stderr, "%s\n", line.toUtf8().constData());
}

Sink setSink(Sink sink)
{
    QMutexLocker lock(&gSinkMutex);
    Sink previous = std::move(gSink);
    gSink = std::move(sink);
    return previous;
}

}  // namespace FMDBLog
