#pragma once

#include "platform/Attempts.h"

#include <QObject>
#include <QString>
#include <QVariantList>

#include <memory>

class AFHTTPSessionManager;

// The requests behind the comment page: the article's comment list file, fetched when an article
// is opened and, on a refresh, after a HEAD whose "Last-Modified" differs from the shown list's.
// Each finished list becomes the page's HTML. A comment accepted on the open article
// ("reloadCommentView") reloads its list at once, without the check: the file may not be stamped
// anew yet.
//
// An opened article shows its own page at once, empty while its list loads. A list that fails
// before any was shown leaves the page failed; a failed refresh keeps the list on screen.
//
// The comment page is where the user reads the replies to their comments: a list that shows a
// reply to the logged-in user's comment newer than the newest one stored for the user stores it,
// which clears the user's reply reminder, so the next reply-count poll asks from there.
class CommentPageLoader : public QObject
{
    Q_OBJECT
public:
    // What the page shows of the open article.
    enum class PageState {
        Loading,  // its list is on its way; no list shown yet
        Shown,    // a list (perhaps empty) is shown
        Failed,   // its list could not be had; nothing shown
    };
    Q_ENUM(PageState)

    explicit CommentPageLoader(QObject* parent = nullptr);
    ~CommentPageLoader() override;

    // Shows the comments of this article; a news id that is not digits shows an empty page.
    void openNewsComment(const QString& newsId, const QString& title, const QString& link);
    // Reloads the open article's comments after the freshness check, the reader's refresh
    // (userAsked YES) as well; a failed page shows its loading state again meanwhile. A load
    // still running is given up: this one starts at once.
    void refreshComment(bool userAsked);
    // The service accepted the user's vote (zhiChi YES) or its cancellation on a comment of the
    // page: the comment's count follows, and its row is handed over built again (the rest of the
    // page, and the reader's place in it, stay).
    void applyVote(const QString& commentId, int64_t type, bool zhiChi);

    // The highest comment id ("CI") of the replies ("R") under the comments written by that user
    // ("Ui"); 0 when there is none.
    static qint64 newestReplyTo(const QVariantList& comments, const QString& userId);

    // Seconds a list request may go without any traffic before it fails (60 at first), for the
    // requests started after it; a running load keeps the timeout it started with.
    void setRequestTimeout(double seconds);
    double requestTimeout() const { return m_requestTimeout; }

    QString newsId() const { return m_newsId; }
    const QVariantList& comments() const { return m_comments; }
    // The whole page as it stands; after a vote it is built again only when asked for, since
    // building it reads every comment's recorded vote from the store.
    QString html() const;
    bool isLoading() const { return m_loading; }

signals:
    // The page to show: the article's list, or its page without rows while the list loads or
    // after it failed (the state says which).
    void pageReady(const QString& html);
    // The row of that comment as it is now; html() holds the whole page with it.
    void commentChanged(const QString& commentId, const QString& rowHtml);
    void pageStateChanged(CommentPageLoader::PageState state);
    // A refresh the reader asked for failed while a list is shown; the list stays.
    void refreshFailed();

private:
    // The accepted-comment reload: the list at once, giving up a load still running.
    void reload();
    // The list's GET, on behalf of load number load.
    void get(const QString& url, const QString& lastModified, quint64 load);
    // Cancels the running load; a late reply of it does nothing.
    void giveUpLoad();
    void loaded();
    void failed();
    // A request of the page runs; a failed page shows its loading state again.
    void startLoading();
    void setState(PageState state);
    std::shared_ptr<AFHTTPSessionManager> session();
    void render();
    // The page of the open article as it stands.
    QString pageHtml() const;
    void storeRepliesSeen();

    QString m_newsId;
    QString m_title;
    QString m_link;
    QString m_lastModified;
    QVariantList m_comments;
    mutable QString m_html;
    mutable bool m_htmlStale = false;  // a vote changed a row since m_html was built
    bool m_loading = false;
    // Numbers the loads: each open, refresh and reload, and each giving up, takes the next one.
    Attempts m_load;
    PageState m_state = PageState::Shown;
    double m_requestTimeout = 60;
    // The reader asked for the running load (a refresh with userAsked YES).
    bool m_userAsked = false;
    std::shared_ptr<AFHTTPSessionManager> m_session;
};
