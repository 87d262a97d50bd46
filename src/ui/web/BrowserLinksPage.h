#pragma once

#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineScript>

#include <functional>

class QWebEngineNewWindowRequest;

// A page of the program's own making whose new-window links ("_blank", window.open) go to the
// user's browser: a window the reader asked for by a click hands its address to the URL opener
// (web addresses only); no page is made for it. Without this a view with no new windows drops
// the click.
// It keeps no history of its own: the program says which page shows (the detail pane's back
// history is the only one), so nothing in the view walks back or forward to a page before.
class BrowserLinksPage : public QWebEnginePage
{
    Q_OBJECT

public:
    explicit BrowserLinksPage(QObject* parent = nullptr);
    BrowserLinksPage(QWebEngineProfile* profile, QObject* parent);

protected:
    // A walk through the engine's history is refused, whoever asks for it.
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    // No page of ours is made for a new window: the request goes to the browser or nowhere.
    QWebEnginePage* createWindow(WebWindowType type) override;

private:
    void listenForWindows();
    void forgetHistory();
    static void openInBrowser(QWebEngineNewWindowRequest& request);
};

namespace ExternalShim {

// Whether a call to the bridge made by the document at that address (the document's own location)
// is answered.
using Answers = std::function<bool(const QUrl& document)>;

// The script that makes window.external in every main-frame document, with one function per
// name that hands its arguments, with the calling document's address, to the channel object
// "external" (calls made before the channel is up wait for it). Unknown names stay undefined.
QWebEngineScript script(const QStringList& names);
// An argument of a bridge call as text: a script number arrives as a double, and integral values
// are written as integers ("1234567", not "1.23457e+06").
QString textOf(const QVariant& value);
// Publishes "external" on the page's own channel: a call of one of the names reaches the bridge's
// slot of that name taking QVariants only, the fewest that hold the call's arguments (those left
// out arrive empty), when answers() accepts the document that made it. The page's address is no
// judge of that: a call can arrive after the view has moved on to another document, and a page
// put with setHtml() can report its data as address.
void publish(QWebEnginePage* page, QObject* bridge, const QStringList& names, Answers answers);
// publish(), and the shim for the names injected into every main-frame document (sub-frames get
// none).
void install(QWebEnginePage* page, QObject* bridge, const QStringList& names, Answers answers);

// The channel's "external": the one object the shim calls, which hands each call on to the bridge.
class Calls : public QObject
{
    Q_OBJECT

public:
    Calls(QObject* bridge, const QStringList& names, Answers answers, QObject* parent = nullptr);

    Q_INVOKABLE void deliver(const QString& document, const QString& name, const QVariantList& arguments);

private:
    QPointer<QObject> m_bridge;
    QStringList m_names;
    Answers m_answers;
};

}  // namespace ExternalShim
