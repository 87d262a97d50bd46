#pragma once

#include "platform/Installed.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

// Where the connection state comes from. The reachability monitor of the networking layer plugs
// in here; until one is set, the default answers that the network is reachable.
class NetworkStateSource : protected Installed<NetworkStateSource>
{
public:
    // Statuses handed to a monitoring handler.
    static constexpr int kStatusUnknown = -1;
    static constexpr int kStatusNotReachable = 0;
    static constexpr int kStatusReachableViaWWAN = 1;
    static constexpr int kStatusReachableViaWiFi = 2;

    using StatusHandler = std::function<void(int status)>;

    virtual ~NetworkStateSource() = default;

    // A fresh probe of the moment, answered on the calling thread: true when the internet can be
    // reached by any route.
    virtual bool isReachable() = 0;
    // Starts watching (again). The handler replaces any earlier one and is called on the main
    // thread, never during this call: once shortly after it with the current status, then on
    // every change.
    virtual void startMonitoring(StatusHandler handler) = 0;

    // The source in use; the default one unless another was set.
    static std::shared_ptr<NetworkStateSource> instance() { return installed(); }
    // Null puts the default back.
    static void setInstance(std::shared_ptr<NetworkStateSource> source) { install(std::move(source)); }

private:
    friend class Installed<NetworkStateSource>;
    static std::shared_ptr<NetworkStateSource> makeDefault();  // a DefaultNetworkStateSource
};

// Until a real monitor is plugged in: always reachable, reported as status 2.
class DefaultNetworkStateSource : public NetworkStateSource
{
public:
    bool isReachable() override;
    void startMonitoring(StatusHandler handler) override;
};

// The connection type that CommonFunction::getNetType keeps: -1 until the first status arrives,
// then 0 (none or unknown), 3 (cellular) or 5 (Wi-Fi). Written only by the handler getNetType
// installs, on the main thread.
extern std::atomic<int32_t> gCachedNetType;
