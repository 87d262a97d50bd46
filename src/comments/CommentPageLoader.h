#pragma once

#include <QObject>
#include <QString>
#include <QVariantList>

#include <memory>

class AFHTTPSessionManager;

// The requests behind the comment page: the article's comment list file, fetched when an article
// is opened and, on a refresh, after a HEAD whose "Last-Modified" differs from the shown list's
// (or at once when the user asked). Each finished list becomes the page's HTML. An accepted
// comment ("reloadCommentView") reloads the open list at once.
//
// The comment page is where the user reads the replies to their comments: a list that shows a
// reply to the logged-in user's comment newer than the newest one stored for the user stores it,
// which clears the user's reply reminder, so the next reply-count poll asks from there.
class CommentPageLoader : public QObject
{
    Q_OBJECT
public:
    explicit CommentPageLoader(QObject* parent = nullptr);
    ~CommentPageLoader() override;

    // Shows the comments of this article; a news id that is not digits shows an empty page.
    void openNewsComment(const QString& newsId, const QString& title, const QString& link);
    // Reloads the open article's comments after the freshness check; userAsked skips the check.
    void refreshComment(bool userAsked);
    // The service accepted the user's vote (zhiChi YES) or its cancellation on a comment of the
    // page: the comment's count follows and the page is built again.
    void applyVote(const QString& commentId, int64_t type, bool zhiChi);

    // The highest comment id ("CI") of the replies ("R") under the comments written by that user
    // ("Ui"); 0 when there is none.
    static qint64 newestReplyTo(const QVariantList& comments, const QString& userId);

    QString newsId() const { return m_newsId; }
    const QVariantList& comments() const { return m_comments; }
    QString html() const { return m_html; }
    bool isLoading() const { return m_loading; }

signals:
    // The page to show (also after a failed load: the last list, or an empty one).
    void pageReady(const QString& html);

private:
    void get(const QString& url, const QString& lastModified);
    void loaded();
    void render();
    void storeRepliesSeen();

    QString m_newsId;
    QString m_title;
    QString m_link;
    QString m_lastModified;
    QVariantList m_comments;
    QString m_html;
    bool m_loading = false;
    // An accepted comment arrived while a load was running: fetch again when it ends.
    bool m_reloadWanted = false;
    std::shared_ptr<AFHTTPSessionManager> m_session;
};
