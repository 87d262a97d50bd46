#pragma once

#include "comments/CommentPageLoader.h"
#include "comments/CommentVoter.h"

#include <QString>
#include <QWebEngineView>

class LoadStateOverlay;

// The comment page of the detail pane: the open article's comments in a web page, a spinner over
// it while a list it has none of yet loads, and the error view with its reload button when that
// list failed. Votes, and refreshes that fail over a shown list, answer with a short toast.
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

private:
    void showPageState(CommentPageLoader::PageState state);
    void voteFinished(const QString& commentId, int64_t type, bool zhiChi, CommentVoter::Outcome outcome);
    void tips(const QString& text);

    CommentPageLoader* m_loader;
    CommentVoter* m_voter;
    LoadStateOverlay* m_loadState;
};
