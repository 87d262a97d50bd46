#pragma once

#include "foundation/models/NSMyUserInfo.h"
#include "foundation/models/UserLandData.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class AFHTTPSessionManager;

// The account service's user-information call and what the account windows share around it.
namespace AccountRequests {

// The credential field: account, form feed, password, enciphered with the main request key.
QString userHash(const QString& account, const QString& password);

// What a user-information reply means.
enum class Reply {
    User,      // a profile with a user id: logged in
    NoUser,    // a well-formed reply without a user: refused
    Garbled,   // not a well-formed reply: means nothing
};
Reply classify(const QByteArray& bytes, NSMyUserInfoPtr* user);

// POSTs "userHash" to the user-information address; finished gets the reply bytes, failed the
// error code. Both run on the main thread.
std::shared_ptr<AFHTTPSessionManager> postUserInfo(const QString& account, const QString& password,
                                                   std::function<void(const QByteArray&)> finished,
                                                   std::function<void(qint64)> failed);

// Keeps the raw reply as the last user-information file; false when it could not be written.
bool storeLastUserInfo(const QByteArray& bytes);
// The profile of the last user-information file; null when there is none with a user.
NSMyUserInfoPtr lastUserInfo();

// A reply with a user logs the account in: the record (given the user's id) becomes the current
// account, the raw reply the last user-information file, and the profile the logged-in user; the
// password is kept in memory for the run (SessionAccount), whether or not the record keeps it.
// False, with nothing changed, when the record cannot be written: the login did not hold.
bool logIn(const QByteArray& bytes, UserLandData record, const NSMyUserInfoPtr& user, const QString& password);

// The current remembered account when it is logged in with a remembered password; null otherwise.
// Only what must outlive the run asks for it (the automatic login, the gold-coin tasks); acting for
// the logged-in reader takes SessionAccount::current().
UserLandDataPtr rememberedLogin();

// The user-defaults keys of the gold-coin tasks, removed whenever the user logs out.
QStringList goldCoinKeys();
// Log-out: forgets the run's password, removes the gold-coin keys, marks nobody logged in and
// reloads the avatar. The user's own log-out (the user-info window's) also forgets the account:
// its remembered row goes, so the login window opens empty; a log-out because the service refused
// a remembered login keeps it.
void logOut(bool forgetAccount = false);

}  // namespace AccountRequests
