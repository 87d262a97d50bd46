#include "FakeReachabilityFlagsProvider.h"
#include "TestEnvironment.h"

#include "foundation/CommonFunction.h"
#include "foundation/NetworkStateSource.h"
#include "networking/AFNetworkReachabilityManager.h"
#include "networking/LinuxReachabilityFlagsProvider.h"
#include "networking/Reachability.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "ScopeGuard.h"

#include <QThreadPool>

#include <sys/socket.h>
#include <sys/un.h>

#include <type_traits>

#include <gtest/gtest.h>

namespace {

constexpr SCNetworkReachabilityFlags R = kSCNetworkReachabilityFlagsReachable;
constexpr SCNetworkReachabilityFlags CR = kSCNetworkReachabilityFlagsConnectionRequired;
constexpr SCNetworkReachabilityFlags OT = kSCNetworkReachabilityFlagsConnectionOnTraffic;
constexpr SCNetworkReachabilityFlags IR = kSCNetworkReachabilityFlagsInterventionRequired;
constexpr SCNetworkReachabilityFlags OD = kSCNetworkReachabilityFlagsConnectionOnDemand;
constexpr SCNetworkReachabilityFlags D = kSCNetworkReachabilityFlagsIsDirect;

using Manager = AFNetworkReachabilityManager;

static_assert(!std::is_default_constructible_v<Manager>, "a manager needs a target");

// What a status block saw.
struct Reports
{
    QList<int64_t> statuses;
    bool allOnMainThread = true;

    Manager::StatusBlock block()
    {
        return [this](int64_t status) {
            statuses.append(status);
            allOnMainThread = allOnMainThread && dispatch::isMainThread();
        };
    }
};

// Observes the manager's change notification while alive.
struct NotificationLog
{
    NotificationLog()
    {
        token = NotificationCenter::defaultCenter().addObserver(
            QString::fromLatin1(kAFNetworkingReachabilityDidChangeNotification), nullptr,
            [this](const Notification& notification) {
                statuses.append(
                    notification.userInfo.value(QString::fromLatin1(kAFNetworkingReachabilityNotificationStatusKey))
                        .toLongLong());
                allOnMainThread = allOnMainThread && dispatch::isMainThread();
                objectWasNull = objectWasNull && notification.object.isNull();
            });
    }
    ~NotificationLog() { NotificationCenter::defaultCenter().removeObserver(token); }

