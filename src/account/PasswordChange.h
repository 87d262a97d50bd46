#pragma once

#include "foundation/models/UserLandData.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class AFHTTPSessionManager;

// The form fields of the password change, named in this one place.
namespace PasswordChangeFields {
// The account and the old password, joined by a form feed, enciphered (the login's user hash).
inline constexpr auto kUserHash = "userHash";
// The old and the new password, joined by a form feed, enciphered.
inline constexpr auto kPasswords = "strPwd";
}  // namespace PasswordChangeFields

// The password change of the logged-in account: one request to the account service, then, when
// the service took it, the gold-coin keys go, the account is stored logged out with its new
// password (remembered only when the old one was), the avatar is shown again, and a re-login with
// the new password follows (as the login window's: the user-information file, the profile, the
// avatar and the comment-reply poll while reply reminders are on). The change and its re-login
// hold the login flag, so neither starts while another login runs. The windows that send it come
// and go: the change is kept by their maker (ProfileWindows), which tells its answer, and gives up
// only when that ends.
class PasswordChange : public QObject
{
    Q_OBJECT
public:
    enum class Outcome {
        Changed,        // changed, and logged in again with the new password
        ChangedLoggedOut,  // changed, but the re-login did not succeed: the user logs in again
        Refused,        // the service did not take it (a wrong old password)
        Failed,         // no reply
        Busy,           // a login or a change is running
        NotLoggedIn,    // nobody is logged in
        Empty,          // a field is empty
        Mismatch,       // the new password and its repetition differ
        Unchanged,      // the new password is the old one
    };
    Q_ENUM(Outcome)

    explicit PasswordChange(QObject* parent = nullptr);
    ~PasswordChange() override;

    // The outcome arrives through finished (at once unless a request was sent).
    void change(const QString& oldPassword, const QString& newPassword, const QString& repeated);
    bool isRunning() const { return static_cast<bool>(m_session); }

    // The message the window shows for an outcome.
    static QString message(Outcome outcome);

signals:
    void finished(PasswordChange::Outcome outcome);

private:
    void accepted(const UserLandData& account, const QString& newPassword);
    void end(Outcome outcome);

    std::shared_ptr<AFHTTPSessionManager> m_session;
};
