#include "account/views/modefyPwdWD.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

const auto kOnItsWay = QStringLiteral("正在修改密码…");

}  // namespace

modefyPwdWD::modefyPwdWD(PasswordChange* change, QWidget* parent)
    : QDialog(parent), m_change(change), m_old(new QLineEdit(this)), m_new(new QLineEdit(this)),
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
        setOnItsWay(true);
        m_change->change(m_old->text(), m_new->text(), m_repeated->text());
    });
}

void modefyPwdWD::showEvent(QShowEvent* event)
{
    // The profile window keeps this window: each opening of it starts clean, with nothing of the
    // last one (its result, what was typed before an Escape) and the typing in the old password;
    // a change still on its way, sent from here or from a profile window before, is told. The
    // system showing a minimised window again is no new opening.
    if (!event->spontaneous()) {
        for (QLineEdit* field : {m_old, m_new, m_repeated})
            field->clear();
        m_status->clear();
        setOnItsWay(m_change->isRunning());
        m_old->setFocus();
    }
    QDialog::showEvent(event);
}

QString modefyPwdWD::statusText() const
{
    return m_status->text();
}

void modefyPwdWD::setOnItsWay(bool onItsWay)
{
    for (QLineEdit* field : {m_old, m_new, m_repeated})
        field->setReadOnly(onItsWay);
    m_ok->setEnabled(!onItsWay);
    if (onItsWay)
        m_status->setText(kOnItsWay);
}

void modefyPwdWD::showAnswer(PasswordChange::Outcome outcome)
{
    setOnItsWay(false);
    m_status->setText(PasswordChange::message(outcome));
    if (outcome == PasswordChange::Outcome::Changed || outcome == PasswordChange::Outcome::ChangedLoggedOut)
        accept();
}
