#include "ui/appearance/PortalAppearanceSource.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPalette>
#include <QTimer>

namespace {
const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString kNamespace = QStringLiteral("org.freedesktop.appearance");
const QString kKey = QStringLiteral("color-scheme");
// A portal that does not answer quickly is taken as absent: the window must not wait on it.
constexpr int kTimeoutMs = 1000;

std::optional<uint32_t> unwrapScheme(QVariant value)
{
    // Read wraps the value once more than ReadOne.
    for (int depth = 0; depth < 3 && value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>();
         ++depth)
        value = value.value<QDBusVariant>().variant();
    bool ok = false;
    const uint32_t scheme = value.toUInt(&ok);
    if (!ok)
        return std::nullopt;
    return scheme;
}
// Events other than user input go on while waiting, so a portal served by this very process (or
// one that answers late) cannot freeze the window. The wait ends on our own timer as well as on
// the bus's: a reply that lands between sending and starting to wait must never leave the window
// waiting for a signal that has already gone by.
QDBusMessage awaitReply(const QDBusConnection& bus, const QDBusMessage& call)
{
    QDBusPendingCallWatcher watcher(bus.asyncCall(call, kTimeoutMs));
    if (!watcher.isFinished()) {
        QEventLoop loop;
        QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        deadline.start(kTimeoutMs + 250);
        if (!watcher.isFinished())
            loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (!watcher.isFinished())
        return QDBusMessage::createError(QDBusError::NoReply, QStringLiteral("no answer from the portal"));
    return watcher.reply();
}
}  // namespace

struct PortalAppearanceSource::Private
{
    explicit Private(const QDBusConnection& c) : bus(c) {}
    QDBusConnection bus;
    std::optional<uint32_t> scheme;
};

PortalAppearanceSource::PortalAppearanceSource() : PortalAppearanceSource(QDBusConnection::sessionBus()) {}

PortalAppearanceSource::PortalAppearanceSource(const QDBusConnection& bus) : d(new Private(bus))
{
    d->scheme = readColorScheme();
    connectSignals();
    if (qApp)
        qApp->installEventFilter(this);
}

PortalAppearanceSource::~PortalAppearanceSource()
{
    delete d;
}

void PortalAppearanceSource::connectSignals()
{
    if (!d->bus.isConnected())
        return;
    d->bus.connect(kService, kPath, kInterface, QStringLiteral("SettingChanged"), this,
                   SLOT(settingChanged(QString, QString, QDBusVariant)));
}

std::optional<uint32_t> PortalAppearanceSource::readColorScheme()
{
    if (!d->bus.isConnected())
        return std::nullopt;
    for (const QString& method : {QStringLiteral("ReadOne"), QStringLiteral("Read")}) {
        QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
        call << kNamespace << kKey;
        const QDBusMessage reply = awaitReply(d->bus, call);
        // Only a portal without ReadOne is asked again with the older Read: one that is absent,
        // silent or refusing would cost the start-up a second wait for the same answer.
        if (reply.type() == QDBusMessage::ErrorMessage && reply.errorName() != QLatin1String("org.freedesktop.DBus.Error.UnknownMethod"))
            return std::nullopt;
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            continue;
        if (auto scheme = unwrapScheme(reply.arguments().first()))
            return scheme;
    }
    return std::nullopt;
}

bool PortalAppearanceSource::paletteIsDark()
{
    const QPalette palette = QGuiApplication::palette();
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

bool PortalAppearanceSource::isDark()
{
    if (d->scheme == 1u)
        return true;
    if (d->scheme == 2u)
        return false;
    return paletteIsDark();
}

void PortalAppearanceSource::settingChanged(const QString& nameSpace, const QString& key, const QDBusVariant& value)
{
    if (nameSpace != kNamespace || key != kKey)
        return;
    d->scheme = unwrapScheme(value.variant());
    notifyChanged();
}

bool PortalAppearanceSource::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange)
        notifyChanged();
    return QObject::eventFilter(watched, event);
}
