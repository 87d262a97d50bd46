#pragma once

#include "platform/Installed.h"

#include <memory>

// The ad-click gold-coin task lives with the article view's task code, a floor above; the list-ad
// manager reaches it through this interface, installed at start-up. Without one an ad click
// reports nothing.
class ListADGoldCoinTask : public Installed<ListADGoldCoinTask>
{
public:
    virtual ~ListADGoldCoinTask() = default;
    // Sends the ad-click task (id "3") when the day's gate allows it.
    virtual void postAdvertiseTask() = 0;
};
