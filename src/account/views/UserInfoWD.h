#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class modefyPwdWD;

// The profile window: the logged-in user's names, level and coins, "修改密码" and "退出登录".
class UserInfoWD : public QDialog
{
    Q_OBJECT
public:
    explicit UserInfoWD(QWidget* parent = nullptr);

    // Fills the labels from the logged-in profile.
    void reload();
    QPushButton* logOutButton() const { return m_logOut; }
    QPushButton* modefyPwdButton() const { return m_modefyPwdBtn; }
    // The password-change window, made on the first click of "修改密码"; null before.
    modefyPwdWD* modefyPwd() const { return m_modefyPwd; }
    QString profileText() const;

private:
    QLabel* m_profile;
    QPushButton* m_modefyPwdBtn;
    QPushButton* m_logOut;
    modefyPwdWD* m_modefyPwd = nullptr;
};