    NotificationCenter::Token token = 0;
    QList<int64_t> statuses;
    bool allOnMainThread = true;
    bool objectWasNull = true;
};

TEST(AFNetworkReachabilityManagerTest, ReportsTheStatusOfEachFlagCombination)
{
    const struct
    {
        SCNetworkReachabilityFlags flags;
        int64_t status;
    } cases[] = {
        {R, 2},           {R | CR, 0},      {R | CR | OD, 2}, {R | CR | OD | IR, 0}, {R | CR | OT, 2},
        {R | CR | OT | IR, 0}, {R | IR, 2}, {R | D, 2},       {CR | OD, 0},          {0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags " << c.flags);
        EXPECT_EQ(Manager::statusForFlags(c.flags), c.status);

        const auto provider = std::make_shared<FakeReachabilityFlagsProvider>(c.flags);
        const auto manager = Manager::initWithReachability(provider);
        Reports reports;
        manager->setReachabilityStatusChangeBlock(reports.block());
        manager->startMonitoring();
        ASSERT_TRUE(waitUntil([&] { return !reports.statuses.isEmpty(); }));
        EXPECT_EQ(reports.statuses, QList<int64_t>{c.status});
        EXPECT_EQ(manager->networkReachabilityStatus(), c.status);
        EXPECT_EQ(manager->isReachable(), c.status == 2);
        EXPECT_EQ(manager->isReachableViaWiFi(), c.status == 2);
        EXPECT_FALSE(manager->isReachableViaWWAN());
    }
}

TEST(AFNetworkReachabilityManagerTest, IsUnknownUntilTheFirstReportWhichComesAfterStartReturns)
{
    const auto provider = std::make_shared<FakeReachabilityFlagsProvider>(R);
    const auto manager = Manager::initWithReachability(provider);
    EXPECT_EQ(manager->networkReachabilityStatus(), -1);
    EXPECT_FALSE(manager->isReachable());
    EXPECT_EQ(manager->localizedNetworkReachabilityStatusString(), "Unknown");

    Reports reports;
    NotificationLog notifications;
    manager->setReachabilityStatusChangeBlock(reports.block());
    manager->startMonitoring();
    EXPECT_TRUE(reports.statuses.isEmpty());
    EXPECT_EQ(manager->networkReachabilityStatus(), -1);
    EXPECT_TRUE(provider->scheduled());

    ASSERT_TRUE(waitUntil([&] { return notifications.statuses.size() == 1; }));
    EXPECT_EQ(reports.statuses, QList<int64_t>{2});
    EXPECT_EQ(notifications.statuses, QList<int64_t>{2});
    EXPECT_EQ(manager->localizedNetworkReachabilityStatusString(), "Reachable via WiFi");

    // A change seen by the system reaches the block, the property and the notification.
    provider->change(R | CR);
    ASSERT_TRUE(waitUntil([&] { return notifications.statuses.size() == 2; }));
    EXPECT_EQ(reports.statuses, (QList<int64_t>{2, 0}));
    EXPECT_EQ(notifications.statuses, (QList<int64_t>{2, 0}));
    EXPECT_EQ(manager->networkReachabilityStatus(), 0);
    EXPECT_EQ(manager->localizedNetworkReachabilityStatusString(), "Not Reachable");

    EXPECT_TRUE(reports.allOnMainThread);
    EXPECT_TRUE(notifications.allOnMainThread);
    EXPECT_TRUE(notifications.objectWasNull);
}

TEST(AFNetworkReachabilityManagerTest, StartingTwiceKeepsOneScheduleAndReportsAgain)
{
    const auto provider = std::make_shared<FakeReachabilityFlagsProvider>(R);
    const auto manager = Manager::initWithReachability(provider);
    Reports reports;
    manager->setReachabilityStatusChangeBlock(reports.block());
    manager->startMonitoring();
    manager->startMonitoring();
    ASSERT_TRUE(waitUntil([&] { return reports.statuses.size() == 2; }));
    EXPECT_TRUE(provider->scheduled());
    EXPECT_EQ(provider->scheduleCalls(), 2);

    provider->change(0);
    ASSERT_TRUE(waitUntil([&] { return reports.statuses.size() == 3; }));
    ASSERT_TRUE(drainMainQueue());  // a second report of the change would have been queued before
    EXPECT_EQ(reports.statuses, (QList<int64_t>{2, 2, 0}));

    // Stopped, the manager hears of no more changes.
    manager->stopMonitoring();
    EXPECT_FALSE(provider->scheduled());
    provider->change(R);
    ASSERT_TRUE(drainMainQueue());  // a report of the change would be queued by now
    EXPECT_EQ(reports.statuses.size(), 3);
    EXPECT_EQ(manager->networkReachabilityStatus(), 0);
}

TEST(AFNetworkReachabilityManagerTest, ANewBlockReplacesTheOldOne)
{
    const auto provider = std::make_shared<FakeReachabilityFlagsProvider>(R);
    const auto manager = Manager::initWithReachability(provider);
    Reports first;
    Reports second;
    manager->setReachabilityStatusChangeBlock(first.block());
    manager->startMonitoring();
    ASSERT_TRUE(waitUntil([&] { return first.statuses.size() == 1; }));

    manager->setReachabilityStatusChangeBlock(second.block());
    provider->change(0);
    ASSERT_TRUE(waitUntil([&] { return second.statuses.size() == 1; }));
    EXPECT_EQ(second.statuses, QList<int64_t>{0});
    EXPECT_EQ(first.statuses, QList<int64_t>{2});

    // Without a block the status still changes.
    manager->setReachabilityStatusChangeBlock({});
    provider->change(R);
    ASSERT_TRUE(waitUntil([&] { return manager->networkReachabilityStatus() == 2; }));
    EXPECT_EQ(second.statuses.size(), 1);
}

TEST(AFNetworkReachabilityManagerTest, AReportForAManagerAlreadyGoneIsOnlyAnnounced)
{
    const auto provider = std::make_shared<FakeReachabilityFlagsProvider>(R);
    auto manager = Manager::initWithReachability(provider);
    Reports reports;
    NotificationLog notifications;
    manager->setReachabilityStatusChangeBlock(reports.block());
    manager->startMonitoring();
    manager.reset();
    EXPECT_FALSE(provider->scheduled());

    ASSERT_TRUE(waitUntil([&] { return notifications.statuses.size() == 1; }));
    EXPECT_EQ(notifications.statuses, QList<int64_t>{2});
    EXPECT_TRUE(reports.statuses.isEmpty());
}

TEST(AFNetworkReachabilityManagerTest, TargetsAndManagersWithoutOne)
{
    {
        ScopedFakeReachability fake(R);
        Manager::manager();
        Manager::managerForDomain(QStringLiteral("news.example"));
        const QList<ReachabilityTarget> targets = fake.targets();
        ASSERT_EQ(targets.size(), 2);
        EXPECT_EQ(targets[0].address, QHostAddress(QHostAddress::AnyIPv4));
        EXPECT_TRUE(targets[0].hostName.isEmpty());
        EXPECT_EQ(targets[1].hostName, "news.example");
    }

    // No reachability object can be made for a local socket address: the manager exists but
    // never reports.
    sockaddr_un local{};
    local.sun_family = AF_UNIX;
    const auto manager = Manager::managerForAddress(reinterpret_cast<const sockaddr*>(&local));
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(manager->networkReachability(), nullptr);
    Reports reports;
    manager->setReachabilityStatusChangeBlock(reports.block());
    manager->startMonitoring();
    // A first report would be read on the global pool and queued for the main thread.
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(20000)) << "waited for the global pool";
    ASSERT_TRUE(drainMainQueue());
    EXPECT_TRUE(reports.statuses.isEmpty());
    EXPECT_EQ(manager->networkReachabilityStatus(), -1);
    EXPECT_EQ(Reachability::reachabilityWithAddress(reinterpret_cast<const sockaddr*>(&local)), nullptr);
    EXPECT_EQ(Reachability::reachabilityWithHostName(QString()), nullptr);
}

TEST(ReachabilityTest, StatusOfEachFlagCombination)
{
    const struct
    {
        SCNetworkReachabilityFlags flags;
        int status;
    } cases[] = {
        {R, 1},          {R | CR, 0},          {R | CR | OT, 1}, {R | CR | OD, 1},      {R | CR | OT | IR, 0},
        {R | IR, 1},     {R | D, 2},           {R | CR | D, 2},  {R | CR | IR | D, 2},  {0, 0},
        {D, 0},          {CR | OT, 0},
    };
    ScopedFakeReachability fake(std::nullopt);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags " << c.flags);
        fake.setFlags(c.flags);
        const std::shared_ptr<Reachability> reachability = Reachability::reachabilityForInternetConnection();
        ASSERT_NE(reachability, nullptr);
        EXPECT_EQ(reachability->currentReachabilityStatus(), c.status);
        EXPECT_EQ(reachability->networkStatusForFlags(c.flags), c.status);
        EXPECT_EQ(reachability->connectionRequired(), (c.flags & CR) != 0);
    }
    EXPECT_EQ(fake.targets().last().address, QHostAddress(QHostAddress::AnyIPv4));

