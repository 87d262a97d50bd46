#include "FakeDeviceFacts.h"
#include "TestEnvironment.h"

#include "foundation/CommonFunction.h"
#include "foundation/NetworkStateSource.h"
#include "foundation/PublicAddressPages.h"
#include "ScopeGuard.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <future>
#include <map>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

class FakeNetworkStateSource : public NetworkStateSource
{
public:
    bool isReachable() override { return reachable; }
    void startMonitoring(StatusHandler h) override
    {
        ++starts;
        handler = std::move(h);
    }

    bool reachable = true;
    int starts = 0;
    StatusHandler handler;
};

// An HTTP server on 127.0.0.1 answering each path with a scripted reply; a path without a reply
// keeps its connection open and silent.
class EchoServer
{
public:
    EchoServer()
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection())
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { serve(socket); });
        });
        m_server.listen(QHostAddress::LocalHost);
    }

    void reply(const QString& path, int status, const QByteArray& body) { m_replies[path] = {status, body}; }
    QUrl url(const QString& path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }
    // Points the echo pages here.
    void usePages(std::chrono::milliseconds timeout = 10s)
    {
        PublicAddressPages::set({url(QStringLiteral("/ip.aspx")), url(QStringLiteral("/ip")), timeout});
    }

    QStringList requested;

