#pragma once

#include "comments/CommentWriter.h"

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// The write-comment window: a text box and "发表". Logging in and posting are the writer's.
class WriteCommentWD : public QDialog
{
    Q_OBJECT
public:
    explicit WriteCommentWD(QWidget* parent = nullptr);

    using QDialog::show;
    // Prepares the window for a comment on the article ("0", "0", "0", "": a top-level comment)
    // and shows it in front, modal for the whole program.
    void show(const QString& newsId, const QString& parentCommentId, const QString& floorId,
              const QString& currentCommentId, const QString& userName);

    CommentWriter* writer() const { return m_writer; }
    QPlainTextEdit* textBox() const { return m_text; }
    QPushButton* sendButton() const { return m_send; }
    QString statusText() const;

    static void postCommentAndReplyTask() { CommentWriter::postCommentAndReplyTask(); }

private:
    void finished(CommentWriter::Outcome outcome);

    CommentWriter* m_writer;
    QPlainTextEdit* m_text;
    QPushButton* m_send;
    QLabel* m_status;
};
