#include "ui/web/BrowserLinksPage.h"

#include "platform/UrlOpener.h"

#include <QDebug>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QWebChannel>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

BrowserLinksPage::BrowserLinksPage(QObject* parent) : QWebEnginePage(parent)
{
    listenForWindows();
}

BrowserLinksPage::BrowserLinksPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent)
{
    listenForWindows();
}

void BrowserLinksPage::listenForWindows()
{
    // Window requests still reach us (a script's too), so that each is answered here.
    connect(this, &QWebEnginePage::newWindowRequested, this, &BrowserLinksPage::openInBrowser);
}

void BrowserLinksPage::openInBrowser(QWebEngineNewWindowRequest& request)
{
    // Only a reader's click opens a window: a script of the page or of an advert in one of its
    // frames sends the browser nowhere. A window without an address has nothing to show.
    const QUrl url = request.requestedUrl();
    if (!request.isUserInitiated() || url.isEmpty())
        return;
    qInfo().noquote() << "new window:" << url.toString();
    UrlOpener::open(url);
}

QWebEnginePage* BrowserLinksPage::createWindow(WebWindowType)
{
    return nullptr;
}

QWebEngineScript ExternalShim::script(const QStringList& names)
{
    static const QString channelScript = [] {
        QFile channel(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
        return channel.open(QIODevice::ReadOnly) ? QString::fromUtf8(channel.readAll()) : QString();
    }();
    const QString list = QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(names)).toJson(QJsonDocument::Compact));
    QWebEngineScript shim;
    shim.setName(QStringLiteral("tidwen-external"));
    shim.setSourceCode(channelScript + QStringLiteral(R"JS(
;(function () {
  var names = %1;
  var bridge = null;
  var waiting = [];
  var external = {};
  names.forEach(function (name) {
    external[name] = function () {
      var args = Array.prototype.slice.call(arguments);
      if (bridge) bridge[name].apply(bridge, args);
      else waiting.push([name, args]);
    };
  });
  try {
    Object.defineProperty(window, "external", { value: Object.freeze(external), configurable: false, writable: false });
  } catch (e) {
    window.external = external;
  }
  function connect() {
    if (typeof qt === "undefined" || !qt.webChannelTransport || typeof QWebChannel === "undefined") return false;
    new QWebChannel(qt.webChannelTransport, function (channel) {
      bridge = channel.objects.external;
      var calls = waiting;
      waiting = [];
      calls.forEach(function (call) { bridge[call[0]].apply(bridge, call[1]); });
    });
    return true;
  }
  // The transport can reach a new document a moment after this script ran; until it does, the
  // calls wait instead of being lost.
  if (!connect()) {
    var tries = 0;
    var timer = setInterval(function () { if (connect() || ++tries >= 400) clearInterval(timer); }, 25);
  }
})();
)JS").arg(list));
    shim.setInjectionPoint(QWebEngineScript::DocumentCreation);
    shim.setWorldId(QWebEngineScript::MainWorld);
    shim.setRunsOnSubFrames(false);
    return shim;
}

void ExternalShim::install(QWebEnginePage* page, QObject* bridge, const QStringList& names)
{
    auto* channel = new QWebChannel(page);
    channel->registerObject(QStringLiteral("external"), bridge);
    page->setWebChannel(channel, QWebEngineScript::MainWorld);

    page->scripts().insert(script(names));
}

QString ExternalShim::textOf(const QVariant& value)
{
    if (value.typeId() == QMetaType::Double) {
        const double number = value.toDouble();
        if (number == static_cast<double>(static_cast<long long>(number)))
            return QString::number(static_cast<long long>(number));
    }
    return value.toString();
}