    // Flags that cannot be read: not reachable, no connection required.
    fake.setFlags(std::nullopt);
    const std::shared_ptr<Reachability> unreadable = Reachability::reachabilityForInternetConnection();
    EXPECT_EQ(unreadable->currentReachabilityStatus(), 0);
    EXPECT_FALSE(unreadable->connectionRequired());
}

TEST(ReachabilityTest, NotifierPostsChangesWithTheObjectUntilStopped)
{
    ScopedFakeReachability fake(R);
    const std::shared_ptr<Reachability> reachability = Reachability::reachabilityWithHostName(QStringLiteral("a.test"));
    ASSERT_NE(reachability, nullptr);
    const std::shared_ptr<FakeReachabilityFlagsProvider> provider = fake.providers().last();

    int posted = 0;
    const NotificationCenter::Token token = NotificationCenter::defaultCenter().addObserver(
        QString::fromLatin1(kNetworkReachabilityChangedNotification), reachability.get(),
        [&](const Notification& notification) {
            ++posted;
            EXPECT_EQ(notification.object.sharedPtr<Reachability>(), reachability);
        });
    EXPECT_TRUE(reachability->startNotifier());
    provider->change(0);
    EXPECT_EQ(posted, 1);
    reachability->stopNotifier();
    provider->change(R);
    EXPECT_EQ(posted, 1);
    NotificationCenter::defaultCenter().removeObserver(token);
}

