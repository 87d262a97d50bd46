#pragma once

#include "comments/CommentPageLoader.h"
#include "comments/CommentVoter.h"

#include "ui/web/ProgramWebView.h"

#include <QString>
#include <QUrl>

class LoadStateOverlay;

// The comment page of the detail pane: the open article's comments in a web page, a spinner over
// it while a list it has none of yet loads, and the error view with its reload button when that
// list failed. Votes, and refreshes that fail over a shown list, answer with a short toast.
class CommontView : public ProgramWebView
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
    // the service accepted it the comment's row shows the vote marked or gone, where it stands.
    void commentVoteCommentId(const QString& commentId, int64_t type, bool hot, bool zhiChi);

    CommentPageLoader* loader() const { return m_loader; }
    CommentVoter* voter() const { return m_voter; }

protected:
    // A vote link's address is the page's own business, nothing to copy.
    bool offersLinkAddress(const QUrl& link) const override;

private:
    void showPage(const QString& html);
    // The comment's row replaced where it stands, so the reader keeps their place.
    void replaceComment(const QString& commentId, const QString& rowHtml);
    void showPageState(CommentPageLoader::PageState state);
    void voteFinished(const QString& commentId, int64_t type, bool zhiChi, CommentVoter::Outcome outcome);
    void tips(const QString& text);

    CommentPageLoader* m_loader;
    CommentVoter* m_voter;
    LoadStateOverlay* m_loadState;
    // Each page put into the view gets an address of its own: a row is replaced only in the last
    // one, never in the page it replaces.
    QUrl m_pageAddress;
    quint64 m_pagesPut = 0;
};
