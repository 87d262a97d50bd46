#include "account/views/UserInfoWD.h"

#include "account/AccountRequests.h"
#include "account/AccountShell.h"
#include "account/views/modefyPwdWD.h"
#include "ui/controls/WindowKeys.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

UserInfoWD::UserInfoWD(PasswordChange* change, QWidget* parent)
    : QDialog(parent), m_change(change), m_profile(new QLabel(this)),
      m_modefyPwdBtn(new QPushButton(QStringLiteral("修改密码"), this)),
      m_logOut(new QPushButton(QStringLiteral("退出登录"), this))
{
    setWindowTitle(QStringLiteral("个人信息"));
    m_profile->setTextFormat(Qt::PlainText);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_profile);
    layout->addWidget(m_modefyPwdBtn);
    layout->addWidget(m_logOut);
    connect(m_modefyPwdBtn, &QPushButton::clicked, this, [this] {
        if (m_modefyPwd == nullptr)
            m_modefyPwd = new modefyPwdWD(m_change, this);
        m_modefyPwd->show();
        m_modefyPwd->raise();
        m_modefyPwd->activateWindow();
    });
    connect(m_logOut, &QPushButton::clicked, this, [this] {
        AccountRequests::logOut(true);
        close();
    });
    buttonsTakeKeysFromTabOnly(this);
    reload();
}

void UserInfoWD::showEvent(QShowEvent* event)
{
    // A window of buttons alone: its first that works holds the keys, marked, from each opening on.
    openWithKeysOn(this, event, m_modefyPwdBtn->isEnabled() ? m_modefyPwdBtn : m_logOut->isEnabled() ? m_logOut : nullptr);
    QDialog::showEvent(event);
}

void UserInfoWD::reload()
{
    const auto shell = AccountShell::installed();
    const NSMyUserInfoPtr user = shell ? shell->getCurrLandUser() : nullptr;
    if (!user) {
        m_profile->setText(QStringLiteral("未登录"));
        m_logOut->setEnabled(false);
        m_modefyPwdBtn->setEnabled(false);
        return;
    }
    m_profile->setText(QStringLiteral("%1\n账号：%2\n等级：%3（还差%4天升级）\n金币：%5")
                           .arg(user->userName, user->userAccount, QString::number(user->nLevel),
                                QString::number(user->fLeftDays, 'f', 1), user->userCoinCount));
    m_logOut->setEnabled(true);
    m_modefyPwdBtn->setEnabled(true);
}

QString UserInfoWD::profileText() const
{
    return m_profile->text();
}
