#include "app/report/FixedAddresses.h"

#include "database/ServerUrls.h"

#include <QMutex>

namespace {

QString plainHttp(const char* host, const char* path)
{
    return QStringLiteral("http://%1%2").arg(QLatin1String(host), QLatin1String(path));
}

QMutex gAddressesMutex;
FixedAddresses::Addresses gAddresses = FixedAddresses::builtIn();  // guarded by gAddressesMutex

}  // namespace

FixedAddresses::Addresses FixedAddresses::builtIn()
{
    Addresses addresses;
    addresses.pushSaveDevice = plainHttp(ServerHosts::kPushService, "/push/push.asmx/SaveMacDevice");
    addresses.pushSaveIsPush = plainHttp(ServerHosts::kPushService, "/push/push.asmx/SaveIosDeviceIsPush");
    addresses.launchReport = plainHttp(ServerHosts::kReport, "/receive/postdata.aspx");
    addresses.communityReplyCount = plainHttp(ServerHosts::kCommunityApi, "/s/reply.asmx/GetReplyCount");
    return addresses;
}

FixedAddresses::Addresses FixedAddresses::current()
{
    QMutexLocker lock(&gAddressesMutex);
    return gAddresses;
}

void FixedAddresses::set(const Addresses& addresses)
{
    QMutexLocker lock(&gAddressesMutex);
    gAddresses = addresses;
}

void FixedAddresses::reset()
{
    set(builtIn());
}
