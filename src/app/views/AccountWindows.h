#pragma once

#include "platform/Installed.h"

#include <memory>

// The account folder's windows that the left bar opens.
class AccountWindow
{
public:
    virtual ~AccountWindow() = default;
    // Orders the window front and makes it key.
    virtual void showWindow() = 0;
};

class AccountWindowFactory : public Installed<AccountWindowFactory>
{
public:
    virtual ~AccountWindowFactory() = default;
    // The profile window ("UserInfoWD").
    virtual std::unique_ptr<AccountWindow> makeUserInfoWD() = 0;
    // The login window ("UserLandWD").
    virtual std::unique_ptr<AccountWindow> makeUserLandWD() = 0;
};
