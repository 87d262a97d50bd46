#pragma once

#include <QString>
#include <QWebEngineView>

class CommentPageLoader;
class CommentVoter;

// The comment page of the detail pane: the open article's comments in a web page.
class CommontView : public QWebEngineView
{
    Q_OBJECT
public:
    explicit CommontView(QWidget* parent = nullptr);
    ~CommontView() override;

    void openNewsComment(const QString& newsId, const QString& newsTitle, const QString& newsLink);
    void refreshComment(bool userAsked);
    // Calls the page's own SetFontFamily with the family name.
    void SetFontFamily(const QString& family);
    // A vote link of the page: casts (zhiChi YES) or cancels the user's vote on the comment; once
    // the service accepted it the page is built again with the vote marked or gone.
    void commentVoteCommentId(const QString& commentId, int64_t type, bool hot, bool zhiChi);

    CommentPageLoader* loader() const { return m_loader; }
    CommentVoter* voter() const { return m_voter; }

signals:
    // The page built from the latest list has been put into the view.
    void commentPageShown(bool ok);

private:
    CommentPageLoader* m_loader;
    CommentVoter* m_voter;
};
