#include "ui/web/BrowserLinksPage.h"

#include "platform/UrlOpener.h"

#include <QAction>
#include <QDebug>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMetaMethod>
#include <QWebChannel>
#include <QWebEngineHistory>
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
    // Each page put here, and each anchor scrolled to, adds an entry: the engine enables its Back
    // action then, and the entries before the page on screen go (once the engine is done with it).
    connect(action(QWebEnginePage::Back), &QAction::changed, this, &BrowserLinksPage::forgetHistory, Qt::QueuedConnection);
}

void BrowserLinksPage::forgetHistory()
{
    if (history()->count() > 1)
        history()->clear();
}

bool BrowserLinksPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame)
{
    if (type == NavigationTypeBackForward)
        return false;
    return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
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
      // The call names the document making it: it may reach the program after the view has
      // moved on to another document, and is judged as this one's.
      var call = [location.href, name, Array.prototype.slice.call(arguments)];
      if (bridge) bridge.deliver.apply(bridge, call);
      else waiting.push(call);
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
      calls.forEach(function (call) { bridge.deliver.apply(bridge, call); });
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

void ExternalShim::publish(QWebEnginePage* page, QObject* bridge, const QStringList& names, Answers answers)
{
    auto* channel = new QWebChannel(page);
    channel->registerObject(QStringLiteral("external"), new Calls(bridge, names, std::move(answers), channel));
    page->setWebChannel(channel, QWebEngineScript::MainWorld);
}

void ExternalShim::install(QWebEnginePage* page, QObject* bridge, const QStringList& names, Answers answers)
{
    publish(page, bridge, names, std::move(answers));
    page->scripts().insert(script(names));
}

ExternalShim::Calls::Calls(QObject* bridge, const QStringList& names, Answers answers, QObject* parent)
    : QObject(parent), m_bridge(bridge), m_names(names), m_answers(std::move(answers))
{
}

void ExternalShim::Calls::deliver(const QString& document, const QString& name, const QVariantList& arguments)
{
    if (!m_bridge || !m_names.contains(name) || !m_answers || !m_answers(QUrl(document)))
        return;
    // The bridge's public slot of that name taking QVariants only, the fewest that hold the call's
    // arguments. A page may leave out arguments the slot ignores ("showpagecomment()" of the hot
    // comments): they arrive empty.
    constexpr int kMostArguments = 10;
    const auto takesVariantsOnly = [](const QMetaMethod& method) {
        for (int p = 0; p < method.parameterCount(); ++p) {
            if (method.parameterMetaType(p) != QMetaType::fromType<QVariant>())
                return false;
        }
        return true;
    };
    const QByteArray wanted = name.toLatin1();
    const QMetaObject* meta = m_bridge->metaObject();
    QMetaMethod slot;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        const int count = method.parameterCount();
        const bool fewer = !slot.isValid() || count < slot.parameterCount();
        if (method.access() == QMetaMethod::Public && method.name() == wanted && count >= arguments.size() &&
            count <= kMostArguments && fewer && takesVariantsOnly(method))
            slot = method;
    }
    if (!slot.isValid())
        return;
    QVariantList given = arguments;
    while (given.size() < kMostArguments)
        given.append(QVariant());
    QGenericArgument passed[kMostArguments];
    for (int i = 0; i < slot.parameterCount(); ++i)
        passed[i] = QGenericArgument("QVariant", &given[i]);
    slot.invoke(m_bridge, Qt::DirectConnection, passed[0], passed[1], passed[2], passed[3], passed[4], passed[5],
                passed[6], passed[7], passed[8], passed[9]);
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
