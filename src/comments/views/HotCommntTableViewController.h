#pragma once

#include "foundation/models/NewsListData.h"

#include <QWidget>

class HotCommentListModel;
class QListView;

// The list of the hot-comments channel: read-only rows with the article title, the comment, the
// commenter and the support count.
class HotCommntTableViewController : public QWidget
{
    Q_OBJECT
public:
    explicit HotCommntTableViewController(NewsListDataPtr newsListData, QWidget* parent = nullptr);
    static HotCommntTableViewController* initWithNewsListData(NewsListDataPtr newsListData, QWidget* parent = nullptr)
    {
        return new HotCommntTableViewController(std::move(newsListData), parent);
    }

    // YES when a tab was chosen, NO for the refresh button.
    void showByClick(bool byClick);
    NewsListDataPtr newslistData() const;

    HotCommentListModel* model() const { return m_model; }
    QListView* listView() const { return m_list; }

private:
    HotCommentListModel* m_model;
    QListView* m_list;
};
