#pragma once

#include "foundation/models/NewsListData.h"

#include <QRect>
#include <QWidget>

class HotCommentListModel;
class ListKeyboardSelection;
class LoadStateOverlay;
class QListView;

// The list of the hot-comments channel: read-only rows with the commenter's avatar, the article
// title, the comment, the commenter and the support count; a click asks for the row's article.
class HotCommntTableViewController : public QWidget
{
    Q_OBJECT
public:
    // Where each row shows its commenter's avatar.
    static constexpr QRect kAvatarRect{12, 10, 36, 36};

    explicit HotCommntTableViewController(NewsListDataPtr newsListData, QWidget* parent = nullptr);
    static HotCommntTableViewController* initWithNewsListData(NewsListDataPtr newsListData, QWidget* parent = nullptr)
    {
        return new HotCommntTableViewController(std::move(newsListData), parent);
    }

    // YES when a tab was chosen, NO for the refresh button.
    void showByClick(bool byClick);
    NewsListDataPtr newslistData() const;
    // The detail pane now shows the article newsId (empty: no article), however it came there:
    // the open row stays marked only when that article is its own.
    void articleShown(const QString& newsId);

    HotCommentListModel* model() const { return m_model; }
    QListView* listView() const { return m_list; }
    LoadStateOverlay* loadState() const { return m_loadState; }

signals:
    // A row was clicked: the article its comment belongs to.
    void hotCommentChosen(const QString& newsId, const QString& newsTitle);

private:
    void loadFinished(bool ok);
    // A click or a key reached the row.
    void openRow(int row);
    // The news id of the article the row's comment belongs to.
    static QString articleOf(const QModelIndex& index);

    HotCommentListModel* m_model;
    QListView* m_list;
    LoadStateOverlay* m_loadState;
    // The keys, which also keep the open comment's row selected: marked and where they go on from.
    ListKeyboardSelection* m_keys;
};
