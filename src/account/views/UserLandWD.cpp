#include "account/views/UserLandWD.h"

#include "database/SettingsDatabaseOperate.h"
#include "ui/controls/WindowKeys.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

UserLandWD::UserLandWD(QWidget* parent)
    : QDialog(parent), m_userLogin(new UserLogin(this)), m_account(new QLineEdit(this)), m_password(new QLineEdit(this)),
      m_remember(new QCheckBox(QStringLiteral("记住密码"), this)), m_login(new QPushButton(QStringLiteral("登录"), this)),
      m_status(new QLabel(this))
{
    setWindowTitle(QStringLiteral("登录"));
    m_password->setEchoMode(QLineEdit::Password);
    m_remember->setChecked(true);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("账号"), m_account);
    form->addRow(QStringLiteral("密码"), m_password);
    layout->addLayout(form);
    layout->addWidget(m_remember);
    layout->addWidget(m_status);
    layout->addWidget(m_login);

    buttonsTakeKeysFromTabOnly(this);
    fillFromStore();

    connect(m_login, &QPushButton::clicked, this, [this] {
        m_status->clear();
        m_login->setEnabled(false);
        m_userLogin->login(m_account->text(), m_password->text(), m_remember->isChecked());
    });
    connect(m_userLogin, &UserLogin::finished, this, &UserLandWD::finished);
}

void UserLandWD::fillFromStore()
{
    UserLandDataPtr current;
    {
        SettingsDatabaseOperate::Lease settings;
        if (settings)
            current = settings->UserLandData_getCurrentUserData();
    }
    m_account->setText(current ? current->UserAccount : QString());
    m_password->setText(current && current->bRememberPassWord ? current->UserPassWord : QString());
    m_remember->setChecked(current ? current->bRememberPassWord : true);
    m_status->clear();
}

void UserLandWD::showEvent(QShowEvent* event)
{
    // The system showing a minimised window again is no new showing: what was typed stays.
    if (!event->spontaneous()) {
        fillFromStore();
        // Typing goes into the first empty field (the account when both are filled), not into
        // the field the window was left in: after a log-out that may be the password beside an
        // empty account.
        const bool onlyPasswordEmpty = !m_account->text().isEmpty() && m_password->text().isEmpty();
        (onlyPasswordEmpty ? m_password : m_account)->setFocus();
    }
    QDialog::showEvent(event);
}

QString UserLandWD::statusText() const
{
    return m_status->text();
}

void UserLandWD::finished(UserLogin::Outcome outcome)
{
    m_login->setEnabled(true);
    m_status->setText(UserLogin::message(outcome));
    if (outcome == UserLogin::Outcome::LoggedIn)
        accept();
}
