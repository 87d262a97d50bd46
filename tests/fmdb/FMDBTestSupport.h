#pragma once

#include "Library/FMDB/FMDBLog.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <mutex>

// Collects what the access layer logs while it lives.
class LogCapture
{
public:
    LogCapture()
    {
        m_previous = FMDBLog::setSink([this](const QString& line) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lines.append(line);
        });
    }
    ~LogCapture() { FMDBLog::setSink(std::move(m_previous)); }

    QStringList lines() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    qsizetype count(const QString& line) const { return lines().count(line); }

private:
    mutable std::mutex m_mutex;
    QStringList m_lines;
    FMDBLog::Sink m_previous;
};

// A database file of its own under the test storage root, removed first if a run left it.
inline QString freshDatabasePath(const QString& name)
{
    const QString path = QDir(TestEnvironment::rootPath()).filePath(name + QStringLiteral(".db"));
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-journal"));
    return path;
}
