#pragma once

#include <memory>

// The ad-click gold-coin task lives with the article view's task code, a floor above; the list-ad
// manager reaches it through this interface, installed at start-up.
class ListADGoldCoinTask
{
public:
    virtual ~ListADGoldCoinTask() = default;
    // Sends the ad-click task (id "3") when the day's gate allows it.
    virtual void postAdvertiseTask() = 0;

    // The installed task, or null (then an ad click reports nothing).
    static std::shared_ptr<ListADGoldCoinTask> installed();
    static void install(std::shared_ptr<ListADGoldCoinTask> task);
};
