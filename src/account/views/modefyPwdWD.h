#pragma once

#include "account/PasswordChange.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The password-change window of the profile window: the old password, the new one twice, and
// "确定". The change and the re-login after it are the PasswordChange's.
class modefyPwdWD : public QDialog
{
    Q_OBJECT
public:
    explicit modefyPwdWD(QWidget* parent = nullptr);

    QLineEdit* oldPasswordField() const { return m_old; }
    QLineEdit* newPasswordField() const { return m_new; }
    QLineEdit* repeatedPasswordField() const { return m_repeated; }
    QPushButton* okButton() const { return m_ok; }
    QString statusText() const;
    PasswordChange* passwordChange() const { return m_change; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void finished(PasswordChange::Outcome outcome);
    // The result as a toast centred over the window given, for a second.
    static void showResult(const QString& message, QWidget* over);

    static constexpr int kResultMs = 1000;

    PasswordChange* m_change;
    QLineEdit* m_old;
    QLineEdit* m_new;
    QLineEdit* m_repeated;
    QPushButton* m_ok;
    QLabel* m_status;
};
