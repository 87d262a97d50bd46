#pragma once

#include <QCache>
#include <QCoreApplication>

// A process-wide cache whose values (pixmaps, text layouts holding font engines) go while the
// application object still exists: Qt's post routines run before its teardown, static
// destructors after it. Each call site that names a distinct Tag gets its own cache.
template <typename Tag, typename Key, typename Value>
QCache<Key, Value>& applicationCache(qsizetype capacity)
{
    static QCache<Key, Value> cache(capacity);
    static const bool cleared = [] {
        qAddPostRoutine([] { cache.clear(); });
        return true;
    }();
    Q_UNUSED(cleared);
    return cache;
}
