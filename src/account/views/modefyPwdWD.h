#pragma once

#include "account/PasswordChange.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The password-change window of the profile window: the old password, the new one twice, and
// "确定". The change and the re-login after it are the PasswordChange's, which outlives the
// window: a window shown while a change is on its way says so and takes no other until it ends.
class modefyPwdWD : public QDialog
{
    Q_OBJECT
public:
    // The change is not the window's: it is the one every profile window shares.
    explicit modefyPwdWD(PasswordChange* change, QWidget* parent = nullptr);

    QLineEdit* oldPasswordField() const { return m_old; }
    QLineEdit* newPasswordField() const { return m_new; }
    QLineEdit* repeatedPasswordField() const { return m_repeated; }
    QPushButton* okButton() const { return m_ok; }
    QString statusText() const;
    PasswordChange* passwordChange() const { return m_change; }

    // Shows the outcome of the change under the fields, and closes the window when the change was
    // taken: the one who asked then tells it where the reader is left looking.
    void showAnswer(PasswordChange::Outcome outcome);

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The fields take no typing and "确定" is greyed while a change is on its way, so that its
    // answer is never read as that of what the fields hold.
    void setOnItsWay(bool onItsWay);

    PasswordChange* m_change;
    QLineEdit* m_old;
    QLineEdit* m_new;
    QLineEdit* m_repeated;
    QPushButton* m_ok;
    QLabel* m_status;
};
