#pragma once

#include "foundation/NetworkStateSource.h"

#include <atomic>

// The network state the list and search tests set: reachable until a test says otherwise.
class FakeNetwork : public NetworkStateSource
{
public:
    std::atomic<bool> reachable{true};
    bool isReachable() override { return reachable.load(); }
    void startMonitoring(StatusHandler) override {}
};