// The shared manager and CommonFunction's network questions once the reachability classes are
// plugged in.
TEST(AFNetworkReachabilityManagerTest, SharedManagerFeedsTheCommonNetworkQueries)
{
    ScopedFakeReachability fake(R);
    const auto shared = Manager::sharedManager();
    EXPECT_EQ(shared, Manager::sharedManager());
    EXPECT_EQ(shared->networkReachabilityStatus(), -1);
    EXPECT_FALSE(shared->isReachable());

    const auto restore = onScopeExit([] {
        NetworkStateSource::setInstance(nullptr);
        gCachedNetType.store(-1);
    });
    Manager::installAsNetworkStateSource();
    gCachedNetType.store(-1);
    EXPECT_EQ(CommonFunction::getNetType(), -1);  // monitoring started; nothing reported yet
    EXPECT_EQ(shared->networkReachabilityStatus(), -1);
    ASSERT_TRUE(waitUntil([] { return CommonFunction::getNetType() != -1; }, 20000));
    const int64_t status = shared->networkReachabilityStatus();
    EXPECT_TRUE(status == 0 || status == 2) << status;
    EXPECT_EQ(CommonFunction::getNetType(), status == 2 ? 5 : 0);

    // Each state question asks afresh.
    fake.setFlags(R);
    EXPECT_TRUE(CommonFunction::checkNetworkState());
    fake.setFlags(R | CR);
    EXPECT_FALSE(CommonFunction::checkNetworkState());
    fake.setFlags(R | CR | D);
    EXPECT_TRUE(CommonFunction::checkNetworkState());
    fake.setFlags(std::nullopt);
    EXPECT_FALSE(CommonFunction::checkNetworkState());
}

// Builds the system state of a machine with a loopback and one Ethernet interface.
LinuxReachabilityFlagsProvider::SystemState machine(bool ethUp, bool ethHasAddress)
{
    LinuxReachabilityFlagsProvider::SystemState state;
    LinuxReachabilityFlagsProvider::InterfaceState lo;
    lo.name = QStringLiteral("lo");
    lo.up = true;
    lo.loopback = true;
    QNetworkAddressEntry loopbackEntry;
    loopbackEntry.setIp(QHostAddress(QStringLiteral("127.0.0.1")));
    loopbackEntry.setPrefixLength(8);
    lo.addresses.append(loopbackEntry);

    LinuxReachabilityFlagsProvider::InterfaceState eth;
    eth.name = QStringLiteral("eth0");
    eth.up = ethUp;
    if (ethHasAddress) {
        QNetworkAddressEntry entry;
        entry.setIp(QHostAddress(QStringLiteral("192.0.2.2")));
        entry.setPrefixLength(24);
        eth.addresses.append(entry);
    }
    state.interfaces = {lo, eth};
    return state;
}

