#pragma once

#include <memory>

// The account folder's windows that the left bar opens.
class AccountWindow
{
public:
    virtual ~AccountWindow() = default;
    // Orders the window front and makes it key.
    virtual void showWindow() = 0;
};

class AccountWindowFactory
{
public:
    virtual ~AccountWindowFactory() = default;
    // The profile window ("UserInfoWD").
    virtual std::unique_ptr<AccountWindow> makeUserInfoWD() = 0;
    // The login window ("UserLandWD").
    virtual std::unique_ptr<AccountWindow> makeUserLandWD() = 0;

    static std::shared_ptr<AccountWindowFactory> installed();
    static void install(std::shared_ptr<AccountWindowFactory> factory);
};
