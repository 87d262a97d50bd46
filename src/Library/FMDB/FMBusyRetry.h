#pragma once

#include "Library/FMDB/FMDBLog.h"

#include <QString>

#include <sqlite3.h>
#include <unistd.h>

#include <atomic>

// The wait of one operation that met SQLITE_BUSY or SQLITE_LOCKED: sleep 20 microseconds, then
// try again. The connection's limit is read afresh after every sleep (another thread may change
// it); 0 means no limit. With a limit T the operation gives up at the (T + 2)-th busy result in a
// row, because the count is compared before it grows.
class FMBusyRetry
{
public:
    explicit FMBusyRetry(const std::atomic<int>* limit) : m_limit(limit) {}

    // Sleeps; false when the operation must give up instead of trying again.
    bool waitAndRetry()
    {
        ::usleep(20);
        const int limit = m_limit ? m_limit->load(std::memory_order_relaxed) : 0;
        if (limit > 0 && m_count++ > limit)
            return false;
        return true;
    }

    static bool isBusy(int rc) { return rc == SQLITE_BUSY || rc == SQLITE_LOCKED; }

    // The two lines written when an operation gives up; function and line name the place.
    static void logGaveUp(const char* function, int line, const QString& path)
    {
        FMDBLog::write(QStringLiteral("%1:%2 Database busy (%3)")
                           .arg(QLatin1String(function))
                           .arg(line)
                           .arg(path.isNull() ? QStringLiteral("(null)") : path));
        FMDBLog::write(QStringLiteral("Database busy"));
    }

private:
    const std::atomic<int>* m_limit;
    int m_count = 0;
};
