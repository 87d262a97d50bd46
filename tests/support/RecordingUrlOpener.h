#pragma once

#include "platform/UrlOpener.h"

#include <QList>
#include <QUrl>

// An opener that writes down every address handed to the browser, in order, and says it opened.
class RecordingUrlOpener : public UrlOpener
{
public:
    QList<QUrl> urls;
    bool openURL(const QUrl& url) override
    {
        urls.append(url);
        return true;
    }
};
