#pragma once

#include "account/PasswordChange.h"

#include <QObject>
#include <QPointer>

#include <memory>

class QWidget;
class UserInfoWD;

// The profile windows and the password change they share. Each avatar click makes a new profile
// window in place of the last, while a change sent from one may still be on its way: the change is
// this object's, and so is telling its answer. The windows shown by then are asked only where the
// reader sees it: the change window of the last profile window, else that profile window, else the
// main window.
class ProfileWindows : public QObject
{
    Q_OBJECT
public:
    // The owner ends the change (cancelling a request on its way) while the program's network
    // still runs.
    explicit ProfileWindows(QObject* owner);

    // A new profile window, the one a change's answer is told in from now on; the caller keeps it.
    std::unique_ptr<UserInfoWD> make();
    PasswordChange* passwordChange() const { return m_change; }

private:
    void tell(PasswordChange::Outcome outcome);
    // The result as a toast centred over the window given, for a second.
    static void showResult(const QString& message, QWidget* over);

    static constexpr int kResultMs = 1000;

    PasswordChange* m_change;
    QPointer<UserInfoWD> m_last;
};
