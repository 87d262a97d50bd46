#pragma once

// For tests of what the URL cache keeps: while it lives, every access manager the sessions use
// keeps its replies in one temporary folder, as the program's URL cache does; afterwards the
// managers have no cache again. Header only: for the test programs that link the networking
// library.

#include "networking/URLSession.h"

#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QPointer>
#include <QTemporaryDir>
#include <QUrl>

class URLCacheScope
{
public:
    URLCacheScope()
    {
        URLSession::setAccessManagerHook([this](QNetworkAccessManager* manager) {
            auto* cache = new QNetworkDiskCache(manager);
            cache->setCacheDirectory(m_folder.path());
            manager->setCache(cache);
            m_managers << manager;
        });
    }
    ~URLCacheScope()
    {
        URLSession::setAccessManagerHook({});
        for (const QPointer<QNetworkAccessManager>& manager : std::as_const(m_managers))
            if (manager)
                manager->setCache(nullptr);
    }
    URLCacheScope(const URLCacheScope&) = delete;
    URLCacheScope& operator=(const URLCacheScope&) = delete;

    // Whether a reply for the URL is kept.
    bool holds(const QUrl& url) const
    {
        QNetworkDiskCache probe;
        probe.setCacheDirectory(m_folder.path());
        return probe.metaData(url).isValid();
    }

private:
    QTemporaryDir m_folder;
    QList<QPointer<QNetworkAccessManager>> m_managers;
};
