#include "comments/views/WriteCommentWD.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace {

const auto kPosting = QStringLiteral("正在发表，请稍候");
const auto kNeedLogin = QStringLiteral("请先登录");

// What is left of a text once the sent text is taken off its front; the text itself when it no
// longer begins with what was sent. Whitespace alone is nothing left.
QString unsentPart(const QString& text, const QString& sent)
{
    const QString rest = text.startsWith(sent) ? text.mid(sent.size()) : text;
    return rest.trimmed().isEmpty() ? QString() : rest;
}

}  // namespace

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
    connect(m_send, &QPushButton::clicked, this, &WriteCommentWD::send);
    // Return and Tab belong to the text: the box's usual shortcut posts from the keyboard.
    auto* post = new QShortcut(this);
    post->setKeys({QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    connect(post, &QShortcut::activated, this, &WriteCommentWD::send);
    connect(m_writer, &CommentWriter::finished, this, &WriteCommentWD::finished);
    // Logged in from the login window this one opened: the box no longer waits for a login.
    connect(m_writer, &CommentWriter::loggedIn, this, [this] {
        if (m_status->text() == kNeedLogin)
            m_status->clear();
    });
}

void WriteCommentWD::show(const QString& newsId, const QString& parentCommentId, const QString& floorId,
                          const QString& currentCommentId, const QString& userName)
{
    const QString target = QStringList{newsId, parentCommentId, floorId, currentCommentId}.join(QLatin1Char('/'));
    if (target != m_target) {
        if (const QString draft = m_text->toPlainText(); !draft.trimmed().isEmpty())
            m_drafts.insert(m_target, draft);
        m_text->setPlainText(m_drafts.take(target));
        m_target = target;
    }
    m_writer->show(newsId, parentCommentId, floorId, currentCommentId, userName);
    setWindowTitle(m_writer->isReply() ? QStringLiteral("回复 %1").arg(userName) : QStringLiteral("发表评论"));
    if (m_writer->isPosting() && m_postTarget == m_target)
        m_status->setText(kPosting);
    else
        m_status->setText(m_results.take(m_target));
    QDialog::show();
    raise();
    activateWindow();
    // Each opening takes typing at the end of the text, wherever the keys were left (on 发表
    // after a post sent with it).
    m_text->setFocus(Qt::OtherFocusReason);
    m_text->moveCursor(QTextCursor::End);
}

QString WriteCommentWD::statusText() const
{
    return m_status->text();
}

void WriteCommentWD::send()
{
    if (m_writer->isPosting()) {
        // One post at a time; the text waits in the box.
        m_status->setText(kPosting);
        return;
    }
    m_postTarget = m_target;
    m_sentText = m_text->toPlainText();
    m_status->setText(kPosting);
    m_writer->post(m_sentText);
}

void WriteCommentWD::finished(CommentWriter::Outcome outcome)
{
    switch (outcome) {
    case CommentWriter::Outcome::Posted: {
        showResult(QStringLiteral("评论成功"));
        if (m_postTarget != m_target) {
            const QString rest = unsentPart(m_drafts.value(m_postTarget), m_sentText);
            if (rest.isEmpty())
                m_drafts.remove(m_postTarget);
            else
                m_drafts.insert(m_postTarget, rest);
            break;
        }
        const QString rest = unsentPart(m_text->toPlainText(), m_sentText);
        if (rest.isEmpty()) {
            m_text->clear();
            close();
        } else if (rest != m_text->toPlainText()) {
            m_text->setPlainText(rest);
            m_text->moveCursor(QTextCursor::End);
        }
        break;
    }
    case CommentWriter::Outcome::Failed:
        showResult(QStringLiteral("发表失败，请稍后再试"));
        break;
    case CommentWriter::Outcome::NeedLogin:
        m_status->setText(kNeedLogin);
        break;
    case CommentWriter::Outcome::EmptyText:
        m_status->setText(QStringLiteral("请输入评论内容"));
        break;
    case CommentWriter::Outcome::BadIds:
        m_status->setText(QStringLiteral("无法评论这篇文章"));
        break;
    case CommentWriter::Outcome::Busy:
        m_status->setText(kPosting);
        break;
    }
}

void WriteCommentWD::showResult(const QString& text)
{
    if (m_postTarget == m_target) {
        m_status->setText(text);
        return;
    }
    m_results.insert(m_postTarget, text);
    // The box on show was never sent: the word of the post on its way is not its own.
    if (m_status->text() == kPosting)
        m_status->clear();
}
