#include "comments/views/WriteCommentWD.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

WriteCommentWD::WriteCommentWD(QWidget* parent)
    : QDialog(parent), m_writer(new CommentWriter(this)), m_text(new QPlainTextEdit(this)),
      m_send(new QPushButton(QStringLiteral("发表"), this)), m_status(new QLabel(this))
{
    setWindowTitle(QStringLiteral("发表评论"));
    // It runs modally: the rest of the program waits until it is sent or closed.
    setWindowModality(Qt::ApplicationModal);
    resize(420, 220);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    auto* row = new QHBoxLayout;
    row->addWidget(m_status, 1);
    row->addWidget(m_send);
    layout->addLayout(row);
    connect(m_send, &QPushButton::clicked, this, [this] {
        m_status->clear();
        m_send->setEnabled(false);
        m_writer->post(m_text->toPlainText());
    });
    connect(m_writer, &CommentWriter::finished, this, &WriteCommentWD::finished);
}

void WriteCommentWD::show(const QString& newsId, const QString& parentCommentId, const QString& floorId,
                          const QString& currentCommentId, const QString& userName)
{
    m_writer->show(newsId, parentCommentId, floorId, currentCommentId, userName);
    setWindowTitle(m_writer->isReply() ? QStringLiteral("回复 %1").arg(userName) : QStringLiteral("发表评论"));
    m_text->clear();
    m_status->clear();
    m_send->setEnabled(true);
    QDialog::show();
    raise();
    activateWindow();
}

QString WriteCommentWD::statusText() const
{
    return m_status->text();
}

void WriteCommentWD::finished(CommentWriter::Outcome outcome)
{
    m_send->setEnabled(true);
    switch (outcome) {
    case CommentWriter::Outcome::Posted:
        m_text->clear();
        close();
        break;
    case CommentWriter::Outcome::Failed:
        m_status->setText(QStringLiteral("发表失败，请稍后再试"));
        break;
    case CommentWriter::Outcome::NeedLogin:
        m_status->setText(QStringLiteral("请先登录"));
        break;
    case CommentWriter::Outcome::EmptyText:
        m_status->setText(QStringLiteral("请输入评论内容"));
        break;
    case CommentWriter::Outcome::BadIds:
        m_status->setText(QStringLiteral("无法评论这篇文章"));
        break;
    case CommentWriter::Outcome::Busy:
        m_send->setEnabled(false);
        break;
    }
}
