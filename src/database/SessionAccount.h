#pragma once

#include "foundation/models/UserLandData.h"

#include <QString>

// The credentials of this run's login. The settings store keeps a password only when the reader
// asked for it to be remembered, yet acting for the logged-in reader (a comment, a vote, a score)
// needs it either way: a login also leaves the account and its password here, in memory only,
// until the log-out or the end of the run.
namespace SessionAccount {

// A login of this account with this password succeeded.
void loggedIn(const QString& account, const QString& password);
// Nobody is logged in any more: the password is forgotten.
void loggedOut();
// The store's current account while it is logged in, with the password to act with: the stored
// one when it is remembered, else the one this run logged in with (the account's name compared as
// the store compares it). Null when nobody is logged in or no password is known for the account.
UserLandDataPtr current();
// The "userHash" the service knows a login by: the account, U+000C and the password, enciphered
// with the request key.
QString userHash(const QString& account, const QString& password);

}  // namespace SessionAccount
