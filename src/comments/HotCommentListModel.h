#pragma once

#include "foundation/models/CommentFeed.h"
#include "foundation/models/NewsListData.h"

#include <QAbstractListModel>
#include <QByteArray>
#include <QColor>
#include <QList>

#include <memory>
#include <optional>

class AFHTTPSessionManager;

// The rows of the hot-comments channel: one CommentFeed per JSON object of the channel's list
// reply (a JSON array, or the same array in the comment envelope). Read-only rows. The last reply
// that gave rows is kept in the news lists' cache folder, under their naming, and shown at once
// while the list is empty.
class HotCommentListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role {
        NewsTitleRole = Qt::UserRole + 1,  // T
        CommentRole,                       // C
        UserNameRole,                      // N
        SupportRole,                       // S
        NewsIdRole,                        // I
        AvatarRole,                        // the commenter's avatar address (QUrl)
        HaveReadRole,                      // opened by the user (the read mark)
        CommentIdRole,                     // CI, what names the row's comment
    };

    explicit HotCommentListModel(NewsListDataPtr channel, QObject* parent = nullptr);
    ~HotCommentListModel() override;

    // The list reply's records; nothing when the reply is not a list of objects.
    static std::optional<QList<CommentFeedPtr>> parse(const QByteArray& reply);
    // Where the list reply of this address is kept.
    static QString filePathForUrl(const QString& url);
    // The title ink of an opened row, the news lists' read grey.
    static inline const QColor kReadColour{118, 118, 118};

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    const NewsListDataPtr& newslistData() const { return m_channel; }
    const QList<CommentFeedPtr>& comments() const { return m_comments; }
    bool isLoading() const { return m_loading; }

    // An empty list first shows the kept reply. Then loads when a tab was chosen (byClick) and
    // the channel's stamp says the list is due, or always for the refresh button (byClick NO) and
    // the first show.
    void showByClick(bool byClick);
    void setComments(const QList<CommentFeedPtr>& comments);
    // The user opened the row's article: the comment is marked read, here and in the store.
    void markRead(int row);

signals:
    void loadFinished(bool ok);

private:
    void load();
    void loadLocalData();
    // Read marks from the store, then the rows.
    void showComments(QList<CommentFeedPtr> comments);

    NewsListDataPtr m_channel;
    QList<CommentFeedPtr> m_comments;
    bool m_loading = false;
    bool m_shownOnce = false;
    std::shared_ptr<AFHTTPSessionManager> m_session;
};
