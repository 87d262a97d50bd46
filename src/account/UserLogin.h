#pragma once

#include "foundation/models/NSMyUserInfo.h"

#include <QObject>
#include <QString>

#include <memory>

class AFHTTPSessionManager;

// The login window's work: one user-information request with the typed account and password.
// A user id logs the account in: the reply becomes the last user-information file, the account
// is stored as the current, logged-in one (with its password only when it is to be remembered),
// the password stays in memory for the run (SessionAccount) and the profile becomes the logged-in
// user, whose comment-reply poll starts while reply reminders are on. Refused while another login
// runs.
class UserLogin : public QObject
{
    Q_OBJECT
public:
    enum class Outcome {
        LoggedIn,
        Refused,  // the service knows no such user
        Failed,   // no reply, or one that means nothing
        NotSaved, // the service took it, but the account's record cannot be written: it did not hold
        Busy,     // another login is running
        Empty,    // account or password missing
    };
    Q_ENUM(Outcome)

    explicit UserLogin(QObject* parent = nullptr);
    ~UserLogin() override;

    void login(const QString& account, const QString& password, bool rememberPassword);
    NSMyUserInfoPtr user() const { return m_user; }

    // The message the window shows for an outcome ("" for LoggedIn).
    static QString message(Outcome outcome);

signals:
    void finished(UserLogin::Outcome outcome);

private:
    void end(Outcome outcome);

    NSMyUserInfoPtr m_user;
    std::shared_ptr<AFHTTPSessionManager> m_session;
};
