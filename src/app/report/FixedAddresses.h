#pragma once

#include <QString>

// The shell's service addresses that have no key in the server URL table: the push service's two
// pages, the launch report's page and the community reply count polled for the reminder dot.
// Built from ServerHosts; tests point them at a loopback server.
namespace FixedAddresses {

struct Addresses
{
    QString pushSaveDevice;          // GET, "?deviceToken=" follows
    QString pushSaveIsPush;          // POST "deviceToken", "isPush"
    QString launchReport;            // GET, "?uid=" follows
    QString communityReplyCount;     // POST "strUserID", "rID"
};

// The built-in addresses.
Addresses builtIn();
Addresses current();
void set(const Addresses& addresses);
// Back to the built-in addresses.
void reset();

}  // namespace FixedAddresses
