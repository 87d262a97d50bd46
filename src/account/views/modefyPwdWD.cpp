#include "account/views/modefyPwdWD.h"

#include "platform/Dispatch.h"
#include "ui/hud/DJProgressHUD.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

modefyPwdWD::modefyPwdWD(QWidget* parent)
    : QDialog(parent), m_change(new PasswordChange(this)), m_old(new QLineEdit(this)), m_new(new QLineEdit(this)),
      m_repeated(new QLineEdit(this)), m_ok(new QPushButton(QStringLiteral("确定"), this)), m_status(new QLabel(this))
{
    setWindowTitle(QStringLiteral("修改密码"));
    setWindowModality(Qt::ApplicationModal);
    for (QLineEdit* field : {m_old, m_new, m_repeated})
        field->setEchoMode(QLineEdit::Password);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("原密码"), m_old);
    form->addRow(QStringLiteral("新密码"), m_new);
    form->addRow(QStringLiteral("确认新密码"), m_repeated);
    layout->addLayout(form);
    layout->addWidget(m_status);
    layout->addWidget(m_ok);
    connect(m_ok, &QPushButton::clicked, this, [this] {
        m_status->clear();
        m_ok->setEnabled(false);
        m_change->change(m_old->text(), m_new->text(), m_repeated->text());
    });
    connect(m_change, &PasswordChange::finished, this, &modefyPwdWD::finished);
}

QString modefyPwdWD::statusText() const
{
    return m_status->text();
}

void modefyPwdWD::finished(PasswordChange::Outcome outcome)
{
    m_ok->setEnabled(true);
    const QString message = PasswordChange::message(outcome);
    m_status->setText(message);
    if (outcome == PasswordChange::Outcome::Changed || outcome == PasswordChange::Outcome::ChangedLoggedOut) {
        for (QLineEdit* field : {m_old, m_new, m_repeated})
            field->clear();
        // The window closes now; the result shows over the profile window that opened it, where
        // the reader is left looking. Without it a re-login that failed would only turn the
        // profile to "未登录", with no word why.
        QWidget* stays = parentWidget() ? parentWidget()->window() : nullptr;
        accept();
        if (stays != nullptr)
            showResult(message, stays);
    }
}

void modefyPwdWD::showResult(const QString& message, QWidget* over)
{
    // The toast is 20 per character and 40 more wide, centred over the window: it must not be
    // cut at the window's sides.
    const int toastWidth = static_cast<int>(message.size()) * 20 + 40 + 2 * kToastMargin;
    if (over->width() < toastWidth)
        over->resize(toastWidth, over->height());
    DJProgressHUD::showMessage(message, over);
    dispatch::after(kResultMs, [] { DJProgressHUD::dismiss(); });
}
