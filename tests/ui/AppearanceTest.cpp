#include "ui/appearance/PortalAppearanceSource.h"
#include "ui/appearance/WAYTheDarkSide.h"

#include "platform/AppearanceSource.h"

#include "ScopeGuard.h"
#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QPalette>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Every test starts with a light fake source and empty tables, and leaves them so.
class WAYTheDarkSideTest : public ::testing::Test
{
protected:
    std::shared_ptr<FakeAppearanceSource> source = std::make_shared<FakeAppearanceSource>(false);
    void SetUp() override
    {
        WAYTheDarkSide::resetForTesting();
        AppearanceSource::setCurrent(source);
    }
    void TearDown() override
    {
        WAYTheDarkSide::resetForTesting();
        AppearanceSource::setCurrent(nullptr);
    }
};

}  // namespace

TEST_F(WAYTheDarkSideTest, ImmediatelyRunsOnlyTheBlockOfTheCurrentAppearance)
{
    QObject key;
    int dark = 0, light = 0;
    WAYTheDarkSide::welcomeObject(&key, [&] { ++dark; }, true);
    WAYTheDarkSide::outcastObject(&key, [&] { ++light; }, true);
    EXPECT_EQ(dark, 0);
    EXPECT_EQ(light, 1);
    EXPECT_FALSE(WAYTheDarkSide::applicationIsOnTheDarkSide());
    EXPECT_TRUE(WAYTheDarkSide::applicationReadyForTheDarkSide());

    source->setDark(true);
    QObject other;
    WAYTheDarkSide::welcomeObject(&other, [&] { ++dark; }, true);
    WAYTheDarkSide::outcastObject(&other, [&] { ++light; }, false);
    EXPECT_EQ(dark, 1);
    EXPECT_EQ(light, 1);
}

TEST_F(WAYTheDarkSideTest, OnlyActualChangesBroadcastAndTheFirstAlways)
{
    QObject key;
    int dark = 0, light = 0;
    WAYTheDarkSide::welcomeObject(&key, [&] { ++dark; }, false);
    WAYTheDarkSide::outcastObject(&key, [&] { ++light; }, false);
    // Notices and the broadcasts that follow, one row per step.
    struct Step
    {
        bool darkNow;
        int dark, light;
    };
    const Step steps[] = {{false, 0, 1}, {false, 0, 1}, {true, 1, 1}, {true, 1, 1}, {false, 1, 2}};
    int i = 0;
    for (const Step& step : steps) {
        source->setDark(step.darkNow);
        source->announce();
        EXPECT_EQ(dark, step.dark) << "step " << i;
        EXPECT_EQ(light, step.light) << "step " << i;
        ++i;
    }
}

TEST_F(WAYTheDarkSideTest, ASecondApplicationBlockReplacesTheFirst)
{
    int first = 0, second = 0;
    WAYTheDarkSide::welcomeApplicationWithBlock([&] { ++first; }, false);
    WAYTheDarkSide::welcomeApplicationWithBlock([&] { ++second; }, false);
    EXPECT_EQ(WAYTheDarkSide::darkTableCount(), 1);
    source->setDark(true);
    source->announce();
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
}

TEST_F(WAYTheDarkSideTest, ADestroyedKeyDropsItsBlock)
{
    auto key = std::make_unique<QObject>();
    auto captured = std::make_shared<int>(0);
    std::weak_ptr<int> watch = captured;
    WAYTheDarkSide::welcomeObject(key.get(), [captured] { ++*captured; }, false);
    captured.reset();
    EXPECT_EQ(WAYTheDarkSide::darkTableCount(), 1);
    key.reset();
    EXPECT_EQ(WAYTheDarkSide::darkTableCount(), 0);
    EXPECT_TRUE(watch.expired()) << "the block and what it holds are freed with the key";
    source->setDark(true);
    source->announce();  // nothing left to run
}

TEST_F(WAYTheDarkSideTest, ANewSourceIsFollowed)
{
    QObject key;
    int dark = 0;
    WAYTheDarkSide::welcomeObject(&key, [&] { ++dark; }, false);
    auto next = std::make_shared<FakeAppearanceSource>(true);
    AppearanceSource::setCurrent(next);
    WAYTheDarkSide::initialize();
    source->announce();  // the old source speaks to nobody
    EXPECT_EQ(dark, 0);
    next->announce();
    EXPECT_EQ(dark, 1);
}

// ---- the desktop portal on a private session bus ----

namespace {

class FakePortal : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    std::atomic<uint> scheme{1};
    std::atomic<bool> hasReadOne{true};
    std::atomic<bool> silent{false};  // takes the calls and never answers
    std::atomic<int> reads{0};

public slots:
    QDBusVariant ReadOne(const QString& nameSpace, const QString& key)
    {
        if (silent) {
            setDelayedReply(true);
            return {};
        }
        if (!hasReadOne) {
            sendErrorReply(QDBusError::UnknownMethod, QStringLiteral("no ReadOne"));
            return {};
        }
        if (nameSpace != QLatin1String("org.freedesktop.appearance") || key != QLatin1String("color-scheme"))
            return QDBusVariant(QVariant(0u));
        return QDBusVariant(QVariant(scheme.load()));
    }
    QDBusVariant Read(const QString& nameSpace, const QString& key)
    {
        ++reads;
        // One variant deeper than ReadOne.
        return QDBusVariant(QVariant::fromValue(QDBusVariant(QVariant(scheme.load()))));
    }
};

