#include "account/views/ProfileWindows.h"

#include "account/AccountShell.h"
#include "account/views/UserInfoWD.h"
#include "account/views/modefyPwdWD.h"
#include "platform/Dispatch.h"
#include "ui/hud/DJProgressHUD.h"

ProfileWindows::ProfileWindows(QObject* owner) : QObject(owner), m_change(new PasswordChange(this))
{
    connect(m_change, &PasswordChange::finished, this, &ProfileWindows::tell);
}

std::unique_ptr<UserInfoWD> ProfileWindows::make()
{
    auto window = std::make_unique<UserInfoWD>(m_change);
    m_last = window.get();
    return window;
}

void ProfileWindows::tell(PasswordChange::Outcome outcome)
{
    UserInfoWD* profile = m_last.data();
    if (profile != nullptr) {
        // After a change the profile is the re-login's, or nobody's.
        profile->reload();
        modefyPwdWD* changeWindow = profile->modefyPwd();
        if (changeWindow != nullptr && changeWindow->isVisible()) {
            changeWindow->showAnswer(outcome);
            if (changeWindow->isVisible())
                return;
        }
    }
    const QString message = PasswordChange::message(outcome);
    if (profile != nullptr && profile->isVisible()) {
        showResult(message, profile);
    } else if (const auto shell = AccountShell::installed()) {
        shell->showMessage(message);
    }
}

void ProfileWindows::showResult(const QString& message, QWidget* over)
{
    // The toast gets a window of its own, as large as the toast and centred over the window left
    // on screen: that window may be narrower than the toast, and keeps its size.
    auto* host = new QWidget(over, Qt::ToolTip | Qt::FramelessWindowHint);
    host->setObjectName(QStringLiteral("passwordResultToast"));
    host->setAttribute(Qt::WA_TranslucentBackground);
    host->setAttribute(Qt::WA_ShowWithoutActivating);
    const QSize size = DJProgressHUD::messageSize(message);
    host->setGeometry(QRect(over->mapToGlobal(over->rect().center()) - QPoint(size.width() / 2, size.height() / 2), size));
    host->show();
    DJProgressHUD::showMessage(message, host);
    // The HUD's parts go with the window, and with them this toast; another toast, shown after
    // this one went some other way, stays.
    QPointer<QWidget> shown(host);
    dispatch::after(kResultMs, [shown] {
        if (shown)
            shown->deleteLater();
    });
}