private:
    void serve(QTcpSocket* socket)
    {
        QByteArray& request = m_pending[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n"))
            return;
        const QString path = QString::fromLatin1(request.split(' ').value(1));
        requested.append(path);
        const auto found = m_replies.find(path);
        if (found == m_replies.end())
            return;
        const auto& [status, body] = found->second;
        socket->write("HTTP/1.1 " + QByteArray::number(status) + " X\r\nContent-Type: text/plain\r\nContent-Length: "
                      + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    std::map<QString, std::pair<int, QByteArray>> m_replies;
    std::map<QTcpSocket*, QByteArray> m_pending;
};

struct PagesRestorer
{
    ~PagesRestorer() { PublicAddressPages::reset(); }
};

}  // namespace

TEST(CommonFunctionNetwork, NetTypeStartsMonitoringUntilTheFirstStatus)
{
    const auto restore = onScopeExit([] {
        NetworkStateSource::setInstance(nullptr);
        gCachedNetType = -1;
    });
    auto source = std::make_shared<FakeNetworkStateSource>();
    NetworkStateSource::setInstance(source);
    gCachedNetType = -1;

    EXPECT_EQ(CommonFunction::getNetType(), -1);
    EXPECT_EQ(CommonFunction::getNetType(), -1);
    EXPECT_EQ(source->starts, 2);
    ASSERT_TRUE(source->handler);

    source->handler(NetworkStateSource::kStatusReachableViaWiFi);
    EXPECT_EQ(CommonFunction::getNetType(), 5);
    EXPECT_EQ(source->starts, 2);
    const std::pair<int, int> mapping[] = {{1, 3}, {0, 0}, {-1, 0}, {2, 5}};
    for (const auto& [status, type] : mapping) {
        source->handler(status);
        EXPECT_EQ(CommonFunction::getNetType(), type) << status;
    }

    source->reachable = false;
    EXPECT_FALSE(CommonFunction::checkNetworkState());
    source->reachable = true;
    EXPECT_TRUE(CommonFunction::checkNetworkState());

    // Without a monitor plugged in the network counts as reachable, reported on the main thread.
    NetworkStateSource::setInstance(nullptr);
    gCachedNetType = -1;
    EXPECT_EQ(CommonFunction::getNetType(), -1);
    EXPECT_TRUE(waitUntil([] { return CommonFunction::getNetType() == 5; }));
    EXPECT_TRUE(CommonFunction::checkNetworkState());
}

TEST(CommonFunctionNetwork, InterfaceAddressesOfUpInterfacesInTheListedOrder)
{
    FakeDeviceFacts::Installed facts;
    facts->interfaces = {
        fakeInterface("lo", {}, true, {"127.0.0.1"}, {"::1"}),
        fakeInterface("en0", {}, true, {"192.0.2.7"}, {"fe80::1", "2001:db8::5"}),
        fakeInterface("utun0", {}, true, {}, {"fd00::9"}),
        fakeInterface("pdp_ip0", {}, false, {"198.51.100.1"}),
    };
    const auto addresses = CommonFunction::getIPAddresses();
    ASSERT_TRUE(addresses.has_value());
    const QMap<QString, QString> expected{{"lo/ipv4", "127.0.0.1"},      {"lo/ipv6", "::1"},
                                          {"en0/ipv4", "192.0.2.7"},     {"en0/ipv6", "2001:db8::5"},
                                          {"utun0/ipv6", "fd00::9"}};
    EXPECT_EQ(*addresses, expected);
    // utun0 comes first whatever the family; the preferred family only orders within an interface.
    EXPECT_EQ(CommonFunction::getIPAddress(true), QStringLiteral("fd00::9"));
    facts->interfaces.removeAt(2);
    EXPECT_EQ(CommonFunction::getIPAddress(true), QStringLiteral("192.0.2.7"));
    EXPECT_EQ(CommonFunction::getIPAddress(false), QStringLiteral("2001:db8::5"));

    facts->interfaces = {fakeInterface("eth0", {}, true, {"192.0.2.8"}), fakeInterface("en0", {}, false, {"192.0.2.9"})};
    EXPECT_EQ(CommonFunction::getIPAddress(true), QStringLiteral("0.0.0.0"));
    facts->interfaces = {fakeInterface("en0", {}, false, {"192.0.2.9"})};
    EXPECT_FALSE(CommonFunction::getIPAddresses().has_value());
    EXPECT_EQ(CommonFunction::getIPAddress(false), QStringLiteral("0.0.0.0"));
}

TEST(CommonFunctionNetwork, CurrentIPTakesTheFirstPageThatEchoesAnAddress)
{
    PagesRestorer restore;
    {
        EchoServer server;
        server.reply(QStringLiteral("/ip.aspx"), 200, " 203.0.113.9\r\n");
        server.reply(QStringLiteral("/ip"), 200, "198.51.100.2");
        server.usePages();
        EXPECT_EQ(CommonFunction::getCurrentIP(), QStringLiteral("203.0.113.9"));
        EXPECT_EQ(server.requested, QStringList{QStringLiteral("/ip.aspx")});
    }
    // A failing, an HTML, an oversized or a non-address first page each pass on to the second.
    const std::pair<int, QByteArray> badFirst[] = {
        {500, "203.0.113.9"}, {200, "<html><body>203.0.113.9</body></html>"}, {200, QByteArray(5000, ' ')},
        {200, "203.0.113.9 via proxy"}, {200, "203.0.113"}, {204, ""}, {300, "203.0.113.9"}};
    for (const auto& [status, body] : badFirst) {
        EchoServer server;
        server.reply(QStringLiteral("/ip.aspx"), status, body);
        server.reply(QStringLiteral("/ip"), 200, "2001:db8::1\n");
        server.usePages();
        EXPECT_EQ(CommonFunction::getCurrentIP(), QStringLiteral("2001:db8::1")) << status << body.left(40).constData();
        EXPECT_EQ(server.requested, (QStringList{QStringLiteral("/ip.aspx"), QStringLiteral("/ip")}));
    }
    {
        EchoServer server;
        server.reply(QStringLiteral("/ip.aspx"), 404, "203.0.113.9");
        server.reply(QStringLiteral("/ip"), 200, "<!DOCTYPE html><p>2001:db8::1</p>");
        server.usePages();
        EXPECT_EQ(CommonFunction::getCurrentIP(), QStringLiteral(""));
    }
}

TEST(CommonFunctionNetwork, CurrentIPGivesUpOnASilentPageAndWorksOffTheMainThread)
{
    PagesRestorer restore;
    std::future<QString> answer;  // outlives the server: a hung fetch ends when its connection closes
    EchoServer server;            // /ip.aspx never answers
    server.reply(QStringLiteral("/ip"), 200, "198.51.100.2");
    server.usePages(300ms);

    QElapsedTimer timer;
    timer.start();
    answer = std::async(std::launch::async, [] { return CommonFunction::getCurrentIP(); });
    ASSERT_TRUE(waitUntil([&] { return answer.wait_for(0s) == std::future_status::ready; }, 30000));
    EXPECT_EQ(answer.get(), QStringLiteral("198.51.100.2"));
    EXPECT_GE(timer.elapsed(), 250);  // it did wait for the silent page
    EXPECT_EQ(server.requested, (QStringList{QStringLiteral("/ip.aspx"), QStringLiteral("/ip")}));

    // Nothing listening at either page.
    PublicAddressPages::set({QUrl(QStringLiteral("http://127.0.0.1:1/ip.aspx")), QUrl(QStringLiteral("http://127.0.0.1:1/ip")), 300ms});
    EXPECT_EQ(CommonFunction::getCurrentIP(), QStringLiteral(""));
}
