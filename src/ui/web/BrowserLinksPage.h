#pragma once

#include <QStringList>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineScript>

class QWebEngineNewWindowRequest;

// A page of the program's own making whose new-window links ("_blank", window.open) go to the
// user's browser: a window the reader asked for by a click hands its address to the URL opener
// (web addresses only); no page is made for it. Without this a view with no new windows drops
// the click.
class BrowserLinksPage : public QWebEnginePage
{
    Q_OBJECT

public:
    explicit BrowserLinksPage(QObject* parent = nullptr);
    BrowserLinksPage(QWebEngineProfile* profile, QObject* parent);

protected:
    // No page of ours is made for a new window: the request goes to the browser or nowhere.
    QWebEnginePage* createWindow(WebWindowType type) override;

private:
    void listenForWindows();
    static void openInBrowser(QWebEngineNewWindowRequest& request);
};

namespace ExternalShim {

// The script that makes window.external in every main-frame document, with one function per
// name that forwards its arguments to the channel object "external" (calls made before the
// channel is up wait for it). Unknown names stay undefined.
QWebEngineScript script(const QStringList& names);
// An argument of a bridge call as text: a script number arrives as a double, and integral values
// are written as integers ("1234567", not "1.23457e+06").
QString textOf(const QVariant& value);
// Publishes the bridge as "external" on the page's own channel and injects the shim for the names
// into every main-frame document (sub-frames get none).
void install(QWebEnginePage* page, QObject* bridge, const QStringList& names);

}  // namespace ExternalShim
