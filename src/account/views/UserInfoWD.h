#pragma once

#include "account/PasswordChange.h"

#include <QDialog>

class QLabel;
class QPushButton;
class modefyPwdWD;

// The profile window: the logged-in user's names, level and coins, "修改密码" and "退出登录".
// The password change is not the window's (ProfileWindows keeps it and tells its answer): a
// profile window made while a change is on its way shows it on its way.
class UserInfoWD : public QDialog
{
    Q_OBJECT
public:
    // The change every profile window shares; it outlives them.
    explicit UserInfoWD(PasswordChange* change, QWidget* parent = nullptr);

    // Fills the labels from the logged-in profile.
    void reload();
    QPushButton* logOutButton() const { return m_logOut; }
    QPushButton* modefyPwdButton() const { return m_modefyPwdBtn; }
    // The password-change window, made on the first click of "修改密码"; null before.
    modefyPwdWD* modefyPwd() const { return m_modefyPwd; }
    QString profileText() const;

private:
    PasswordChange* m_change;
    QLabel* m_profile;
    QPushButton* m_modefyPwdBtn;
    QPushButton* m_logOut;
    modefyPwdWD* m_modefyPwd = nullptr;
};
