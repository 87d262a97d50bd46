#pragma once

#include <QUrl>

#include <memory>

// Opens an address in the user's default browser. The program's own implementation sits above
// this layer (it needs the GUI library); tests install a fake that records what was opened.
class UrlOpener
{
public:
    virtual ~UrlOpener() = default;
    // True when the address was handed to the browser.
    virtual bool openURL(const QUrl& url) = 0;

    // Only web addresses reach a browser: http or https with a host. Anything else (script,
    // file and custom schemes) could run or reveal something on this machine.
    static bool isWebAddress(const QUrl& url);

    // The installed opener; null until one is installed.
    static std::shared_ptr<UrlOpener> shared();
    static void install(std::shared_ptr<UrlOpener> opener);

    // Opens the address through the installed opener when it is a web address; false (logged)
    // when it is not, or when no opener is installed.
    static bool open(const QUrl& url);
};