// Counts the portal's change signals that reach a connection: one counted here has been handed to
// every receiver on that connection.
class ChangeSignalCounter : public QObject
{
    Q_OBJECT
public:
    int count = 0;

public slots:
    void settingChanged(const QString&, const QString&, const QDBusVariant&) { ++count; }
};

// A dbus-daemon of our own, with the fake portal served by this process on a second connection.
class PrivateBus
{
public:
    bool start()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            return false;
        m_daemon.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        if (!m_daemon.waitForStarted(20000) || !m_daemon.waitForReadyRead(20000))
            return false;
        address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        return !address.isEmpty();
    }
    bool serve()
    {
        portal = new FakePortal;
        QDBusConnection server = QDBusConnection::connectToBus(address, QStringLiteral("h16-portal-server"));
        return server.isConnected() && server.registerService(QStringLiteral("org.freedesktop.portal.Desktop"))
               && server.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), portal,
                                        QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals);
    }
    void announce(uint scheme)
    {
        portal->scheme = scheme;
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/portal/desktop"),
                                                         QStringLiteral("org.freedesktop.portal.Settings"),
                                                         QStringLiteral("SettingChanged"));
        signal << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme")
               << QVariant::fromValue(QDBusVariant(QVariant(scheme)));
        QDBusConnection(QStringLiteral("h16-portal-server")).send(signal);
    }
    QDBusConnection client() { return QDBusConnection::connectToBus(address, QStringLiteral("h16-portal-client")); }
    ~PrivateBus()
    {
        // The exported object goes before its connection does.
        if (portal) {
            QDBusConnection(QStringLiteral("h16-portal-server")).unregisterObject(QStringLiteral("/org/freedesktop/portal/desktop"));
            delete portal;
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("h16-portal-client"));
        QDBusConnection::disconnectFromBus(QStringLiteral("h16-portal-server"));
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.terminate();
            if (!m_daemon.waitForFinished(3000))
                m_daemon.kill();
            m_daemon.waitForFinished(3000);
        }
    }
    QString address;
    FakePortal* portal = nullptr;

private:
    QProcess m_daemon;
};

}  // namespace

TEST_F(WAYTheDarkSideTest, PortalSchemeAndItsChangeSignal)
{
    PrivateBus bus;
    if (!bus.start())
        GTEST_SKIP() << "no dbus-daemon";
    ASSERT_TRUE(bus.serve());
    auto portalSource = std::make_shared<PortalAppearanceSource>(bus.client());
    EXPECT_EQ(portalSource->readColorScheme(), std::optional<uint32_t>(1));
    EXPECT_TRUE(portalSource->isDark());
    AppearanceSource::setCurrent(portalSource);
    EXPECT_TRUE(WAYTheDarkSide::applicationIsOnTheDarkSide());

    ChangeSignalCounter changes;
    ASSERT_TRUE(bus.client().connect(QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
                                     QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("SettingChanged"), &changes,
                                     SLOT(settingChanged(QString, QString, QDBusVariant))));
    int light = 0;
    QObject key;
    WAYTheDarkSide::outcastObject(&key, [&] { ++light; }, true);
    EXPECT_EQ(light, 0);
    bus.announce(2);
    ASSERT_TRUE(waitUntil([&] { return light == 1; }, 30000));
    EXPECT_FALSE(portalSource->isDark());
    bus.announce(2);  // no change: no second broadcast
    ASSERT_TRUE(waitUntil([&] { return changes.count == 2; }, 30000)) << "waited for the second signal to arrive";
    ASSERT_TRUE(drainMainQueue());  // and for what it queued
    EXPECT_EQ(light, 1);

    // Without ReadOne the older Read answers, one variant deeper.
    bus.portal->hasReadOne = false;
    bus.portal->scheme = 1;
    EXPECT_EQ(portalSource->readColorScheme(), std::optional<uint32_t>(1));
    EXPECT_EQ(bus.portal->reads, 1);

    // A portal that does not answer ReadOne is not waited for a second time through Read.
    bus.portal->silent = true;
    EXPECT_EQ(portalSource->readColorScheme(), std::nullopt);
    EXPECT_EQ(bus.portal->reads, 1);
    AppearanceSource::setCurrent(nullptr);
}

TEST(PortalAppearanceSourceTest, WithoutAPortalThePaletteDecides)
{
    PrivateBus bus;
    if (!bus.start())
        GTEST_SKIP() << "no dbus-daemon";
    PortalAppearanceSource source(bus.client());
    EXPECT_EQ(source.readColorScheme(), std::nullopt);
    EXPECT_EQ(source.isDark(), PortalAppearanceSource::paletteIsDark());
    EXPECT_FALSE(PortalAppearanceSource::paletteIsDark()) << "the default palette is light";

    // A palette change of the application is a notice too.
    int notices = 0;
    source.setChangeCallback([&] { ++notices; });
    const QPalette light = QGuiApplication::palette();
    const auto restore = onScopeExit([light] { QGuiApplication::setPalette(light); });
    QPalette dark = light;
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    QGuiApplication::setPalette(dark);
    EXPECT_GE(notices, 1);
    EXPECT_TRUE(source.isDark());
}

#include "AppearanceTest.moc"
