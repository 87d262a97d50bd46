#include "account/views/modefyPwdWD.h"

#include "platform/Dispatch.h"
#include "ui/hud/DJProgressHUD.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>
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

void modefyPwdWD::showEvent(QShowEvent* event)
{
    // The profile window keeps this window: each opening of it is a new change, with nothing of
    // the last one (its result, what was typed before an Escape) and the typing in the old
    // password. The system showing a minimised window again is no new opening.
    if (!event->spontaneous()) {
        for (QLineEdit* field : {m_old, m_new, m_repeated})
            field->clear();
        m_status->clear();
        m_old->setFocus();
    }
    QDialog::showEvent(event);
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
    // The toast gets a window of its own, as large as the toast and centred over the window left
    // on screen: that window may be narrower than the toast, and keeps its size.
    auto* host = new QWidget(over, Qt::ToolTip | Qt::FramelessWindowHint);
    host->setObjectName(QStringLiteral("passwordResultToast"));
    host->setAttribute(Qt::WA_TranslucentBackground);
    host->setAttribute(Qt::WA_ShowWithoutActivating);
    const QSize size = DJProgressHUD::messageSize(message);
    host->setGeometry(QRect(over->mapToGlobal(over->rect().center()) - QPoint(size.width() / 2, size.height() / 2), size));
    host->show();
    DJProgressHUD::showMessage(message, host);
    // The HUD's parts go with the window, and with them this toast; another toast, shown after
    // this one went some other way, stays.
    QPointer<QWidget> shown(host);
    dispatch::after(kResultMs, [shown] {
        if (shown)
            shown->deleteLater();
    });
}
