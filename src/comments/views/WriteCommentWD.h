#pragma once

#include "comments/CommentWriter.h"

#include <QDialog>
#include <QHash>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// The write-comment window: a text box and "发表". Logging in and posting are the writer's.
// Nothing typed and not sent is lost: the text of each comment or reply waits for it when the
// window is opened for another, and what was typed while a post was on its way stays in the box.
// What became of a post shows only under the box of the comment it was sent for.
class WriteCommentWD : public QDialog
{
    Q_OBJECT
public:
    explicit WriteCommentWD(QWidget* parent = nullptr);

    using QDialog::show;
    // Prepares the window for a comment on the article ("0", "0", "0", "": a top-level comment)
    // and shows it in front, modal for the whole program, with the text kept for that comment and
    // the keys at its end.
    void show(const QString& newsId, const QString& parentCommentId, const QString& floorId,
              const QString& currentCommentId, const QString& userName);

    CommentWriter* writer() const { return m_writer; }
    QPlainTextEdit* textBox() const { return m_text; }
    QPushButton* sendButton() const { return m_send; }
    QString statusText() const;

    static void postCommentAndReplyTask() { CommentWriter::postCommentAndReplyTask(); }

private:
    void send();
    void finished(CommentWriter::Outcome outcome);
    // Shows a post's outcome under its own box, or keeps it for when that box shows again.
    void showResult(const QString& text);

    CommentWriter* m_writer;
    QPlainTextEdit* m_text;
    QPushButton* m_send;
    QLabel* m_status;
    // Which comment the box is for (article, parent, floor, answered comment).
    QString m_target;
    // The unsent texts of the other comments, by target.
    QHash<QString, QString> m_drafts;
    // The running or last post: its target and the box's text when it was sent.
    QString m_postTarget;
    QString m_sentText;
    // Outcomes of posts that ended while the window was open for another comment, by target.
    QHash<QString, QString> m_results;
};
