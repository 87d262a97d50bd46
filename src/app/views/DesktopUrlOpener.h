#pragma once

#include "platform/UrlOpener.h"

// Opens web addresses in the desktop's default browser.
class DesktopUrlOpener : public UrlOpener
{
public:
    bool openURL(const QUrl& url) override;
};
