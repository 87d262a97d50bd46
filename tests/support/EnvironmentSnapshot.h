#pragma once

#include <QByteArrayList>

#include <cstring>
#include <unistd.h>

// Where the C library keeps the process's environment, and the names in it. Adding a variable
// moves that array and frees the old one, under any other thread that is reading it.
struct EnvironmentSnapshot
{
    char** array = nullptr;
    QByteArrayList names;

    static EnvironmentSnapshot take()
    {
        EnvironmentSnapshot snapshot;
        snapshot.array = environ;
        for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry)
            snapshot.names.append(QByteArray(*entry, static_cast<qsizetype>(std::strcspn(*entry, "="))));
        return snapshot;
    }

    // The names one has and the other lacks, for a failure message.
    static QByteArray difference(const EnvironmentSnapshot& before, const EnvironmentSnapshot& after)
    {
        QByteArrayList changes;
        for (const QByteArray& name : after.names) {
            if (!before.names.contains(name))
                changes.append("+" + name);
        }
        for (const QByteArray& name : before.names) {
            if (!after.names.contains(name))
                changes.append("-" + name);
        }
        return changes.join(' ');
    }
};
