#include "foundation/CommonFunction.h"

#include "foundation/DeviceFacts.h"
#include "foundation/NetworkStateSource.h"
#include "foundation/PublicAddressPages.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <memory>
#include <string>

namespace {

// The connection type kept for a status of the monitor.
int32_t netTypeOfStatus(int status)
{
    switch (status) {
    case NetworkStateSource::kStatusReachableViaWWAN:
        return 3;
    case NetworkStateSource::kStatusReachableViaWiFi:
        return 5;
    default:
        return 0;
    }
}

// An echo page answers with the bare address; anything longer is a page of some other kind.
constexpr qsizetype kMaxAddressBytes = 64;
constexpr qsizetype kMaxBodyBytes = 4096;

bool isNumericAddress(const QByteArray& text)
{
    if (text.isEmpty() || text.size() > kMaxAddressBytes || text.contains('\0'))
        return false;
    const std::string address = text.toStdString();
    unsigned char buffer[sizeof(in6_addr)];
    return inet_pton(AF_INET, address.c_str(), buffer) == 1 || inet_pton(AF_INET6, address.c_str(), buffer) == 1;
}

// The address one echo page gives, or a null text.
QString fetchAddress(QNetworkAccessManager& manager, const QUrl& url, std::chrono::milliseconds timeout)
{
    if (!url.isValid() || url.isEmpty())
        return {};
    std::unique_ptr<QNetworkReply> reply(manager.get(QNetworkRequest(url)));
    QByteArray body;
    bool refused = false;  // gave up: too slow or too long
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        refused = true;
        reply->abort();
    });
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, [&] {
        body += reply->readAll();
        if (body.size() > kMaxBodyBytes) {
            refused = true;
            reply->abort();
        }
    });
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    deadline.start(timeout);
    if (!reply->isFinished())
        loop.exec();
    deadline.stop();
    if (refused || reply->error() != QNetworkReply::NoError)
        return {};
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status > 299)
        return {};
    body += reply->readAll();
    const QString text = QString::fromUtf8(body).trimmed();
    if (!isNumericAddress(text.toUtf8()))
        return {};
    return text;
}

}  // namespace

bool CommonFunction::checkNetworkState()
{
    return NetworkStateSource::instance()->isReachable();
}

int32_t CommonFunction::getNetType()
{
    const int32_t cached = gCachedNetType.load();
    if (cached != -1)
        return cached;
    NetworkStateSource::instance()->startMonitoring(
        [](int status) { gCachedNetType.store(netTypeOfStatus(status)); });
    return gCachedNetType.load();
}

std::optional<QMap<QString, QString>> CommonFunction::getIPAddresses()
{
    QMap<QString, QString> addresses;
    for (const NetworkInterfaceFacts& facts : DeviceFacts::instance()->interfaces()) {
        if (!facts.up)
            continue;
        for (const QString& address : facts.ipv4Addresses)
            addresses.insert(QStringLiteral("%1/%2").arg(facts.name, QStringLiteral("ipv4")), address);
        for (const QString& address : facts.ipv6Addresses)
            addresses.insert(QStringLiteral("%1/%2").arg(facts.name, QStringLiteral("ipv6")), address);
    }
    if (addresses.isEmpty())
        return std::nullopt;
    return addresses;
}

QString CommonFunction::getIPAddress(bool preferIPv4)
{
    const std::optional<QMap<QString, QString>> addresses = getIPAddresses();
    if (addresses) {
        const QString first = preferIPv4 ? QStringLiteral("ipv4") : QStringLiteral("ipv6");
        const QString second = preferIPv4 ? QStringLiteral("ipv6") : QStringLiteral("ipv4");
        for (const char* name : {"utun0", "en0", "pdp_ip0"}) {
            for (const QString& family : {first, second}) {
                const auto found = addresses->constFind(QStringLiteral("%1/%2").arg(QLatin1String(name), family));
                if (found != addresses->constEnd())
                    return *found;
            }
        }
    }
    return QStringLiteral("0.0.0.0");
}

QString CommonFunction::getCurrentIP()
{
    const PublicAddressPages::Pages pages = PublicAddressPages::current();
    QNetworkAccessManager manager;
    for (const QUrl& url : {pages.first, pages.second}) {
        const QString address = fetchAddress(manager, url, pages.timeout);
        if (!address.isNull())
            return address;
    }
    return QStringLiteral("");
}
