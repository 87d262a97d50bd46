#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The profile window: the logged-in user's names, level and coins, and "退出登录".
class UserInfoWD : public QDialog
{
    Q_OBJECT
public:
    explicit UserInfoWD(QWidget* parent = nullptr);

    // Fills the labels from the logged-in profile.
    void reload();
    QPushButton* logOutButton() const { return m_logOut; }
    QString profileText() const;

private:
    QLabel* m_profile;
    QPushButton* m_logOut;
};