const QByteArray kRouteHeader =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
const QByteArray kSubnetRoute = "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n";
const QByteArray kDefaultRoute = "eth0\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n";
const QByteArray kIpv6DefaultRoute = "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
                                     "fd000000000000000000000000000001 00000400 00000002 00000000 00000003     eth0\n";
const QByteArray kIpv6LoopbackReject = "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
                                       "00000000000000000000000000000000 ffffffff 00000001 00000000 00200200       lo\n";

TEST(LinuxReachabilityFlagsProviderTest, ReachableThroughADefaultRouteOnAnUpInterfaceWithAnAddress)
{
    ReachabilityTarget internet;
    internet.address = QHostAddress(QHostAddress::AnyIPv4);

    auto state = machine(true, true);
    state.ipv4Routes = kRouteHeader + kSubnetRoute + kDefaultRoute;
    EXPECT_EQ(LinuxReachabilityFlagsProvider::flagsFor(internet, state), R);

    state.ipv4Routes = kRouteHeader + kSubnetRoute;
    state.ipv6Routes = kIpv6LoopbackReject;
    EXPECT_EQ(LinuxReachabilityFlagsProvider::flagsFor(internet, state), 0u);

    state.ipv6Routes += kIpv6DefaultRoute;
    EXPECT_EQ(LinuxReachabilityFlagsProvider::flagsFor(internet, state), R);

    auto down = machine(false, true);
    down.ipv4Routes = kRouteHeader + kDefaultRoute;
    EXPECT_EQ(LinuxReachabilityFlagsProvider::flagsFor(internet, down), 0u);

    auto bare = machine(true, false);
    bare.ipv4Routes = kRouteHeader + kDefaultRoute;
    EXPECT_EQ(LinuxReachabilityFlagsProvider::flagsFor(internet, bare), 0u);

    // A default route through the loopback interface leads nowhere.
    auto looped = machine(true, true);
    looped.ipv4Routes = kRouteHeader + "lo\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n";
    EXPECT_EQ(LinuxReachabilityFlagsProvider::flagsFor(internet, looped), 0u);
}

TEST(LinuxReachabilityFlagsProviderTest, AddressesAndNames)
{
    auto state = machine(true, true);
    state.ipv4Routes = kRouteHeader + kSubnetRoute;  // no default route
    ReachabilityTarget target;

    target.address = QHostAddress(QStringLiteral("127.0.0.1"));
    EXPECT_EQ(LinuxReachabilityFlagsProvider::flagsFor(target, state), R | D);
    target.address = QHostAddress(QStringLiteral("192.0.2.77"));
    EXPECT_EQ(LinuxReachabilityFlagsProvider::flagsFor(target, state), R | D);
    target.address = QHostAddress(QStringLiteral("198.51.100.1"));
    EXPECT_EQ(LinuxReachabilityFlagsProvider::flagsFor(target, state), 0u);
    state.ipv4Routes += kDefaultRoute;
    EXPECT_EQ(LinuxReachabilityFlagsProvider::flagsFor(target, state), R);

    ReachabilityTarget name;
    name.hostName = QStringLiteral("news.example");
    EXPECT_EQ(LinuxReachabilityFlagsProvider::flagsFor(name, state), R);
    state.ipv4Routes = kRouteHeader;
    EXPECT_EQ(LinuxReachabilityFlagsProvider::flagsFor(name, state), 0u);
}

TEST(LinuxReachabilityFlagsProviderTest, ReadsThisMachineAndWatchesForChanges)
{
    ASSERT_TRUE(LinuxReachabilityFlagsProvider::readSystemState().has_value());
    ReachabilityTarget loopback;
    loopback.address = QHostAddress(QHostAddress::LocalHost);
    const auto provider = std::make_shared<LinuxReachabilityFlagsProvider>(loopback);
    SCNetworkReachabilityFlags flags = 0;
    ASSERT_TRUE(provider->getFlags(flags));
    EXPECT_EQ(flags, R | D);
    EXPECT_TRUE(provider->schedule());
    EXPECT_TRUE(provider->schedule());
    provider->unschedule();
}

}  // namespace
