#pragma once

#include "account/UserLogin.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The login window: account, password, "记住密码" and "登录". Kept by its openers and shown again;
// every showing takes its fields from the stored current account, with the password only when it
// is remembered, so nothing typed into an earlier showing outlives a log-out.
class UserLandWD : public QDialog
{
    Q_OBJECT
public:
    explicit UserLandWD(QWidget* parent = nullptr);

    QLineEdit* accountField() const { return m_account; }
    QLineEdit* passwordField() const { return m_password; }
    QCheckBox* rememberBox() const { return m_remember; }
    QPushButton* loginButton() const { return m_login; }
    QString statusText() const;
    UserLogin* login() const { return m_userLogin; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void finished(UserLogin::Outcome outcome);
    void fillFromStore();

    UserLogin* m_userLogin;
    QLineEdit* m_account;
    QLineEdit* m_password;
    QCheckBox* m_remember;
    QPushButton* m_login;
    QLabel* m_status;
};
