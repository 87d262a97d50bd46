#include "account/views/UserLandWD.h"

#include "database/SettingsDatabaseOperate.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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

    // The current remembered account fills the fields.
    UserLandDataPtr current;
    {
        SettingsDatabaseOperate::Lease settings;
        if (settings)
            current = settings->UserLandData_getCurrentUserData();
    }
    if (current) {
        m_account->setText(current->UserAccount);
        if (current->bRememberPassWord)
            m_password->setText(current->UserPassWord);
    }

    connect(m_login, &QPushButton::clicked, this, [this] {
        m_status->clear();
        m_login->setEnabled(false);
        m_userLogin->login(m_account->text(), m_password->text(), m_remember->isChecked());
    });
    connect(m_userLogin, &UserLogin::finished, this, &UserLandWD::finished);
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
